#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "design/rounding.h"
#include "engine/noise_filters.h"

namespace {

std::array<std::int32_t, 1024> smoothed(const std::array<std::int32_t, 1024>& raw) {
  std::array<std::int32_t, 1024> work{};
  engine::mean_smooth3(raw, work);
  return work;
}

TEST(MedianSmooth, AveragesThreeSamplesAndTwoAtTheEndsTruncatingTowardZero) {
  std::array<std::int32_t, 1024> raw{};
  raw.fill(-77);
  EXPECT_EQ(smoothed(raw), raw);
  using Samples = std::vector<std::pair<std::size_t, std::int32_t>>;
  const struct {
    Samples in;  // the rest 0
    Samples out;
  } cases[] = {
      {{{500, 3000}}, {{498, 0}, {499, 1000}, {500, 1000}, {501, 1000}, {502, 0}}},
      {{{0, 3000}, {1023, 3001}}, {{0, 1500}, {1, 1000}, {1022, 1000}, {1023, 1500}}},
      // (-1 + -1 + 0) / 3 and (0 + 0 + -1) / 3 give 0; (-2 + -2 + 0) / 3 gives -1.
      {{{10, -1}, {11, -1}, {20, -2}, {21, -2}}, {{11, 0}, {9, 0}, {21, -1}, {0, 0}}},
  };
  for (const auto& c : cases) {
    raw.fill(0);
    for (const auto& [i, v] : c.in) raw[i] = v;
    const auto work = smoothed(raw);
    for (const auto& [i, v] : c.out) EXPECT_EQ(work[i], v) << "sample " << i;
  }
}

// The LMS filter with its program start state and the cycle's step size.
struct Lms {
  std::array<float, engine::lms_order + 1> weights{};
  std::array<float, 100> taps{};
  float power = 2.0f;
  float prev_input = 0.0f;
  std::array<float, 1024> input{};
  std::array<float, 1024> output{};

  void run(std::span<std::int32_t> pass) {
    engine::lms_pass(pass, input, output, weights, taps, power, engine::lms_step_size, prev_input);
  }
};

TEST(Lms, StepSizeIsTwoTenMillionthsOverTwentyOne) {
  EXPECT_FLOAT_EQ(engine::lms_step_size, 9.5238093e-9f);
}

// The predictor one step at a time, shifting a real delay line: what the
// pass must equal to the bit, its last prediction in `y`.
struct SteppedLms {
  std::array<float, engine::lms_order + 1> w{};
  std::array<float, engine::lms_order + 1> x{};
  float power = 2.0f;
  float prev_input = 0.0f;
  float y = 0.0f;

  std::int32_t step(std::int32_t sample) {
    const auto d = static_cast<float>(sample);
    x[0] = prev_input;
    y = 0.0f;
    for (int k = 0; k <= engine::lms_order; ++k) y += w[k] * x[k];
    const float e = d - y;
    power = engine::lms_beta * (x[0] * x[0]) + (1.0f - engine::lms_beta) * power;
    const float g = engine::lms_step_size * e / std::max(power, std::numeric_limits<float>::min());
    for (int k = 0; k <= engine::lms_order; ++k) w[k] += g * x[k];
    for (int k = engine::lms_order; k >= 1; --k) x[k] = x[k - 1];
    prev_input = d;
    return design::truncate_to_int32(1.65 * static_cast<double>(y));
  }
};

TEST(Lms, PassesOfAnyLengthEqualTheStepByStepPredictor) {
  // A converging tone in noise, fed in passes of odd lengths, some longer
  // than the pass works through at once, with digital silence in between,
  // from silent fresh coefficients. The delay line past the order is left
  // alone.
  std::mt19937 engine(9);
  std::normal_distribution<double> noise(0.0, 3000.0);
  std::vector<float> scratch_in(5000);
  std::vector<float> scratch_out(5000);
  SteppedLms stepped;
  std::array<float, engine::lms_order + 1> w{};
  std::array<float, 100> x{};
  std::fill(x.begin() + engine::lms_order + 1, x.end(), 9.0f);
  float power = 2.0f;
  float prev_input = 0.0f;
  std::int64_t n = 0;
  for (const std::size_t length : {1u, 7u, 1024u, 20u, 21u, 4097u, 1023u, 3u, 2500u}) {
    std::vector<std::int32_t> pass(length);
    for (std::int32_t& s : pass) {
      s = n % 9000 > 8000 ? 0
                          : static_cast<std::int32_t>(
                                8000 * std::sin(0.4 * static_cast<double>(n)) + noise(engine));
      ++n;
    }
    std::vector<std::int32_t> expected(length);
    std::vector<float> predicted(length);
    for (std::size_t i = 0; i < length; ++i) {
      expected[i] = stepped.step(pass[i]);
      predicted[i] = stepped.y;
    }
    engine::lms_pass(pass, scratch_in, scratch_out, w, x, power, engine::lms_step_size, prev_input);
    ASSERT_EQ(pass, expected) << "pass of " << length;
    ASSERT_TRUE(std::equal(predicted.begin(), predicted.end(), scratch_out.begin()));
    ASSERT_EQ(w, stepped.w);
    ASSERT_TRUE(std::equal(stepped.x.begin(), stepped.x.end(), x.begin()));
    ASSERT_EQ(power, stepped.power);
    ASSERT_EQ(prev_input, stepped.prev_input);
  }
  EXPECT_NE(w, decltype(w){});
  EXPECT_TRUE(
      std::all_of(x.begin() + engine::lms_order + 1, x.end(), [](float v) { return v == 9.0f; }));
}

// Tone power over everything else in `x`, from a least-squares fit of the
// tone at its known frequency.
double snr_db(const std::vector<double>& x, double frequency) {
  double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    const double c = std::cos(2 * std::numbers::pi * frequency * static_cast<double>(n));
    const double s = std::sin(2 * std::numbers::pi * frequency * static_cast<double>(n));
    cc += c * c, ss += s * s, cs += c * s, xc += x[n] * c, xs += x[n] * s;
  }
  const double det = cc * ss - cs * cs;
  const double a = (xc * ss - xs * cs) / det;
  const double b = (xs * cc - xc * cs) / det;
  double tone = 0, rest = 0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    const double c = std::cos(2 * std::numbers::pi * frequency * static_cast<double>(n));
    const double s = std::sin(2 * std::numbers::pi * frequency * static_cast<double>(n));
    const double fit = a * c + b * s;
    tone += fit * fit;
    rest += (x[n] - fit) * (x[n] - fit);
  }
  return 10 * std::log10(tone / rest);
}

// After 400 passes (37 s of audio) a 700 Hz tone 3 dB below white noise
// comes out about 9.7 dB better (-3.0 dB in, +6.7 dB out).
TEST(Lms, ImprovesTheSignalToNoiseRatioOfAToneInWhiteNoise) {
  constexpr double frequency = 700.0 / 11025.0;
  constexpr int passes = 400;
  std::mt19937 engine(5);
  std::normal_distribution<double> noise(0.0, 4000.0);
  Lms lms;
  std::vector<double> last_in;
  std::vector<double> last_out;
  for (int p = 0; p < passes; ++p) {
    std::array<std::int32_t, 1024> pass{};
    for (std::size_t i = 0; i < pass.size(); ++i) {
      const double n = static_cast<double>(p * 1024) + static_cast<double>(i);
      pass[i] = static_cast<std::int32_t>(4000 * std::sin(2 * std::numbers::pi * frequency * n) +
                                          noise(engine));
    }
    const auto input = pass;
    lms.run(pass);
    if (p >= passes - 16) {
      last_in.insert(last_in.end(), input.begin(), input.end());
      last_out.insert(last_out.end(), pass.begin(), pass.end());
    }
  }
  const double snr_in = snr_db(last_in, frequency);
  const double snr_out = snr_db(last_out, frequency);
  EXPECT_NEAR(snr_in, -3.0, 0.5);
  EXPECT_GT(snr_out - snr_in, 8.0) << "in " << snr_in << " dB, out " << snr_out << " dB";
}

TEST(Lms, StaysFiniteWhenSoundFollowsAPowerEstimateDecayedToZero) {
  Lms lms;
  lms.power = 0.0f;
  std::array<std::int32_t, 1024> pass{};
  pass[100] = 20000;
  pass[101] = -20000;
  lms.run(pass);
  for (float w : lms.weights) ASSERT_TRUE(std::isfinite(w));
  std::array<std::int32_t, 1024> next{};
  for (std::size_t i = 0; i < next.size(); ++i) next[i] = (i % 7) * 1000;
  lms.run(next);
  for (float w : lms.weights) ASSERT_TRUE(std::isfinite(w));
  for (float y : lms.output) ASSERT_TRUE(std::isfinite(y));
}

TEST(Lms, ResetClearsTheWholeDelayLineAndTheWeights) {
  Lms lms;
  lms.taps.fill(3.0f);
  lms.weights.fill(0.1f);
  lms.power = 77.0f;
  engine::lms_reset(lms.weights, lms.taps, lms.power);
  EXPECT_EQ(lms.taps, decltype(lms.taps){});
  EXPECT_EQ(lms.weights, decltype(lms.weights){});
  EXPECT_EQ(lms.power, 2.0f);
}

}  // namespace
