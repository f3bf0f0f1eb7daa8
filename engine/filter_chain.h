// The filter chain: what one pass does to a captured block, and all that it
// carries from pass to pass. The window and tonewell-filter each own one.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "design/filter.h"
#include "engine/auto_notch.h"
#include "engine/block_filter.h"
#include "engine/noise_blanker.h"
#include "engine/noise_filters.h"
#include "engine/noise_reduction.h"
#include "engine/partitioned_filter.h"
#include "files/wave_format.h"

namespace engine {

// Samples per pass: one input buffer of mono audio, or one channel of a
// stereo buffer.
inline constexpr int samples_per_buffer = files::chain_pass_samples;

// Samples per pass in the low-latency mode: one partition of the
// minimum-phase designs.
inline constexpr int low_latency_pass = 128;
static_assert(low_latency_pass == partitioned_pass);

// A transform-domain stage: its switch (written by its enable button),
// its design (written by the filter's controls) and the tails it carries into
// the next pass, kept while the stage is off: the overlap-add tail of the
// normal passes and the delay line of the low-latency ones.
struct FilterStage {
  bool on = false;
  design::DesignedFilter filter;
  std::array<std::int32_t, stage_length> overlap{};
  PartitionedTail partitioned{};
};

// The LMS filter's adaptation. The weights, delay line and power estimate
// carry over between passes and cycles and are reset when the filter is
// switched on; the step size and the previous input are set at every start
// of passes.
struct LmsState {
  std::array<float, lms_order + 1> weights{};
  std::array<float, 100> taps{};  // delay line; the first lms_order + 1 in use
  float power = 2.0f;             // starts at 2.0, not zero
  float mu = 0.0f;
  float prev_input = 0.0f;
  std::array<float, samples_per_buffer> input{};
  std::array<float, samples_per_buffer> output{};
};

class FilterChain {
 public:
  // process: one pass on a captured block of pass_samples() frames in the
  // layout `input_select` names (1: mono; 2, 3: the left or right channel
  // of stereo): unpacking, the noise blanker, smoothing, LMS, the automatic
  // notch, the noise reduction, notch 1, notch 2, the variable notch, the
  // bandpass and the variable bandpass (each when it is on), the output stage (bypass, gain,
  // then silence while `pause`) and 16-bit packing into `packed`
  // (2 x pass_samples() bytes). Another input_select unpacks nothing: the
  // pass works on what the arrays hold from the pass before. In the
  // low-latency mode the working arrays first move back by a pass, so that
  // they hold the last samples_per_buffer samples with the pass at the end.
  // Allocates nothing.
  void process(std::span<const std::uint8_t> captured, std::int32_t input_select,
               std::span<std::uint8_t> packed, bool pause);

  // The filters alone, on the last pass_samples() entries of work_samples
  // (raw_samples holding the pass's unfiltered input at the same entries).
  // The five stages run as linear-phase overlap-add stages (delay 255
  // samples), or in the low-latency mode as minimum-phase partitioned ones,
  // and the noise reduction in its low-delay form. Allocates nothing.
  void run_filters();

  // The low-latency mode: passes of low_latency_pass samples, minimum-phase
  // stages and the low-delay noise reduction. A change of mode clears the
  // five stages' tails (both forms) and changes the noise reduction's form,
  // which keeps what it has learned; nothing else changes.
  void set_low_latency(bool on);
  bool low_latency() const { return low_latency_; }
  int pass_samples() const { return low_latency_ ? low_latency_pass : samples_per_buffer; }

  // What every run of passes starts from: the LMS step size, and no previous
  // LMS input.
  void start_passes();

  // Back to a chain that has run no pass: every tail (both forms), the LMS
  // adaptation, the automatic notch's and the noise reduction's state and
  // the working arrays cleared. Switches, designs, gain and the mode stay.
  void reset();

  // The five stages, named by their filters.
  FilterStage nf1;
  FilterStage nf2;
  FilterStage var_notch;
  FilterStage bp;
  FilterStage var_bp;

  // The noise blanker, first of the filters, and its switch; the window and
  // tonewell-filter reset it when they switch it on.
  bool noise_blanker_on = false;
  NoiseBlanker noise_blanker;

  // The noise filters' switches.
  bool median_on = false;
  bool lms_on = false;
  LmsState lms;

  // The automatic notch and the noise reduction, and their switches. The
  // window and tonewell-filter reset a filter when they switch it on.
  bool auto_notch_on = false;
  AutoNotch auto_notch;
  bool noise_reduction_on = false;
  NoiseReduction noise_reduction;

  // The output stage: bypass and the factor on every output sample.
  bool bypass_on = false;
  float signal_gain = 1.0f;

  // Working arrays of a pass, written only by the pass itself.
  std::array<std::int32_t, samples_per_buffer> raw_samples{};      // unfiltered input
  std::array<std::int32_t, samples_per_buffer> work_samples{};     // through the filters
  std::array<std::int32_t, samples_per_buffer> out_samples{};      // after bypass, gain, pause
  std::array<std::int32_t, samples_per_buffer> blanked_samples{};  // the smoother's input
  StageWork stage_work;
  PartitionedWork partitioned_work;

 private:
  void clear_stage_tails();

  bool low_latency_ = false;
};

}  // namespace engine
