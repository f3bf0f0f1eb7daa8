// Spectral noise reduction: tracks the noise floor on its own and suppresses
// it, bin by bin, in a short-time spectrum of the pass.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace engine {

// The strength control's positions and its start value.
inline constexpr int noise_reduction_strongest = 10;
inline constexpr int noise_reduction_start = 5;

// Frame and hop of the short-time spectrum, in samples: 512-sample frames
// (46 ms at 11025 Hz, 21.5 Hz bins, fine enough to part a voice's
// harmonics), half overlapped.
inline constexpr int noise_reduction_frame = 512;
inline constexpr int noise_reduction_hop = 256;

// What the noise reduction delays its input by, in samples (23 ms at
// 11025 Hz).
inline constexpr int noise_reduction_delay = noise_reduction_hop;

// The low-delay form's hop, the shortest pass it filters, and its delay, in
// samples (11.6 ms at 11025 Hz).
inline constexpr int noise_reduction_low_delay_hop = 128;
inline constexpr int noise_reduction_low_delay = noise_reduction_low_delay_hop;

// NoiseReduction: short-time spectral suppression of stationary and slowly
// changing noise.
//   - Analysis: 512-point frames every 256 samples under a square-root Hann
//     window; synthesis by the same window and overlap-add (the two windows
//     multiply to a Hann window, whose half-overlapped copies sum to one, so
//     unit gain wherever nothing is suppressed).
//   - Noise floor: per bin, a recursive average of each frame's expected
//     noise power given the probability that the bin holds speech (against
//     a fixed 14.7 dB a priori SNR), with no bias to correct: in noise alone
//     it settles on the noise power. A bin whose presence stays high has
//     it held below 1, so the estimate climbs to a louder floor (20 dB up)
//     within about two seconds and falls to a quieter one within a few frames.
//     It starts from the mean of the first 4 frames after a reset.
//   - Gain: the log-spectral amplitude gain from the decision-directed a
//     priori SNR (its memory longer where the last frame held no speech),
//     raised to the speech presence, times the floor raised to the rest.
//     The presence comes from the a priori SNR smoothed over frames and
//     over a bin's neighbours and a 17-bin band, and from the whole frame:
//     a frame with no speech is held at the floor in every bin, so leftover
//     noise keeps the input's texture instead of breaking into tones. Where
//     the presence is low the gain also changes slowly from frame to frame.
//     The floor is set by the strength: -6 dB at 1, -20 dB at the start
//     value 5, -35 dB at 10. DC and Nyquist take their neighbours' gains.
//   - Low-delay form: the same frame length and estimator every 128 samples
//     over an asymmetric window, long rise and short fall, so that the
//     frame's weight sits on its newest samples; synthesis by a window that
//     is zero but on the frame's last 256 samples, where the two multiply
//     to a Hann window of 256 (unit gain where nothing is suppressed, as
//     above). The tracker's and the held gain's time constants are the
//     normal form's; in a frame without speech no gain rises, so noise
//     peaks, which last over several of its overlapping frames, do not turn
//     into tones. Measured on speech in noise: within 0.35 dB of the normal
//     form's segmental SNR gain.
// Units: int32 samples in 16-bit units; larger values (to about 2^30) are
// filtered alike, results saturate to the int32 range. Delay:
// noise_reduction_delay samples, or noise_reduction_low_delay in the
// low-delay form. Gain: at most 1 in every bin.
// About 22 us a pass of 1024 samples (four frames) in an optimised build;
// the low-delay form takes about twice that (eight frames).
// Deterministic: the same input after reset() gives bit-identical output.
class NoiseReduction {
 public:
  NoiseReduction();

  // Strength 1..noise_reduction_strongest; values outside are clamped. Takes
  // effect at the next frame; the noise estimate is kept.
  void set_strength(int level);
  int strength() const { return strength_; }

  // The low-delay form on or off. Takes effect at the next pass, which
  // cross-fades from the old form into the new over its first 128 samples;
  // the noise estimate and the strength are kept.
  void set_low_delay(bool on) { low_delay_ = on; }
  bool low_delay() const { return low_delay_; }

  // process: filters one pass in place. Its length is a multiple of
  // noise_reduction_hop (the chain's 1024 samples are 4 hops), or of
  // noise_reduction_low_delay_hop in the low-delay form; samples past the
  // last whole hop are left as they are. Output sample i is the filtered
  // input noise_reduction_delay (noise_reduction_low_delay) samples earlier,
  // across passes. Allocates nothing.
  void process(std::span<std::int32_t> samples);

  // Back to a filter that has heard nothing (the strength and the form are
  // kept).
  void reset();

 private:
  static constexpr int bins = noise_reduction_frame / 2 + 1;

  static constexpr int low_hop = noise_reduction_low_delay_hop;

  void process_normal(std::span<std::int32_t> samples);
  void process_low_delay(std::span<std::int32_t> samples);
  void cross_fade(std::span<std::int32_t> samples) const;
  void run_frame();
  void window_history(const std::array<float, noise_reduction_frame>& weights);
  void forward();
  void analyse();
  void filter_back();
  void track_noise();
  void compute_gains();

  int strength_ = noise_reduction_start;
  float floor_log2_ = 0.0f;  // log2 of the gain floor
  int frames_heard_ = 0;
  bool low_delay_ = false;          // the form asked for
  bool running_low_delay_ = false;  // the form the last pass ran

  std::array<float, noise_reduction_frame> history_{};  // last frame of input
  std::array<float, noise_reduction_hop> tail_{};       // overlap-add tail
  std::array<float, low_hop> low_tail_{};               // the low-delay form's
  std::array<float, low_hop> handover_{};               // the old form's next samples
  // Transform arrays, indexed from 1 (see design/Rfft_ifft.h).
  std::array<float, noise_reduction_frame + 1> data_{};
  std::array<float, noise_reduction_frame / 2 + 1> re_{};
  std::array<float, noise_reduction_frame / 2 + 1> im_{};
  // Per bin 0..bins-1 (DC to Nyquist).
  std::array<float, bins> power_{};             // |Y|^2 of the current frame
  std::array<float, bins> noise_{};             // noise power estimate
  std::array<float, bins> tracked_presence_{};  // the tracker's, over frames
  std::array<float, bins> spread_noise_{};      // what the gain takes as noise
  std::array<float, bins> previous_speech_{};   // last frame's |S|^2 estimate
  std::array<float, bins> smoothed_prior_{};    // a priori SNR over frames
  std::array<float, bins + 1> running_sum_{};   // of smoothed_prior_, from bin 0
  std::array<float, bins> absence_{};           // speech absence probability
  std::array<float, bins> held_gain_{};         // last frame's gain
  std::array<float, bins> heard_{};             // the tracker's presence (scratch)
  std::array<float, bins> exponent_{};          // scratch
  std::array<float, bins> ratio_{};             // a posteriori SNR
  std::array<float, bins> prior_{};             // a priori SNR
  std::array<float, bins> wiener_{};            // prior / (1 + prior)
  std::array<float, bins> posterior_{};         // wiener x a posteriori SNR
  std::array<float, bins> local_{};             // presence from a bin and neighbours
  std::array<float, bins> band_{};              // presence from the bin's band
  std::array<float, bins> gain_{};
};

}  // namespace engine
