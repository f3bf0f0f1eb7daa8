// The measurements the live tests judge the program by, on signals whose
// faults are known: a measurement that misses a fault would pass a broken
// program.
#include "tests/live/signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

constexpr int kRate = 11025;
constexpr std::size_t kWindow = 110;  // 10 ms
constexpr double kAmplitude = 10000.0;
const double kExpectedRms = kAmplitude / std::sqrt(2.0);

TEST(ToneDefects, CleanToneHasNone) {
  const auto tone = live::tone(kAmplitude, 1000.0, 2.0, kRate);
  const auto defects =
      live::tone_defects(live::fit_windows(tone, kRate, 1000.0, kWindow), kExpectedRms);
  EXPECT_EQ(defects.dropouts, 0);
  EXPECT_EQ(defects.glitches, 0);
  EXPECT_TRUE(defects.where.empty());
}

TEST(ToneDefects, TwentyMillisecondsOfSilenceIsADropout) {
  auto tone = live::tone(kAmplitude, 1000.0, 2.0, kRate);
  std::fill_n(tone.begin() + 5000, 220, std::int16_t{0});
  const auto defects =
      live::tone_defects(live::fit_windows(tone, kRate, 1000.0, kWindow), kExpectedRms);
  EXPECT_GE(defects.dropouts, 1);
  EXPECT_LE(defects.dropouts, 2);
  ASSERT_FALSE(defects.where.empty());
  EXPECT_EQ(defects.where.front(), 5000 / kWindow);
}

TEST(ToneDefects, LostSamplesAreAGlitchThoughTheLevelHolds) {
  // A block's worth of samples skipped: the level never sinks, the phase
  // jumps.
  auto tone = live::tone(kAmplitude, 1000.0, 2.0, kRate);
  tone.erase(tone.begin() + 5005, tone.begin() + 5005 + 512 + 3);
  const auto defects =
      live::tone_defects(live::fit_windows(tone, kRate, 1000.0, kWindow), kExpectedRms);
  EXPECT_EQ(defects.dropouts, 0);
  EXPECT_GE(defects.glitches, 1);
}

TEST(ToneDefects, ClippingIsAGlitch) {
  auto tone = live::tone(kAmplitude, 1000.0, 2.0, kRate);
  for (auto& sample : tone)
    sample = static_cast<std::int16_t>(std::clamp<int>(sample, -6000, 6000));
  const auto defects =
      live::tone_defects(live::fit_windows(tone, kRate, 1000.0, kWindow), kExpectedRms);
  EXPECT_EQ(defects.dropouts, 0);
  EXPECT_GT(defects.glitches, 100);
}

TEST(ToneDefects, HalfTheLevelIsADropoutEverywhere) {
  const auto tone = live::tone(kAmplitude * 0.45, 1000.0, 1.0, kRate);
  const auto windows = live::fit_windows(tone, kRate, 1000.0, kWindow);
  EXPECT_EQ(live::tone_defects(windows, kExpectedRms).dropouts, static_cast<int>(windows.size()));
}

TEST(ToneDefects, OnlyTheDefectsAStageAddedAreItsOwn) {
  // The input lost 20 ms at 0.5 s; the output, a window behind it, passed
  // that on and lost samples of its own at 1.5 s.
  auto output = live::tone(kAmplitude, 1000.0, 2.01, kRate);
  std::fill_n(output.begin() + kWindow + 5500, 220, std::int16_t{0});
  const std::vector<std::int16_t> input(output.begin() + kWindow, output.end());
  output.erase(output.begin() + 16505, output.begin() + 16505 + 515);
  const auto fitted = [](const std::vector<std::int16_t>& samples) {
    return live::tone_defects(live::fit_windows(samples, kRate, 1000.0, kWindow), kExpectedRms);
  };
  const auto added = live::added_defects(fitted(output), fitted(input), 3);
  ASSERT_FALSE(added.empty());
  for (const std::size_t window : added) {
    EXPECT_NEAR(static_cast<double>(window), 16505.0 / kWindow, 1.0);
  }
  EXPECT_TRUE(live::added_defects(fitted(input), fitted(input), 0).empty());
}

TEST(CrossingFrequency, FindsTheToneFrequency) {
  for (const double frequency : {440.0, 1000.0, 1003.5}) {
    const auto tone = live::tone(4000.0, frequency, 1.0, kRate);
    const auto measured = live::crossing_frequency(tone, kRate);
    ASSERT_TRUE(measured.has_value());
    EXPECT_NEAR(*measured, frequency, 0.05) << frequency;
  }
}

TEST(CrossingFrequency, NoneInSilence) {
  const std::vector<std::int16_t> silence(1000, 0);
  EXPECT_FALSE(live::crossing_frequency(silence, kRate).has_value());
}

TEST(Onset, FirstSampleAtTheThreshold) {
  std::vector<std::int16_t> signal(3000, 3);
  const auto burst = live::tone(4000.0, 1000.0, 0.1, kRate);
  std::copy(burst.begin(), burst.end(), signal.begin() + 1234);
  const auto found = live::onset(signal, 1000.0);
  ASSERT_TRUE(found.has_value());
  // The burst starts at phase zero: it passes 1000 in its first quarter
  // period, within three samples at 1000 Hz.
  EXPECT_GE(*found, 1234u);
  EXPECT_LE(*found, 1237u);
  EXPECT_FALSE(live::onset(signal, 5000.0).has_value());
}

TEST(FirstSampleTime, TheEarliestArrivalLessWhatHadArrived) {
  const auto zero = std::chrono::steady_clock::time_point{} + std::chrono::seconds(100);
  using std::chrono::milliseconds;
  // 110 samples every 10 ms from zero, arriving 30 ms late, once only 5 ms.
  const std::vector<live::Arrival> arrivals{
      {zero + milliseconds(40), 110},
      {zero + milliseconds(50), 220},
      {zero + milliseconds(35), 330},
      {zero + milliseconds(70), 440},
  };
  const auto start = live::first_sample_time(arrivals, 11000);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(std::chrono::duration_cast<milliseconds>(*start - zero).count(), 5);
  EXPECT_FALSE(live::first_sample_time({}, 11000).has_value());
}

TEST(CleanRunFrom, WhereTheToneIsSteadilyBack) {
  // Silence until 0.5 s, the tone with a 20 ms gap at 0.8 s, then steady.
  auto signal = live::tone(kAmplitude, 1000.0, 2.0, kRate);
  std::fill_n(signal.begin(), kRate / 2, std::int16_t{0});
  std::fill_n(signal.begin() + 8820, 220, std::int16_t{0});
  const auto windows = live::fit_windows(signal, kRate, 1000.0, kWindow);
  const auto found = live::clean_run_from(windows, kExpectedRms, 0, 40);
  ASSERT_TRUE(found.has_value());
  // The first window wholly after the gap.
  EXPECT_EQ(*found, (8820 + 220) / kWindow + 1);
  const auto short_run = live::clean_run_from(windows, kExpectedRms, 0, 10);
  ASSERT_TRUE(short_run.has_value());
  EXPECT_EQ(*short_run, kRate / 2 / kWindow + 1);
  EXPECT_FALSE(live::clean_run_from(windows, kExpectedRms, 0, windows.size()).has_value());
}

// A WAV file of 16-bit mono PCM with the sizes given in its header.
std::filesystem::path wav_file(const std::string& name, std::uint32_t riff_size,
                               std::uint32_t data_size, std::size_t samples) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream file(path, std::ios::binary);
  const auto u32 = [&file](std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) file.put(static_cast<char>(v >> shift));
  };
  const auto u16 = [&file](std::uint16_t v) {
    file.put(static_cast<char>(v));
    file.put(static_cast<char>(v >> 8));
  };
  file << "RIFF";
  u32(riff_size);
  file << "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(kRate);
  u32(2 * kRate);
  u16(2);
  u16(16);
  file << "data";
  u32(data_size);
  for (std::size_t n = 0; n < samples; ++n) u16(static_cast<std::uint16_t>(n));
  return path;
}

TEST(CompleteWav, OnlyAHeaderThatAgreesWithTheFile) {
  const auto good = wav_file("live-good.wav", 36 + 200, 200, 100);
  const auto samples = live::complete_wav(good);
  ASSERT_TRUE(samples.has_value());
  ASSERT_EQ(samples->size(), 100u);
  EXPECT_EQ((*samples)[99], 99);
  // The header of an earlier block: samples written after it are not
  // counted.
  EXPECT_FALSE(live::complete_wav(wav_file("live-stale.wav", 36 + 100, 100, 100)));
  EXPECT_FALSE(live::complete_wav(wav_file("live-riff.wav", 36 + 100, 200, 100)));
  // Cut off inside the header.
  std::filesystem::resize_file(good, 30);
  EXPECT_FALSE(live::complete_wav(good));
  EXPECT_FALSE(live::complete_wav(std::filesystem::temp_directory_path() / "live-none.wav"));
  for (const char* name : {"live-good.wav", "live-stale.wav", "live-riff.wav"}) {
    std::filesystem::remove(std::filesystem::temp_directory_path() / name);
  }
}

}  // namespace
