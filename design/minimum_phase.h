// The minimum-phase form of a designed filter, for the chain's low-latency
// passes: the same magnitude response with the least delay a causal FIR of
// that magnitude can have.
#pragma once

#include <span>

#include "design/filter.h"

namespace design {

// minimum_phase_from_taps: from a designed kernel (taps 0..512 as in
// filter.h; taps 1..512 enter as time samples 0..511) and its Q-level q
// (0..0.25), `filter` gets the minimum-phase FIR whose magnitude is that of
// the floored kernel (1 - f) x kernel + f x (unit impulse at tap 256),
// f = q x sqrt(2), and the spectra of its partitions.
//   Construction: the floored kernel's magnitude on a grid of 4096 points,
//   its logarithm (held above 1e-7 of the largest magnitude, -140 dB, so
//   that zeros on the unit circle stay finite), the real cepstrum folded
//   onto positive times, its exponential, back to time and cut to 512 taps.
//   Double precision throughout; the taps and spectra are rounded to float.
//   Accuracy against the floored kernel's response, for the presets, the
//   notch widths and every Q-level: pass band within 0.01 dB, -6 dB edges
//   within 0.1 Hz, floors and rejected bands within 0.2 dB down to -110 dB;
//   notch bottoms deeper than -140 dB stay below -140 dB.
//   Delay: that of a minimum phase, a few samples in the middle of a pass
//   band and more towards its edges. Gain: the kernel's, in magnitude.
//   A kernel with q = 0 whose taps are all zero gives all-zero taps and
//   spectra.
// Allocates nothing (about 70 kB of stack); about 0.2 ms a design. Any
// number of threads may design at once, each into its own filter.
void minimum_phase_from_taps(std::span<const float> kernel, float q, MinimumPhase& filter);

}  // namespace design
