#include "engine/partitioned_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "design/designers.h"

namespace {

constexpr std::size_t pass = engine::partitioned_pass;

// A notch at 1000 Hz with a floor: it passes DC and Nyquist whole.
design::MinimumPhase notch_design() {
  design::DesignedFilter filter;
  design::design_notch({0.0453514f, 0.1360544f}, 0.05f, filter);
  return filter.min_phase;
}

std::vector<std::int32_t> filter_in_passes(const design::MinimumPhase& filter,
                                           std::vector<std::int32_t> x) {
  engine::PartitionedTail tail;
  engine::PartitionedWork work;
  for (std::size_t start = 0; start < x.size(); start += pass) {
    engine::apply_partitioned_stage(filter, tail, std::span(x).subspan(start, pass), work);
  }
  return x;
}

// White noise, then a constant and the Nyquist frequency for a pass each.
TEST(PartitionedStage, EqualsTheDirectConvolutionAcrossManyPasses) {
  const design::MinimumPhase filter = notch_design();
  std::mt19937 engine(7);
  std::uniform_int_distribution<std::int32_t> uniform(-20000, 20000);
  std::vector<std::int32_t> x(40 * pass);
  for (std::int32_t& v : x) v = uniform(engine);
  for (std::size_t j = 0; j < pass; ++j) {
    x[20 * pass + j] = 15000;
    x[30 * pass + j] = j % 2 == 0 ? 15000 : -15000;
  }
  const std::vector<std::int32_t> y = filter_in_passes(filter, x);
  double worst = 0.0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    double expected = 0.0;
    for (std::size_t t = 0; t < 512 && t <= n; ++t) expected += filter.taps[t] * double(x[n - t]);
    worst = std::max(worst, std::abs(y[n] - expected));
  }
  // One truncation and single-precision transforms.
  EXPECT_LT(worst, 2.0);
}

TEST(PartitionedStage, AnImpulseGivesTheTapsWithNoDelay) {
  const design::MinimumPhase filter = notch_design();
  std::vector<std::int32_t> x(6 * pass, 0);
  constexpr std::size_t at = 100;  // the taps run through four pass boundaries
  x[at] = 30000;
  const std::vector<std::int32_t> y = filter_in_passes(filter, x);
  for (std::size_t n = 0; n < y.size(); ++n) {
    const double tap = n >= at && n - at < 512 ? filter.taps[n - at] : 0.0;
    ASSERT_NEAR(y[n], 30000.0 * tap, 1.0) << n;
  }
  // A minimum phase puts its largest tap first.
  EXPECT_EQ(std::max_element(y.begin(), y.end()) - y.begin(), at);
}

}  // namespace
