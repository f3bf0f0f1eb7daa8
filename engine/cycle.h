// The processing cycle: capture, process and play, one pass per 1024 captured
// samples, on the window's thread. The cycle lets the window live by pumping
// its messages inside the device waits and once per pass before a block of
// the play file is read; every other handler runs at those points, before the
// pass starts its processing.
#pragma once

#include <cstdint>

#include "audio/device_pair.h"
#include "engine/filter_chain.h"
#include "files/transport.h"

namespace engine {

// The four diagnostic labels the device phase writes.
enum class Diagnostic { bytes_recorded_aa, bytes_recorded_bb, byte_position_a, byte_position_b };

// What the cycle needs from the window it runs in.
class CycleHost : public audio::WaveHost {
 public:
  // Enables or disables the 200 ms timer whose handler raises the cycle
  // control's timeout.
  virtual void enable_timeout_timer(bool enabled) = 0;
  virtual void show_diagnostic(Diagnostic label, std::uint32_t value) = 0;
  // The transport's Stop, run when the play data is used up.
  virtual void stop_transport() = 0;
  // Draws the pass on the display.
  virtual void update_display() = 0;

 protected:
  ~CycleHost() = default;
};

// Whether a cycle runs, and the flag that ends every device wait. Written by
// the cycle, its stop, the timeout timer and Quit; kept across cycles.
struct CycleControl {
  std::uint8_t stopped = 1;  // 1 = no cycle running or a stop is requested
  std::uint8_t timeout = 0;  // 1 = every wait on a wave buffer gives up
  // 1 = the last cycle ended because the input delivered nothing while the
  // output played, and the input has delivered nothing since.
  std::uint8_t silent_input_restarted = 0;
};

// The cycle of one window over the objects it is given, which must outlive
// it.
class Cycle {
 public:
  Cycle(CycleHost& host, CycleControl& control, audio::DevicePair& devices, FilterChain& chain,
        files::Transport& transport)
      : host_(host), control_(control), devices_(devices), chain_(chain), transport_(transport) {}

  // StartBtnClick: opens the devices and runs passes until the control's
  // stopped is 1. Returns at once when a cycle is already running.
  void run();

  // StopCycleBtnClick: stops the cycle and closes the input, then the
  // output.
  void stop();

 private:
  std::uint32_t wait_for_position();
  void count_timeout(int& counter, bool output_stalled, bool input_delivered);
  void device_phase(int& timeouts_a, int& timeouts_b);
  std::uint8_t* captured_block();
  const std::uint8_t* sent_block();
  void record_sent_block();
  void end_of_play();
  void file_phase();
  void process_block();

  CycleHost& host_;
  CycleControl& control_;
  audio::DevicePair& devices_;
  FilterChain& chain_;
  files::Transport& transport_;
  std::int32_t buffer_toggle_ = 0;  // 0 = next pass serves phase a, 1 = phase b
  std::int32_t last_toggle_ = 0;    // buffer_toggle_ when the last block was packed
  int delivered_passes_ = 0;        // passes in a row whose input buffer filled
  bool input_started_ = false;      // an input buffer has filled in this cycle
  int output_stalls_ = 0;           // timeouts in a row at which the output had yet to play
};

}  // namespace engine
