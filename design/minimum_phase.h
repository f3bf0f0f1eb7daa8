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
//   Construction: the floored kernel's magnitude on a grid of 8192 points,
//   its logarithm (held above 1e-7 of the largest magnitude, about -140 dB,
//   so that zeros on the unit circle stay finite), the real cepstrum folded
//   onto positive times, its exponential, back to time and cut to 512 taps.
//   Double precision throughout; the taps and spectra are rounded to float.
//   Accuracy against the kernel's response: pass band within 0.02 dB,
//   -6 dB edges within 1 Hz, rejected bands and notch bottoms within a dB
//   down to about -100 dB.
//   Delay: that of a minimum phase (a few samples at most frequencies,
//   more near the band edges). Gain: the kernel's, in magnitude.
//   An all-zero kernel with q = 0 gives all-zero taps and spectra.
// Allocates nothing; about 0.5 ms a design. Any number of threads may design
// at once, each into its own filter.
void minimum_phase_from_taps(std::span<const float> kernel, float q, MinimumPhase& filter);

}  // namespace design
