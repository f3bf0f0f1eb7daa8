#include "engine/cycle.h"

#include <span>

#include "audio/state.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "design/state.h"
#include "display/state.h"
#include "engine/pass.h"
#include "engine/state.h"
#include "files/state.h"
#include "files/transport.h"

namespace engine {
namespace {

// Timeouts a phase may count before the cycle ends itself. Both counters also
// grow by one every pass, so a timeout is tolerated only in the first passes.
constexpr int timeout_limit = 3;

// Input position at which the position wait gives up at once.
constexpr std::uint32_t position_give_up = 4096;

// Position queries after which the position wait gives up.
constexpr int position_queries = 2049;

// Lets the input device get at least half-way into its current buffer before
// the other buffer is queued. Returns the last position read, in bytes.
std::uint32_t wait_for_position() {
  std::uint32_t position = audio::get_in_position();
  int queries = 0;
  while (position % audio::in_buffer_bytes < static_cast<std::uint32_t>(position_limit)) {
    if (position == position_give_up) break;
    position = audio::get_in_position();
    if (++queries == position_queries) {
      position = audio::get_in_position();
      break;
    }
  }
  return position;
}

// Counts a timeout of the phase just waited for; past the limit the cycle ends.
void count_timeout(int& counter) {
  if (engine::wave_timeout != 1) return;
  if (++counter > timeout_limit) {
    cycle_stopped = 1;
    counter = 0;
  }
}

// Phase a: queue input b and send output b, then collect input a and the
// output a that was playing. Phase b mirrors it.
void device_phase(CycleHost& host, int& timeouts_a, int& timeouts_b) {
  const bool phase_a = buffer_toggle == 0;
  const std::uint32_t position = wait_for_position();
  const std::uint32_t into_buffer = position % audio::in_buffer_bytes;
  if (into_buffer < static_cast<std::uint32_t>(position_limit)) {
    host.show_diagnostic(phase_a ? Diagnostic::bytes_recorded_aa : Diagnostic::bytes_recorded_bb,
                         into_buffer);
  }
  if (phase_a) {
    audio::reset_in_header_b();
    audio::prepare_in_b();
    audio::add_in_b();
    audio::prepare_out_b();
    audio::write_out_b();
  } else {
    audio::prepare_in_a();
    audio::add_in_a();
    audio::prepare_out_a();
    audio::write_out_a();
  }
  wave_timeout = 0;
  host.enable_timeout_timer(true);
  if (phase_a) {
    host.show_diagnostic(Diagnostic::byte_position_a, audio::wait_in_a());
    audio::wait_out_a();
    audio::unprepare_out_a();
    count_timeout(timeouts_a);
  } else {
    host.show_diagnostic(Diagnostic::byte_position_b, audio::wait_in_b());
    audio::unprepare_in_b();
    audio::wait_out_b();
    audio::unprepare_out_b();
    count_timeout(timeouts_b);
  }
  host.enable_timeout_timer(false);
  buffer_toggle = phase_a ? 1 : 0;
}

// The input buffer the device phase has just collected.
std::uint8_t* captured_block() {
  return buffer_toggle == 1 ? audio::in_data_a.get() : audio::in_data_b.get();
}

// The output block the device phase of this pass sent.
const std::uint8_t* sent_block() {
  return buffer_toggle == 1 ? audio::out_data_b.get() : audio::out_data_a.get();
}

// Appends the block this pass sent to the record file while recording.
void record_sent_block() {
  if (files::record_on == 1 && files::record_file_open == 1 && files::pause_on == 0) {
    files::append_record_block(std::span(sent_block(), audio::out_buffer_bytes));
  }
}

// At the end of the play data: close the file, return the transport to live
// input and bring the devices back in step with buffer_toggle. The block
// this pass sent, the file's last, is recorded before the transport stops.
void end_of_play(CycleHost& host) {
  files::close_play_file();
  record_sent_block();
  host.stop_transport();
  audio::reset_wave_out();
  audio::reset_wave_in();
  audio::start_wave_in();
  buffer_toggle = last_toggle;
  if (buffer_toggle == 0) {
    audio::wait_out_a();
    audio::prepare_out_b();
    audio::write_out_b();
  } else {
    audio::wait_out_b();
    audio::prepare_out_a();
    audio::write_out_a();
  }
  source_mode = 1;
}

// While a WAV file plays, its next block replaces the captured one.
void file_phase(CycleHost& host) {
  if (files::play_bytes_left <= 0) {
    end_of_play(host);
    return;
  }
  host.process_messages();
  // A handler run by that pump (Stop, Open Wave) may have closed the file.
  if (files::play_file_open != 1) return;
  files::read_play_pass(std::span(captured_block(), audio::audio_block_bytes), audio::in_channels,
                        samples_per_buffer);
}

}  // namespace

void run_filter_chain() {
  if (median_filter_on == 1) median_smooth(raw_samples, work_samples);
  if (lms_filter_on == 1) {
    lms_pass(work_samples, lms_input, lms_output, lms_weights, lms_taps, lms_power, lms_mu,
             lms_prev_input);
  }
  const auto stage = [](std::int32_t on, const auto& resp_re, const auto& resp_im, auto& overlap) {
    if (on == 1) {
      apply_filter_stage(resp_re, resp_im, design::cycle_window, overlap, work_samples, stage_work);
    }
  };
  stage(design::nf1_filter_on, design::nf1_resp_re, design::nf1_resp_im, nf1_overlap);
  stage(design::nf2_filter_on, design::nf2_resp_re, design::nf2_resp_im, nf2_overlap);
  stage(design::var_notch_filter_on, design::var_notch_resp_re, design::var_notch_resp_im,
        var_notch_overlap);
  stage(design::bp_filter_on, design::bp_resp_re, design::bp_resp_im, bp_overlap);
  stage(design::var_bp_filter_on, design::var_bp_resp_re, design::var_bp_resp_im, var_bp_overlap);
}

void start_passes() {
  lms_mu = lms_step_size;
  lms_prev_input = 0.0f;
}

void filter_pass(std::span<const std::uint8_t> captured, std::span<std::uint8_t> packed) {
  unpack_input_block(captured, audio::input_select, work_samples, raw_samples);
  run_filter_chain();
  output_stage(raw_samples, work_samples, bypass_on == 1, signal_gain, files::pause_on == 1,
               out_samples);
  pack_output_block(out_samples, packed);
}

namespace {

// Turns the captured block into the output block of this pass, records what
// the device phase sent, and draws.
void process_block(CycleHost& host) {
  std::uint8_t* const packed = buffer_toggle == 1 ? audio::out_data_a.get() : audio::out_data_b.get();
  filter_pass(std::span(captured_block(), audio::audio_block_bytes),
              std::span(packed, audio::out_buffer_bytes));
  last_toggle = buffer_toggle;

  record_sent_block();
  host.update_display();
}

}  // namespace

void run_cycle(CycleHost& host) {
  if (cycle_stopped == 0) return;

  start_passes();
  position_limit = audio::in_buffer_bytes / 2;
  display::time_baseline = display::spectrum_height / 2;
  // The count of a recording carries on across cycles: a cycle that starts
  // again while recording appends to the same file.
  buffer_toggle = 0;

  audio::init_out_headers();
  audio::reset_out_header_a();
  audio::reset_out_header_b();
  audio::open_wave_out();

  audio::init_in_headers();
  audio::reset_in_header_a();
  audio::reset_in_header_b();
  audio::open_wave_in();
  audio::prepare_in_a();
  audio::add_in_a();
  audio::start_wave_in();

  wave_timeout = 0;
  int timeouts_a = 0;
  int timeouts_b = 0;
  cycle_stopped = 0;

  while (cycle_stopped == 0) {
    ++timeouts_a;
    ++timeouts_b;
    // The input device is the clock in every pass, during file playback too.
    device_phase(host, timeouts_a, timeouts_b);
    if (cycle_stopped == 1) break;
    if (files::play_file_open == 1 && files::play_on == 1 && files::pause_on == 0) {
      file_phase(host);
    }
    if (cycle_stopped == 1) break;
    process_block(host);
  }
}

void stop_cycle() {
  cycle_stopped = 1;
  wave_timeout = 0;
  audio::close_wave_in();
  audio::close_wave_out();
}

}  // namespace engine
