// The processing cycle's rules on the built-in device, with a host whose
// message pump raises the cycle control's timeout 200 ms after the timeout
// timer is enabled, and which makes the transport's file calls itself. The
// device runs on a clock the host's message wait moves on, so the passes
// keep the device's time without waiting for it.
#include "realtime/cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "audio/device_pair.h"
#include "audio/standin_device.h"
#include "design/designers.h"
#include "design/presets.h"
#include "engine/filter_chain.h"
#include "files/transport.h"
#include "tests/support/manual_clock.h"
#include "tests/support/wave_bytes.h"

namespace {

using TimePoint = support::ManualClock::time_point;
using namespace std::chrono_literals;

double ms(support::ManualClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A window over the built-in device that owns what the main window owns for
// the cycle: the device pair, the filter chain, the transport, the cycle
// control and the cycle, all at their start state. Its time is the device's
// clock.
class FakeWindow : public realtime::CycleHost {
 public:
  FakeWindow(audio::WaveSystem& system, support::ManualClock& device_clock)
      : devices(system, *this), clock(device_clock) {}

  audio::DevicePair devices;
  engine::FilterChain chain;
  files::Transport transport;
  realtime::CycleControl control;
  realtime::Cycle cycle{*this, control, devices, chain};

  // Passes to run before the window stops the cycle; 0 = never.
  int stop_after_passes = 0;
  // Closes the play file from the pump that precedes a file read.
  bool close_play_file_in_file_pump = false;
  // Runs the cycle again from inside a pump, as Play and the device dialog do.
  bool restart_from_pump = false;
  // The mode the window wants.
  bool low_latency_wanted = false;
  // Runs after each pass's drawing, given the passes so far.
  std::function<void(std::size_t)> on_pass;

  support::ManualClock& clock;
  std::vector<TimePoint> pass_ends;
  std::vector<int> passes_with_timeout;
  std::vector<std::string> reports;
  int transport_stops = 0;
  std::uint32_t diagnostics[4] = {};

  void process_messages() override {
    if (timer_enabled && clock.now() - timer_started >= 200ms) {
      timer_enabled = false;
      control.timeout = 1;
      passes_with_timeout.push_back(static_cast<int>(pass_ends.size()) + 1);
    }
    if (restart_from_pump) {
      restart_from_pump = false;
      cycle.run();
    }
    if (close_play_file_in_file_pump && !timer_enabled && transport.play_file_open) {
      transport.close_play_file();
    }
  }
  // Moves the device's clock on until the device wakes it or the timer
  // would run out.
  void wait_for_messages(std::chrono::milliseconds limit) override {
    TimePoint until = clock.now() + limit;
    if (timer_enabled) until = std::min(until, timer_started + 200ms);
    clock.run_until(until, [this] { return woken; });
    woken = false;
    process_messages();
  }
  void wake() override { woken = true; }
  void report(std::string_view caption, std::string_view text) override {
    reports.push_back(std::string(caption) + ": " + std::string(text));
  }
  void enable_timeout_timer(bool enabled) override {
    timer_enabled = enabled;
    if (enabled) timer_started = clock.now();
  }
  void show_diagnostic(realtime::Diagnostic label, std::uint32_t value) override {
    diagnostics[static_cast<int>(label)] = value;
  }
  bool low_latency() const override { return low_latency_wanted; }
  bool paused() const override { return transport.pause_on; }
  bool recording() const override { return transport.record_on && transport.record_file_open; }
  bool playing() override { return transport.play_on && transport.play_file_open; }
  PlayBlock take_play_block(std::span<std::uint8_t> captured, int channels) override {
    if (transport.play_bytes_left <= 0) {
      transport.close_play_file();
      return PlayBlock::ended;
    }
    transport.read_play_pass(captured, channels, chain.pass_samples());
    return PlayBlock::filled;
  }
  void record_block(std::span<const std::uint8_t> block) override {
    EXPECT_EQ(transport.append_record_block(block), files::RecordOutcome::appended);
  }
  void stop_transport() override {
    ++transport_stops;
    transport.play_on = false;
    transport.record_on = false;
  }
  void update_display() override {
    pass_ends.push_back(clock.now());
    if (on_pass) on_pass(pass_ends.size());
    if (stop_after_passes > 0 && static_cast<int>(pass_ends.size()) >= stop_after_passes) {
      control.stopped = 1;
    }
  }

 private:
  bool woken = false;  // the device woke the wait in progress, or the next
  bool timer_enabled = false;
  TimePoint timer_started;
};

// A fresh built-in device and window for every test, with the microphone
// input.
class CycleTest : public ::testing::Test {
 protected:
  void TearDown() override { window.cycle.stop(); }

  // Runs the cycle until the window stops it after `passes` passes, stops
  // it, and returns what was played.
  std::vector<std::int16_t> play_passes(int passes) {
    window.stop_after_passes = passes;
    window.cycle.run();
    window.cycle.stop();
    return device.take_played();
  }

  support::ManualClock clock;
  audio::StandinSystem device{clock};
  FakeWindow window{device, clock};
};

// A test signal: a slow ramp that never repeats within the test.
std::vector<std::int16_t> ramp(std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<std::int16_t>(static_cast<int>(i % 40000) - 20000);
  }
  return samples;
}

// Whether the `length` samples `played` holds from `played_at` on are a run
// of `expected`.
bool plays_run_of(const std::vector<std::int16_t>& expected,
                  const std::vector<std::int16_t>& played, std::size_t played_at,
                  std::size_t length = 1024) {
  const auto from = played.begin() + static_cast<std::ptrdiff_t>(played_at);
  return std::search(expected.begin(), expected.end(), from,
                     from + static_cast<std::ptrdiff_t>(length)) != expected.end();
}

TEST_F(CycleTest, PassesRunAtThePaceOfTheInputFromTheFirstWithoutATimeout) {
  const auto start = clock.now();
  const std::vector<std::int16_t> played = play_passes(6);

  ASSERT_EQ(window.pass_ends.size(), 6u);
  // The silent block a sent at the start has played by the time input
  // buffer a is full.
  EXPECT_LT(ms(window.pass_ends[0] - start), 150.0);
  EXPECT_TRUE(window.passes_with_timeout.empty());
  EXPECT_GT(ms(window.pass_ends.back() - start), 6 * 92.9 - 20);
  EXPECT_LT(ms(window.pass_ends.back() - start), 6 * 92.9 + 100);
  EXPECT_TRUE(window.reports.empty());
  // What was played began with the two silent blocks.
  ASSERT_GE(played.size(), 2048u);
  EXPECT_EQ(std::vector(played.begin(), played.begin() + 2048), std::vector<std::int16_t>(2048));
}

// With every filter off, in either mode, and across a change of mode
// between passes on the open devices.
TEST_F(CycleTest, WithEveryFilterOffTheOutputIsTheInputTimesTheGainInEitherMode) {
  const auto input = ramp(40 * 1024);
  device.feed(input);
  window.chain.signal_gain = 1.5f;
  // Six passes, then 48 of 128 samples, then eight again.
  window.on_pass = [this](std::size_t pass) { window.low_latency_wanted = pass >= 6 && pass < 54; };
  const std::vector<std::int16_t> played = play_passes(62);

  std::vector<std::int16_t> expected(input.size());
  for (std::size_t i = 0; i < input.size(); ++i) {
    expected[i] = static_cast<std::int16_t>(std::trunc(input[i] * 1.5f));
  }
  EXPECT_TRUE(window.reports.empty());
  // The stretches of sound between silences: the start-up's, and each
  // change's. A change leaves at most the silence of a new start: the first
  // block to capture, and the quarter of one the output leads by.
  std::vector<std::pair<std::size_t, std::size_t>> sounds;  // [from, to)
  std::size_t silence = 0;
  for (std::size_t n = 0; n < played.size(); ++n) {
    if (played[n] != 0) {
      if (!sounds.empty() && silence >= 64) {
        EXPECT_LE(silence, 1024u + 256);
      }
      if (sounds.empty() || silence >= 64) sounds.push_back({n, n});
      sounds.back().second = n + 1;
    }
    silence = played[n] == 0 ? silence + 1 : 0;
  }
  // In each, every block played continues the one before: each captured
  // block is played once, in order, with nothing lost in between.
  ASSERT_EQ(sounds.size(), 3u);
  for (const auto& [from, to] : sounds) {
    ASSERT_GT(to - from, 4u * 1024);
    EXPECT_TRUE(plays_run_of(expected, played, from, to - from)) << from << ".." << to;
  }
}

TEST_F(CycleTest, StereoLineInputPassesTheSelectedChannel) {
  // The stereo line input's right channel, as the input-select command sets it.
  window.devices.input_select = 3;
  window.devices.set_input_channels(2);
  std::vector<std::int16_t> frames;
  const auto right = ramp(30 * 1024);
  for (const std::int16_t r : right) {
    frames.push_back(1234);  // left
    frames.push_back(r);
  }
  device.feed(frames);
  const std::vector<std::int16_t> played = play_passes(8);
  ASSERT_GE(played.size(), 5u * 1024);
  const std::size_t first = played.size() / 1024 * 1024 - 3 * 1024;
  EXPECT_TRUE(plays_run_of(right, played, first));
  EXPECT_EQ(window.diagnostics[static_cast<int>(realtime::Diagnostic::byte_position_a)], 4096u);
}

TEST_F(CycleTest, ADeviceThatNeverCompletesEndsTheCycleAfterFourTimeoutsInARow) {
  device.set_stalled(true);
  const auto start = clock.now();
  window.cycle.run();
  const double elapsed = ms(clock.now() - start);

  // Every phase-a pass times out; its input reset returns both queued input
  // buffers and its output reset the buffer sent, so the phase-b pass after
  // it finds its buffers done. The fourth phase-a timeout in a row ends the
  // cycle before processing.
  EXPECT_EQ(window.pass_ends.size(), 6u);
  EXPECT_EQ(window.passes_with_timeout, (std::vector<int>{1, 3, 5, 7}));
  EXPECT_EQ(window.control.stopped, 1);
  EXPECT_GT(elapsed, 4 * 190.0);
  EXPECT_LT(elapsed, 4 * 200.0 + 300.0);
}

TEST_F(CycleTest, LateBuffersWithPassesBetweenThemDoNotEndTheCycle) {
  // Three stalls of the device, each long enough for one timeout, with
  // passes running between them: the counts start again, the cycle runs on.
  window.on_pass = [this](std::size_t pass) {
    if (pass == 3 || pass == 6 || pass == 9) {
      device.set_stalled(true);
      clock.after(300ms, [this] { device.set_stalled(false); });
    }
  };
  window.stop_after_passes = 16;
  window.cycle.run();

  EXPECT_EQ(window.pass_ends.size(), 16u);
  EXPECT_GE(window.passes_with_timeout.size(), 3u);  // one a stall
  EXPECT_EQ(device.input_opens(), 1);
}

// The built-in devices, with an input that is never started: it delivers
// nothing while the output plays on, as the monitor of an idle sink does.
class SilentInputSystem : public audio::StandinSystem {
 public:
  using StandinSystem::StandinSystem;
  int open_input(int device_id, const audio::WaveFormat& format,
                 std::unique_ptr<audio::WaveInStream>* stream) override {
    if (stream == nullptr) return StandinSystem::open_input(device_id, format, stream);
    std::unique_ptr<audio::WaveInStream> inner;
    const int result = StandinSystem::open_input(device_id, format, &inner);
    if (inner) *stream = std::make_unique<Unstarted>(std::move(inner));
    return result;
  }

 private:
  class Unstarted : public audio::WaveInStream {
   public:
    explicit Unstarted(std::unique_ptr<audio::WaveInStream> inner) : inner_(std::move(inner)) {}
    int prepare(audio::WaveHeader& h) override { return inner_->prepare(h); }
    int unprepare(audio::WaveHeader& h) override { return inner_->unprepare(h); }
    int add_buffer(audio::WaveHeader& h) override { return inner_->add_buffer(h); }
    int start() override { return audio::wave_ok; }
    int reset() override { return inner_->reset(); }
    int position(std::uint32_t& bytes) override { return inner_->position(bytes); }
    void set_completion_notice(std::function<void()> notice) override {
      inner_->set_completion_notice(std::move(notice));
    }

   private:
    std::unique_ptr<audio::WaveInStream> inner_;
  };
};

TEST(SilentInput, RestartsTheCycleOnceThenRunsOnSilence) {
  support::ManualClock clock;
  SilentInputSystem system{clock};
  FakeWindow window{system, clock};
  // A new cycle's input may take ten timeouts in a row of phase a to start
  // while the output plays; the eleventh ends the cycle.
  window.cycle.run();
  EXPECT_EQ(window.control.silent_input_restarted, 1);
  EXPECT_EQ(window.passes_with_timeout.size(), 11u);
  window.cycle.stop();

  window.pass_ends.clear();
  window.stop_after_passes = 12;
  const auto start = clock.now();
  window.cycle.run();  // runs on until the window stops it
  const double elapsed = ms(clock.now() - start);
  window.cycle.stop();
  // Each phase-a pass waits out the timeout; the phase-b pass after it finds
  // its buffers returned by the reset.
  EXPECT_EQ(window.pass_ends.size(), 12u);
  EXPECT_GT(elapsed, 6 * 190.0);
  EXPECT_TRUE(window.reports.empty());
  EXPECT_EQ(system.input_opens(), 2);
}

TEST_F(CycleTest, StartingWhileACycleRunsReturnsAtOnceAndStopClosesBothDevices) {
  window.restart_from_pump = true;
  window.stop_after_passes = 2;
  window.cycle.run();
  EXPECT_EQ(device.input_opens(), 1);
  EXPECT_EQ(device.output_opens(), 1);
  EXPECT_EQ(window.pass_ends.size(), 2u);
  EXPECT_NE(window.devices.wave_in, nullptr);
  EXPECT_NE(window.devices.wave_out, nullptr);
  window.cycle.stop();
  EXPECT_EQ(window.devices.wave_in, nullptr);
  EXPECT_EQ(window.devices.wave_out, nullptr);
  EXPECT_EQ(window.control.stopped, 1);
  EXPECT_TRUE(window.reports.empty());
}

// The transport playing a temporary mono file of `samples` alone, no
// header, positioned at its first sample.
void play_from(files::Transport& transport, const std::vector<std::int16_t>& samples) {
  std::FILE* file = std::tmpfile();
  std::fwrite(samples.data(), sizeof(std::int16_t), samples.size(), file);
  std::rewind(file);
  transport.play_file = file;
  transport.play_file_open = true;
  transport.play_on = true;
  transport.play_bytes_left = static_cast<std::int32_t>(2 * samples.size());
  transport.play_channels = 1;
}

TEST_F(CycleTest, PlayedFileReplacesTheInputThenTheCycleReturnsToLiveInput) {
  const std::vector<std::int16_t> file_samples = ramp(3 * 1024);
  play_from(window.transport, file_samples);
  const std::vector<std::int16_t> played = play_passes(10);

  EXPECT_EQ(window.transport_stops, 1);
  EXPECT_FALSE(window.transport.play_file_open);
  EXPECT_FALSE(window.transport.play_on);
  // The second block of the file is played in full (the first may be cut off
  // by the start-up reset of the output, the last by the reset at the end of
  // the data), a quarter of a block after a block boundary.
  const auto middle = std::search(played.begin(), played.end(), file_samples.begin() + 1024,
                                  file_samples.begin() + 2048);
  ASSERT_NE(middle, played.end());
  EXPECT_EQ((middle - played.begin()) % 1024, 256);
}

TEST_F(CycleTest, StopInThePumpBeforeAFileReadEndsPlaybackWithoutReading) {
  play_from(window.transport, std::vector<std::int16_t>(8 * 1024, 99));
  window.close_play_file_in_file_pump = true;
  window.stop_after_passes = 3;
  window.cycle.run();
  EXPECT_FALSE(window.transport.play_file_open);
  EXPECT_EQ(window.pass_ends.size(), 3u);
}

TEST_F(CycleTest, RecordingAppendsTheStreamThatIsPlayed) {
  device.feed(ramp(30 * 1024));
  const std::string path = ::testing::TempDir() + "/recording.wav";
  ASSERT_TRUE(window.transport.create_record_file(path));
  window.transport.record_on = true;
  const std::vector<std::int16_t> played = play_passes(10);
  window.transport.finish_record_file();

  EXPECT_EQ(window.transport.record_byte_count, 10 * 2048);
  const auto recorded = test_support::samples_after_header(test_support::read_file(path));
  ASSERT_EQ(recorded.size(), 10u * 1024);
  // The block recorded in the last pass is the one the device phase of that
  // pass sent to the output; the block before it has been played in full.
  EXPECT_NE(std::search(played.begin(), played.end(), recorded.end() - 2048, recorded.end() - 1024),
            played.end());
}

}  // namespace

// Amplitude of the component of x[from..to) at `frequency` (cycles per
// sample): a DFT at that frequency under a Blackman-Harris window, whose
// sidelobes keep a tone 2000 Hz away out of the reading.
double amplitude_at(const std::vector<std::int16_t>& x, std::size_t from, std::size_t to,
                    double frequency) {
  const double length = static_cast<double>(to - from - 1);
  double weight = 0, re = 0, im = 0;
  for (std::size_t n = from; n < to; ++n) {
    const double u = 2 * std::numbers::pi * static_cast<double>(n - from) / length;
    const double w =
        0.35875 - 0.48829 * std::cos(u) + 0.14128 * std::cos(2 * u) - 0.01168 * std::cos(3 * u);
    const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n);
    weight += w;
    re += w * x[n] * std::cos(phase);
    im += w * x[n] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / weight;
}

TEST_F(CycleTest, NotchOneRemovesItsToneAndPassesTheRest) {
  // 1000 Hz and 3000 Hz at 12000 each; notch 1 at 1000 Hz, 1000 Hz wide.
  constexpr double low = 1000.0 / 11025.0;
  constexpr double high = 3000.0 / 11025.0;
  std::vector<std::int16_t> input(40 * 1024);
  for (std::size_t n = 0; n < input.size(); ++n) {
    const double t = static_cast<double>(n);
    input[n] = static_cast<std::int16_t>(12000 * std::cos(2 * std::numbers::pi * low * t) +
                                         12000 * std::cos(2 * std::numbers::pi * high * t));
  }
  device.feed(input);
  design::Edges edges;
  design::notch_width_edges(0, static_cast<float>(1000.0 * 1024 / 11025), edges);
  design::design_notch(edges, 0.0f, window.chain.nf1.filter);
  window.chain.nf1.on = true;
  const std::vector<std::int16_t> played = play_passes(12);
  ASSERT_GE(played.size(), 8u * 1024);
  // Each of the last four passes, well after the filter's start: the device
  // keeps time with the passes, so none loses a block.
  for (std::size_t pass = played.size() / 1024 - 4; pass < played.size() / 1024; ++pass) {
    EXPECT_LT(amplitude_at(played, pass * 1024, pass * 1024 + 1024, low), 1.0)
        << pass;  // 80 dB down
    EXPECT_NEAR(amplitude_at(played, pass * 1024, pass * 1024 + 1024, high), 12000.0, 120.0)
        << pass;
  }
}
