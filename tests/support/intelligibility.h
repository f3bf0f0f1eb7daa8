// Short-time objective intelligibility (STOI): how much of the speech in
// `clean` a listener still understands in `processed`, from 0 to 1 (well
// above 0.9: all of it). Both are taken at 10 kHz, frames in which the clean
// speech is silent dropped, then the 15 third-octave band envelopes from
// 150 Hz of each are correlated over 384 ms segments. `processed` must be
// aligned with `clean` (a filter's delay removed); samples at `sample_rate`.
#pragma once

#include <span>

namespace speech {

double stoi(std::span<const float> clean, std::span<const float> processed, double sample_rate);

}  // namespace speech
