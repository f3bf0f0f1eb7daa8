#include "engine/block_filter.h"

#include "design/Rfft_ifft.h"
#include "design/rounding.h"
#include "design/vector_clones.h"

namespace engine {
namespace {

// Filters scratch.segment_in into `out` (1024 samples: the segment
// convolved with the response).
[[gnu::always_inline]] inline void filter_segment(std::span<const float> resp_re,
                                                  std::span<const float> resp_im,
                                                  StageWork& scratch,
                                                  std::span<std::int32_t, stage_length> out) {
  for (int i = 1; i <= stage_length; ++i) {
    scratch.stage_scratch[i] = static_cast<float>(scratch.segment_in[i - 1]);
  }
  design::real_fft(scratch.stage_scratch, scratch.stage_spectrum_re, scratch.stage_spectrum_im,
                   stage_length);
  for (int k = 1; k <= stage_segment; ++k) {
    const float s_re = scratch.stage_spectrum_re[k];
    const float s_im = scratch.stage_spectrum_im[k];
    const float r_re = resp_re[k - 1];
    const float r_im = resp_im[k - 1];
    scratch.product_re[k] = s_re * r_re - s_im * r_im;
    scratch.product_im[k] = s_im * r_re + s_re * r_im;
  }
  // Slot 1 packs half the DC and half the Nyquist value of the segment; each
  // is scaled by its own real response value and doubled, since the inverse
  // takes slot 1 at half weight.
  scratch.product_re[1] = 2.0f * scratch.stage_spectrum_re[1] * resp_re[0];
  scratch.product_im[1] = 2.0f * scratch.stage_spectrum_im[1] * resp_im[0];
  design::inverse_real_fft(scratch.stage_scratch, scratch.product_re, scratch.product_im,
                           stage_length);
  for (int j = 0; j < stage_length; ++j)
    out[j] = design::truncate_to_int32(scratch.stage_scratch[j + 1]);
}

}  // namespace

TONEWELL_VECTOR_CLONES void apply_filter_stage(std::span<const float> resp_re,
                                               std::span<const float> resp_im,
                                               std::span<std::int32_t> overlap,
                                               std::span<std::int32_t> work, StageWork& scratch) {
  for (int j = 0; j < stage_segment; ++j) scratch.segment_in[j] = work[j];
  filter_segment(resp_re, resp_im, scratch, scratch.segment_out_1);
  for (int j = 0; j < stage_segment; ++j) scratch.segment_in[j] = work[stage_segment + j];
  filter_segment(resp_re, resp_im, scratch, scratch.segment_out_2);

  for (int j = 0; j < stage_segment; ++j) overlap[j] += scratch.segment_out_1[j];
  for (int j = 0; j < stage_segment; ++j) {
    overlap[stage_segment + j] =
        scratch.segment_out_1[stage_segment + j] + scratch.segment_out_2[j];
  }
  for (int j = 0; j < stage_length; ++j) work[j] = overlap[j];
  for (int j = 0; j < stage_length; ++j) overlap[j] = 0;
  for (int j = 0; j < stage_segment; ++j) overlap[j] = scratch.segment_out_2[stage_segment + j];
}

}  // namespace engine
