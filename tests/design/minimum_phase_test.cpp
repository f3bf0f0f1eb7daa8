#include "design/minimum_phase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <vector>

#include "design/designers.h"
#include "design/presets.h"
#include "tests/design/measure.h"

namespace {

using design_test::db;

// What the test compares of time samples h[0..511]: |H| every 2.5 Hz from
// 0 to 5512.5 Hz; the rejection in dB (a notch's deepest point between its
// edges, a bandpass's highest 150 Hz or more outside its band); the -6 dB
// crossings (magnitude 0.5) nearest each edge, interpolated.
struct Measured {
  std::vector<double> magnitude;
  double rejection_db = 0.0;
  std::array<double, 2> edges_hz{-1e9, -1e9};
};

Measured measure(const std::vector<double>& h, const design::Edges& e, bool notch) {
  Measured m;
  const double lo = e.lo * 11025.0;
  const double hi = e.hi * 11025.0;
  double rejection = notch ? 1.0 : 0.0;
  for (double hz = 0.0; hz <= 5512.5; hz += 2.5) {
    const auto z = std::polar(1.0, -2.0 * std::numbers::pi * hz / 11025.0);
    std::complex<double> sum{};
    for (int t = 511; t >= 0; --t) sum = sum * z + h[t];
    const double a = std::abs(sum);
    if (notch && hz > lo && hz < hi) rejection = std::min(rejection, a);
    if (!notch && (hz < lo - 150.0 || hz > hi + 150.0)) rejection = std::max(rejection, a);
    const double before = m.magnitude.empty() ? a : m.magnitude.back();
    if ((before - 0.5) * (a - 0.5) <= 0.0 && before != a) {
      const double at = hz - 2.5 * (a - 0.5) / (a - before);
      for (int k : {0, 1}) {
        const double edge = k == 0 ? lo : hi;
        if (std::abs(at - edge) < std::abs(m.edges_hz[k] - edge)) m.edges_hz[k] = at;
      }
    }
    m.magnitude.push_back(a);
  }
  m.rejection_db = db(rejection);
  return m;
}

// Every bandpass preset (the CW ones around 700 Hz) and notch width (around
// 1000 Hz) at the Q bar's ends and its start position, against the floored
// linear-phase kernel.
TEST(MinimumPhase, KeepsThePassBandRejectionAndEdgesOfEveryPresetAndWidth) {
  for (const bool notch : {false, true}) {
    for (int index = 0; index < (notch ? 4 : 7); ++index) {
      for (const int position : {0, 20, 25}) {
        SCOPED_TRACE(testing::Message()
                     << "notch " << notch << ", " << index << ", Q " << position);
        const float q = design::q_level_for(position);
        design::Edges e;
        design::DesignedFilter filter;
        if (notch) design::notch_width_edges(index, 1000.0f * 1024.0f / 11025.0f, e);
        if (!notch) design::bp_preset_edges(index, 700.0f * 1024.0f / 11025.0f, e);
        (notch ? design::design_notch : design::design_bandpass)(e, q, filter);
        const double f = q * std::numbers::sqrt2;
        std::vector<double> linear(512);
        for (int t = 0; t < 512; ++t)
          linear[t] = (1.0 - f) * filter.taps[t + 1] + (t == 255 ? f : 0.0);
        const Measured want = measure(linear, e, notch);
        const Measured got =
            measure({filter.min_phase.taps.begin(), filter.min_phase.taps.end()}, e, notch);
        for (std::size_t i = 0; i < want.magnitude.size(); ++i) {
          if (want.magnitude[i] < 0.9) continue;
          ASSERT_NEAR(db(got.magnitude[i]), db(want.magnitude[i]), 0.1) << i * 2.5 << " Hz";
        }
        // Below -120 dB, only that it stays there.
        EXPECT_NEAR(std::max(got.rejection_db, -120.0), std::max(want.rejection_db, -120.0), 1.0);
        EXPECT_NEAR(got.edges_hz[0], want.edges_hz[0], 5.0);
        EXPECT_NEAR(got.edges_hz[1], want.edges_hz[1], 5.0);
      }
    }
  }
}

// A minimum phase peaks first (measured: tap 11; a linear phase at 255);
// designs with nothing in them stay consistent.
TEST(MinimumPhase, ComesFirstAndEmptyDesignsStayEmpty) {
  design::DesignedFilter filter;
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.0f, filter);
  const auto& taps = filter.min_phase.taps;
  EXPECT_LT(std::max_element(taps.begin(), taps.end()) - taps.begin(), 16);
  // Equal notch edges: a unit impulse at the centre, in minimum phase at 0.
  design::design_notch({0.1f, 0.1f}, 0.0f, filter);
  EXPECT_NEAR(taps[0], 1.0f, 1e-6f);
  EXPECT_NEAR(*std::max_element(taps.begin() + 1, taps.end()), 0.0f, 1e-6f);
  design::design_bandpass({0.0f, 0.0f}, 0.0f, filter);
  EXPECT_EQ(filter.min_phase, design::DesignedFilter{}.min_phase);
}

}  // namespace
