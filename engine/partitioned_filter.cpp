#include "engine/partitioned_filter.h"

#include "design/Rfft_ifft.h"
#include "design/rounding.h"
#include "design/vector_clones.h"

namespace engine {

TONEWELL_VECTOR_CLONES void apply_partitioned_stage(const design::MinimumPhase& filter,
                                                    PartitionedTail& tail,
                                                    std::span<std::int32_t> work,
                                                    PartitionedWork& scratch) {
  constexpr int count = design::partition_count;
  for (int j = 0; j < partitioned_pass; ++j) {
    scratch.data[j + 1] = tail.previous[j];
    tail.previous[j] = static_cast<float>(work[j]);
    scratch.data[partitioned_pass + j + 1] = tail.previous[j];
  }
  tail.newest = (tail.newest + count - 1) % count;
  design::real_fft(scratch.data, tail.frame_re[tail.newest], tail.frame_im[tail.newest],
                   partitioned_transform);

  scratch.sum_re.fill(0.0f);
  scratch.sum_im.fill(0.0f);
  for (int p = 0; p < count; ++p) {
    const auto& x_re = tail.frame_re[(tail.newest + p) % count];
    const auto& x_im = tail.frame_im[(tail.newest + p) % count];
    const auto& h_re = filter.re[p];
    const auto& h_im = filter.im[p];
    for (int k = 2; k <= partitioned_pass; ++k) {
      scratch.sum_re[k] += x_re[k] * h_re[k - 1] - x_im[k] * h_im[k - 1];
      scratch.sum_im[k] += x_im[k] * h_re[k - 1] + x_re[k] * h_im[k - 1];
    }
    // Slot 1 packs half the DC and half the Nyquist value, each real.
    scratch.sum_re[1] += x_re[1] * h_re[0];
    scratch.sum_im[1] += x_im[1] * h_im[0];
  }
  // The inverse takes slot 1 at half weight.
  scratch.sum_re[1] *= 2.0f;
  scratch.sum_im[1] *= 2.0f;
  design::inverse_real_fft(scratch.data, scratch.sum_re, scratch.sum_im, partitioned_transform);
  for (int j = 0; j < partitioned_pass; ++j) {
    work[j] = design::truncate_to_int32(scratch.data[partitioned_pass + j + 1]);
  }
}

}  // namespace engine
