#include "design/designers.h"

#include "design/fir.h"
#include "design/minimum_phase.h"

namespace design {

void design_bandpass(const Edges& edges, float q_level, DesignedFilter& filter) {
  design_bandpass_filter(block_size, edges.lo, edges.hi, q_level, filter.taps, filter.re,
                         filter.im);
  minimum_phase_from_taps(filter.taps, q_level, filter.min_phase);
}

void design_notch(const Edges& edges, float q_level, DesignedFilter& filter) {
  design_notch_filter(block_size, edges.lo, edges.hi, q_level, filter.taps, filter.re, filter.im);
  minimum_phase_from_taps(filter.taps, q_level, filter.min_phase);
}

}  // namespace design
