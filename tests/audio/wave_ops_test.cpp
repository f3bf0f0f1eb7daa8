#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "audio/device_pair.h"
#include "audio/standin_device.h"
#include "tests/support/wake_flag.h"

using namespace audio;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Reports = std::vector<std::pair<std::string, std::string>>;

namespace {

// Records the reports; its message pump raises `timeout`, the flag the waits
// read, once the timer has run out, as the window's TimeoutTimer would, then
// runs `on_pump`.
class RecordingHost : public WaveHost {
 public:
  void process_messages() override {
    if (Clock::now() >= timeout_at) timeout = 1;
    if (on_pump) on_pump();
  }
  void wait_for_messages(std::chrono::milliseconds limit) override {
    ++sleeps;
    flag.sleep(limit);
    process_messages();
  }
  void wake() override { flag.wake(); }
  void report(std::string_view caption, std::string_view text) override {
    reports.emplace_back(caption, text);
  }
  void start_timeout_timer() { timeout_at = Clock::now() + 200ms; }

  Reports reports;
  std::uint8_t timeout = 0;
  int sleeps = 0;
  support::WakeFlag flag;
  Clock::time_point timeout_at = Clock::time_point::max();
  std::function<void()> on_pump;
};

std::pair<std::string, std::string> wave(std::string text) {
  return {"Wave Device Message", std::move(text)};
}
std::pair<std::string, std::string> refused(std::string direction) {
  return {"Device Message", "Sound " + direction + " device not compatible"};
}

class WaveOps : public ::testing::Test {
 protected:
  // A fresh pair over the stand-in devices, mono in and out as it starts,
  // with both directions' format and headers set up.
  void SetUp() override {
    devices.init_in_headers();
    devices.init_out_headers();
  }

  // Opens the input and starts capturing into buffer a, and b after it.
  void capture_into_a(bool and_b = false) {
    devices.open_wave_in();
    devices.prepare_in_a();
    devices.add_in_a();
    if (and_b) {
      devices.prepare_in_b();
      devices.add_in_b();
    }
    devices.start_wave_in();
  }

  StandinSystem system;
  RecordingHost host;
  DevicePair devices{system, host};
};

}  // namespace

TEST_F(WaveOps, AMissingDeviceIsReportedByItsOpenAloneAndAnInputWaitEndsThroughTimeout) {
  devices.output_device_id = 3;
  devices.input_device_id = 1;
  EXPECT_EQ(devices.open_wave_out(), wave_bad_device_id);
  EXPECT_EQ(devices.wave_out, nullptr);
  EXPECT_EQ(devices.prepare_out_b(), wave_invalid_handle);
  EXPECT_EQ(devices.write_out_b(), wave_invalid_handle);
  devices.reset_wave_out();
  EXPECT_EQ(devices.close_wave_out(), wave_invalid_handle);
  capture_into_a();
  EXPECT_EQ(devices.get_in_position(), std::nullopt);
  host.start_timeout_timer();
  EXPECT_EQ(devices.wait_in_a(host.timeout), 0u);
  EXPECT_EQ(host.timeout, 1);
  EXPECT_EQ(host.reports, (Reports{wave("Could not handle the output WAVE format"),
                                   wave("Error Opening Output wave device"),
                                   wave("Could not open the input wave device"),
                                   wave("Error Opening Input wave device")}));
}

TEST_F(WaveOps, FirstWaitOutEndsThroughTimeoutCuttingOffTheQueuedBuffer) {
  devices.open_wave_out();
  devices.out_header_b.buffer_length = 8192;  // plays longer than the timer runs
  devices.prepare_out_b();
  devices.write_out_b();
  host.start_timeout_timer();
  const auto start = Clock::now();
  devices.wait_out_a(host.timeout);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 200ms);
  EXPECT_LT(took, 400ms);
  // It slept until the timer ran out, woken by the completion of buffer b,
  // instead of polling.
  EXPECT_LE(host.sleeps, 8);
  EXPECT_EQ(devices.out_header_a.flags.load() & header_done, 0u);
  EXPECT_NE(devices.out_header_b.flags.load() & header_done, 0u);
  EXPECT_GT(devices.out_header_b.bytes_recorded.load(), 3000u);
  EXPECT_LT(devices.out_header_b.bytes_recorded.load(), 8192u);
  EXPECT_TRUE(host.reports.empty());

  host.timeout = 0;  // the output plays on after the restart
  host.timeout_at = Clock::time_point::max();
  devices.unprepare_out_b();
  devices.reset_out_header_b();
  devices.prepare_out_b();
  devices.write_out_b();
  EXPECT_EQ(devices.wait_out_b(host.timeout), 2048u);
}

TEST_F(WaveOps, WaitInTimeoutResetsAndRestartsCapture) {
  devices.in_header_a.buffer_length = 8192;  // fills later than the timer runs out
  capture_into_a();
  host.start_timeout_timer();
  const unsigned captured = devices.wait_in_a(host.timeout);
  EXPECT_GT(captured, 3000u);
  EXPECT_LT(captured, 8192u);
  EXPECT_LT(devices.get_in_position(), 1000u);
  const auto restarted = Clock::now();
  while (devices.get_in_position() <= 500u && Clock::now() - restarted < 1s) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_GT(devices.get_in_position(), 500u);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, QueryClosesItsTestStreamAndLeavesTheCycleDevicesAloneTillTheyClose) {
  devices.open_wave_in();
  devices.open_wave_out();
  const WaveInStream* cycle_in = devices.wave_in.get();
  const WaveOutStream* cycle_out = devices.wave_out.get();
  EXPECT_FALSE(devices.query_wave_in());
  EXPECT_FALSE(devices.query_wave_out());
  devices.input_device_id = 2;
  devices.output_device_id = 2;
  EXPECT_TRUE(devices.query_wave_in());
  EXPECT_TRUE(devices.query_wave_out());
  EXPECT_EQ(devices.wave_in.get(), cycle_in);
  EXPECT_EQ(devices.wave_out.get(), cycle_out);
  EXPECT_EQ(system.input_opens(), 2);
  EXPECT_EQ(system.output_opens(), 2);
  // Closing the unused devices reports nothing and leaves no stream.
  devices.close_wave_in();
  EXPECT_EQ(devices.close_wave_out(), wave_ok);
  EXPECT_EQ(devices.wave_in, nullptr);
  EXPECT_EQ(devices.wave_out, nullptr);
  EXPECT_EQ(host.reports,
            (Reports{refused("input"), refused("input"), refused("output"), refused("output")}));
}

TEST_F(WaveOps, FedSamplesArriveInBuffersAAndBAndPlayBackInOrder) {
  std::vector<std::int16_t> fed(2048);
  for (std::size_t i = 0; i < fed.size(); ++i) fed[i] = static_cast<std::int16_t>(i * 7 - 5000);
  system.feed(fed);
  devices.open_wave_out();
  // Both buffers are queued before capture starts, so that a slow test
  // thread cannot lose frames between them.
  capture_into_a(true);
  EXPECT_EQ(devices.wait_in_a(host.timeout), 2048u);
  EXPECT_EQ(devices.wait_in_b(host.timeout), 2048u);
  EXPECT_EQ(devices.unprepare_in_b(), wave_ok);

  std::copy_n(devices.in_data_a.get(), 2048, devices.out_data_a.get());
  std::copy_n(devices.in_data_b.get(), 2048, devices.out_data_b.get());
  devices.prepare_out_a();
  devices.write_out_a();
  devices.prepare_out_b();
  devices.write_out_b();
  devices.wait_out_a(host.timeout);
  devices.wait_out_b(host.timeout);
  EXPECT_EQ(system.take_played(), fed);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, HandlerClosingTheDeviceEndsTheWait) {
  devices.open_wave_in();
  devices.prepare_in_a();
  devices.add_in_a();  // never started: only the close returns it
  host.on_pump = [this] { devices.close_wave_in(); };
  devices.wait_in_a(host.timeout);
  EXPECT_EQ(devices.wave_in, nullptr);
  EXPECT_NE(devices.in_header_a.flags.load() & header_done, 0u);

  devices.open_wave_out();
  devices.out_header_a.buffer_length = 8192;
  devices.prepare_out_a();
  devices.write_out_a();
  host.on_pump = [this] { devices.close_wave_out(); };
  devices.wait_out_a(host.timeout);
  EXPECT_EQ(devices.wave_out, nullptr);
  EXPECT_NE(devices.out_header_a.flags.load() & header_done, 0u);
  EXPECT_EQ(host.timeout, 0);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(WaveOps, AFailureIsShownOncePerDirectionUntilADeviceOpensOrTheUserChooses) {
  // What every automatic restart of the cycle does on each side.
  const auto cycle = [this] {
    devices.open_wave_out();
    devices.open_wave_in();
    devices.prepare_in_a();
    devices.get_in_position();
    devices.close_wave_in();
    devices.close_wave_out();
  };
  const auto count = [this](const std::string& text) {
    return std::count(host.reports.begin(), host.reports.end(), wave(text));
  };
  devices.input_device_id = 4;
  for (int restart = 0; restart < 5; ++restart) cycle();
  EXPECT_EQ(host.reports, (Reports{wave("Could not open the input wave device"),
                                   wave("Error Opening Input wave device")}));

  // On an open device, a failure that repeats at every call is shown once.
  devices.input_device_id = 0;
  devices.open_wave_in();
  devices.prepare_in_a();
  devices.add_in_a();
  for (int call = 0; call < 100; ++call) EXPECT_EQ(devices.add_in_a(), wave_still_playing);
  EXPECT_EQ(count("Error in sending a buffer_a"), 1);
  devices.close_wave_in();

  // The other side's failures are its own; the side that opened shows its
  // failures again.
  devices.output_device_id = 4;
  devices.input_device_id = 4;
  cycle();
  cycle();
  EXPECT_EQ(count("Error Opening Output wave device"), 1);
  EXPECT_EQ(count("Error Opening Input wave device"), 2);

  // The user picks a device: every failure is shown again, once.
  devices.reports.release_all();
  cycle();
  cycle();
  EXPECT_EQ(count("Error Opening Output wave device"), 2);
  EXPECT_EQ(count("Error Opening Input wave device"), 3);
}

// A server slow to answer: each open and query is pending for its first
// `late` asks.
class SlowSystem : public StandinSystem {
 public:
  explicit SlowSystem(int late) : late_(late) {}
  int open_input(int id, const WaveFormat& format, std::unique_ptr<WaveInStream>* stream) override {
    return pending() ? wave_pending : StandinSystem::open_input(id, format, stream);
  }
  int open_output(int id, const WaveFormat& format,
                  std::unique_ptr<WaveOutStream>* stream) override {
    return pending() ? wave_pending : StandinSystem::open_output(id, format, stream);
  }
  int asks = 0;

 private:
  bool pending() {
    ++asks;
    if (++run_ <= late_) return true;
    run_ = 0;
    return false;
  }
  int late_;
  int run_ = 0;
};

TEST(SlowServer, AnOpenIsAskedAgainForHalfASecondThenReportedAsAFailure) {
  for (const int late : {4, 1000}) {
    SlowSystem system(late);
    RecordingHost host;
    DevicePair devices{system, host};
    devices.init_in_headers();
    devices.init_out_headers();
    const bool answered = late < 5;
    EXPECT_EQ(devices.open_wave_in(), answered ? wave_ok : wave_pending);
    EXPECT_EQ(devices.open_wave_out(), answered ? wave_ok : wave_pending);
    EXPECT_EQ(devices.wave_in != nullptr && devices.wave_out != nullptr, answered);
    EXPECT_EQ(system.asks, 20);
    EXPECT_EQ(host.reports, answered ? Reports{}
                                     : (Reports{wave("Could not open the input wave device"),
                                                wave("Error Opening Input wave device"),
                                                wave("Could not handle the output WAVE format"),
                                                wave("Error Opening Output wave device")}));
  }
}
