// The program itself between the sound rig's two null sinks: what is played
// into radio_in is what it records, what it plays is heard on
// speaker.monitor. It starts in an empty folder, so with every filter off
// and the gain bars at their start positions, fine 25 x coarse 0.1: a tone
// comes out at 2.5 times the level it went in.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <span>
#include <thread>

#include "tests/live/rig.h"
#include "tests/live/signal.h"

namespace {

using namespace std::chrono_literals;

constexpr double kGain = 2.5;
constexpr double kToneFrequency = 1000.0;
constexpr double kInputAmplitude = 4000.0;
const double kInputRms = kInputAmplitude / std::sqrt(2.0);
constexpr std::size_t kWindow = live::rate / 100;  // 10 ms

// Prints a measured figure where the test log shows it and keeps it in the
// test's XML record.
void report(const std::string& name, double value, const std::string& unit) {
  ::testing::Test::RecordProperty(name, std::to_string(value));
  std::cout << "Live figure: " << name << " = " << value << " " << unit << std::endl;
}

// Waits until the condition holds or the time is up; whether it held.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

class LiveProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!live::rig_folder()) {
      GTEST_SKIP() << "No sound rig: these tests run the program against a sound server of "
                      "their own. Run them through scripts/audio_rig (scripts/test does).";
    }
    const std::string sinks = live::output_of({"pactl", "list", "short", "sinks"});
    ASSERT_NE(sinks.find("radio_in"), std::string::npos) << "the rig has no radio_in sink";
    ASSERT_NE(sinks.find("speaker"), std::string::npos) << "the rig has no speaker sink";
    ASSERT_EQ(live::stream_count("sink-inputs"), 0) << "something else plays on the rig";

    std::string pattern = (std::filesystem::temp_directory_path() / "tonewell-live.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    program_.emplace(TONEWELL_BINARY, std::vector<std::string>{}, folder_,
                     std::vector<std::string>{"QT_QPA_PLATFORM=offscreen"});
    // The program opens the default devices: one recording stream on
    // radio_in.monitor, one playback stream on speaker.
    ASSERT_TRUE(wait_until(
        [] {
          return live::stream_count("source-outputs") >= 1 && live::stream_count("sink-inputs") >= 1;
        },
        20s))
        << "the program opened no streams on the rig";
    ASSERT_TRUE(program_->running());
  }

  void TearDown() override {
    if (program_) {
      const auto status = program_->stop(SIGTERM, 10s);
      ASSERT_TRUE(status.has_value());
      EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
          << "the program did not quit cleanly on SIGTERM (status " << *status << ")";
      program_.reset();
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  std::filesystem::path folder_;
  std::optional<live::Child> program_;
};

TEST_F(LiveProgram, ToneComesOutAtTheGainWithoutDropouts) {
  // The tone starts once the program has opened its streams. What reaches
  // the program is recorded beside what it plays: a defect the rig put into
  // its input (a late player, a server hiccup) comes out too, and is the
  // rig's, not the program's. Both recordings take large fragments, to lose
  // as little as they can of their own on a busy machine.
  std::this_thread::sleep_for(2s);
  live::Recorder radio("radio_in.monitor", 250);
  live::Recorder speaker("speaker.monitor", 250);
  ASSERT_TRUE(wait_until(
      [&] { return radio.samples_so_far() > 0 && speaker.samples_so_far() > 0; }, 5s));
  const auto tone = live::tone(kInputAmplitude, kToneFrequency, 22.5, live::rate);
  ASSERT_TRUE(live::play(tone, "radio_in", folder_));
  std::this_thread::sleep_for(500ms);
  const auto received = radio.stop();
  const auto recorded = speaker.stop();
  ASSERT_TRUE(program_->running()) << "the program ended while it played";

  // Twenty seconds from a second after the tone came in, and from a second
  // after it came out; it lasts 22.5.
  const std::size_t count = 20 * live::rate;
  const auto steady_part = [count](const std::vector<std::int16_t>& samples, double level) {
    const auto start = live::onset(samples, 0.5 * level);
    if (!start || samples.size() < *start + live::rate + count) {
      return std::span<const std::int16_t>();
    }
    return std::span<const std::int16_t>(samples).subspan(*start + live::rate, count);
  };
  const auto fed = steady_part(received, kInputAmplitude);
  const auto steady = steady_part(recorded, kInputAmplitude * kGain);
  ASSERT_EQ(fed.size(), count) << "the tone never reached radio_in.monitor, or not for long";
  ASSERT_EQ(steady.size(), count) << "the tone never came out, or not for long";

  // Samples the rig lost or repeated shift the input's frequency as seen at
  // the rig's rate; the program must keep what it was given.
  const double gain = live::rms(steady) / live::rms(fed);
  const auto frequency = live::crossing_frequency(steady, live::rate);
  const auto fed_frequency = live::crossing_frequency(fed, live::rate);
  ASSERT_TRUE(frequency.has_value() && fed_frequency.has_value());
  const auto rig_defects = live::tone_defects(
      live::fit_windows(fed, live::rate, kToneFrequency, kWindow), kInputRms);
  const auto defects = live::tone_defects(
      live::fit_windows(steady, live::rate, kToneFrequency, kWindow), kInputRms * kGain);
  // A defect in the output is the program's unless the input had one where
  // it came out; the program's 1024-sample passes keep its delay within a
  // few windows. On a busy machine every stream of the rig loses samples
  // now and then, each on its own: the output, through four streams (the
  // player, the program's capture and playback, the recorder) to the
  // input's two, may show twice the input's count elsewhere. A quiet rig
  // shows none, and then the program may add none.
  const auto added = live::added_defects(defects, rig_defects, 3);
  const std::size_t rig_allowance = 2 * rig_defects.where.size();
  report("tone_gain", gain, "x");
  report("tone_frequency", *frequency, "Hz");
  report("input_frequency", *fed_frequency, "Hz");
  report("input_defects_10ms", static_cast<double>(rig_defects.where.size()), "windows of 2000");
  report("dropouts_10ms", defects.dropouts, "windows of 2000");
  report("glitches_10ms", defects.glitches, "windows of 2000");
  report("program_defects_10ms", static_cast<double>(added.size()), "windows of 2000");

  EXPECT_NEAR(gain, kGain, 0.05 * kGain);
  EXPECT_NEAR(*frequency, *fed_frequency, 1.0);
  std::string seconds;
  for (const std::size_t window : added) {
    seconds += " " + std::to_string(1.0 + static_cast<double>(window * kWindow) / live::rate);
  }
  EXPECT_LE(added.size(), rig_allowance)
      << "10 ms windows below half the expected level or no clean 1000 Hz tone, with the input "
         "clean around them, at these seconds after the tone came out:"
      << seconds;
}

TEST_F(LiveProgram, LatencyFromRadioToSpeakerIsUnderASecond) {
  // Both monitors recorded the same way at once; each recording's start is
  // found from when its samples arrived, so that onsets in the two compare.
  live::Recorder radio("radio_in.monitor");
  live::Recorder speaker("speaker.monitor");
  ASSERT_TRUE(wait_until(
      [&] { return radio.samples_so_far() > 0 && speaker.samples_so_far() > 0; }, 5s));
  std::this_thread::sleep_for(1s);
  auto burst = std::vector<std::int16_t>(live::rate / 2, 0);
  const auto tone = live::tone(kInputAmplitude, kToneFrequency, 0.5, live::rate);
  burst.insert(burst.end(), tone.begin(), tone.end());
  ASSERT_TRUE(live::play(burst, "radio_in", folder_));
  std::this_thread::sleep_for(1500ms);
  const auto played = radio.stop();
  const auto heard = speaker.stop();

  const auto played_onset = live::onset(played, 0.5 * kInputAmplitude);
  const auto heard_onset = live::onset(heard, 0.5 * kInputAmplitude * kGain);
  ASSERT_TRUE(played_onset.has_value()) << "the burst never reached radio_in.monitor";
  ASSERT_TRUE(heard_onset.has_value()) << "the burst never came out";
  const auto played_start = live::first_sample_time(radio.arrivals(), live::rate);
  const auto heard_start = live::first_sample_time(speaker.arrivals(), live::rate);
  ASSERT_TRUE(played_start && heard_start);

  const auto at = [](std::chrono::steady_clock::time_point start, std::size_t sample) {
    return std::chrono::duration<double>(start.time_since_epoch()).count() +
           static_cast<double>(sample) / live::rate;
  };
  const double latency = at(*heard_start, *heard_onset) - at(*played_start, *played_onset);
  report("latency_ms", latency * 1000.0, "ms");
  EXPECT_GT(latency, 0.0);
  EXPECT_LT(latency, 1.0);
}

TEST_F(LiveProgram, CpuUseWithEveryFilterOff) {
  std::this_thread::sleep_for(2s);
  const auto cpu_before = live::cpu_time(program_->pid());
  const auto wall_before = std::chrono::steady_clock::now();
  ASSERT_TRUE(cpu_before.has_value());
  std::this_thread::sleep_for(30s);
  const auto cpu_after = live::cpu_time(program_->pid());
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_before;
  ASSERT_TRUE(cpu_after.has_value());
  ASSERT_TRUE(program_->running());
  EXPECT_GE(live::stream_count("sink-inputs"), 1) << "the program stopped playing";

  const double percent = 100.0 * (*cpu_after - *cpu_before).count() / wall.count();
  report("cpu_percent_of_one_core", percent, "%");
  // Generous, for the sanitized build: a program that needs most of a core
  // to pass audio through has gone wrong.
  EXPECT_LT(percent, 90.0);
}

}  // namespace
