// The five designers of the filter chain, over the program-wide arrays of
// design/state.h. Each recomputes its whole kernel and the written part of
// its response (entries 0..510) from the two edges it is given; entry 511
// stays zero. They read the edges only from their arguments and the Q-level
// from the filter's level variable.
//
// Units and sizes: n is block_size = 512 (513 taps, 1024-point transform);
// f1 < f2 are normalised frequencies in 0..0.5 (hertz = f x 11025), not
// validated (a negative edge designs as its absolute value; an edge of 0
// gives a zero lowpass at that edge). Every filter delays by 255 samples.
// The bandpasses have unit gain from f1 to f2, the notches unit gain outside
// f1..f2, all -6 dB at the edges; the Q-level q then shifts every bin by
// (-q, -q). Must not run while another design runs (shared scratch).
#pragma once

#include <span>

namespace design {

// Bandpass: kernel into `taps` (every caller passes bp_taps), response into
// bp_resp_re / bp_resp_im with bp_q_level.
void design_bandpass(int n, std::span<float> taps, float f1, float f2);

// Variable bandpass: var_bp_taps, var_bp_resp_re / _im, var_bp_q_level.
void design_var_bandpass(int n, float f1, float f2);

// Notch 1: nf1_taps, nf1_resp_re / _im, nf1_q_level.
void design_nf1(int n, float f1, float f2);

// Notch 2: nf2_taps, nf2_resp_re / _im, nf2_q_level.
void design_nf2(int n, float f1, float f2);

// Variable notch: var_notch_taps, var_notch_resp_re / _im, var_notch_q_level.
void design_var_notch(int n, float f1, float f2);

}  // namespace design
