#include "engine/partitioned_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "design/designers.h"
#include "tests/engine/signals.h"

namespace {

// Noise, a pass of DC, one of Nyquist, then an impulse whose taps cross four
// pass boundaries, the largest first (no delay), run pass by pass through a
// notch at 1000 Hz with a floor (it passes DC and Nyquist whole).
TEST(PartitionedStage, EqualsTheDirectConvolutionAcrossManyPasses) {
  std::vector<std::int32_t> x(50 * 128, 0);
  engine_test::fill_random(std::span(x).first(40 * 128), 7, 20000);
  for (std::size_t j = 0; j < 128; ++j) {
    x[20 * 128 + j] = 15000;
    x[30 * 128 + j] = j % 2 == 0 ? 15000 : -15000;
  }
  constexpr std::size_t impulse = 45 * 128 + 100;
  x[impulse] = 30000;
  design::DesignedFilter filter;
  design::design_notch({0.0453514f, 0.1360544f}, 0.05f, filter);
  engine::PartitionedTail tail;
  engine::PartitionedWork work;
  std::vector<std::int32_t> y = x;
  for (std::size_t start = 0; start < y.size(); start += engine::partitioned_pass) {
    engine::apply_partitioned_stage(filter.min_phase, tail,
                                    std::span(y).subspan(start, engine::partitioned_pass), work);
  }
  // One truncation and single-precision transforms.
  EXPECT_LT(engine_test::against_convolution(y, filter.min_phase.taps, x).worst, 2.0);
  EXPECT_EQ(std::max_element(y.begin() + 44 * 128, y.end()) - y.begin(), impulse);
}

}  // namespace
