// From a burst fed into radio_in to the same burst on speaker.monitor, both
// monitors recorded at 10 ms fragments, in either mode and with the filters
// each is used with. The window runs in a process of its own
// (live_window_child).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "files/settings_format.h"
#include "tests/live/rig.h"
#include "tests/live/signal.h"
#include "tests/live/window_on_rig.h"

namespace {

using namespace std::chrono_literals;
using live::Clock;

struct LatencyCase {
  const char* scenario;  // the window child's
  double limit_s;
};

class LiveLatency : public WindowOnRig, public ::testing::WithParamInterface<LatencyCase> {};

bool wait_until(const std::function<bool()>& done, Clock::duration limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

TEST_P(LiveLatency, FromRadioToSpeakerWithinTheModesLimit) {
  // The voice bandpass, and notch 1 well away from the burst's tone.
  files::Settings settings = files::start_settings();
  settings.bp_width_index = 0;
  settings.nf1_width_index = 1;
  settings.nf1_center = 2500.0f * 1024 / 11025;
  const auto bytes = files::serialise_settings(settings);
  std::ofstream("ZOduvov.cfg", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  live::Spawn spawn;
  spawn.folder = std::filesystem::current_path();
  spawn.variables = {"QT_QPA_PLATFORM=offscreen"};
  live::LineReader child(TONEWELL_WINDOW_CHILD, {GetParam().scenario}, spawn, false);
  ASSERT_TRUE(wait_until(
      [] {
        return live::stream_count("source-outputs") > 0 && live::stream_count("sink-inputs") > 0;
      },
      20s))
      << "the window opened no streams on the rig; its reports:\n"
      << std::string(std::istreambuf_iterator<char>(std::ifstream("reports.txt").rdbuf()), {});

  // Both monitors recorded the same way at once; each recording's start is
  // found from when its samples arrived, so that onsets in the two compare.
  live::Recorder radio("radio_in.monitor");
  live::Recorder speaker("speaker.monitor");
  ASSERT_TRUE(
      wait_until([&] { return radio.samples_so_far() > 0 && speaker.samples_so_far() > 0; }, 5s));
  std::this_thread::sleep_for(1500ms);
  auto burst = std::vector<std::int16_t>(live::rate / 2, 0);
  const auto tone = live::tone(live::kInputAmplitude, live::kToneFrequency, 0.5, live::rate);
  burst.insert(burst.end(), tone.begin(), tone.end());
  ASSERT_TRUE(live::play(burst, "radio_in", spawn.folder));
  std::this_thread::sleep_for(1500ms);
  const auto played = radio.stop();
  const auto heard = speaker.stop();
  const auto status = child.child().stop(SIGTERM, 5s);

  const auto played_onset = live::onset(played, 0.5 * live::kInputAmplitude);
  const auto heard_onset = live::onset(heard, 0.5 * live::kInputAmplitude * live::kGain);
  ASSERT_TRUE(played_onset.has_value()) << "the burst never reached radio_in.monitor";
  ASSERT_TRUE(heard_onset.has_value()) << "the burst never came out";
  const auto played_start = live::first_sample_time(radio.arrivals(), live::rate);
  const auto heard_start = live::first_sample_time(speaker.arrivals(), live::rate);
  ASSERT_TRUE(played_start && heard_start);
  const auto at = [](Clock::time_point start, std::size_t sample) {
    return std::chrono::duration<double>(start.time_since_epoch()).count() +
           static_cast<double>(sample) / live::rate;
  };
  const double latency = at(*heard_start, *heard_onset) - at(*played_start, *played_onset);
  live::report(std::string("latency_ms ") + GetParam().scenario, latency * 1000.0, "ms");
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status;
  EXPECT_GT(latency, 0.0);
  EXPECT_LT(latency, GetParam().limit_s);
}

// A 1024-sample block waits a pass to be captured and at most a pass and a
// quarter to be played, behind the sound server's buffers of both streams:
// 178 to 213 ms on the rig. A 128-sample pass waits a pass and a half, over
// streams with periods to match: 40 to 48 ms on the rig, whose starts and
// measures spread by several milliseconds; the low-delay noise reduction
// adds 11.6 ms (51 to 68 ms).
INSTANTIATE_TEST_SUITE_P(Modes, LiveLatency,
                         ::testing::Values(LatencyCase{"latency", 0.23},
                                           LatencyCase{"latency-low", 0.052},
                                           LatencyCase{"latency-low-voice", 0.052},
                                           LatencyCase{"latency-low-voice-nr", 0.075}),
                         [](const auto& test) {
                           std::string name = test.param.scenario;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
