#include "realtime/cycle.h"

#include <algorithm>
#include <optional>

namespace realtime {
namespace {

// Timeouts in a row a phase may count before the cycle ends itself; a pass
// whose phase completes starts its count again.
constexpr int timeout_limit = 3;

// Input position at which the position wait gives up at once.
constexpr std::uint32_t position_give_up = 4096;

// Position queries after which the position wait gives up.
constexpr int position_queries = 2049;

// Passes in a row the input must fill before it counts as delivering.
constexpr int delivering_passes = 4;

// Timeouts in a row a phase may count, while the output plays, before the
// input of a new cycle has filled its first buffer: the sound server hands a
// fresh capture stream its first data up to a second or so after it starts.
constexpr int start_timeout_limit = 10;

}  // namespace

// Lets the input device get at least half-way into its current buffer before
// the other buffer is queued. Returns the last position read, in bytes; a
// failed query (or no input open) ends the wait.
std::uint32_t Cycle::wait_for_position() {
  const std::uint32_t half = devices_.in_buffer_bytes / 2u;
  std::uint32_t position = 0;
  for (int queries = 0; queries <= position_queries; ++queries) {
    const std::optional<std::uint32_t> read = devices_.get_in_position();
    if (!read) break;
    position = *read;
    if (position % devices_.in_buffer_bytes >= half || position == position_give_up) break;
  }
  return position;
}

// Counts a timeout of the phase just waited for, or starts the count again
// when the phase completed; past the limit the cycle ends, so that the
// devices are opened afresh. A new cycle's input gets longer to start. A
// source that delivers nothing while the output plays on (the monitor of an
// idle sink, a receiver program that paused) gets one such restart; after
// that the cycle runs on silence, paced by the timeouts, until the input
// delivers again.
void Cycle::count_timeout(int& counter, bool output_stalled, bool input_delivered) {
  // The input delivers again once it has filled passes in a row; a block or
  // two of silence a fresh stream hands over does not count.
  delivered_passes_ = input_delivered && control_.timeout != 1 ? delivered_passes_ + 1 : 0;
  if (delivered_passes_ >= delivering_passes) control_.silent_input_restarted = 0;
  if (input_delivered) input_started_ = true;
  if (control_.timeout != 1) {
    counter = 0;
    return;
  }
  // The output fails when it has yet to play at more than the limit of
  // timeouts in a row; one late moment of a busy machine is not that.
  output_stalls_ = output_stalled ? output_stalls_ + 1 : 0;
  const bool output_failing = output_stalls_ > timeout_limit;
  if (++counter <= (input_started_ || output_failing ? timeout_limit : start_timeout_limit)) return;
  counter = 0;
  if (!output_failing && control_.silent_input_restarted == 1) return;
  control_.stopped = 1;
  control_.silent_input_restarted = output_failing ? 0 : 1;
}

// Whether the input buffer just waited for filled after one that did not:
// the input has started, or is back after a stall.
bool Cycle::input_returned(unsigned captured) const {
  return control_.timeout != 1 && captured == devices_.in_buffer_bytes && delivered_passes_ == 0;
}

// Sets how far the output runs ahead of the input, from the block the input
// has just filled: what is queued to play goes (silence, or blocks of an
// input that stalled), and a quarter block of silence (half a short one)
// goes out in its place, so that the block this pass makes follows it.
// Without this, the output keeps whatever lead the passes paced by timeouts
// left it, up to a pass more than needed, for as long as the cycle runs.
void Cycle::lead_output(bool with_b) {
  if (control_.timeout != 1) devices_.reset_wave_out();
  // A quarter of a 1024-sample pass; half of a short one, whose quarter
  // (2.9 ms) the capture's own unevenness would use up.
  const std::uint32_t lead = devices_.out_buffer_bytes / (chain_.low_latency() ? 2 : 4);
  std::fill_n(with_b ? devices_.out_data_b.get() : devices_.out_data_a.get(), lead,
              std::uint8_t{0});
  (with_b ? devices_.out_header_b : devices_.out_header_a).buffer_length = lead;
  if (with_b) {
    devices_.prepare_out_b();
    devices_.write_out_b();
  } else {
    devices_.prepare_out_a();
    devices_.write_out_a();
  }
  output_started_ = true;
}

// Phase a: queue input b and send output b, then collect input a and the
// output a that was playing. Phase b mirrors it.
void Cycle::device_phase(int& timeouts_a, int& timeouts_b) {
  const bool phase_a = buffer_toggle_ == 0;
  const std::uint32_t position = wait_for_position();
  const std::uint32_t into_buffer = position % devices_.in_buffer_bytes;
  if (into_buffer < devices_.in_buffer_bytes / 2u) {
    host_.show_diagnostic(phase_a ? Diagnostic::bytes_recorded_aa : Diagnostic::bytes_recorded_bb,
                          into_buffer);
  }
  const bool first_pass = !output_started_;
  if (phase_a) {
    devices_.reset_in_header_b();
    devices_.prepare_in_b();
    devices_.add_in_b();
    if (!first_pass) {
      devices_.prepare_out_b();
      devices_.write_out_b();
    }
  } else {
    devices_.prepare_in_a();
    devices_.add_in_a();
    devices_.prepare_out_a();
    devices_.write_out_a();
  }
  control_.timeout = 0;
  host_.enable_timeout_timer(true);
  // Whether the output buffer this phase waits for had yet to play when the
  // input's wait gave up.
  const auto output_stalled = [this](const audio::WaveHeader& header) {
    return control_.timeout == 1 && (header.flags.load() & audio::header_done) == 0;
  };
  if (phase_a) {
    const unsigned captured = devices_.wait_in_a(control_.timeout);
    host_.show_diagnostic(Diagnostic::byte_position_a, captured);
    if (first_pass || input_returned(captured)) lead_output(true);
    const bool stalled = output_stalled(devices_.out_header_a);
    devices_.wait_out_a(control_.timeout);
    devices_.unprepare_out_a();
    devices_.out_header_a.buffer_length = devices_.out_buffer_bytes;
    count_timeout(timeouts_a, stalled, captured == devices_.in_buffer_bytes);
  } else {
    const unsigned captured = devices_.wait_in_b(control_.timeout);
    host_.show_diagnostic(Diagnostic::byte_position_b, captured);
    devices_.unprepare_in_b();
    if (input_returned(captured)) lead_output(false);
    const bool stalled = output_stalled(devices_.out_header_b);
    devices_.wait_out_b(control_.timeout);
    devices_.unprepare_out_b();
    devices_.out_header_b.buffer_length = devices_.out_buffer_bytes;
    count_timeout(timeouts_b, stalled, captured == devices_.in_buffer_bytes);
  }
  host_.enable_timeout_timer(false);
  buffer_toggle_ = phase_a ? 1 : 0;
}

// The input buffer the device phase has just collected.
std::uint8_t* Cycle::captured_block() {
  return buffer_toggle_ == 1 ? devices_.in_data_a.get() : devices_.in_data_b.get();
}

// The output block the device phase of this pass sent.
const std::uint8_t* Cycle::sent_block() {
  return buffer_toggle_ == 1 ? devices_.out_data_b.get() : devices_.out_data_a.get();
}

// Hands the block this pass sent to the recording while recording.
void Cycle::record_sent_block() {
  if (!host_.recording() || host_.paused()) return;
  host_.record_block(std::span(sent_block(), devices_.out_buffer_bytes));
}

// At the end of the play data: return the transport to live input and bring
// the devices back in step with the buffer toggle. The block this pass sent,
// the file's last, is recorded before the transport stops.
void Cycle::end_of_play() {
  record_sent_block();
  host_.stop_transport();
  devices_.reset_wave_out();
  devices_.reset_wave_in();
  devices_.start_wave_in();
  buffer_toggle_ = last_toggle_;
  if (buffer_toggle_ == 0) {
    devices_.wait_out_a(control_.timeout);
    devices_.prepare_out_b();
    devices_.write_out_b();
  } else {
    devices_.wait_out_b(control_.timeout);
    devices_.prepare_out_a();
    devices_.write_out_a();
  }
}

// While a WAV file plays, its next block replaces the captured one. A block
// the file thread has not brought yet leaves the captured one in place, so
// that a slow disk delays the play rather than tearing a gap into it.
void Cycle::file_phase() {
  host_.process_messages();
  // A change taken in that pump (Stop, Open Wave) may have ended the play.
  if (!host_.playing() || host_.paused()) return;
  const std::size_t bytes =
      static_cast<std::size_t>(chain_.pass_samples()) * devices_.in_channels * 2u;
  const auto block =
      host_.take_play_block(std::span(captured_block(), bytes), devices_.in_channels);
  if (block == CycleHost::PlayBlock::ended) end_of_play();
}

// Turns the captured block into the output block of this pass, records what
// the device phase sent, and draws.
void Cycle::process_block() {
  std::uint8_t* const packed =
      buffer_toggle_ == 1 ? devices_.out_data_a.get() : devices_.out_data_b.get();
  chain_.process(std::span(captured_block(), audio::audio_block_bytes), devices_.input_select,
                 std::span(packed, devices_.out_buffer_bytes), host_.paused());
  last_toggle_ = buffer_toggle_;

  record_sent_block();
  host_.update_display();
}

// Opens the devices for buffers of a pass of the chain's mode (their
// periods follow the buffers' length) and starts the buffers.
//   Both output blocks start silent, and block a is sent at once: the first
// pass then finds it played instead of timing out on a buffer never sent,
// and a cycle that starts again plays nothing left from the one before. A
// quarter of block b (half of a short one) goes out once the first input
// block is in, in place of what is left of block a, and the first block
// captured follows it: from then on every block plays that lead after the
// next one is captured, however late the input started delivering. The lead
// is the output's margin for a late pass.
void Cycle::open_devices() {
  devices_.set_pass_frames(chain_.pass_samples());
  devices_.init_out_headers();
  devices_.open_wave_out();
  std::fill_n(devices_.out_data_a.get(), devices_.out_buffer_bytes, std::uint8_t{0});
  std::fill_n(devices_.out_data_b.get(), devices_.out_buffer_bytes, std::uint8_t{0});
  devices_.prepare_out_a();
  devices_.write_out_a();
  output_started_ = false;

  devices_.init_in_headers();
  devices_.open_wave_in();
  devices_.prepare_in_a();
  devices_.add_in_a();
  devices_.start_wave_in();
  buffer_toggle_ = 0;
  delivered_passes_ = 0;
  input_started_ = false;
  output_stalls_ = 0;
}

void Cycle::run() {
  if (control_.stopped == 0) return;

  // The count of a recording carries on across cycles: a cycle that starts
  // again while recording appends to the same file.
  chain_.start_passes();
  chain_.set_low_latency(host_.low_latency());
  open_devices();

  control_.timeout = 0;
  int timeouts_a = 0;
  int timeouts_b = 0;
  control_.stopped = 0;

  while (control_.stopped == 0) {
    // To the mode the window wants, between passes: the devices open again
    // for its buffers.
    if (host_.low_latency() != chain_.low_latency()) {
      devices_.close_wave_in();
      devices_.close_wave_out();
      chain_.set_low_latency(host_.low_latency());
      open_devices();
      timeouts_a = 0;
      timeouts_b = 0;
    }
    // The input device is the clock in every pass, during file playback too.
    device_phase(timeouts_a, timeouts_b);
    if (control_.stopped == 1) break;
    if (host_.playing() && !host_.paused()) file_phase();
    if (control_.stopped == 1) break;
    process_block();
  }
}

void Cycle::stop() {
  control_.stopped = 1;
  control_.timeout = 0;
  devices_.close_wave_in();
  devices_.close_wave_out();
}

}  // namespace realtime
