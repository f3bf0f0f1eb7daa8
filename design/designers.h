// The two designers of the filter chain: each recomputes the whole kernel of
// the filter it is given and its response from two edges and a Q-level.
//
// Units and sizes: 513 taps, a 1024-point transform; edges lo < hi are
// normalised frequencies in 0..0.5 (hertz = f x 11025), not validated (a
// negative edge designs as its absolute value; an edge of 0 gives a zero
// lowpass at that edge). Every filter delays by 255 samples. The bandpass
// has unit gain from lo to hi, the notch unit gain outside lo..hi, both
// -6 dB at the edges; the Q-level q then lets the rejected band through at
// magnitude q x sqrt(2) and leaves the pass band as it is (see
// response_from_taps).
// Allocates nothing.
#pragma once

#include "design/filter.h"

namespace design {

void design_bandpass(const Edges& edges, float q_level, DesignedFilter& filter);
void design_notch(const Edges& edges, float q_level, DesignedFilter& filter);

}  // namespace design
