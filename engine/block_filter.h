// One transform-domain stage of the filter chain: fast convolution of a
// pass's samples with a designed frequency response, by overlap-add.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace engine {

// Samples per segment and per transform of a stage.
inline constexpr int stage_segment = 512;
inline constexpr int stage_length = 1024;

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
// response (resp_re, resp_im; 512 bins, bin j at entry j). Each half of the
// pass is zero-padded to 1024 points, transformed unweighted, multiplied bin by bin with
// the response (the packed DC/Nyquist index with entry 0, as one complex
// number), transformed back and truncated to integers; the two filtered
// segments are added with the previous pass's tail held in `overlap`
// (1024 entries; 0..511 the tail between passes, 512..1023 zero).
//   Delay: none of its own; a designed kernel delays by 255 samples.
//   Gain: the response's; the transforms together scale by exactly 1,
//   except that each segment's mean and Nyquist component pass at half.
// Allocates nothing.
void apply_filter_stage(std::span<const float> resp_re, std::span<const float> resp_im,
                        std::span<std::int32_t> overlap,
                        std::span<std::int32_t> work, StageWork& scratch);

}  // namespace engine
