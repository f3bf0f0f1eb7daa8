#include "design/designers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <numbers>
#include <utility>

#include "design/fir.h"
#include "design/presets.h"
#include "design/state.h"
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
  design::bp_q_level = 0.0f;
  design::design_bandpass(512, design::bp_taps, voice_lo, voice_hi);
  const auto& re = design::bp_resp_re;
  const auto& im = design::bp_resp_im;

  EXPECT_NEAR(kernel_db(design::bp_taps, 200.0), -6.0, 0.1);
  EXPECT_NEAR(kernel_db(design::bp_taps, 3000.0), -6.0, 0.1);
  for (int k = 24; k <= 269; ++k) {
    ASSERT_NEAR(db(bin_magnitude(re, im, k)), 0.0, 0.15) << "bin " << k;
    // Linear phase: nothing but the delay of 255 samples.
    const auto undelayed = std::complex<double>(re[k], im[k]) *
                           std::polar(1.0, 2.0 * std::numbers::pi * k * 255.0 / 1024.0);
    ASSERT_NEAR(undelayed.imag(), 0.0, 1e-4) << "bin " << k;
  }
  for (int k = 0; k <= 9; ++k) {
    ASSERT_LT(db(bin_magnitude(re, im, k)), -100.0) << "bin " << k;
  }
  for (int k = 288; k <= 510; ++k) {
    ASSERT_LT(db(bin_magnitude(re, im, k)), -100.0) << "bin " << k;
  }
}

TEST(DesignNotch, DepthAtTheCentreForEachWidth) {
  design::nf1_q_level = 0.0f;
  const float column_of_1000_hz = 1000.0f * 1024.0f / 11025.0f;
  for (int width = 0; width < 4; ++width) {
    design::notch_width_edges(width, column_of_1000_hz, design::nf1_lo_edge, design::nf1_hi_edge);
    design::design_nf1(512, design::nf1_lo_edge, design::nf1_hi_edge);
    const double centre = kernel_db(design::nf1_taps, 1000.0);
    if (width < 3) {
      EXPECT_LT(centre, -100.0) << "width " << width;
      EXPECT_LT(db(bin_magnitude(design::nf1_resp_re, design::nf1_resp_im, 93)), -100.0) << width;
    } else {
      // 100 Hz is narrower than the kernel's transition band: only ~-31 dB.
      EXPECT_GT(centre, -33.0);
      EXPECT_LT(centre, -29.0);
    }
    EXPECT_NEAR(kernel_db(design::nf1_taps, 3000.0), 0.0, 0.01) << "width " << width;
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

TEST(QLevel, ChangingItKeepsTheKernelAndShiftsTheResponse) {
  design::bp_q_level = design::q_level_for(20);
  design::design_bandpass(512, design::bp_taps, voice_lo, voice_hi);
  const design::Kernel taps = design::bp_taps;
  const design::Response re = design::bp_resp_re;
  const design::Response im = design::bp_resp_im;

  design::bp_q_level = design::q_level_for(0);
  design::design_bandpass(512, design::bp_taps, voice_lo, voice_hi);
  EXPECT_EQ(design::bp_taps, taps);
  for (int k = 0; k <= 510; ++k) {
    ASSERT_NEAR(design::bp_resp_re[k], re[k] - 0.2f, 1e-6f) << "bin " << k;
    ASSERT_NEAR(design::bp_resp_im[k], im[k] - 0.2f, 1e-6f) << "bin " << k;
  }
}

// The edge variables stay 0 until a preset or width is first applied; a Q
// change before that designs with both edges 0.
TEST(ZeroOrEqualEdges, BandpassIsZeroAndNotchPassesEverything) {
  const float q = design::q_level_for(20);
  design::bp_q_level = q;
  design::design_bandpass(512, design::bp_taps, 0.0f, 0.0f);
  EXPECT_EQ(std::count(design::bp_taps.begin(), design::bp_taps.begin() + 513, 0.0f), 513);
  EXPECT_EQ(std::count(design::bp_resp_re.begin(), design::bp_resp_re.begin() + 511, -q), 511);
  EXPECT_EQ(std::count(design::bp_resp_im.begin(), design::bp_resp_im.begin() + 511, -q), 511);

  design::nf1_q_level = q;
  design::design_nf1(512, 0.0f, 0.0f);
  EXPECT_EQ(design::nf1_taps[256], 1.0f);
  EXPECT_EQ(std::count(design::nf1_taps.begin(), design::nf1_taps.end(), 0.0f), 1024);
  // A unit impulse at sample 255; entry 0 packs DC / 2 and Nyquist / 2.
  EXPECT_FLOAT_EQ(design::nf1_resp_re[0], 0.5f - q);
  EXPECT_FLOAT_EQ(design::nf1_resp_im[0], -0.5f - q);
  for (int k = 1; k <= 510; ++k) {
    const double re = static_cast<double>(design::nf1_resp_re[k]) + q;
    const double im = static_cast<double>(design::nf1_resp_im[k]) + q;
    ASSERT_NEAR(std::hypot(re, im), 1.0, 1e-5) << "bin " << k;
  }

  design::design_bandpass(512, design::bp_taps, 0.1f, 0.1f);
  for (int i = 0; i <= 512; ++i) {
    ASSERT_NEAR(design::bp_taps[i], 0.0f, 1e-7f) << "tap " << i;
  }
  for (int k = 0; k <= 510; ++k) {
    ASSERT_NEAR(design::bp_resp_re[k], -q, 1e-6f) << "bin " << k;
    ASSERT_NEAR(design::bp_resp_im[k], -q, 1e-6f) << "bin " << k;
  }
}

// The variable filters are designed exactly like the fixed ones. Each
// designer reads its own level: the others are off by then.
TEST(Designers, EqualSettingsGiveIdenticalDesigns) {
  design::nf1_q_level = 0.05f;
  design::design_nf1(512, 0.0814825f, 0.1001581f);
  design::nf1_q_level = 0.2f;
  design::nf2_q_level = 0.05f;
  design::var_notch_q_level = 0.05f;
  design::design_nf2(512, 0.0814825f, 0.1001581f);
  design::design_var_notch(512, 0.0814825f, 0.1001581f);
  EXPECT_EQ(design::nf1_taps, design::nf2_taps);
  EXPECT_EQ(design::nf1_resp_re, design::nf2_resp_re);
  EXPECT_EQ(design::nf1_resp_im, design::nf2_resp_im);
  EXPECT_EQ(design::nf1_taps, design::var_notch_taps);
  EXPECT_EQ(design::nf1_resp_re, design::var_notch_resp_re);
  EXPECT_EQ(design::nf1_resp_im, design::var_notch_resp_im);

  design::bp_q_level = 0.1f;
  design::design_bandpass(512, design::bp_taps, 0.0976563f, 0.390625f);
  design::bp_q_level = 0.2f;
  design::var_bp_q_level = 0.1f;
  design::design_var_bandpass(512, 0.0976563f, 0.390625f);
  EXPECT_EQ(design::bp_taps, design::var_bp_taps);
  EXPECT_EQ(design::bp_resp_re, design::var_bp_resp_re);
  EXPECT_EQ(design::bp_resp_im, design::var_bp_resp_im);
}

TEST(Designers, TopBinAndUnusedTapsStayZeroAfterManyDesigns) {
  for (int round = 0; round < 20; ++round) {
    const float lo = -0.02f + 0.013f * static_cast<float>(round);
    const float hi = lo + 0.05f + 0.02f * static_cast<float>(round);  // past 0.5 at the end
    design::bp_q_level = design::q_level_for(round);
    design::nf2_q_level = design::q_level_for(round + 3);
    design::design_bandpass(512, design::bp_taps, lo, hi);
    design::design_var_bandpass(512, hi, lo);
    design::design_nf1(512, lo, hi);
    design::design_nf2(512, hi, lo);
    design::design_var_notch(512, lo, lo);
  }
  using namespace design;
  for (const Response* r :
       {&bp_resp_re, &bp_resp_im, &var_bp_resp_re, &var_bp_resp_im, &nf1_resp_re, &nf1_resp_im,
        &nf2_resp_re, &nf2_resp_im, &var_notch_resp_re, &var_notch_resp_im}) {
    EXPECT_EQ((*r)[511], 0.0f);
  }
  for (const Kernel* k : {&bp_taps, &var_bp_taps, &nf1_taps, &nf2_taps, &var_notch_taps}) {
    EXPECT_EQ(std::count(k->begin() + 513, k->end(), 0.0f), 512);
  }
}

}  // namespace
