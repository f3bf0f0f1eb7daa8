#include "design/designers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <numbers>
#include <tuple>
#include <utility>

#include "design/controls.h"
#include "design/fir.h"
#include "design/presets.h"
#include "tests/design/measure.h"

namespace {

using design_test::bin_magnitude;
using design_test::db;
using design_test::kernel_db;

constexpr float voice_lo = 0.0181405f;  // 200 Hz
constexpr float voice_hi = 0.2721088f;  // 3000 Hz

// Bins are 11025 / 1024 = 10.77 Hz apart: bin 9 is 96.9 Hz, bins 24..269
// span 258..2896 Hz, bin 288 is 3100.8 Hz.
TEST(DesignBandpass, VoiceBandEdgesPassBandAndStopBand) {
  design::DesignedFilter bp;
  design::design_bandpass({voice_lo, voice_hi}, 0.0f, bp);
  EXPECT_NEAR(kernel_db(bp.taps, 200.0), -6.0, 0.1);
  EXPECT_NEAR(kernel_db(bp.taps, 3000.0), -6.0, 0.1);
  for (int k = 24; k <= 269; ++k) {
    ASSERT_NEAR(db(bin_magnitude(bp.re, bp.im, k)), 0.0, 0.15) << "bin " << k;
    // Linear phase: nothing but the delay of 255 samples.
    const auto undelayed = std::complex<double>(bp.re[k], bp.im[k]) *
                           std::polar(1.0, 2.0 * std::numbers::pi * k * 255.0 / 1024.0);
    ASSERT_NEAR(undelayed.imag(), 0.0, 1e-4) << "bin " << k;
  }
  for (int k = 0; k <= 9; ++k) {
    ASSERT_LT(db(bin_magnitude(bp.re, bp.im, k)), -100.0) << "bin " << k;
  }
  for (int k = 288; k <= 510; ++k) {
    ASSERT_LT(db(bin_magnitude(bp.re, bp.im, k)), -100.0) << "bin " << k;
  }
}

TEST(DesignNotch, DepthAtTheCentreForEachWidth) {
  const float column_of_1000_hz = 1000.0f * 1024.0f / 11025.0f;
  design::Edges edges;
  design::DesignedFilter notch;
  for (int width = 0; width < 4; ++width) {
    design::notch_width_edges(width, column_of_1000_hz, edges);
    design::design_notch(edges, 0.0f, notch);
    const double centre = kernel_db(notch.taps, 1000.0);
    if (width < 3) {
      EXPECT_LT(centre, -100.0) << "width " << width;
      EXPECT_LT(db(bin_magnitude(notch.re, notch.im, 93)), -100.0) << width;
    } else {
      // 100 Hz is narrower than the kernel's transition band: only ~-31 dB.
      EXPECT_GT(centre, -33.0);
      EXPECT_LT(centre, -29.0);
    }
    EXPECT_NEAR(kernel_db(notch.taps, 3000.0), 0.0, 0.01) << "width " << width;
  }
}

TEST(QLevel, LeavesAFloorOfLevelTimesRootTwo) {
  design::Kernel taps{};
  design::Response re{};
  design::Response im{};
  for (const auto& [position, floor_magnitude] :
       std::initializer_list<std::pair<int, double>>{{25, 0.0}, {20, 0.0707}, {0, 0.354}}) {
    const float q = design::q_level_for(position);
    design::design_bandpass_filter(512, voice_lo, voice_hi, q, taps, re, im);
    for (int k = 288; k <= 510; ++k) {
      ASSERT_NEAR(bin_magnitude(re, im, k), floor_magnitude, 5e-4) << position << ", bin " << k;
    }
    design::design_notch_filter(512, 0.0454689f, 0.1361717f, q, taps, re, im);
    EXPECT_NEAR(bin_magnitude(re, im, 93), floor_magnitude, 5e-4) << position;
  }
}

// Before the floor was mixed into the kernel, position 0 rippled the pass
// band by -3.8/+2.6 dB.
TEST(QLevel, ChangingItKeepsTheKernelAndThePassBandFlat) {
  design::DesignedFilter bp;
  design::design_bandpass({voice_lo, voice_hi}, design::q_level_for(20), bp);
  const design::Kernel kernel = bp.taps;
  for (std::int32_t position = design::q_position_min; position <= design::q_position_max;
       ++position) {
    design::design_bandpass({voice_lo, voice_hi}, design::q_level_for(position), bp);
    EXPECT_EQ(bp.taps, kernel);
    for (int k = 24; k <= 269; ++k) {
      ASSERT_NEAR(db(bin_magnitude(bp.re, bp.im, k)), 0.0, 0.15) << position << ", bin " << k;
    }
  }
}

// The edges stay 0 until a preset or width is first applied; a Q change
// before that designs with both edges 0.
TEST(ZeroOrEqualEdges, BandpassIsZeroAndNotchPassesEverything) {
  const float q = design::q_level_for(20);
  design::DesignedFilter bp;
  design::design_bandpass({0.0f, 0.0f}, q, bp);
  EXPECT_EQ(std::count(bp.taps.begin(), bp.taps.begin() + 513, 0.0f), 513);
  const double floor = q * std::numbers::sqrt2;
  // The floor alone: an impulse of f at sample 255, whose DC value is f and
  // Nyquist value -f.
  EXPECT_FLOAT_EQ(bp.re[0], static_cast<float>(floor));
  EXPECT_FLOAT_EQ(bp.im[0], static_cast<float>(-floor));
  for (int k = 1; k <= 511; ++k) {
    ASSERT_NEAR(bin_magnitude(bp.re, bp.im, k), floor, 1e-6) << "bin " << k;
  }

  design::DesignedFilter notch;
  design::design_notch({0.0f, 0.0f}, q, notch);
  EXPECT_EQ(notch.taps[256], 1.0f);
  EXPECT_EQ(std::count(notch.taps.begin(), notch.taps.end(), 0.0f), 1024);
  EXPECT_FLOAT_EQ(notch.re[0], 1.0f);
  EXPECT_FLOAT_EQ(notch.im[0], -1.0f);
  for (int k = 1; k <= 511; ++k) {
    ASSERT_NEAR(bin_magnitude(notch.re, notch.im, k), 1.0, 1e-5) << "bin " << k;
  }

  design::design_bandpass({0.1f, 0.1f}, q, bp);
  for (int i = 0; i <= 512; ++i) {
    ASSERT_NEAR(bp.taps[i], 0.0f, 1e-7f) << "tap " << i;
  }
  for (int k = 1; k <= 511; ++k) {
    ASSERT_NEAR(bin_magnitude(bp.re, bp.im, k), floor, 1e-6) << "bin " << k;
  }
}

// The variable filters are designed exactly like the fixed ones, each with
// the level it is given: equal settings, identical designs.
TEST(Designers, EqualSettingsGiveIdenticalDesigns) {
  for (const auto& [designer, edges, q] :
       {std::tuple{&design::design_notch, design::Edges{0.0814825f, 0.1001581f}, 0.05f},
        std::tuple{&design::design_bandpass, design::Edges{0.0976563f, 0.390625f}, 0.1f}}) {
    design::DesignedFilter first;
    design::DesignedFilter second;
    designer(edges, q, first);
    designer(edges, q, second);
    EXPECT_EQ(first.taps, second.taps);
    EXPECT_EQ(first.re, second.re);
    EXPECT_EQ(first.im, second.im);
  }
}

// Every bin up to the top one, and the real DC and Nyquist values, are the
// kernel's own, evaluated directly; taps past 512 stay zero.
TEST(Designers, EveryBinIsTheKernelsAndUnusedTapsStayZeroAfterManyDesigns) {
  design::DesignedFilter bp;
  design::DesignedFilter var_bp;
  design::DesignedFilter nf1;
  design::DesignedFilter nf2;
  design::DesignedFilter var_notch;
  for (int round = 0; round < 20; ++round) {
    const float lo = -0.02f + 0.013f * static_cast<float>(round);
    const float hi = lo + 0.05f + 0.02f * static_cast<float>(round);  // past 0.5 at the end
    design::design_bandpass({lo, hi}, design::q_level_for(round), bp);
    design::design_bandpass({hi, lo}, 0.0f, var_bp);
    design::design_notch({lo, hi}, 0.0f, nf1);
    design::design_notch({hi, lo}, design::q_level_for(round + 3), nf2);
    design::design_notch({lo, lo}, 0.0f, var_notch);
  }
  for (const design::DesignedFilter* filter : {&bp, &var_bp, &nf1, &nf2, &var_notch}) {
    EXPECT_EQ(std::count(filter->taps.begin() + 513, filter->taps.end(), 0.0f), 512);
  }
  for (const design::DesignedFilter* filter : {&var_bp, &nf1, &var_notch}) {
    for (int k = 1; k <= 511; ++k) {
      ASSERT_NEAR(bin_magnitude(filter->re, filter->im, k),
                  std::abs(design_test::kernel_response(filter->taps, k * 11025.0 / 1024.0)), 1e-4)
          << "bin " << k;
    }
    EXPECT_NEAR(filter->re[0], design_test::kernel_response(filter->taps, 0.0).real(), 1e-4);
    // Tap i is time sample i - 1: the Nyquist value changes sign.
    EXPECT_NEAR(filter->im[0], -design_test::kernel_response(filter->taps, 5512.5).real(), 1e-4);
  }
}

}  // namespace
