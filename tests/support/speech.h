// Test signals for the noise filters: speech spoken by espeak-ng at
// 11025 Hz, white and pink noise, and the segmental SNR that judges a
// filter's output against the clean speech. Samples are floats in 16-bit
// units (full scale 32768).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace speech {

inline constexpr double rate = 11025.0;

// `text` spoken by espeak-ng in `voice` at `wpm` words a minute, resampled
// from the speaker's 22050 Hz to 11025 Hz and scaled to an RMS of `rms`
// over the whole utterance. Fails the calling test (and returns nothing)
// when espeak-ng cannot be run.
std::vector<float> spoken(const std::string& text, double rms, const std::string& voice = "en-us",
                          int wpm = 150);

// About twenty seconds of sentences with voiced and unvoiced sounds and
// pauses, at an RMS of 3000 (about -21 dBFS): read from the file
// write_sentences made, or, without one, spoken once per process.
const std::vector<float>& sentences();

// Speaks the sentences and writes them to `path` for every later test
// process to read; false when they could not be spoken or written.
bool write_sentences(const std::string& path);

// Gaussian white noise and pink noise (-3 dB an octave from 20 Hz up), both
// at an RMS of `rms`, the same for the same seed.
std::vector<float> white_noise(std::size_t count, double rms, std::uint32_t seed);
std::vector<float> pink_noise(std::size_t count, double rms, std::uint32_t seed);

double rms_of(std::span<const float> samples);

// `signal` resampled by `ratio` (the new rate over the old) with
// libsamplerate's `converter` (SRC_SINC_...); empty when it fails.
std::vector<float> resampled(std::span<const float> signal, double ratio, int converter);

// `clean` + `noise` scaled so that the clean signal is `snr_db` above the
// noise (RMS over the whole of both); noise is at least as long.
std::vector<float> mixed(std::span<const float> clean, std::span<const float> noise, double snr_db);

// Segmental SNR in dB of `processed` against `clean`, the processed signal
// `delay` samples late: 256-sample frames, each frame's SNR held to -10..35
// dB, averaged over the frames whose clean energy is within 40 dB of the
// loudest frame's (the speech, not the pauses).
double segmental_snr(std::span<const float> clean, std::span<const float> processed,
                     std::size_t delay = 0);

// The lag from 0 to `max_lag` at which `processed` correlates best with
// `clean`: a filter's delay, measured.
std::size_t best_lag(std::span<const float> clean, std::span<const float> processed,
                     std::size_t max_lag);

// Whole-sample conversions to and from the chain's 32-bit integer samples,
// rounding and saturating to 16 bits.
std::vector<std::int32_t> to_samples(std::span<const float> signal);
std::vector<float> to_floats(std::span<const std::int32_t> samples);

}  // namespace speech
