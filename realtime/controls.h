// What the window hands the audio thread, whole, at every change: the filter
// chain's controls, the transport as the passes follow it, and the devices
// the next cycle opens. The audio thread takes a new value at a pass
// boundary, so that a pass never sees half of a change.
#pragma once

#include <cstdint>

#include "design/filter.h"
#include "engine/filter_chain.h"

namespace realtime {

// A transform-domain stage's switch and design.
struct StageControls {
  bool on = false;
  design::DesignedFilter filter;
};

// The chain's switches, designs and output stage, and its mode. A restart
// count that moves starts its filter again from nothing (it was switched
// on). The mode is the cycle's to change, between passes.
struct ChainControls {
  StageControls nf1;
  StageControls nf2;
  StageControls var_notch;
  StageControls bp;
  StageControls var_bp;
  bool noise_blanker_on = false;
  std::int32_t noise_blanker_level = 0;
  bool median_on = false;
  bool lms_on = false;
  bool auto_notch_on = false;
  bool noise_reduction_on = false;
  std::int32_t noise_reduction_strength = 0;
  bool bypass_on = false;
  float signal_gain = 1.0f;
  std::uint32_t noise_blanker_restarts = 0;
  std::uint32_t lms_restarts = 0;
  std::uint32_t auto_notch_restarts = 0;
  std::uint32_t noise_reduction_restarts = 0;
  bool low_latency = false;
};

// The transport as the passes follow it. A play count that moves starts a
// new play (or ends one): blocks of an older play are not taken.
struct TransportControls {
  bool recording = false;  // recording on and a record file open
  bool playing = false;    // play on and a play file open
  bool paused = false;
  std::uint32_t plays = 0;
};

// The devices and input of the next cycle. A count that moves ends the
// running cycle, so that the next one opens the devices afresh.
struct DeviceControls {
  std::int32_t input_device_id = 0;
  std::int32_t output_device_id = 0;
  std::int32_t input_select = 1;
  std::uint16_t in_channels = 1;
  std::uint32_t changes = 0;
  // Failures of a direction whose count moves are reported again.
  std::uint32_t input_releases = 0;
  std::uint32_t output_releases = 0;
};

struct Controls {
  ChainControls chain;
  TransportControls transport;
  DeviceControls devices;
};

// The controls of `chain` (the window's copy), with its restart counts.
void read_chain(const engine::FilterChain& chain, ChainControls& into);

// Puts `controls` into the audio thread's `chain`: the filters whose
// restart counts moved since `seen` start again, then every switch, design
// and the output stage are taken; the mode is not. `seen` becomes
// `controls`' counts. Allocates nothing.
void apply_chain(const ChainControls& controls, ChainControls& seen, engine::FilterChain& chain);

}  // namespace realtime
