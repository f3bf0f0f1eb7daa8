// One transform-domain stage of the filter chain: fast convolution of a
// pass's samples with a designed frequency response, by overlap-add.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "files/wave_format.h"

namespace engine {

// Samples per segment and per transform of a stage.
inline constexpr int stage_segment = files::chain_segment_samples;
inline constexpr int stage_length = files::chain_pass_samples;

// Working arrays of a stage, shared by all stages one after the other within
// a pass. Transform arrays are indexed from 1 (see Rfft_ifft.h).
struct StageWork {
  std::array<std::int32_t, stage_length> segment_in{};  // 512 samples, then 512 zeros
  std::array<std::int32_t, stage_length> segment_out_1{};
  std::array<std::int32_t, stage_length> segment_out_2{};
  std::array<float, stage_length + 1> stage_scratch{};
  std::array<float, stage_segment + 1> stage_spectrum_re{};
  std::array<float, stage_segment + 1> stage_spectrum_im{};
  std::array<float, stage_segment + 1> product_re{};
  std::array<float, stage_segment + 1> product_im{};
};

// apply_filter_stage: filters `work` (1024 samples) in place with the
// response (resp_re, resp_im as a DesignedFilter holds it: bin j at entry j,
// entry 0 the real DC and Nyquist values). Each half of the pass is
// zero-padded to 1024 points, transformed, multiplied bin by bin with the
// response (DC and Nyquist each as a real number), transformed back and
// truncated to integers; the two filtered segments are added with the
// previous pass's tail held in `overlap` (1024 entries; 0..511 the tail
// between passes, 512..1023 zero).
//   The result is the linear convolution of the input with the kernel whose
//   response it is (taps 1..512 as time samples 0..511), within float
//   rounding and one truncation per segment.
//   Delay: none of its own; a designed kernel delays by 255 samples.
//   Gain: the response's.
// Allocates nothing.
void apply_filter_stage(std::span<const float> resp_re, std::span<const float> resp_im,
                        std::span<std::int32_t> overlap, std::span<std::int32_t> work,
                        StageWork& scratch);

}  // namespace engine
