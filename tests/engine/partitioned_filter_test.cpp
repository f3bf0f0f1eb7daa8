#include "engine/partitioned_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "design/designers.h"

namespace {

// Runs x through a notch at 1000 Hz with a floor (it passes DC and Nyquist
// whole) pass by pass; returns the output and, in `taps`, the notch's taps.
std::vector<std::int32_t> through_notch(std::vector<std::int32_t> x, std::vector<double>& taps) {
  design::DesignedFilter filter;
  design::design_notch({0.0453514f, 0.1360544f}, 0.05f, filter);
  taps.assign(filter.min_phase.taps.begin(), filter.min_phase.taps.end());
  engine::PartitionedTail tail;
  engine::PartitionedWork work;
  for (std::size_t start = 0; start < x.size(); start += engine::partitioned_pass) {
    engine::apply_partitioned_stage(filter.min_phase, tail,
                                    std::span(x).subspan(start, engine::partitioned_pass), work);
  }
  return x;
}

// Noise, a pass of DC, one of Nyquist, then an impulse whose taps cross four
// pass boundaries, the largest first (no delay).
TEST(PartitionedStage, EqualsTheDirectConvolutionAcrossManyPasses) {
  std::mt19937 engine(7);
  std::uniform_int_distribution<std::int32_t> uniform(-20000, 20000);
  std::vector<std::int32_t> x(50 * 128, 0);
  std::generate(x.begin(), x.begin() + 40 * 128, [&] { return uniform(engine); });
  for (std::size_t j = 0; j < 128; ++j) {
    x[20 * 128 + j] = 15000;
    x[30 * 128 + j] = j % 2 == 0 ? 15000 : -15000;
  }
  constexpr std::size_t impulse = 45 * 128 + 100;
  x[impulse] = 30000;
  std::vector<double> taps;
  const std::vector<std::int32_t> y = through_notch(x, taps);
  double worst = 0.0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    double expected = 0.0;
    for (std::size_t t = 0; t < 512 && t <= n; ++t) expected += taps[t] * x[n - t];
    worst = std::max(worst, std::abs(y[n] - expected));
  }
  EXPECT_LT(worst, 2.0);  // one truncation and single-precision transforms
  EXPECT_EQ(std::max_element(y.begin() + 44 * 128, y.end()) - y.begin(), impulse);
}

}  // namespace
