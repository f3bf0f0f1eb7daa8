#include "engine/noise_reduction.h"

#include <gtest/gtest.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>
#include <vector>

#include "design/Rfft_ifft.h"
#include "tests/engine/signals.h"
#include "tests/support/speech.h"

namespace {

using engine_test::largest_step;
using engine_test::peak;

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

// The normal form in the chain's 1024-sample passes, the low-delay form in
// its 128-sample ones.
std::vector<float> filtered_at(int strength, std::span<const float> input, bool low_delay = false) {
  engine::NoiseReduction filter;
  filter.set_strength(strength);
  filter.set_low_delay(low_delay);
  return speech::to_floats(filtered(filter, speech::to_samples(input), low_delay ? 128 : pass));
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
  std::vector<float> out(frames.begin(),
                         frames.begin() + static_cast<std::ptrdiff_t>(input.size()));
  return out;
}

double rms_between(std::span<const float> signal, double from_s, double to_s) {
  const auto from = static_cast<std::size_t>(from_s * speech::rate);
  const auto to = static_cast<std::size_t>(to_s * speech::rate);
  return speech::rms_of(signal.subspan(from, to - from));
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

// Kurtosis of the leftover noise's short-time power spectrum, each bin's
// power divided by its mean over time first (256-point Hann frames, half
// overlapped, 170 Hz to 5.3 kHz): about 9 for Gaussian noise, far more when
// the leftover breaks into isolated tones that come and go (musical noise).
double spectral_kurtosis(std::span<const float> signal) {
  constexpr int size = 256;
  constexpr int first_bin = 4;
  constexpr int last_bin = size / 2 - 4;
  std::vector<std::vector<double>> power(last_bin - first_bin);
  std::array<float, size + 1> data{};
  std::array<float, size / 2 + 1> re{};
  std::array<float, size / 2 + 1> im{};
  for (std::size_t start = 0; start + size <= signal.size(); start += size / 2) {
    for (int n = 0; n < size; ++n) {
      data[n + 1] = signal[start + n] *
                    static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / size));
    }
    design::real_fft(data, re, im, size);
    for (int k = first_bin; k < last_bin; ++k) {
      power[k - first_bin].push_back(double{re[k + 1]} * re[k + 1] + double{im[k + 1]} * im[k + 1]);
    }
  }
  std::vector<double> normalised;
  for (const std::vector<double>& bin : power) {
    double mean = 0.0;
    for (double p : bin) mean += p / static_cast<double>(bin.size());
    for (double p : bin) normalised.push_back(p / mean);
  }
  double m2 = 0.0;
  double m4 = 0.0;
  for (double v : normalised) {
    m2 += (v - 1.0) * (v - 1.0);
    m4 += (v - 1.0) * (v - 1.0) * (v - 1.0) * (v - 1.0);
  }
  return static_cast<double>(normalised.size()) * m4 / (m2 * m2);
}

// Against the yardstick at strength 5, on the sentences in white and pink
// noise at 0, 5 and 10 dB SNR, with two pairs of noise seeds: a mean lead
// of at least 1 dB of segmental SNR gain for each pair, and no case more
// than 0.5 dB behind. The low-delay form, at its own delay, within 0.5 dB
// of the normal form in each case (measured 0.12 to 0.33 dB behind).
// Each pair of noise seeds in a test of its own, so that the two run side
// by side.
class NoiseSeeds : public ::testing::TestWithParam<std::pair<unsigned, unsigned>> {};

TEST_P(NoiseSeeds, ImprovesSpeechInNoiseMoreThanTheYardstick) {
  const std::vector<float>& clean = speech::sentences();
  struct Case {
    const char* noise;
    double snr_db;
  };
  const Case cases[] = {{"white", 0.0}, {"white", 5.0}, {"white", 10.0},
                        {"pink", 0.0},  {"pink", 5.0},  {"pink", 10.0}};
  const auto [white_seed, pink_seed] = GetParam();
  const std::vector<float> white = speech::white_noise(clean.size(), 1000.0, white_seed);
  const std::vector<float> pink = speech::pink_noise(clean.size(), 1000.0, pink_seed);
  double sum_ahead = 0.0;
  std::printf("noise seeds %u and %u\nsegmental SNR gain, dB      ours  low-delay  yardstick\n",
              white_seed, pink_seed);
  for (const Case& c : cases) {
    const std::vector<float> noisy =
        speech::mixed(clean, c.noise[0] == 'w' ? white : pink, c.snr_db);
    const double before = speech::segmental_snr(clean, noisy);

    const std::vector<float> ours = filtered_at(engine::noise_reduction_start, noisy);
    const double our_gain =
        speech::segmental_snr(clean, ours, engine::noise_reduction_delay) - before;

    const std::vector<float> low = filtered_at(engine::noise_reduction_start, noisy, true);
    const double low_gain =
        speech::segmental_snr(clean, low, engine::noise_reduction_low_delay) - before;

    // The yardstick at its own delay, measured on the first three seconds.
    const std::vector<float> theirs = yardstick(noisy);
    const std::size_t lag =
        speech::best_lag(std::span(clean).first(33075), std::span(theirs).first(33075), 600);
    const double their_gain = speech::segmental_snr(clean, theirs, lag) - before;

    std::printf("%-5s noise at %4.1f dB SNR  %6.2f  %9.2f  %9.2f\n", c.noise, c.snr_db, our_gain,
                low_gain, their_gain);
    EXPECT_GT(low_gain, our_gain - 0.5)
        << "low-delay, " << c.noise << " noise at " << c.snr_db << " dB, seeds " << white_seed;
    EXPECT_GT(our_gain, their_gain - 0.5)
        << c.noise << " noise at " << c.snr_db << " dB, seeds " << white_seed << ", " << pink_seed;
    sum_ahead += our_gain - their_gain;
  }
  const double mean_ahead = sum_ahead / std::size(cases);
  std::printf("mean lead over the yardstick: %.2f dB\n", mean_ahead);
  EXPECT_GE(mean_ahead, 1.0) << "seeds " << white_seed << ", " << pink_seed;
}

INSTANTIATE_TEST_SUITE_P(NoiseReduction, NoiseSeeds,
                         ::testing::Values(std::pair{11u, 12u}, std::pair{41u, 42u}));

// On noise alone at strength 5, the leftover noise is hardly more tonal
// than the yardstick's: measured 18 against its 14 in white noise and 17
// against its 20 in pink (the input's is 8.4; the low-delay form's 8.4 in
// both); a filter whose leftover breaks into musical noise scores 75 (the
// low-delay form without its hold on gains in frames without speech,
// 860). The bound, 1.5 times the
// yardstick's, leaves room for rounding and tuning but not for tones.
TEST(NoiseReduction, LeavesLittleMusicalNoise) {
  const auto noises = {std::pair{"white", speech::white_noise(8 * 11025, 1000.0, 21)},
                       std::pair{"pink", speech::pink_noise(8 * 11025, 1000.0, 21)}};
  for (const auto& [name, noise] : noises) {
    const auto settled = [](const std::vector<float>& signal) {
      return std::span(signal).subspan(4 * 11025, 4 * 11025);
    };
    const std::vector<float> ours = filtered_at(engine::noise_reduction_start, noise);
    const std::vector<float> low = filtered_at(engine::noise_reduction_start, noise, true);
    const std::vector<float> theirs = yardstick(noise);
    const double input = spectral_kurtosis(settled(noise));
    const double our_kurtosis = spectral_kurtosis(settled(ours));
    const double low_kurtosis = spectral_kurtosis(settled(low));
    const double their_kurtosis = spectral_kurtosis(settled(theirs));
    std::printf(
        "%-5s noise, spectral kurtosis: input %.1f  ours %.1f  low-delay %.1f  yardstick %.1f\n",
        name, input, our_kurtosis, low_kurtosis, their_kurtosis);
    EXPECT_LE(our_kurtosis, 1.5 * their_kurtosis) << name << " noise";
    EXPECT_LE(low_kurtosis, 1.5 * their_kurtosis) << name << " noise, low-delay";
  }
}

TEST(NoiseReduction, KeepsCleanSpeech) {
  const std::vector<float>& clean = speech::sentences();
  for (const auto& [low_delay, delay] : {std::pair{false, engine::noise_reduction_delay},
                                         {true, engine::noise_reduction_low_delay}}) {
    const std::vector<float> out = filtered_at(engine::noise_reduction_start, clean, low_delay);
    const double kept = speech::segmental_snr(clean, out, static_cast<std::size_t>(delay));
    std::printf("clean speech at strength %d, %s form: %.2f dB segmental SNR\n",
                engine::noise_reduction_start, low_delay ? "low-delay" : "normal", kept);
    EXPECT_GE(kept, 20.0) << (low_delay ? "low-delay" : "normal");
  }
}

// A noise burst after silence, starting inside a pass, comes out of each
// form at its stated delay: the first output sample past a tenth of the
// burst's RMS.
TEST(NoiseReduction, BurstOnsetComesOutAtEachFormsDelay) {
  constexpr std::size_t onset = 3000;
  std::vector<float> burst(11025, 0.0f);
  const std::vector<float> noise = speech::white_noise(burst.size() - onset, 3000.0, 24);
  std::copy(noise.begin(), noise.end(), burst.begin() + onset);
  for (const auto& [low_delay, delay] : {std::pair{false, engine::noise_reduction_delay},
                                         {true, engine::noise_reduction_low_delay}}) {
    const std::vector<float> out = filtered_at(engine::noise_reduction_start, burst, low_delay);
    const auto first =
        std::find_if(out.begin(), out.end(), [](float v) { return std::abs(v) > 300.0f; });
    EXPECT_EQ(first - out.begin(), static_cast<std::ptrdiff_t>(onset) + delay)
        << (low_delay ? "low-delay" : "normal");
  }
  EXPECT_LE(engine::noise_reduction_low_delay, 132);
}

// The form changed every 1.5 s from the normal form's 1024-sample passes
// to the low-delay form's 128 and back. On noise alone each change keeps
// the noise estimate and strength (the noise stays 20 dB down in the 0.5 s
// after it); on a 1 kHz tone (taken for noise and let down) no sample
// near a change steps further than a sine's steps at the peak there
// (2 sin(pi 1000 / 11025) = 0.56 of it; without the cross-fade, up to 1.2).
TEST(NoiseReduction, ChangesFormMidStreamWithoutLosingTheEstimateOrClicking) {
  const std::size_t part = 16 * pass;
  const auto switched = [part](const std::vector<std::int32_t>& input) {
    engine::NoiseReduction filter;
    std::vector<std::int32_t> out = input;
    for (std::size_t start = 0; start < out.size(); start += part) {
      filter.set_low_delay(start / part % 2 == 1);
      const std::size_t step = filter.low_delay() ? 128 : pass;
      for (std::size_t p = start; p < start + part; p += step) {
        filter.process(std::span(out).subspan(p, step));
      }
    }
    return out;
  };
  const std::vector<float> noise = speech::white_noise(6 * part, 1000.0, 25);
  const std::vector<float> out = speech::to_floats(switched(speech::to_samples(noise)));
  const double part_s = static_cast<double>(part) / speech::rate;
  for (int change = 2; change < 6; ++change) {
    const double from = change * part_s;
    const double after =
        db(rms_between(out, from, from + 0.5) / rms_between(noise, from, from + 0.5));
    std::printf("form changed at %.2f s: noise down %.1f dB in the 0.5 s after\n", from, -after);
    EXPECT_LT(after, -17.0) << "change " << change;
  }

  std::vector<std::int32_t> tone(6 * part);
  for (std::size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<std::int32_t>(
        std::lround(10000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 11025.0)));
  }
  const std::vector<std::int32_t> through = switched(tone);
  for (std::size_t change = part; change < through.size(); change += part) {
    const std::vector<std::int32_t> around(
        through.begin() + static_cast<std::ptrdiff_t>(change - 256),
        through.begin() + static_cast<std::ptrdiff_t>(change + 512));
    EXPECT_LE(largest_step(around, 0), peak(around) * 3 / 5) << "change at " << change;
  }
  EXPECT_LE(peak(through), 10000 + 10000 / 20);
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
  std::printf(
      "noise suppressed by %.1f dB, %.1f dB 2.5 s after it rose, %.1f dB 2 s after it fell\n",
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
    tone[i] = static_cast<std::int32_t>(
        std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 11025.0)));
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
  const std::vector<float> noisy = speech::mixed(std::span(speech::sentences()).first(4 * 11025),
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

  filter.set_low_delay(true);
  filter.reset();
  const std::vector<std::int32_t> low = filtered(filter, input, 128);
  filter.reset();
  EXPECT_EQ(filtered(filter, input, 256), low);
}

}  // namespace
