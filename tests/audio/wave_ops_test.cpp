#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "audio/held_reports.h"
#include "audio/standin_device.h"
#include "audio/state.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "engine/state.h"

using namespace audio;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Reports = std::vector<std::pair<std::string, std::string>>;

namespace {

// Records the reports; its message pump raises wave_timeout once the timer
// has run out, as the window's TimeoutTimer would, then runs `on_pump`.
class RecordingHost : public WaveHost {
 public:
  void process_messages() override {
    ++pumps;
    if (Clock::now() >= timeout_at) engine::wave_timeout = 1;
    if (on_pump) on_pump();
  }
  void report(std::string_view caption, std::string_view text) override {
    reports.emplace_back(caption, text);
  }
  void start_timeout_timer() { timeout_at = Clock::now() + 200ms; }

  Reports reports;
  int pumps = 0;
  Clock::time_point timeout_at = Clock::time_point::max();
  std::function<void()> on_pump;
};

std::pair<std::string, std::string> wave(std::string text) {
  return {"Wave Device Message", std::move(text)};
}

class WaveOps : public ::testing::Test {
 protected:
  // The start values the main window gives the device layer: mono in and out.
  void SetUp() override {
    in_sample_rate = out_sample_rate = 11025;
    in_channels = out_channels = 1;
    in_block_align = out_block_align = 2;
    in_bits = out_bits = 16;
    in_avg_bytes = out_avg_bytes = 22050;
    in_buffer_bytes = out_buffer_bytes = 2048;
    for (auto* block : {&in_data_a, &in_data_b, &out_data_a, &out_data_b}) {
      *block = std::make_unique<std::uint8_t[]>(audio_block_bytes);
    }
    input_device_id = output_device_id = 0;
    engine::wave_timeout = 0;
    wave_system = &system;
    wave_host = &host;
    init_in_headers();
    init_out_headers();
  }
  void TearDown() override {
    wave_in.reset();
    wave_out.reset();
    wave_host = nullptr;
    wave_system = nullptr;
  }

  StandinSystem system;
  RecordingHost host;
};

}  // namespace

TEST_F(WaveOps, MissingOutputDeviceIsReportedByEveryLaterOperation) {
  output_device_id = 3;
  open_wave_out();
  EXPECT_EQ(wave_out, nullptr);
  EXPECT_EQ(wave_result, wave_bad_device_id);
  prepare_out_b();
  write_out_b();
  EXPECT_EQ(wave_result, wave_invalid_handle);
  reset_wave_out();
  close_wave_out();
  EXPECT_EQ(host.reports, (Reports{wave("Could not handle the output WAVE format"),
                                   wave("Error Opening Output wave device"),
                                   wave("Error preparing the header_b"),
                                   wave("Error Resetting the output wave device"),
                                   wave("Error Resetting the output wave device"),
                                   wave("Error unpreparing the _a Header"),
                                   wave("Error unpreparing the _b Header"),
                                   wave("Error closing the output wave device")}));
}

TEST_F(WaveOps, MissingInputDeviceIsReportedAndItsWaitEndsThroughTimeout) {
  input_device_id = 1;
  open_wave_in();
  prepare_in_a();
  add_in_a();
  start_wave_in();
  EXPECT_EQ(get_in_position(), 0u);
  host.start_timeout_timer();
  EXPECT_EQ(wait_in_a(), 0u);
  EXPECT_EQ(engine::wave_timeout, 1);
  EXPECT_EQ(host.reports, (Reports{wave("Could not open the input wave device"),
                                   wave("Error Opening Input wave device"),
                                   wave("Error preparing the header_a"),
                                   wave("Error in sending a buffer_a"),
                                   wave("Error starting the input wave device"),
                                   wave("Error getting the byte position"),
                                   wave("Error Resetting the input wave device"),
                                   wave("Error starting the input wave device")}));
}

TEST_F(WaveOps, CloseRightAfterOpenReportsNothingAndLeavesNoStream) {
  open_wave_out();
  open_wave_in();
  ASSERT_NE(wave_in, nullptr);
  ASSERT_NE(wave_out, nullptr);
  close_wave_in();
  close_wave_out();
  EXPECT_EQ(wave_in, nullptr);
  EXPECT_EQ(wave_out, nullptr);
  EXPECT_EQ(wave_result, wave_ok);
  EXPECT_TRUE(host.reports.empty());
  EXPECT_EQ(system.input_opens(), 1);
  EXPECT_EQ(system.output_opens(), 1);
}

TEST_F(WaveOps, StereoSetUpOpensTheDeviceAndFillsDoubleLengthBuffers) {
  in_channels = 2;
  in_block_align = 4;
  in_avg_bytes = 44100;
  in_buffer_bytes = 4096;
  init_in_headers();
  EXPECT_EQ(in_header_b.buffer_length, 4096u);
  EXPECT_EQ(in_header_b.data, in_data_b.get());
  open_wave_in();
  prepare_in_a();
  add_in_a();
  start_wave_in();
  EXPECT_EQ(wait_in_a(), 4096u);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, FirstWaitOutEndsThroughTimeoutCuttingOffTheQueuedBuffer) {
  open_wave_out();
  out_header_b.buffer_length = 8192;  // plays longer than the timer runs
  prepare_out_b();
  write_out_b();
  host.start_timeout_timer();
  const auto start = Clock::now();
  wait_out_a();
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, 400ms);
  EXPECT_GE(host.pumps, 10);
  EXPECT_EQ(out_header_a.flags.load() & header_done, 0u);
  EXPECT_NE(out_header_b.flags.load() & header_done, 0u);
  EXPECT_GT(out_header_b.bytes_recorded.load(), 3000u);
  EXPECT_LT(out_header_b.bytes_recorded.load(), 8192u);
  EXPECT_TRUE(host.reports.empty());

  engine::wave_timeout = 0;  // the output plays on after the restart
  host.timeout_at = Clock::time_point::max();
  unprepare_out_b();
  reset_out_header_b();
  prepare_out_b();
  write_out_b();
  EXPECT_EQ(wait_out_b(), 2048u);
}

TEST_F(WaveOps, WaitInTimeoutResetsAndRestartsCapture) {
  open_wave_in();
  in_header_a.buffer_length = 8192;  // fills later than the timer runs out
  prepare_in_a();
  add_in_a();
  start_wave_in();
  host.start_timeout_timer();
  const unsigned captured = wait_in_a();
  EXPECT_GT(captured, 3000u);
  EXPECT_LT(captured, 8192u);
  EXPECT_LT(get_in_position(), 1000u);
  std::this_thread::sleep_for(50ms);
  EXPECT_GT(get_in_position(), 500u);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, QueryClosesItsTestStreamAndLeavesTheCycleDevicesAlone) {
  open_wave_in();
  open_wave_out();
  const WaveInStream* cycle_in = wave_in.get();
  const WaveOutStream* cycle_out = wave_out.get();
  EXPECT_FALSE(query_wave_in());
  EXPECT_FALSE(query_wave_out());
  input_device_id = 2;
  output_device_id = 2;
  EXPECT_TRUE(query_wave_in());
  EXPECT_TRUE(query_wave_out());
  EXPECT_EQ(wave_in.get(), cycle_in);
  EXPECT_EQ(wave_out.get(), cycle_out);
  EXPECT_EQ(system.input_opens(), 2);
  const std::pair<std::string, std::string> in_refused{"Device Message",
                                                       "Sound input device not compatible"};
  const std::pair<std::string, std::string> out_refused{"Device Message",
                                                        "Sound output device not compatible"};
  EXPECT_EQ(host.reports, (Reports{in_refused, in_refused, out_refused, out_refused}));
}

TEST_F(WaveOps, FedSamplesArriveInBuffersAAndBAndPlayBackInOrder) {
  std::vector<std::int16_t> fed(2048);
  for (std::size_t i = 0; i < fed.size(); ++i) fed[i] = static_cast<std::int16_t>(i * 7 - 5000);
  system.feed(fed);
  open_wave_out();
  open_wave_in();
  // Both buffers are queued before capture starts, so that a slow test
  // thread cannot lose frames between them.
  prepare_in_a();
  add_in_a();
  prepare_in_b();
  add_in_b();
  start_wave_in();
  EXPECT_EQ(wait_in_a(), 2048u);
  EXPECT_EQ(wait_in_b(), 2048u);
  unprepare_in_b();
  EXPECT_EQ(wave_result, wave_ok);

  std::copy_n(in_data_a.get(), 2048, out_data_a.get());
  std::copy_n(in_data_b.get(), 2048, out_data_b.get());
  prepare_out_a();
  write_out_a();
  prepare_out_b();
  write_out_b();
  wait_out_a();
  wait_out_b();
  EXPECT_EQ(system.take_played(), fed);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, HandlerClosingTheDeviceEndsTheWait) {
  open_wave_in();
  prepare_in_a();
  add_in_a();  // never started: only the close returns it
  host.on_pump = [] { close_wave_in(); };
  wait_in_a();
  EXPECT_EQ(wave_in, nullptr);
  EXPECT_NE(in_header_a.flags.load() & header_done, 0u);

  open_wave_out();
  out_header_a.buffer_length = 8192;
  prepare_out_a();
  write_out_a();
  host.on_pump = [] { close_wave_out(); };
  wait_out_a();
  EXPECT_EQ(wave_out, nullptr);
  EXPECT_NE(out_header_a.flags.load() & header_done, 0u);
  EXPECT_EQ(engine::wave_timeout, 0);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, ADeviceThatKeepsFailingIsReportedOnceUntilADeviceOpensOrTheUserChooses) {
  // What every automatic restart of the cycle does on each side.
  const auto cycle = [] {
    open_wave_out();
    open_wave_in();
    prepare_in_a();
    close_wave_in();
    close_wave_out();
  };
  input_device_id = 4;
  cycle();
  const Reports first = host.reports;
  EXPECT_EQ(first, (Reports{wave("Could not open the input wave device"),
                            wave("Error Opening Input wave device"),
                            wave("Error preparing the header_a"),
                            wave("Error Resetting the input wave device"),
                            wave("Error unpreparing the _a Header"),
                            wave("Error unpreparing the _b Header"),
                            wave("Error closing the input wave device")}));
  cycle();
  cycle();
  EXPECT_EQ(host.reports, first);

  // A new failure is still shown; one on the other side too.
  start_wave_in();
  EXPECT_EQ(host.reports.back(), wave("Error starting the input wave device"));
  output_device_id = 4;
  cycle();
  EXPECT_EQ(host.reports.back(), wave("Error closing the output wave device"));

  // The user picks a device: the next failure is shown again in full.
  host.reports.clear();
  release_all_reports();
  cycle();
  EXPECT_EQ(host.reports.size(), first.size() + 6);

  // A device that opens ends the holding for its side.
  host.reports.clear();
  input_device_id = 0;
  cycle();
  input_device_id = 4;
  cycle();
  EXPECT_EQ(std::count(host.reports.begin(), host.reports.end(),
                       wave("Error Opening Input wave device")),
            1);
  EXPECT_EQ(std::count(host.reports.begin(), host.reports.end(),
                       wave("Error Opening Output wave device")),
            0);
}
