#include "audio/wave_in.h"

#include <memory>

#include "audio/state.h"
#include "audio/wave_call.h"
#include "engine/state.h"

namespace audio {

namespace {

// The last position the device gave; returned again when a query fails.
std::uint32_t in_position = 0;

// Polls the header until it is done, pumping the window's messages on the
// first and every tenth poll; a raised wave_timeout resets and restarts
// capture (each reported on failure) and ends the wait. Handlers run by the
// pump may close the device, so wave_in is read afresh on every poll.
unsigned wait_in(const WaveHeader& header) {
  for (int counter = 0; (header.flags.load() & header_done) == 0; ++counter) {
    if (counter % 10 == 0) wave_host->process_messages();
    if (engine::wave_timeout == 1) {
      reset_wave_in();
      start_wave_in();
      break;
    }
    pause_for_buffer(wave_in);
  }
  return header.bytes_recorded.load();
}

}  // namespace

// Fills in_wave_format from the in_* format values, then sets up both
// headers as reset_in_header_a/b do.
void init_in_headers() {
  in_wave_format = WaveFormat{
      .format_tag = 1,
      .channels = in_channels,
      .samples_per_sec = static_cast<std::uint32_t>(in_sample_rate),
      .avg_bytes_per_sec = static_cast<std::uint32_t>(in_avg_bytes),
      .block_align = in_block_align,
      .bits_per_sample = in_bits,
  };
  reset_in_header_a();
  reset_in_header_b();
}

// Points the header at its audio block, in_buffer_bytes long, flags and
// loops 0. The header must not be queued.
void reset_in_header_a() { set_header(in_header_a, in_data_a.get(), in_buffer_bytes); }
void reset_in_header_b() { set_header(in_header_b, in_data_b.get(), in_buffer_bytes); }

// Queries, then opens input_device_id for in_wave_format into wave_in;
// after a failed open wave_in is empty. Needs wave_system and wave_host.
void open_wave_in() {
  begin_round(Direction::input);
  store_checked(Direction::input, wave_system->open_input(input_device_id, in_wave_format, nullptr),
                "Could not open the input wave device");
  std::unique_ptr<WaveInStream> stream;
  store_checked(Direction::input, wave_system->open_input(input_device_id, in_wave_format, &stream),
                "Error Opening Input wave device");
  wave_in = std::move(stream);
  if (wave_in) release_reports(Direction::input);
}

// The same two calls as open_wave_in, reported under "Device Message". The
// stream opened for the test is closed again at once; the cycle's wave_in
// is left as it was.
bool query_wave_in() {
  bool failed = false;
  const auto test = [&failed](int result) {
    wave_result = result;
    if (result != wave_ok) {
      wave_host->report("Device Message", "Sound input device not compatible");
      failed = true;
    }
  };
  test(wave_system->open_input(input_device_id, in_wave_format, nullptr));
  std::unique_ptr<WaveInStream> stream;
  test(wave_system->open_input(input_device_id, in_wave_format, &stream));
  return failed;
}

// Prepares the header on the open input; preparing it again is harmless.
void prepare_in_a() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::prepare, in_header_a),
                "Error preparing the header_a");
}
void prepare_in_b() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::prepare, in_header_b),
                "Error preparing the header_b");
}

// Queues the prepared buffer for capture behind those already queued.
void add_in_a() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::add_buffer, in_header_a),
                "Error in sending a buffer_a");
}
void add_in_b() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::add_buffer, in_header_b),
                "Error in sending a buffer_b");
}

// Starts capture into the queued buffers; the position counts from here.
void start_wave_in() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::start), "Error starting the input wave device");
}

// Bytes captured since the last start, frames lost for want of a queued
// buffer included; after a failure, the last position obtained.
std::uint32_t get_in_position() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::position, in_position),
                "Error getting the byte position");
  return in_position;
}

// May run any window handler while waiting.
unsigned wait_in_a() { return wait_in(in_header_a); }
unsigned wait_in_b() { return wait_in(in_header_b); }

// Stops capture and returns every queued buffer done, bytes_recorded holding
// what it had captured; capture resumes only with start_wave_in.
void reset_wave_in() {
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::reset), "Error Resetting the input wave device");
}

// Releases header b; fails while it is queued. The result is only stored.
void unprepare_in_b() { wave_result = call_on(wave_in, &WaveInStream::unprepare, in_header_b); }

// Reset, unprepare a, unprepare b and close, each reported on its own and
// each done whatever came before; wave_in is empty afterwards.
void close_wave_in() {
  reset_wave_in();
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::unprepare, in_header_a),
                "Error unpreparing the _a Header");
  store_checked(Direction::input, call_on(wave_in, &WaveInStream::unprepare, in_header_b),
                "Error unpreparing the _b Header");
  const int closed = wave_in ? wave_ok : wave_invalid_handle;
  wave_in.reset();
  store_checked(Direction::input, closed, "Error closing the input wave device");
}

}  // namespace audio
