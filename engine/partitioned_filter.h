// One transform-domain stage of the low-latency passes: uniformly
// partitioned convolution of a pass's samples with a minimum-phase design.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "design/filter.h"

namespace engine {

// Samples per low-latency pass (one partition of the design) and points of
// its transforms.
inline constexpr int partitioned_pass = design::partition_size;
inline constexpr int partitioned_transform = 2 * partitioned_pass;

// What a partitioned stage carries from pass to pass: the last pass's input
// and the spectra of the last partition_count transform frames (each frame
// is a pass's input after the one before it), the newest at `newest`.
// Spectra are indexed from 1 (see Rfft_ifft.h). Value-initialised it is a
// stage that has heard silence.
struct PartitionedTail {
  std::array<float, partitioned_pass> previous{};
  std::array<std::array<float, partitioned_pass + 1>, design::partition_count> frame_re{};
  std::array<std::array<float, partitioned_pass + 1>, design::partition_count> frame_im{};
  int newest = 0;
};

// Working arrays of a partitioned stage, shared by all stages one after the
// other within a pass. Indexed from 1.
struct PartitionedWork {
  std::array<float, partitioned_transform + 1> data{};
  std::array<float, partitioned_pass + 1> sum_re{};
  std::array<float, partitioned_pass + 1> sum_im{};
};

// apply_partitioned_stage: filters `work` (partitioned_pass samples) in
// place with `filter`'s 512 taps, by overlap-save: the last pass's input and
// this one's make a 256-point frame whose spectrum enters the delay line;
// partition p's spectrum multiplies the frame of p passes ago, the products
// are summed, transformed back, and the second half truncated to integers
// (truncate_to_int32).
//   The result is the linear convolution of the input, across passes, with
//   the taps (time samples 0..511), within float rounding and one
//   truncation. Delay: none of its own (a minimum-phase design's is a few
//   samples). Gain: the design's. Samples are int32 in 16-bit units; sums
//   past the int32 range saturate.
//   The tail is kept while a stage is off, so a stage switched back on hears
//   its last input once more: the caller clears it where that matters.
// Allocates nothing.
void apply_partitioned_stage(const design::MinimumPhase& filter, PartitionedTail& tail,
                             std::span<std::int32_t> work, PartitionedWork& scratch);

}  // namespace engine
