#include "engine/block_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "design/controls.h"
#include "design/fir.h"
#include "tests/engine/signals.h"

namespace {

constexpr int pass_length = engine::stage_length;

// A stage under test: a kernel of taps 1..512 (tap i enters as time sample
// i - 1), its response, and the stage's own accumulator.
struct Stage {
  std::array<float, 1025> taps{};
  std::array<float, 512> resp_re{};
  std::array<float, 512> resp_im{};
  std::array<std::int32_t, pass_length> overlap{};
  engine::StageWork work;

  void run(std::span<std::int32_t> samples) {
    engine::apply_filter_stage(resp_re, resp_im, overlap, samples, work);
  }
};

// A bandpass kernel around a quarter of the sample rate with a Blackman-Harris
// window, and its response as the designers make it, without a floor.
Stage quarter_band_stage() {
  Stage stage;
  double gain = 0.0;
  for (int t = 0; t < 511; ++t) {
    const double w = 0.35875 - 0.48829 * std::cos(2 * std::numbers::pi * t / 510) +
                     0.14128 * std::cos(4 * std::numbers::pi * t / 510) -
                     0.01168 * std::cos(6 * std::numbers::pi * t / 510);
    const double value = w * std::cos(std::numbers::pi / 2 * (t - 255));
    stage.taps[static_cast<std::size_t>(t) + 1] = static_cast<float>(value);
    gain += std::abs(value) / 2;
  }
  for (std::size_t i = 1; i <= 511; ++i) stage.taps[i] = static_cast<float>(stage.taps[i] / gain);
  design::response_from_taps(stage.taps, 512, 0.0f, stage.resp_re, stage.resp_im);
  return stage;
}

// Runs the signal through the stage pass by pass.
std::vector<std::int32_t> filter_in_passes(Stage& stage, std::vector<std::int32_t> x) {
  for (std::size_t start = 0; start < x.size(); start += pass_length) {
    stage.run(std::span(x).subspan(start, pass_length));
  }
  return x;
}

TEST(FilterStage, AUnitResponsePassesConstantNyquistAndNoiseWhole) {
  Stage stage;
  stage.resp_re.fill(1.0f);
  stage.resp_im[0] = 1.0f;  // the Nyquist value; every other bin is real 1
  std::vector<std::int32_t> x(3 * pass_length);
  engine_test::fill_random(x, 5, 20000);
  for (std::size_t j = 0; j < pass_length; ++j) {
    x[j] = 8000;                                     // DC
    x[pass_length + j] = j % 2 == 0 ? 8000 : -8000;  // Nyquist
  }
  const std::vector<std::int32_t> y = filter_in_passes(stage, x);
  for (std::size_t j = 0; j < y.size(); ++j) ASSERT_LE(std::abs(y[j] - x[j]), 1) << j;
}

TEST(FilterStage, AnImpulseGivesTheKernelDelayedAcrossThePassBoundary) {
  Stage stage = quarter_band_stage();
  std::vector<std::int32_t> x(3 * pass_length, 0);
  constexpr std::size_t at = 1000;  // late in the first pass: most of the kernel lands in the next
  x[at] = 30000;
  const std::vector<std::int32_t> y = filter_in_passes(stage, x);
  for (std::size_t t = 0; t < 1024; ++t) {
    ASSERT_NEAR(y[at + t], 30000.0 * stage.taps[t + 1], 2.0) << t;
  }
  // The kernel is symmetric about time sample 255: the delay of the filter.
  EXPECT_EQ(std::abs(y[at + 255]), *std::max_element(y.begin(), y.end()));
}

TEST(FilterStage, EqualsTheDirectConvolutionAcrossManyPasses) {
  Stage stage = quarter_band_stage();
  std::vector<std::int32_t> x(24 * pass_length);
  engine_test::fill_random(x, 11, 20000);
  const std::vector<std::int32_t> y = filter_in_passes(stage, x);
  // Two truncations per output sample, and single-precision transforms.
  EXPECT_LT(engine_test::against_convolution(y, std::span(stage.taps).subspan(1), x).worst, 3.0);
}

// Notch 1 at 1000 Hz at every Q position, on a constant, on the Nyquist
// frequency and on white noise of RMS 6000: the stage is the convolution
// with the notch's kernel, its floor f = q x sqrt(2) mixed in as an impulse
// at the centre tap.
TEST(FilterStage, ADesignedNotchIsTheConvolutionWithItsKernelAtEveryQPosition) {
  std::vector<std::int32_t> x(4 * pass_length);
  std::mt19937 engine(3);
  std::normal_distribution<double> noise(0.0, 6000.0);
  for (std::int32_t& v : x) v = static_cast<std::int32_t>(std::lround(noise(engine)));
  for (std::size_t j = 0; j < pass_length; ++j) {
    x[j] = 8000;
    x[pass_length + j] = j % 2 == 0 ? 8000 : -8000;
  }
  for (std::int32_t position = design::q_position_min; position <= design::q_position_max;
       ++position) {
    design::CentredControls controls{0, 1000.0f * 1024.0f / 11025.0f, 0, 0.0f, {}};
    design::DesignedFilter notch;
    design::set_notch_q(controls, position, notch);
    design::design_notch_at_centre(controls, notch);
    Stage stage;
    stage.resp_re = notch.re;
    stage.resp_im = notch.im;
    const float floor = controls.q_level * std::numbers::sqrt2_v<float>;
    for (std::size_t i = 0; i <= 512; ++i) stage.taps[i] = (1.0f - floor) * notch.taps[i];
    stage.taps[256] += floor;

    const std::vector<std::int32_t> y = filter_in_passes(stage, x);
    const auto error = engine_test::against_convolution(y, std::span(stage.taps).subspan(1), x);
    EXPECT_LT(error.rms, 1.0) << "Q " << position;
    EXPECT_LT(error.worst, 3.0) << "Q " << position;
    // A constant passes whole once the kernel has filled.
    EXPECT_NEAR(y[pass_length - 1], 8000, 2) << "Q " << position;
  }
}

TEST(FilterStage, StaleTailIsAddedOnceWhenTheStageIsSwitchedBackOn) {
  Stage stage = quarter_band_stage();
  std::vector<std::int32_t> pass(pass_length, 0);
  pass[900] = 30000;
  stage.run(pass);
  const auto tail = stage.overlap;

  // Off for a pass: the accumulator is neither read nor cleared. On again
  // with silence: the old tail comes out once, then nothing.
  std::vector<std::int32_t> silence(pass_length, 0);
  stage.run(silence);
  for (std::size_t j = 0; j < 512; ++j) ASSERT_EQ(silence[j], tail[j]) << j;
  for (std::size_t j = 512; j < silence.size(); ++j) ASSERT_EQ(silence[j], 0) << j;
  EXPECT_TRUE(std::any_of(tail.begin(), tail.begin() + 512, [](std::int32_t v) { return v != 0; }));

  std::vector<std::int32_t> more_silence(pass_length, 0);
  stage.run(more_silence);
  EXPECT_EQ(more_silence, std::vector<std::int32_t>(pass_length, 0));
}

}  // namespace
