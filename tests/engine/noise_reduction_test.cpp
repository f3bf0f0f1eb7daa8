#include "engine/noise_reduction.h"

#include <gtest/gtest.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <numbers>
#include <vector>

#include "tests/support/speech.h"

namespace {

constexpr std::size_t pass = 1024;

// Runs `input` through `filter` in the chain's 1024-sample passes (the last
// one padded with silence) and returns as many samples as went in.
std::vector<std::int32_t> filtered(engine::NoiseReduction& filter,
                                   const std::vector<std::int32_t>& input,
                                   std::size_t pass_length = pass) {
  std::vector<std::int32_t> out = input;
  out.resize((input.size() + pass_length - 1) / pass_length * pass_length, 0);
  for (std::size_t start = 0; start < out.size(); start += pass_length) {
    filter.process(std::span(out).subspan(start, pass_length));
  }
  out.resize(input.size());
  return out;
}

std::vector<float> filtered_at(int strength, std::span<const float> input) {
  engine::NoiseReduction filter;
  filter.set_strength(strength);
  return speech::to_floats(filtered(filter, speech::to_samples(input)));
}

// The established denoiser: 256-sample frames at 11025 Hz, denoising on,
// level control off, its default suppression.
std::vector<float> yardstick(std::span<const float> input) {
  SpeexPreprocessState* state = speex_preprocess_state_init(256, 11025);
  int on = 1;
  int off = 0;
  speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_DENOISE, &on);
  speex_preprocess_ctl(state, SPEEX_PREPROCESS_SET_AGC, &off);
  const std::vector<std::int32_t> samples = speech::to_samples(input);
  std::vector<spx_int16_t> frames((samples.size() + 255) / 256 * 256, 0);
  std::copy(samples.begin(), samples.end(), frames.begin());
  for (std::size_t start = 0; start < frames.size(); start += 256) {
    speex_preprocess_run(state, frames.data() + start);
  }
  speex_preprocess_state_destroy(state);
  std::vector<float> out(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(input.size()));
  return out;
}

// The delay of `processed` against `clean`, measured on the first three
// seconds.
std::size_t measured_delay(std::span<const float> clean, std::span<const float> processed) {
  const std::size_t span = 33075;
  return speech::best_lag(clean.first(span), processed.first(span), 600);
}

double rms_between(std::span<const float> signal, double from_s, double to_s) {
  const auto from = static_cast<std::size_t>(from_s * speech::rate);
  const auto to = static_cast<std::size_t>(to_s * speech::rate);
  return speech::rms_of(signal.subspan(from, to - from));
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

std::int32_t peak(const std::vector<std::int32_t>& samples, std::size_t from = 0) {
  std::int64_t most = 0;
  for (std::size_t i = from; i < samples.size(); ++i) {
    most = std::max(most, std::abs(static_cast<std::int64_t>(samples[i])));
  }
  return static_cast<std::int32_t>(most);
}

std::int32_t largest_step(const std::vector<std::int32_t>& samples, std::size_t from) {
  std::int64_t most = 0;
  for (std::size_t i = from + 1; i < samples.size(); ++i) {
    most = std::max(most, std::abs(static_cast<std::int64_t>(samples[i]) - samples[i - 1]));
  }
  return static_cast<std::int32_t>(most);
}

TEST(NoiseReduction, ImprovesSpeechInNoiseMoreThanTheYardstick) {
  const std::vector<float>& clean = speech::sentences();
  struct Case {
    const char* noise;
    double snr_db;
  };
  const Case cases[] = {{"white", 0.0}, {"white", 5.0}, {"white", 10.0},
                        {"pink", 0.0},  {"pink", 5.0},  {"pink", 10.0}};
  const std::vector<float> white = speech::white_noise(clean.size(), 1000.0, 11);
  const std::vector<float> pink = speech::pink_noise(clean.size(), 1000.0, 12);
  double sum_ahead = 0.0;
  std::printf("segmental SNR gain, dB      ours  yardstick\n");
  for (const Case& c : cases) {
    const std::vector<float> noisy =
        speech::mixed(clean, c.noise[0] == 'w' ? white : pink, c.snr_db);
    const double before = speech::segmental_snr(clean, noisy);

    const std::vector<float> ours = filtered_at(engine::noise_reduction_start, noisy);
    EXPECT_EQ(measured_delay(clean, ours), static_cast<std::size_t>(engine::noise_reduction_delay));
    const double our_gain =
        speech::segmental_snr(clean, ours, engine::noise_reduction_delay) - before;

    const std::vector<float> theirs = yardstick(noisy);
    const double their_gain =
        speech::segmental_snr(clean, theirs, measured_delay(clean, theirs)) - before;

    std::printf("%-5s noise at %4.1f dB SNR  %6.2f  %6.2f\n", c.noise, c.snr_db, our_gain,
                their_gain);
    EXPECT_GT(our_gain, their_gain - 0.5) << c.noise << " noise at " << c.snr_db << " dB";
    sum_ahead += our_gain - their_gain;
  }
  const double mean_ahead = sum_ahead / std::size(cases);
  std::printf("mean lead over the yardstick: %.2f dB\n", mean_ahead);
  EXPECT_GE(mean_ahead, 1.0);
}

TEST(NoiseReduction, KeepsCleanSpeech) {
  const std::vector<float>& clean = speech::sentences();
  const std::vector<float> out = filtered_at(engine::noise_reduction_start, clean);
  const double kept = speech::segmental_snr(clean, out, engine::noise_reduction_delay);
  std::printf("clean speech at strength %d: %.2f dB segmental SNR\n",
              engine::noise_reduction_start, kept);
  EXPECT_GE(kept, 20.0);
}

TEST(NoiseReduction, MoreStrengthRemovesMoreNoise) {
  const std::vector<float> noise = speech::white_noise(8 * 11025, 1000.0, 21);
  const double in = rms_between(noise, 4.0, 8.0);
  // Strength 1 takes some noise away; each step to 5 and to 10 much more.
  double previous = in;
  for (const auto& [strength, least_step] : {std::pair{1, 3.0}, {5, 5.0}, {10, 5.0}}) {
    const double out = rms_between(filtered_at(strength, noise), 4.0, 8.0);
    std::printf("noise alone at strength %2d: %6.1f dB\n", strength, db(out / in));
    EXPECT_LT(db(out / previous), -least_step) << "strength " << strength;
    previous = out;
  }
  // Positions past either end act as the end positions.
  EXPECT_EQ(filtered_at(0, noise), filtered_at(1, noise));
  EXPECT_EQ(filtered_at(11, noise), filtered_at(10, noise));
}

TEST(NoiseReduction, FollowsTheNoiseFloorUpAndDown) {
  // 6 s of noise, then 6 s 20 dB louder, then 6 s back at the first level.
  const std::size_t part = 6 * 11025;
  std::vector<float> noise = speech::white_noise(3 * part, 1.0, 22);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] *= i / part == 1 ? 1000.0f : 100.0f;
  const std::vector<float> out = filtered_at(engine::noise_reduction_start, noise);
  const double settled = db(rms_between(out, 4.0, 6.0) / rms_between(noise, 4.0, 6.0));
  const double after_rise = db(rms_between(out, 8.5, 12.0) / rms_between(noise, 8.5, 12.0));
  const double after_fall = db(rms_between(out, 14.0, 18.0) / rms_between(noise, 14.0, 18.0));
  std::printf("noise suppressed by %.1f dB, %.1f dB 2.5 s after it rose, %.1f dB 2 s after it fell\n",
              -settled, -after_rise, -after_fall);
  EXPECT_LT(settled, -12.0);
  EXPECT_LT(after_rise, settled + 3.0);
  EXPECT_LT(after_fall, settled + 3.0);
}

TEST(NoiseReduction, SilenceStaysSilentAndFullScaleStaysBounded) {
  engine::NoiseReduction filter;
  const std::vector<std::int32_t> silence(5 * pass, 0);
  EXPECT_EQ(filtered(filter, silence), silence);

  // A full-scale 1 kHz tone after the silence: once through, no sample
  // steps further than the tone's own steps, and none goes past its peak.
  std::vector<std::int32_t> tone(3 * 11025);
  for (std::size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<std::int32_t>(std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 11025.0)));
  }
  const std::vector<std::int32_t> out = filtered(filter, tone);
  EXPECT_LE(peak(out), 32767 + 32767 / 20);
  EXPECT_GT(peak(out, 11025), 32767 * 9 / 10);
  EXPECT_LE(largest_step(out, 11025), largest_step(tone, 0) * 21 / 20);

  // Samples far past 16 bits (a square wave at 2^30) come out bounded too.
  std::vector<std::int32_t> loud(4 * pass);
  for (std::size_t i = 0; i < loud.size(); ++i) loud[i] = (i / 8) % 2 == 0 ? 1 << 30 : -(1 << 30);
  engine::NoiseReduction fresh;
  EXPECT_LE(peak(filtered(fresh, loud)), (1 << 30) + (1 << 29));
}

TEST(NoiseReduction, RepeatsItselfAfterResetWhateverThePassLength) {
  const std::vector<float> noisy =
      speech::mixed(std::span(speech::sentences()).first(4 * 11025),
                    speech::pink_noise(4 * 11025, 1000.0, 23), 5.0);
  const std::vector<std::int32_t> input = speech::to_samples(noisy);
  engine::NoiseReduction filter;
  filter.set_strength(8);
  const std::vector<std::int32_t> first = filtered(filter, input);
  filter.reset();
  EXPECT_EQ(filtered(filter, input), first);
  engine::NoiseReduction by_hops;
  by_hops.set_strength(8);
  EXPECT_EQ(filtered(by_hops, input, engine::noise_reduction_hop), first);
  engine::NoiseReduction at_start;
  EXPECT_NE(filtered(at_start, input), first);
}

}  // namespace
