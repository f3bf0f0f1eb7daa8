// The processing cycle: capture, process and play, one pass per block of
// captured samples (1024, or 128 in low-latency mode), on the audio thread. The cycle takes the
// window's changes by processing its host's messages inside the device waits and once per pass
// before a block of the play file is taken; a change therefore reaches the
// next processing part whole, never the middle of one. The play file's
// blocks and the recording's go through the host, which keeps every file
// call off this thread.
#pragma once

#include <cstdint>
#include <span>

#include "audio/device_pair.h"
#include "engine/filter_chain.h"

namespace realtime {

// The four diagnostic labels the device phase writes.
enum class Diagnostic { bytes_recorded_aa, bytes_recorded_bb, byte_position_a, byte_position_b };

// What the cycle needs from the window it runs in.
class CycleHost : public audio::WaveHost {
 public:
  // Enables or disables the 200 ms timer whose handler raises the cycle
  // control's timeout.
  virtual void enable_timeout_timer(bool enabled) = 0;
  virtual void show_diagnostic(Diagnostic label, std::uint32_t value) = 0;
  // The pass is done: the chain holds its samples, for the display.
  virtual void update_display() = 0;

  // Whether the window wants the chain's low-latency mode; the cycle
  // changes to it between passes.
  virtual bool low_latency() const = 0;

  // The transport as the passes follow it.
  virtual bool paused() const = 0;
  virtual bool recording() const = 0;  // a record file takes the sent blocks
  virtual bool playing() = 0;          // a play file replaces the captured blocks
  // The play's next block into `captured`, frames in the layout of an input
  // of `channels` channels. ended: the play data is used up (nothing
  // written); late: the block is not there yet (nothing written).
  enum class PlayBlock { filled, ended, late };
  virtual PlayBlock take_play_block(std::span<std::uint8_t> captured, int channels) = 0;
  // Appends a sent block to the recording.
  virtual void record_block(std::span<const std::uint8_t> block) = 0;
  // The transport's Stop, once the play data is used up: playing and
  // recording end now, after the blocks handed over before.
  virtual void stop_transport() = 0;

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
  Cycle(CycleHost& host, CycleControl& control, audio::DevicePair& devices,
        engine::FilterChain& chain)
      : host_(host), control_(control), devices_(devices), chain_(chain) {}

  // StartBtnClick: opens the devices and runs passes until the control's
  // stopped is 1. Returns at once when a cycle is already running.
  void run();

  // StopCycleBtnClick: stops the cycle and closes the input, then the
  // output.
  void stop();

 private:
  std::uint32_t wait_for_position();
  void count_timeout(int& counter, bool output_stalled, bool input_delivered);
  bool input_returned(unsigned captured) const;
  void lead_output(bool with_b);
  void open_devices();
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
  engine::FilterChain& chain_;
  std::int32_t buffer_toggle_ = 0;  // 0 = next pass serves phase a, 1 = phase b
  std::int32_t last_toggle_ = 0;    // buffer_toggle_ when the last block was packed
  int delivered_passes_ = 0;        // passes in a row whose input buffer filled
  bool input_started_ = false;      // an input buffer has filled in this cycle
  int output_stalls_ = 0;           // timeouts in a row at which the output had yet to play
  bool output_started_ = false;     // block b has gone out in this cycle
};

}  // namespace realtime
