// The processing cycle on the built-in device, with a window stand-in whose
// message pump raises wave_timeout 200 ms after the timeout timer is enabled.
#include "engine/cycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "audio/standin_device.h"
#include "audio/state.h"
#include "design/designers.h"
#include "design/presets.h"
#include "design/state.h"
#include "design/windows.h"
#include "display/state.h"
#include "engine/state.h"
#include "files/state.h"
#include "files/transport.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class FakeWindow : public engine::CycleHost {
 public:
  // Passes to run before the window stops the cycle; 0 = never.
  int stop_after_passes = 0;
  // Closes the play file from the pump that precedes a file read.
  bool close_play_file_in_file_pump = false;
  // Runs the cycle again from inside a pump, as Play and the device dialog do.
  bool restart_from_pump = false;

  std::vector<Clock::time_point> pass_ends;
  std::vector<int> passes_with_timeout;
  std::vector<std::string> reports;
  int transport_stops = 0;
  std::uint32_t diagnostics[4] = {};

  void process_messages() override {
    if (timer_enabled && Clock::now() - timer_started >= 200ms) {
      timer_enabled = false;
      engine::wave_timeout = 1;
      passes_with_timeout.push_back(static_cast<int>(pass_ends.size()) + 1);
    }
    if (restart_from_pump) {
      restart_from_pump = false;
      engine::run_cycle(*this);
    }
    if (close_play_file_in_file_pump && !timer_enabled && files::play_file_open == 1) {
      std::fclose(files::play_file);
      files::play_file = nullptr;
      files::play_file_open = 0;
    }
  }
  void report(std::string_view caption, std::string_view text) override {
    reports.push_back(std::string(caption) + ": " + std::string(text));
  }
  void enable_timeout_timer(bool enabled) override {
    timer_enabled = enabled;
    if (enabled) timer_started = Clock::now();
  }
  void show_diagnostic(engine::Diagnostic label, std::uint32_t value) override {
    diagnostics[static_cast<int>(label)] = value;
  }
  void stop_transport() override {
    ++transport_stops;
    files::play_on = 0;
  }
  void update_display() override {
    pass_ends.push_back(Clock::now());
    if (stop_after_passes > 0 && static_cast<int>(pass_ends.size()) >= stop_after_passes) {
      engine::cycle_stopped = 1;
    }
  }

 private:
  bool timer_enabled = false;
  Clock::time_point timer_started;
};

// The program's start state as the main window gives it, on the built-in
// device, with the microphone input.
class CycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    audio::wave_system = &device;
    audio::wave_host = &window;
    for (auto* block : {&audio::in_data_a, &audio::in_data_b, &audio::out_data_a, &audio::out_data_b}) {
      *block = std::make_unique<std::uint8_t[]>(audio::audio_block_bytes);
    }
    engine::block_size = 512;
    engine::fft_size = 1024;
    audio::bytes_per_sample = 2;
    select_input(1);
    audio::out_sample_rate = 11025;
    audio::out_channels = 1;
    audio::out_block_align = 2;
    audio::out_bits = 16;
    audio::out_avg_bytes = 22050;
    audio::out_buffer_bytes = 2048;
    engine::cycle_stopped = 1;
    engine::signal_gain = 1.0f;
    engine::source_mode = 1;
    display::spectrum_height = 197;
    files::transport_idle = 1;
    files::play_channels = 1;
  }

  void TearDown() override { engine::stop_cycle(); }

  static void select_input(int select) {
    const std::uint16_t channels = select == 1 ? 1 : 2;
    audio::input_select = select;
    audio::in_sample_rate = 11025;
    audio::in_channels = channels;
    audio::in_block_align = static_cast<std::uint16_t>(2 * channels);
    audio::in_bits = 16;
    audio::in_avg_bytes = 11025 * 2 * channels;
    audio::in_buffer_bytes = static_cast<std::uint16_t>(512 * 2 * channels * 2);
  }

  double pass_ms(std::size_t pass, Clock::time_point start) const {
    const auto from = pass == 0 ? start : window.pass_ends[pass - 1];
    return std::chrono::duration<double, std::milli>(window.pass_ends[pass] - from).count();
  }

  audio::StandinSystem device;
  FakeWindow window;
};

// A test signal: a slow ramp that never repeats within the test.
std::vector<std::int16_t> ramp(std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<std::int16_t>(static_cast<int>(i % 40000) - 20000);
  }
  return samples;
}

// Where `played` continues `expected` (a whole block of it) from, or npos.
std::size_t find_block(const std::vector<std::int16_t>& expected, const std::vector<std::int16_t>& played,
                       std::size_t played_at) {
  for (std::size_t at = 0; at + 1024 <= expected.size(); ++at) {
    if (std::equal(played.begin() + static_cast<std::ptrdiff_t>(played_at),
                   played.begin() + static_cast<std::ptrdiff_t>(played_at + 1024),
                   expected.begin() + static_cast<std::ptrdiff_t>(at))) {
      return at;
    }
  }
  return std::string::npos;
}

TEST_F(CycleTest, FirstPassTimesOutOnOutputAThenPassesRunAtThePaceOfTheInput) {
  window.stop_after_passes = 6;
  const auto start = Clock::now();
  engine::run_cycle(window);

  ASSERT_EQ(window.pass_ends.size(), 6u);
  // Output buffer a was never sent before the first pass: its wait ends only
  // through the timeout, about 200 ms after the waits began.
  EXPECT_GE(pass_ms(0, start), 190.0);
  EXPECT_LT(pass_ms(0, start), 400.0);
  EXPECT_EQ(window.passes_with_timeout, std::vector<int>{1});
  // Six passes of 92.9 ms of audio, the first one late: the cycle catches up.
  const double total = std::chrono::duration<double, std::milli>(window.pass_ends.back() - start).count();
  EXPECT_GT(total, 5 * 92.9 - 20);
  EXPECT_LT(total, 6 * 92.9 + 300);
  EXPECT_TRUE(window.reports.empty());
  EXPECT_EQ(engine::cycle_stopped, 1);
}

TEST_F(CycleTest, WithEveryFilterOffTheOutputIsTheInputTimesTheGain) {
  const auto input = ramp(40 * 1024);
  device.feed(input);
  engine::signal_gain = 1.5f;
  window.stop_after_passes = 12;
  engine::run_cycle(window);
  engine::stop_cycle();

  std::vector<std::int16_t> expected(input.size());
  for (std::size_t i = 0; i < input.size(); ++i) {
    expected[i] = static_cast<std::int16_t>(std::trunc(input[i] * 1.5f));
  }
  const std::vector<std::int16_t> played = device.take_played();
  ASSERT_GE(played.size(), 8u * 1024);
  // After the start-up, every block played continues the one before: each
  // captured block is played once, in order, with nothing lost in between.
  const std::size_t first = played.size() / 1024 * 1024 - 6 * 1024;
  const std::size_t at = find_block(expected, played, first);
  ASSERT_NE(at, std::string::npos);
  for (std::size_t n = first; n < first + 6 * 1024; ++n) {
    ASSERT_EQ(played[n], expected[at + n - first]) << "sample " << n;
  }
}

TEST_F(CycleTest, StereoLineInputPassesTheSelectedChannel) {
  select_input(3);
  std::vector<std::int16_t> frames;
  const auto right = ramp(30 * 1024);
  for (const std::int16_t r : right) {
    frames.push_back(1234);  // left
    frames.push_back(r);
  }
  device.feed(frames);
  window.stop_after_passes = 8;
  engine::run_cycle(window);
  engine::stop_cycle();

  const std::vector<std::int16_t> played = device.take_played();
  ASSERT_GE(played.size(), 5u * 1024);
  const std::size_t first = played.size() / 1024 * 1024 - 3 * 1024;
  EXPECT_NE(find_block(right, played, first), std::string::npos);
  EXPECT_EQ(window.diagnostics[static_cast<int>(engine::Diagnostic::byte_position_a)], 4096u);
}

TEST_F(CycleTest, ADeviceThatNeverCompletesEndsTheCycleAfterThreeTimeouts) {
  device.set_stalled(true);
  const auto start = Clock::now();
  engine::run_cycle(window);
  const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

  // Pass 1 times out; its input reset returns both queued input buffers and
  // its output reset the buffer sent, so pass 2 finds its buffers done. The
  // timeout of pass 3 pushes the phase-a counter past 3 and the cycle ends
  // before processing.
  EXPECT_EQ(window.pass_ends.size(), 2u);
  EXPECT_EQ(window.passes_with_timeout, (std::vector<int>{1, 3}));
  EXPECT_EQ(engine::cycle_stopped, 1);
  EXPECT_GT(elapsed, 2 * 190.0);
  EXPECT_LT(elapsed, 2 * 200.0 + 300.0);
}

TEST_F(CycleTest, StartingWhileACycleRunsReturnsAtOnce) {
  window.restart_from_pump = true;
  window.stop_after_passes = 2;
  engine::run_cycle(window);
  EXPECT_EQ(device.input_opens(), 1);
  EXPECT_EQ(device.output_opens(), 1);
  EXPECT_EQ(window.pass_ends.size(), 2u);
}

TEST_F(CycleTest, StopClosesTheInputAndTheOutput) {
  window.stop_after_passes = 1;
  engine::run_cycle(window);
  EXPECT_NE(audio::wave_in, nullptr);
  EXPECT_NE(audio::wave_out, nullptr);
  engine::stop_cycle();
  EXPECT_EQ(audio::wave_in, nullptr);
  EXPECT_EQ(audio::wave_out, nullptr);
  EXPECT_EQ(engine::cycle_stopped, 1);
  EXPECT_TRUE(window.reports.empty());
}

// A temporary file holding `samples`, positioned at its start.
std::FILE* file_with(const std::vector<std::int16_t>& samples) {
  std::FILE* file = std::tmpfile();
  std::fwrite(samples.data(), sizeof(std::int16_t), samples.size(), file);
  std::rewind(file);
  return file;
}

TEST_F(CycleTest, PlayedFileReplacesTheInputThenTheCycleReturnsToLiveInput) {
  std::vector<std::int16_t> file_samples(3 * 1024);
  for (std::size_t i = 0; i < file_samples.size(); ++i) {
    file_samples[i] = static_cast<std::int16_t>(7000 + i);
  }
  files::play_file = file_with(file_samples);
  files::play_file_open = 1;
  files::play_on = 1;
  files::play_bytes_left = 3 * 2048;
  engine::source_mode = 2;
  window.stop_after_passes = 10;
  engine::run_cycle(window);
  engine::stop_cycle();

  EXPECT_EQ(window.transport_stops, 1);
  EXPECT_EQ(files::play_file_open, 0);
  EXPECT_EQ(engine::source_mode, 1);
  const std::vector<std::int16_t> played = device.take_played();
  // The second block of the file is played in full (the first may be cut off
  // by the start-up reset of the output, the last by the reset at the end of
  // the data).
  const auto middle_block = std::vector<std::int16_t>(file_samples.begin() + 1024, file_samples.begin() + 2048);
  bool found = false;
  for (std::size_t at = 0; at + 1024 <= played.size() && !found; at += 1024) {
    found = std::equal(middle_block.begin(), middle_block.end(), played.begin() + static_cast<std::ptrdiff_t>(at));
  }
  EXPECT_TRUE(found);
}

TEST_F(CycleTest, StopInThePumpBeforeAFileReadEndsPlaybackWithoutReading) {
  files::play_file = file_with(std::vector<std::int16_t>(8 * 1024, 99));
  files::play_file_open = 1;
  files::play_on = 1;
  files::play_bytes_left = 8 * 2048;
  engine::source_mode = 2;
  window.close_play_file_in_file_pump = true;
  window.stop_after_passes = 3;
  engine::run_cycle(window);
  EXPECT_EQ(files::play_file_open, 0);
  EXPECT_EQ(window.pass_ends.size(), 3u);
}

TEST_F(CycleTest, RecordingAppendsTheStreamThatIsPlayed) {
  device.feed(ramp(30 * 1024));
  const std::string path = ::testing::TempDir() + "/recording.wav";
  ASSERT_TRUE(files::create_record_file(path));
  files::record_on = 1;
  window.stop_after_passes = 10;
  engine::run_cycle(window);
  engine::stop_cycle();
  files::finish_record_file();

  EXPECT_EQ(files::record_byte_count, 10 * 2048);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fseek(file, 0, SEEK_END);
  EXPECT_EQ(std::ftell(file), 44 + 10 * 2048);
  std::vector<std::int16_t> recorded(10 * 1024);
  std::fseek(file, 44, SEEK_SET);
  ASSERT_EQ(std::fread(recorded.data(), 2, recorded.size(), file), recorded.size());
  std::fclose(file);
  // The block recorded in the last pass is the one the device phase of that
  // pass sent to the output; the block before it has been played in full.
  const std::vector<std::int16_t> played = device.take_played();
  const auto before_last = std::vector<std::int16_t>(recorded.end() - 2048, recorded.end() - 1024);
  bool found = false;
  for (std::size_t at = 0; at + 1024 <= played.size() && !found; ++at) {
    found = std::equal(before_last.begin(), before_last.end(), played.begin() + static_cast<std::ptrdiff_t>(at));
  }
  EXPECT_TRUE(found);
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
    const double w = 0.35875 - 0.48829 * std::cos(u) + 0.14128 * std::cos(2 * u) -
                     0.01168 * std::cos(3 * u);
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
  design::nf1_center = static_cast<float>(1000.0 * 1024 / 11025);
  design::notch_width_edges(0, design::nf1_center, design::nf1_lo_edge, design::nf1_hi_edge);
  design::design_nf1(512, design::nf1_lo_edge, design::nf1_hi_edge);
  design::fill_rectangular_window(design::cycle_window, 1024);
  design::nf1_filter_on = 1;
  window.stop_after_passes = 12;
  engine::run_cycle(window);
  engine::stop_cycle();

  const std::vector<std::int16_t> played = device.take_played();
  ASSERT_GE(played.size(), 8u * 1024);
  // Of the last four passes, well after the filter's start, the cleanest: on
  // a busy machine a late pass may lose a block, and the jump leaks into
  // every frequency.
  double low_left = 12000.0;
  double high_left = 0.0;
  for (std::size_t pass = played.size() / 1024 - 4; pass < played.size() / 1024; ++pass) {
    const double amplitude = amplitude_at(played, pass * 1024, pass * 1024 + 1024, low);
    if (amplitude < low_left) {
      low_left = amplitude;
      high_left = amplitude_at(played, pass * 1024, pass * 1024 + 1024, high);
    }
  }
  EXPECT_LT(low_left, 1.0);  // more than 80 dB down
  EXPECT_NEAR(high_left, 12000.0, 120.0);
}
