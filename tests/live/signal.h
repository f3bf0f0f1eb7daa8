// Measurements on recorded 16-bit mono audio for the live tests: tone fits
// over short windows, dropouts and glitches, frequency, burst onsets, and
// when a recording's first sample was taken.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace live {

// A tone of the amplitude and frequency given, sampled at rate, starting at
// phase zero.
std::vector<std::int16_t> tone(double amplitude, double frequency, double seconds, int rate);

// RMS of the samples.
double rms(std::span<const std::int16_t> samples);

// One window's least-squares fit of a sine and cosine at a known frequency.
struct WindowFit {
  double rms;           // of the window's samples
  double residual_rms;  // of what the fitted sinusoid leaves
};

// Fits consecutive windows of window_samples samples (a trailing part is
// left out).
std::vector<WindowFit> fit_windows(std::span<const std::int16_t> samples, int rate,
                                   double frequency, std::size_t window_samples);

// What a stretch of a steady tone looks like, window by window, against the
// tone's expected RMS.
struct ToneDefects {
  // Windows whose RMS falls below half the expected: the tone went missing
  // or sank.
  int dropouts = 0;
  // Windows whose fit leaves more than a tenth of the expected RMS: samples
  // lost, repeated or clipped, which a level check alone would miss.
  int glitches = 0;
  // Index of every window with either defect, in order.
  std::vector<std::size_t> where;
};
ToneDefects tone_defects(const std::vector<WindowFit>& windows, double expected_rms);

// The windows where `output` has a defect that `input` has none within
// `slack` windows of: what a stage between two recordings of the same tone
// added, with the defects it passed on from its input left out. Window k of
// one recording is taken to hold what window k of the other held.
std::vector<std::size_t> added_defects(const ToneDefects& output, const ToneDefects& input,
                                       std::size_t slack);

// The first window at or after `from` that starts `run` windows in a row
// without a defect against the expected RMS: where a tone is steadily back.
std::optional<std::size_t> clean_run_from(const std::vector<WindowFit>& windows,
                                          double expected_rms, std::size_t from, std::size_t run);

// The frequency from the first and last upward zero crossings, interpolated
// between samples; nullopt with fewer than two crossings.
std::optional<double> crossing_frequency(std::span<const std::int16_t> samples, int rate);

// Index of the first sample whose magnitude reaches threshold.
std::optional<std::size_t> onset(std::span<const std::int16_t> samples, double threshold);

// A recording read from a pipe: after each read, when it arrived and how
// many samples had arrived by then.
struct Arrival {
  std::chrono::steady_clock::time_point time;
  std::size_t samples_so_far;
};

// When the recording's first sample was taken, less the smallest delay the
// recording path ever showed: the earliest any arrival allows. Two
// recordings made the same way have the same smallest delay, so their start
// times compare. nullopt without arrivals.
std::optional<std::chrono::steady_clock::time_point> first_sample_time(
    const std::vector<Arrival>& arrivals, int rate);

// The samples of a 16-bit PCM WAV file whose header agrees with its length:
// the RIFF size is the file's less 8 and the data chunk runs to the file's
// end. nullopt for any other file, one cut short or with a stale header.
std::optional<std::vector<std::int16_t>> complete_wav(const std::filesystem::path& path);

}  // namespace live
