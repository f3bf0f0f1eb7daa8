// Hard material for the noise filters, beside the speech and noise of
// speech.h: keyed Morse, held sung vowels, carriers that switch and drift,
// crackle and babble. Samples are floats in 16-bit units at
// speech::rate; the same arguments give the same samples.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace speech {

// `text` (letters, digits, spaces and / ? . ,) keyed in Morse at `wpm`
// words a minute (a dot 1.2 / wpm seconds), as a tone of `hz` at
// `amplitude`, each element with 5 ms raised-cosine edges; half a second of
// silence before and after.
std::vector<float> morse(const std::string& text, double wpm, double hz, double amplitude);

// Sung vowels a, e, i, o, u, each held `seconds` at a steady pitch `f0`
// with 0.2 s between them: a glottal pulse train through the vowel's three
// formants. RMS `rms` over the whole.
std::vector<float> held_vowels(double f0, double seconds, double rms);

// A sinusoid of `hz` at `amplitude`, moving by `drift` Hz a second, sounding
// from `on_s` to `off_s` seconds (switched abruptly, as a transmitter keys).
struct Carrier {
  double hz;
  double amplitude;
  double drift = 0.0;
  double on_s = 0.0;
  double off_s = std::numeric_limits<double>::infinity();
};
std::vector<float> carriers(std::size_t count, std::span<const Carrier> list);

// Clicks of about 2 ms (bursts of noise under a falling envelope) at
// `per_second` random instants, in silence; RMS `rms` over the whole.
std::vector<float> crackle(std::size_t count, double per_second, double rms, std::uint32_t seed);

// Several passages in several voices spoken at once, RMS `rms`.
std::vector<float> babble(std::size_t count, double rms);

}  // namespace speech
