#include "design/minimum_phase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "design/designers.h"
#include "design/presets.h"
#include "tests/design/measure.h"

namespace {

constexpr double step_hz = 2.5;

// |H| every step_hz from 0 to 5512.5 Hz of time samples h[0..511], by
// Horner's rule in double precision.
std::vector<double> magnitudes(const std::vector<double>& h) {
  std::vector<double> out;
  for (double hz = 0.0; hz <= 5512.5; hz += step_hz) {
    const double c = std::cos(2.0 * std::numbers::pi * hz / 11025.0);
    const double s = -std::sin(2.0 * std::numbers::pi * hz / 11025.0);
    double re = 0.0;
    double im = 0.0;
    for (int t = 511; t >= 0; --t) {
      const double next_re = re * c - im * s + h[t];
      im = re * s + im * c;
      re = next_re;
    }
    out.push_back(std::hypot(re, im));
  }
  return out;
}

// The -6 dB crossing (magnitude 0.5) nearest `hz`, interpolated.
double crossing_near(const std::vector<double>& m, double hz) {
  double best = -1.0;
  for (std::size_t i = 1; i < m.size(); ++i) {
    if ((m[i - 1] - 0.5) * (m[i] - 0.5) > 0.0 || m[i - 1] == m[i]) continue;
    const double at = (static_cast<double>(i) - 1.0 + (0.5 - m[i - 1]) / (m[i] - m[i - 1])) * step_hz;
    if (best < 0.0 || std::abs(at - hz) < std::abs(best - hz)) best = at;
  }
  return best;
}

// The rejection: a notch's deepest point between its edges, a bandpass's
// highest point 150 Hz or more outside its band.
double rejection_db(const std::vector<double>& m, const design::Edges& e, bool notch) {
  double value = notch ? 1e9 : 0.0;
  for (std::size_t i = 0; i < m.size(); ++i) {
    const double hz = static_cast<double>(i) * step_hz;
    if (notch && hz > e.lo * 11025.0 && hz < e.hi * 11025.0) value = std::min(value, m[i]);
    if (!notch && (hz < e.lo * 11025.0 - 150.0 || hz > e.hi * 11025.0 + 150.0)) {
      value = std::max(value, m[i]);
    }
  }
  return design_test::db(std::max(value, 1e-12));
}

// Every bandpass preset (CW ones around 700 Hz) and notch width (around
// 1000 Hz) at the Q bar's ends and its start position, against the floored
// linear-phase kernel.
TEST(MinimumPhase, KeepsThePassBandRejectionAndEdgesOfEveryPresetAndWidth) {
  for (const bool notch : {false, true}) {
    for (int index = 0; index < (notch ? 4 : 7); ++index) {
      for (const int position : {0, 20, 25}) {
        const float q = design::q_level_for(position);
        design::Edges edges;
        design::DesignedFilter filter;
        if (notch) {
          design::notch_width_edges(index, 1000.0f * 1024.0f / 11025.0f, edges);
          design::design_notch(edges, q, filter);
        } else {
          design::bp_preset_edges(index, 700.0f * 1024.0f / 11025.0f, edges);
          design::design_bandpass(edges, q, filter);
        }
        const double f = q * std::numbers::sqrt2;
        std::vector<double> linear(512);
        std::vector<double> minimum(512);
        for (int t = 0; t < 512; ++t) {
          linear[t] = (1.0 - f) * filter.taps[t + 1] + (t == 255 ? f : 0.0);
          minimum[t] = filter.min_phase.taps[t];
        }
        const std::vector<double> want = magnitudes(linear);
        const std::vector<double> got = magnitudes(minimum);
        SCOPED_TRACE(testing::Message() << (notch ? "notch " : "bandpass ") << index << ", Q "
                                        << position);
        for (std::size_t i = 0; i < want.size(); ++i) {
          if (want[i] < 0.9) continue;
          ASSERT_NEAR(design_test::db(got[i]), design_test::db(want[i]), 0.1) << i * step_hz;
        }
        const double want_rejection = rejection_db(want, edges, notch);
        const double got_rejection = rejection_db(got, edges, notch);
        if (want_rejection > -120.0) EXPECT_NEAR(got_rejection, want_rejection, 1.0);
        else EXPECT_LT(got_rejection, -120.0);
        for (const float edge : {edges.lo, edges.hi}) {
          EXPECT_NEAR(crossing_near(got, edge * 11025.0), crossing_near(want, edge * 11025.0), 5.0);
        }
      }
    }
  }
}

// The delay is a minimum phase's, the stage's partition spectra are those of
// the taps, and the forms of filters with nothing in them stay consistent.
TEST(MinimumPhase, DelaysLittleHasTheTapsSpectraAndEmptyDesignsStayEmpty) {
  design::DesignedFilter filter;
  // Group delay of the voice band at 1 kHz without a floor (255 samples in
  // linear phase), Re(sum t h[t] z^t / sum h[t] z^t).
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.0f, filter);
  std::complex<double> weighted{};
  std::complex<double> plain{};
  for (int t = 0; t < 512; ++t) {
    const auto z = std::polar(1.0, -2.0 * std::numbers::pi * 1000.0 * t / 11025.0);
    weighted += static_cast<double>(t) * filter.min_phase.taps[t] * z;
    plain += static_cast<double>(filter.min_phase.taps[t]) * z;
  }
  EXPECT_LT((weighted / plain).real(), 10.0);

  design::design_notch({0.05f, 0.08f}, design::q_level_for(20), filter);
  for (int p = 0; p < design::partition_count; ++p) {
    std::vector<float> part(513, 0.0f);
    for (int i = 0; i < 128; ++i) part[i] = filter.min_phase.taps[p * 128 + i];
    for (int k = 1; k < 128; ++k) {
      const auto want = design_test::kernel_response(part, k * 11025.0 / 256.0);
      ASSERT_NEAR(filter.min_phase.re[p][k], want.real(), 1e-5) << p << ", bin " << k;
      ASSERT_NEAR(filter.min_phase.im[p][k], want.imag(), 1e-5) << p << ", bin " << k;
    }
    EXPECT_NEAR(filter.min_phase.re[p][0], design_test::kernel_response(part, 0.0).real(), 1e-5);
    EXPECT_NEAR(filter.min_phase.im[p][0], design_test::kernel_response(part, 5512.5).real(), 1e-5);
  }
  // Equal notch edges: a unit impulse at the centre, whose minimum phase is
  // a unit impulse at time 0.
  design::design_notch({0.1f, 0.1f}, 0.0f, filter);
  EXPECT_NEAR(filter.min_phase.taps[0], 1.0f, 1e-6f);
  EXPECT_NEAR(*std::max_element(filter.min_phase.taps.begin() + 1, filter.min_phase.taps.end()),
              0.0f, 1e-6f);
  design::design_bandpass({0.0f, 0.0f}, 0.0f, filter);
  EXPECT_EQ(filter.min_phase.taps, design::DesignedFilter{}.min_phase.taps);
  EXPECT_EQ(filter.min_phase.re, design::DesignedFilter{}.min_phase.re);
}

}  // namespace
