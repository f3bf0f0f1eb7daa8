#include "engine/block_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "design/Rfft_ifft.h"

namespace {

constexpr int pass_length = engine::stage_length;

// A stage under test: a kernel of taps 1..512 (tap i enters as time sample
// i - 1), its response made the way the designers make it, and the stage's
// own accumulator.
struct Stage {
  std::array<float, 1025> taps{};
  std::array<float, 512> resp_re{};
  std::array<float, 512> resp_im{};
  std::array<std::int32_t, pass_length> overlap{};
  engine::StageWork work;

  // Response bins 0..510 from the kernel; bin 511 stays zero.
  void respond() {
    std::array<float, 1025> scratch{};
    std::array<float, 513> re{};
    std::array<float, 513> im{};
    design::design_transform(taps, scratch, re, im, pass_length);
    for (int j = 0; j < 511; ++j) {
      resp_re[static_cast<std::size_t>(j)] = re[static_cast<std::size_t>(j) + 1];
      resp_im[static_cast<std::size_t>(j)] = im[static_cast<std::size_t>(j) + 1];
    }
  }

  void run(std::span<std::int32_t> samples) {
    engine::apply_filter_stage(resp_re, resp_im, overlap, samples, work);
  }
};

// A bandpass kernel around a quarter of the sample rate with a Blackman-Harris
// window: its response at 0 Hz, at the top bin and at the Nyquist frequency is
// below -90 dB, so the packed DC/Nyquist bin and the removed top bin do not
// disturb a comparison with a direct convolution.
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
  stage.respond();
  return stage;
}

// y[n] = sum over t of kernel time sample t times x[n - t], in double.
std::vector<double> convolve(const Stage& stage, const std::vector<std::int32_t>& x) {
  std::vector<double> y(x.size(), 0.0);
  for (std::size_t n = 0; n < x.size(); ++n) {
    for (std::size_t t = 0; t < 1024 && t <= n; ++t) y[n] += stage.taps[t + 1] * x[n - t];
  }
  return y;
}

std::vector<std::int32_t> random_signal(std::size_t length, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<std::int32_t> uniform(-20000, 20000);
  std::vector<std::int32_t> x(length);
  for (std::int32_t& v : x) v = uniform(engine);
  return x;
}

// Runs the signal through the stage pass by pass.
std::vector<std::int32_t> filter_in_passes(Stage& stage, std::vector<std::int32_t> x) {
  for (std::size_t start = 0; start < x.size(); start += pass_length) {
    stage.run(std::span(x).subspan(start, pass_length));
  }
  return x;
}

TEST(FilterStage, PassesABlockWithoutMeanOrNyquistComponentThroughAUnitResponse) {
  Stage stage;
  stage.resp_re.fill(1.0f);
  std::array<std::int32_t, pass_length> samples{};
  for (std::size_t j = 0; j < samples.size(); j += 4) {
    samples[j] = 1200;
    samples[j + 1] = -300;
    samples[j + 2] = -1200;
    samples[j + 3] = 300;
  }
  const auto input = samples;
  stage.run(samples);
  for (std::size_t j = 0; j < samples.size(); ++j) {
    ASSERT_LE(std::abs(samples[j] - input[j]), 1) << j;
  }
}

TEST(FilterStage, HalvesEachSegmentsMeanThroughAUnitResponse) {
  Stage stage;
  stage.resp_re.fill(1.0f);
  std::array<std::int32_t, pass_length> samples{};
  samples.fill(1000);
  stage.run(samples);
  // Each zero-padded segment has mean 500 over its 1024 points and comes back
  // with 250 less everywhere, its padding included, which overlaps the next
  // segment.
  EXPECT_NEAR(samples[100], 1000 - 250, 1);
  EXPECT_NEAR(samples[700], 1000 - 250 - 250, 1);
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
  const std::vector<std::int32_t> x = random_signal(24 * pass_length, 11);
  const std::vector<double> expected = convolve(stage, x);
  const std::vector<std::int32_t> y = filter_in_passes(stage, x);
  double worst = 0.0;
  for (std::size_t n = 0; n < y.size(); ++n) worst = std::max(worst, std::abs(y[n] - expected[n]));
  // Two truncations per output sample, and single-precision transforms.
  EXPECT_LT(worst, 3.0);
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
