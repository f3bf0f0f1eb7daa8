// The program's two wave devices: one input and one output stream, their
// formats, the two audio blocks of each direction and the headers that point
// at them, and the operations the processing cycle drives them by.
//
// Every operation calls the open stream, and a failure is reported in a box
// captioned "Wave Device Message" through the host (once until something
// changes, see HeldReports), then the operation carries on. An operation
// returns the result of its last wave call (wave_ok, or a WaveResultCode).
// The waits sleep in the host's message wait, which an open stream wakes
// each time it returns a buffer.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "audio/wave_device.h"
#include "files/wave_format.h"

namespace audio {

// Bytes of each audio block: room for the largest buffer, with some to spare.
inline constexpr std::size_t audio_block_bytes = 16386;

// What the device operations need from the window they run under.
class WaveHost {
 public:
  // Lets the window process its pending messages (handlers, timers).
  virtual void process_messages() = 0;
  // Processes the window's messages; when none are pending, first sleeps
  // until one arrives, wake() is called or `limit` has passed.
  virtual void wait_for_messages(std::chrono::milliseconds limit) = 0;
  // Ends the wait_for_messages in progress, or else the next one, at once.
  // Called from the devices' threads.
  virtual void wake() = 0;
  // A report with an OK button.
  virtual void report(std::string_view caption, std::string_view text) = 0;

 protected:
  ~WaveHost() = default;
};

enum class Direction { input, output };

// Reports of wave-device failures, each shown once per direction until
// something changes: the device of that direction opens, the user chooses a
// device or the input is selected again. The cycle restarts 50 ms after it
// ends, so a missing or vanished device would otherwise bring up the same
// message boxes at every restart, and a failing position query at every
// query.
class HeldReports {
 public:
  // Whether a failure `text` of `direction` is to be shown: the first time
  // since the direction was last released.
  bool admit(Direction direction, std::string_view text);
  // Failures of `direction` are shown again.
  void release(Direction direction);
  void release_all();
  // Releases of `direction` so far.
  std::uint32_t releases(Direction direction) const;

 private:
  std::array<std::set<std::string, std::less<>>, 2> shown_;
  std::array<std::uint32_t, 2> releases_{};
};

class DevicePair {
 public:
  // The devices of `system`, reporting through `host`; both must outlive the
  // pair. Nothing is opened yet. The formats start as 16-bit mono PCM at
  // 11025 Hz both ways, 1024 frames a buffer, on device 0 each way.
  DevicePair(WaveSystem& system, WaveHost& host);
  DevicePair(const DevicePair&) = delete;
  DevicePair& operator=(const DevicePair&) = delete;

  WaveSystem& system() const { return system_; }

  // The input's format for `channels` (1 or 2) at in_sample_rate, as the
  // input-select commands set it.
  void set_input_channels(std::uint16_t channels);

  // Frames a buffer holds each way (1 to 1024): both buffer sizes follow.
  // Only while no buffer is queued.
  void set_pass_frames(int frames);

  // Sample formats. The output's never change.
  std::int32_t bytes_per_sample = 2;
  std::int32_t in_sample_rate = files::chain_rate;
  std::uint16_t in_channels = 1;
  std::uint16_t in_block_align = 2;
  std::uint16_t in_bits = 16;
  std::int32_t in_avg_bytes = 22050;
  std::uint16_t in_buffer_bytes = 2048;  // one input buffer holds a pass of frames
  std::int32_t out_sample_rate = files::chain_rate;
  std::uint16_t out_channels = 1;
  std::uint16_t out_block_align = 2;
  std::uint16_t out_bits = 16;
  std::int32_t out_avg_bytes = 22050;
  std::uint16_t out_buffer_bytes = 2048;  // one output buffer holds a pass of samples

  // Device numbers, chosen in the sound-card dialog (saved).
  std::int32_t input_device_id = 0;
  std::int32_t output_device_id = 0;

  // Which input the cycle takes: 1 = microphone (mono), 2 = left and 3 =
  // right channel of the stereo line input (saved).
  std::int32_t input_select = 1;

  // The audio blocks, audio_block_bytes each, for the pair's lifetime.
  std::unique_ptr<std::uint8_t[]> in_data_a;
  std::unique_ptr<std::uint8_t[]> in_data_b;
  std::unique_ptr<std::uint8_t[]> out_data_a;
  std::unique_ptr<std::uint8_t[]> out_data_b;

  // Written only by the operations.
  std::unique_ptr<WaveInStream> wave_in;
  std::unique_ptr<WaveOutStream> wave_out;
  WaveFormat in_wave_format;
  WaveFormat out_wave_format;
  WaveHeader in_header_a;
  WaveHeader in_header_b;
  WaveHeader out_header_a;
  WaveHeader out_header_b;

  HeldReports reports;

  // Wave input: 16-bit PCM, mono or stereo, into the input buffers a and b.
  // init_in_headers fills in_wave_format from the in_* values and resets
  // both headers; a reset header points at its block, in_buffer_bytes long,
  // flags and loops 0, and must not be queued.
  void init_in_headers();
  void reset_in_header_a();
  void reset_in_header_b();
  // Queries, then opens input_device_id into wave_in, each asked again
  // while its answer is pending (up to half a second); after a failed open
  // wave_in is empty, and the later operations' failures for want of an
  // open device are not reported: the open's report says it.
  int open_wave_in();
  // The same two calls, reported under "Device Message" as "Sound input
  // device not compatible"; the stream opened for the test is closed at
  // once and wave_in left as it was. True when a call failed.
  bool query_wave_in();
  int prepare_in_a();
  int prepare_in_b();
  // Queues the prepared buffer behind those already queued.
  int add_in_a();
  int add_in_b();
  // Starts capture into the queued buffers; the position counts from here.
  int start_wave_in();
  // Bytes captured since the last start, frames lost for want of a queued
  // buffer included; nullopt when the query fails or no input is open.
  std::optional<std::uint32_t> get_in_position();
  // Waits until the buffer is full, processing the host's messages as they
  // come. When `timeout` reads 1, capture is reset and started again and
  // the wait ends. Returns the header's bytes-recorded count. Any window
  // handler may run while it waits.
  unsigned wait_in_a(const std::uint8_t& timeout);
  unsigned wait_in_b(const std::uint8_t& timeout);
  // Stops capture and returns every queued buffer done; capture resumes
  // only with start_wave_in.
  int reset_wave_in();
  // Releases header b; fails while it is queued. Not reported.
  int unprepare_in_b();
  // Reset, unprepare a, unprepare b and close, each reported on its own and
  // each done whatever came before; wave_in is empty afterwards.
  int close_wave_in();

  // Wave output: 16-bit mono PCM through the output buffers a and b, with
  // operations that mirror the input's.
  void init_out_headers();
  void reset_out_header_a();
  void reset_out_header_b();
  int open_wave_out();
  // Reported as "Sound output device not compatible".
  bool query_wave_out();
  int prepare_out_a();
  int prepare_out_b();
  // Queues the prepared buffer behind those already playing. Not reported.
  int write_out_a();
  int write_out_b();
  // Waits until the buffer has played, processing the host's messages;
  // when `timeout` reads 1 the output is reset and restarted (not reported)
  // and the wait ends.
  unsigned wait_out_a(const std::uint8_t& timeout);
  unsigned wait_out_b(const std::uint8_t& timeout);
  // Cuts playback off and returns every queued buffer done; a buffer written
  // afterwards plays at once.
  int reset_wave_out();
  // Release the header; fail while it is queued. Not reported.
  int unprepare_out_a();
  int unprepare_out_b();
  int close_wave_out();

 private:
  // Returns `result`; a failure is reported for the direction unless held
  // or owed to a device that failed to open.
  int checked(Direction direction, int result, std::string_view text);
  // Has the stream wake the host whenever it returns a buffer.
  template <typename Stream>
  void notify_host(Stream& stream);
  unsigned wait_in(const WaveHeader& header, const std::uint8_t& timeout);
  unsigned wait_out(const WaveHeader& header, const std::uint8_t& timeout);

  WaveSystem& system_;
  WaveHost& host_;
  std::array<bool, 2> open_failed_{};  // by direction: the last open failed
  int pass_frames_ = files::chain_pass_samples;
};

}  // namespace audio
