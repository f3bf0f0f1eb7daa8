// The processing cycle: capture, process and play, one pass per 1024 captured
// samples, on the window's thread. The cycle lets the window live by pumping
// its messages inside the device waits and once per pass before a block of
// the play file is read; every other handler runs at those points, before the
// pass starts its processing.
#pragma once

#include <cstdint>
#include <span>

#include "audio/state.h"

namespace engine {

// The four diagnostic labels the device phase writes.
enum class Diagnostic { bytes_recorded_aa, bytes_recorded_bb, byte_position_a, byte_position_b };

// What the cycle needs from the window it runs in.
class CycleHost : public audio::WaveHost {
 public:
  // Enables or disables the 200 ms timer whose handler raises wave_timeout.
  virtual void enable_timeout_timer(bool enabled) = 0;
  virtual void show_diagnostic(Diagnostic label, std::uint32_t value) = 0;
  // The transport's Stop, run when the play data is used up.
  virtual void stop_transport() = 0;
  // Draws the pass on the display.
  virtual void update_display() = 0;

 protected:
  ~CycleHost() = default;
};

// StartBtnClick: opens the devices and runs passes until cycle_stopped is 1.
// Returns at once when a cycle is already running.
void run_cycle(CycleHost& host);

// The filter chain of a pass on work_samples: smoothing, LMS, notch 1,
// notch 2, variable notch, bandpass, variable bandpass, each when its flag
// is 1. Allocates nothing.
void run_filter_chain();

// What every run of passes starts from: the LMS step size, and no previous
// LMS input. Run at each cycle start.
void start_passes();

// filter_pass: one pass of the chain on a captured block of
// samples_per_buffer frames in the layout input_select names (1: mono;
// 2, 3: the left or right channel of stereo): unpacking, the filter chain,
// the output stage (bypass, gain, pause) and 16-bit packing into `packed`
// (2 x samples_per_buffer bytes). Reads the program-wide switches and gain.
// Allocates nothing.
void filter_pass(std::span<const std::uint8_t> captured, std::span<std::uint8_t> packed);

// StopCycleBtnClick: stops the cycle and closes the input, then the output.
void stop_cycle();

}  // namespace engine
