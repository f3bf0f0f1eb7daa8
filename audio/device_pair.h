// The program's two wave devices: one input and one output stream, their
// formats, the two audio blocks of each direction and the headers that point
// at them, and the operations the processing cycle drives them by.
//
// Every operation calls the open stream, and a failure is reported in a
// modal box captioned "Wave Device Message" through the host (once while it
// repeats, see HeldReports), then the operation carries on. An operation
// returns the result of its last wave call (wave_ok, or a WaveResultCode).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "audio/wave_device.h"

namespace audio {

// Bytes of each audio block: room for the largest buffer, with some to spare.
inline constexpr std::size_t audio_block_bytes = 16386;

// What the device operations need from the window they run under.
class WaveHost {
 public:
  // Lets the window process its pending messages (handlers, timers).
  virtual void process_messages() = 0;
  // A modal report with an OK button.
  virtual void report(std::string_view caption, std::string_view text) = 0;

 protected:
  ~WaveHost() = default;
};

enum class Direction { input, output };

// Reports of wave-device failures, shown once while they repeat. The cycle
// restarts 50 ms after it ends, so a missing or vanished device would
// otherwise bring up the same message boxes at every restart. Each attempt
// to open a device starts a round; a round shows every failure, except those
// its direction already showed in an earlier round since the device last
// opened or the user last chose a device.
class HeldReports {
 public:
  // Whether a failure `text` of `direction` is to be shown; it then counts
  // as shown in this round.
  bool admit(Direction direction, std::string_view text);
  // An attempt to open a device of `direction` begins: the failures of the
  // rounds before are held.
  void begin_round(Direction direction);
  // A device of `direction` opened: its failures are shown again.
  void release(Direction direction);
  // The user chose a device: every failure is shown again.
  void release_all();

 private:
  struct Rounds {
    std::set<std::string, std::less<>> held;     // shown in an earlier round
    std::set<std::string, std::less<>> current;  // shown in this round
  };
  Rounds& of(Direction direction);
  std::array<Rounds, 2> rounds_;
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

  // Sample formats. The output's never change.
  std::int32_t bytes_per_sample = 2;
  std::int32_t in_sample_rate = 11025;
  std::uint16_t in_channels = 1;
  std::uint16_t in_block_align = 2;
  std::uint16_t in_bits = 16;
  std::int32_t in_avg_bytes = 22050;
  std::uint16_t in_buffer_bytes = 2048;  // one input buffer holds 1024 frames
  std::int32_t out_sample_rate = 11025;
  std::uint16_t out_channels = 1;
  std::uint16_t out_block_align = 2;
  std::uint16_t out_bits = 16;
  std::int32_t out_avg_bytes = 22050;
  std::uint16_t out_buffer_bytes = 2048;  // one output buffer holds 1024 samples

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
  // Queries, then opens input_device_id into wave_in; after a failed open
  // wave_in is empty.
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
  // buffer included; after a failure, the last position obtained.
  std::uint32_t get_in_position();
  // Waits until the buffer is full, pumping the host's messages on the first
  // and every tenth poll. When `timeout` reads 1, capture is reset and
  // started again and the wait ends. Returns the header's bytes-recorded
  // count. Any window handler may run while it waits.
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
  // Waits until the buffer has played, pumping every tenth poll; when
  // `timeout` reads 1 the output is reset and restarted (not reported) and
  // the wait ends.
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
  // Returns `result`; a failure is reported for the direction unless held.
  int checked(Direction direction, int result, std::string_view text);
  unsigned wait_in(const WaveHeader& header, const std::uint8_t& timeout);
  unsigned wait_out(const WaveHeader& header, const std::uint8_t& timeout);

  WaveSystem& system_;
  WaveHost& host_;
  std::uint32_t in_position_ = 0;  // the last position the device gave
};

}  // namespace audio
