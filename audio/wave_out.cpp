#include "audio/wave_out.h"

#include <memory>

#include "audio/state.h"
#include "audio/wave_call.h"
#include "engine/state.h"

namespace audio {

namespace {

// Polls the header until it is done, pumping the window's messages every
// tenth poll; a raised wave_timeout resets and restarts the output (results
// stored, nothing reported) and ends the wait. Handlers run by the pump may
// close the device, so wave_out is read afresh on every poll.
unsigned wait_out(const WaveHeader& header) {
  for (int counter = 1; (header.flags.load() & header_done) == 0; ++counter) {
    if (counter % 10 == 0) wave_host->process_messages();
    pause_for_buffer(wave_out);
    if (engine::wave_timeout == 1) {
      wave_result = call_on(wave_out, &WaveOutStream::reset);
      wave_result = call_on(wave_out, &WaveOutStream::restart);
      break;
    }
  }
  return header.bytes_recorded.load();
}

}  // namespace

// Fills out_wave_format from the out_* format values, then sets up both
// headers as reset_out_header_a/b do.
void init_out_headers() {
  out_wave_format = WaveFormat{
      .format_tag = 1,
      .channels = out_channels,
      .samples_per_sec = static_cast<std::uint32_t>(out_sample_rate),
      .avg_bytes_per_sec = static_cast<std::uint32_t>(out_avg_bytes),
      .block_align = out_block_align,
      .bits_per_sample = out_bits,
  };
  reset_out_header_a();
  reset_out_header_b();
}

// Points the header at its audio block, out_buffer_bytes long, flags and
// loops 0. The header must not be queued.
void reset_out_header_a() { set_header(out_header_a, out_data_a.get(), out_buffer_bytes); }
void reset_out_header_b() { set_header(out_header_b, out_data_b.get(), out_buffer_bytes); }

// Queries, then opens output_device_id for out_wave_format into wave_out;
// after a failed open wave_out is empty. Needs wave_system and wave_host.
void open_wave_out() {
  begin_round(Direction::output);
  store_checked(Direction::output, wave_system->open_output(output_device_id, out_wave_format, nullptr),
                "Could not handle the output WAVE format");
  std::unique_ptr<WaveOutStream> stream;
  store_checked(Direction::output, wave_system->open_output(output_device_id, out_wave_format, &stream),
                "Error Opening Output wave device");
  wave_out = std::move(stream);
  if (wave_out) release_reports(Direction::output);
}

// The same two calls as open_wave_out, reported under "Device Message". The
// stream opened for the test is closed again at once; the cycle's wave_out
// is left as it was.
bool query_wave_out() {
  bool failed = false;
  const auto test = [&failed](int result) {
    wave_result = result;
    if (result != wave_ok) {
      wave_host->report("Device Message", "Sound output device not compatible");
      failed = true;
    }
  };
  test(wave_system->open_output(output_device_id, out_wave_format, nullptr));
  std::unique_ptr<WaveOutStream> stream;
  test(wave_system->open_output(output_device_id, out_wave_format, &stream));
  return failed;
}

// Prepares the header on the open output; preparing it again is harmless.
void prepare_out_a() {
  store_checked(Direction::output, call_on(wave_out, &WaveOutStream::prepare, out_header_a),
                "Error preparing the header_a");
}
void prepare_out_b() {
  store_checked(Direction::output, call_on(wave_out, &WaveOutStream::prepare, out_header_b),
                "Error preparing the header_b");
}

// Queues the prepared buffer behind those already playing; the result is
// only stored.
void write_out_a() { wave_result = call_on(wave_out, &WaveOutStream::write, out_header_a); }
void write_out_b() { wave_result = call_on(wave_out, &WaveOutStream::write, out_header_b); }

// May run any window handler while waiting.
unsigned wait_out_a() { return wait_out(out_header_a); }
unsigned wait_out_b() { return wait_out(out_header_b); }

// Cuts playback off and returns every queued buffer done; a buffer written
// afterwards plays at once.
void reset_wave_out() {
  store_checked(Direction::output, call_on(wave_out, &WaveOutStream::reset), "Error Resetting the output wave device");
}

// Releases the header; fails while it is queued. The result is only stored.
void unprepare_out_a() { wave_result = call_on(wave_out, &WaveOutStream::unprepare, out_header_a); }
void unprepare_out_b() { wave_result = call_on(wave_out, &WaveOutStream::unprepare, out_header_b); }

// Reset, unprepare a, unprepare b and close, each reported on its own and
// each done whatever came before; wave_out is empty afterwards.
void close_wave_out() {
  reset_wave_out();
  store_checked(Direction::output, call_on(wave_out, &WaveOutStream::unprepare, out_header_a),
                "Error unpreparing the _a Header");
  store_checked(Direction::output, call_on(wave_out, &WaveOutStream::unprepare, out_header_b),
                "Error unpreparing the _b Header");
  const int closed = wave_out ? wave_ok : wave_invalid_handle;
  wave_out.reset();
  store_checked(Direction::output, closed, "Error closing the output wave device");
}

}  // namespace audio
