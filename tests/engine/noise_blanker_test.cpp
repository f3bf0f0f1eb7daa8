#include "engine/noise_blanker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tests/support/intelligibility.h"
#include "tests/support/material.h"
#include "tests/support/speech.h"

namespace {

constexpr std::size_t delay = engine::noise_blanker_delay;

// The blanker at `level` on `input` in passes of `pass` samples, its delay
// taken off the output.
std::vector<float> blanked(std::span<const float> input, int level = engine::noise_blanker_start,
                           std::size_t pass = 1024) {
  engine::NoiseBlanker blanker;
  blanker.set_level(level);
  std::vector<std::int32_t> samples = speech::to_samples(input);
  samples.resize(samples.size() + delay, 0);
  for (std::size_t start = 0; start < samples.size(); start += pass) {
    blanker.process(std::span(samples).subspan(start, std::min(pass, samples.size() - start)));
  }
  return speech::to_floats(std::span(samples).subspan(delay));
}

// The textbook click remover: a sample more than 4 median absolute
// deviations from the median of the 9 around it takes that median.
std::vector<float> median_remover(std::span<const float> input) {
  std::vector<float> out(input.begin(), input.end());
  std::vector<float> deviation(input.size());
  std::array<float, 9> around{};
  const auto median_at = [&](std::span<const float> signal, std::size_t i) {
    for (std::size_t k = 0; k < around.size(); ++k) {
      around[k] = signal[std::clamp<std::size_t>(i + k, 4, signal.size() + 3) - 4];
    }
    std::ranges::nth_element(around, around.begin() + 4);
    return around[4];
  };
  for (std::size_t i = 0; i < input.size(); ++i)
    deviation[i] = std::abs(input[i] - median_at(input, i));
  for (std::size_t i = 0; i < input.size(); ++i) {
    const float m = median_at(input, i);
    if (deviation[i] > 4.0f * median_at(deviation, i)) out[i] = m;
  }
  return out;
}

std::vector<float> plus(std::span<const float> a, std::span<const float> b) {
  std::vector<float> sum(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) sum[i] = a[i] + b[i];
  return sum;
}

TEST(NoiseBlanker, TakesCrackleOutOfSpeechBetterThanAMedianRemoverAndLeavesSignalsAlone) {
  const std::vector<float>& voice = speech::sentences();
  const std::size_t n = voice.size();
  // Crackle as loud over the whole as the speech: 2 ms clicks 15 times a
  // second, each some 15 dB over the speech's RMS.
  const std::vector<float> noisy = plus(voice, speech::crackle(n, 15.0, speech::rms_of(voice), 7));
  const double before = speech::segmental_snr(voice, noisy);
  const double ours = speech::segmental_snr(voice, blanked(noisy));
  const double theirs = speech::segmental_snr(voice, median_remover(noisy));
  const double stoi_before = speech::stoi(voice, noisy, speech::rate);
  const double stoi_ours = speech::stoi(voice, blanked(noisy), speech::rate);
  std::printf("crackle: segmental SNR %.2f -> %.2f dB (median remover %.2f), STOI %.3f -> %.3f\n",
              before, ours, theirs, stoi_before, stoi_ours);
  // Replacing exactly the clicks' samples would gain 6.6 dB here.
  EXPECT_GE(ours - before, 3.0);
  EXPECT_GE(stoi_ours - stoi_before, 0.03);
  EXPECT_GT(ours, theirs + 1.0);

  // What has no clicks passes with at least 30 dB segmental SNR.
  const speech::Carrier carriers[] = {{700.0, 3000.0}, {1850.0, 1500.0, 20.0}};
  const struct {
    const char* name;
    std::vector<float> signal;
  } clean[] = {
      {"speech", voice},
      {"Morse", speech::morse("DE G0OOO G0OOO 73 TEST 5NN", 25.0, 700.0, 4000.0)},
      {"carriers in noise", plus(speech::carriers(n, carriers), speech::white_noise(n, 300.0, 3))},
      {"babble", speech::babble(n, 3000.0)},
  };
  for (const auto& [name, signal] : clean) {
    const double kept = speech::segmental_snr(signal, blanked(signal));
    std::printf("%s: %.2f dB against the input\n", name, kept);
    EXPECT_GE(kept, 30.0) << name;
  }
}

TEST(NoiseBlanker, AClickInSilenceGoesWholeAndTheOutputIsTheSameInAnyPasses) {
  std::vector<float> input(20000, 0.0f);
  input[5000] = 20000.0f;
  input[5001] = -12000.0f;
  const std::vector<float> whole = blanked(input, engine::noise_blanker_start, 1024);
  EXPECT_TRUE(std::ranges::all_of(whole, [](float s) { return s == 0.0f; }));
  // Speech with crackle, in the low-latency mode's passes and in odd ones.
  const std::vector<float>& voice = speech::sentences();
  const std::vector<float> noisy = plus(voice, speech::crackle(voice.size(), 15.0, 3000.0, 9));
  const std::vector<float> normal = blanked(noisy);
  EXPECT_EQ(blanked(noisy, engine::noise_blanker_start, 128), normal);
  EXPECT_EQ(blanked(noisy, engine::noise_blanker_start, 331), normal);
  // A tone of any level passes bit for bit while it lasts; its abrupt end
  // (a hard key-up) may be smoothed as a click.
  const speech::Carrier tone[] = {{1000.0, 30000.0}};
  const std::vector<float> loud = speech::carriers(20000, tone);
  const std::vector<float> out = blanked(loud);
  const std::vector<float> in = speech::to_floats(speech::to_samples(loud));
  EXPECT_TRUE(std::equal(in.begin(), in.end() - 64, out.begin()));
}

}  // namespace
