// The audio thread: capture, filter chain and playback, one pass per block
// of captured samples (1024, or 128 in low-latency mode), on a thread of
// its own at real-time priority, never on the window's. It starts a cycle
// 50 ms after it starts and again 50 ms after each cycle ends, until it is
// stopped.
//
// The window and the audio thread share nothing but lock-free queues:
//   - the window's controls reach the passes whole (Latest<Controls>),
//     taken at a pass boundary;
//   - each pass's samples, the automatic notch's tones and the diagnostic
//     values come back as snapshots (PassSnapshot), one per pass, which the
//     window draws when it likes;
//   - the device layer's reports come back as whole texts (Report);
//   - the record file's blocks and the play file's go through the file
//     thread (FileThread), which makes every file call.
// On the audio thread, once its devices are open, a pass takes no lock,
// allocates and frees nothing and makes no call but the devices' own and the
// wait for them.
#pragma once

#include <semaphore.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include "audio/device_pair.h"
#include "engine/auto_notch.h"
#include "engine/filter_chain.h"
#include "realtime/controls.h"
#include "realtime/cycle.h"
#include "realtime/file_thread.h"
#include "realtime/spsc.h"

namespace realtime {

// What a pass leaves for the display.
struct PassSnapshot {
  std::array<std::int32_t, engine::samples_per_buffer> raw_samples{};
  std::array<std::int32_t, engine::samples_per_buffer> out_samples{};
  std::array<float, engine::auto_notch_most> notched{};
  std::uint8_t notched_count = 0;
  // The diagnostic values the device phase of this pass wrote, by label.
  std::array<std::uint32_t, 4> diagnostics{};
  std::uint8_t diagnostics_written = 0;  // bit per label
};

// A report of the device layer, cut to fit.
struct Report {
  std::array<char, 48> caption{};
  std::array<char, 464> text{};
};

// The state of the devices, for the window's status line.
struct DeviceStatus {
  // A cycle runs and has made a pass: its devices are as they will stay.
  bool running = false;
  bool input_open = false;
  bool output_open = false;
  bool input_delivering = false;  // the last pass's input buffer filled
  std::uint32_t cycles = 0;       // cycles started so far
};

// How long a cycle runs with a device that failed to open before it ends,
// so that the next cycle opens it again.
inline constexpr std::chrono::seconds reopen_period{2};

class AudioThread final : public CycleHost {
 public:
  using Clock = std::chrono::steady_clock;

  // Over the devices of `system` and the window's transport, both of which
  // must outlive it. Nothing runs until start().
  AudioThread(audio::WaveSystem& system, files::Transport& transport);
  // Stops the thread.
  ~AudioThread();
  AudioThread(const AudioThread&) = delete;
  AudioThread& operator=(const AudioThread&) = delete;

  // Window: starts the thread, which starts its first cycle 50 ms later.
  // Nothing when it runs.
  void start();
  // Window: ends the running cycle, which closes its devices, and the
  // thread. Returns once the thread has ended.
  void stop();
  bool running() const { return thread_.joinable(); }

  // Window: the controls to fill, then publish; the audio thread takes the
  // latest published at its next pass boundary.
  Controls& controls() { return controls_.draft(); }
  void publish_controls();

  // Window: the snapshots made since it last looked, oldest first; those
  // the window left no room for are counted, not queued.
  SpscQueue<PassSnapshot, 16>& passes() { return passes_; }
  std::uint64_t passes_dropped() const { return passes_dropped_.load(); }
  SpscQueue<Report, 16>& reports() { return reports_; }
  DeviceStatus status() const;
  // The priority the thread got, once it has started ("" before).
  std::string priority() const;

  FileThread& files() { return files_; }

  // CycleHost, on the audio thread.
  void process_messages() override;
  void wait_for_messages(std::chrono::milliseconds limit) override;
  void wake() override;
  void report(std::string_view caption, std::string_view text) override;
  void enable_timeout_timer(bool enabled) override;
  void show_diagnostic(Diagnostic label, std::uint32_t value) override;
  void update_display() override;
  bool low_latency() const override;
  bool paused() const override;
  bool recording() const override;
  bool playing() override;
  PlayBlock take_play_block(std::span<std::uint8_t> captured, int channels) override;
  void record_block(std::span<const std::uint8_t> block) override;
  void stop_transport() override;

 private:
  void run();
  // The device choice of the latest controls, for the cycle about to start.
  void take_devices();
  void sleep_until(Clock::time_point until);
  // The play entries at the front of the queue that belong to no play now.
  void drop_stale_plays();
  void publish_status();

  FileThread files_;
  audio::DevicePair devices_;
  engine::FilterChain chain_;
  CycleControl control_;
  Cycle cycle_;
  Latest<Controls> controls_;

  // The audio thread's own.
  ChainControls seen_chain_;
  TransportControls transport_;
  DeviceControls devices_seen_;
  bool transport_stopped_ = false;  // the play ended; until the window's next change
  bool play_started_ = false;       // a block of the current play has come
  bool record_end_owed_ = false;    // the end of play waits for room in the record queue
  bool low_latency_ = false;        // the mode the window wants
  std::size_t record_filled_ = 0;   // bytes of the claimed record entry filled
  int play_taken_ = 0;              // frames of the front play block taken
  int samples_since_snapshot_ = 0;  // since the display's last snapshot
  Clock::time_point cycle_started_{};
  bool timer_armed_ = false;
  Clock::time_point timer_due_{};
  // The diagnostic values the pass under way has written.
  std::array<std::uint32_t, 4> diagnostics_{};
  std::uint8_t diagnostics_written_ = 0;
  sem_t wakeups_;

  SpscQueue<PassSnapshot, 16> passes_;
  std::atomic<std::uint64_t> passes_dropped_{0};
  SpscQueue<Report, 16> reports_;
  std::atomic<std::uint32_t> status_bits_{0};
  std::atomic<std::uint32_t> cycles_{0};
  std::atomic<bool> quit_{false};
  std::atomic<bool> priority_known_{false};
  std::string priority_;
  std::thread thread_;
};

}  // namespace realtime
