// The automatic notch: finds steady tones in the pass and removes them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace engine {

// Most tones notched at once.
inline constexpr int auto_notch_most = 8;

// Samples of input between two looks at the spectrum (one chain pass).
inline constexpr int auto_notch_analysis = 1024;

// AutoNotch: removes up to auto_notch_most steady tones (carriers,
// heterodynes, tuning whistles) from 40 Hz to 5.4 kHz, following tones that
// drift by up to about 60 Hz a second, and leaves speech, Morse and noise as
// they are.
//   - Finding tones: after every auto_notch_analysis samples of input, a
//     Hann-windowed 1024-point spectrum of the last 1024 input samples. A
//     tone is a spectral peak at least 12 dB over its background (the
//     median of the medians of its 16-bin band and the two beside it), with
//     an amplitude of at least 8 (sample units). Its frequency is measured
//     to a fraction of a hertz from the phase its bin turns through between
//     two spectra. It is notched once it has been seen in 4 spectra in a
//     row (0.37 s at 11025 Hz), the last 3 at frequencies within 0.6 Hz of a
//     straight line (the first is measured against a spectrum the peak was
//     not yet in) and at levels within 3 dB, its level never more than 10 dB
//     below its loudest; speech holds no harmonic that still.
//   - Sparing signals: a peak must also have been heard to come on and
//     never go off. Measured at its frequency in stretches of 64 samples
//     (5.8 ms), one stretch is within 3 dB of the level its spectral peak
//     gives a steady tone, and no two after it in a row are 10 dB under.
//     The gaps between Morse elements, even between dashes, are that long
//     at any speed, and a dash at 12 words a minute (0.3 s) ends before a
//     peak has been seen long enough; a carrier switched on never goes off.
//     Nor is a peak notched that is one of at least 4 harmonics of a pitch
//     from 70 to 400 Hz standing 12 dB clear among that pitch's first ten,
//     two of them among its first three: a sung note is as steady as a
//     carrier.
//   - Removing a tone: an adaptive canceller per tone subtracts a sinusoid
//     from a reference oscillator at the tone's frequency, weighted by one
//     complex least-mean-squares weight (time constant 400 samples, 36 ms;
//     notch width about 9 Hz at -3 dB, infinitely deep at the tone). A
//     third-order loop on the weight's phase steers the oscillator's
//     frequency and its rate of change, so a tone drifting at a steady rate
//     is followed with no lasting error. A new canceller's weight starts at
//     the tone's amplitude and phase, measured in the last spectrum's input
//     against a sinusoid drifting as the tone does, and fades in over 32
//     samples.
//   - Letting go: a tone no longer 6 dB over its surroundings for 3 spectra
//     in a row (0.28 s) has its canceller frozen and faded out over
//     auto_notch_analysis samples. A tone that stood 20 dB clear of the
//     rest and stops (what comes in at its frequency falls 10 dB under what
//     its canceller takes away, over a few samples) has its canceller
//     faded out over 8 samples, so that no inverted copy of it lingers.
// Delay: none; a sample with no tone notched passes bit for bit. Gain: 1
// away from the notched tones. Units: int32 samples in 16-bit units; values
// beyond 16 bits are filtered alike and the output saturates to int32.
// Frequencies assume 11025 samples a second. Deterministic: the same input
// after reset() gives bit-identical output.
class AutoNotch {
 public:
  // Filters one pass of samples in place; passes of any length, looking at
  // the spectrum each time auto_notch_analysis samples have come in since
  // the last look (the chain's passes are exactly that long, so it looks at
  // the end of every pass and what it finds acts from the next). Allocates
  // nothing.
  void process(std::span<std::int32_t> samples);
  // Back to a filter that has heard nothing.
  void reset();
  // The frequencies in hertz notched after the last pass, including tones
  // being let go; in the order the tones were found. Valid until the next
  // process() or reset().
  std::span<const float> notched() const;

 private:
  // A spectral peak followed from spectrum to spectrum before it counts as a
  // tone; `recent` holds its last frequencies (Hz) and levels (bin power),
  // newest at index (seen - 1) % persist.
  static constexpr int persist = 4;
  // Whether a candidate has been heard on, and then gone off.
  enum class Keying : std::uint8_t { waiting, on, gone };
  struct Candidate {
    int seen = 0;  // spectra in a row it has been found in; 0: slot free
    bool matched = false;
    Keying keying = Keying::waiting;
    std::array<float, persist> frequency{};
    std::array<float, persist> level{};
  };
  static constexpr int most_candidates = 24;

  // One canceller's loop and bookkeeping; its per-sample state lives in the
  // arrays below, index for index.
  struct Tracker {
    bool active = false;
    bool fading = false;
    int settle = 0;           // samples before the frequency loop starts
    int absent = 0;           // spectra in a row without the tone
    double omega = 0.0;       // oscillator frequency, radians a sample
    double rate = 0.0;        // its change, radians a sample per sample
    std::uint32_t order = 0;  // when it was found, for the display's order
  };

  void cancel(std::span<std::int32_t> samples, int used);
  template <int quads>
  void cancel_in(std::span<std::int32_t> samples);
  void analyse();
  void follow_notches();
  void find_tones();
  Keying follow_keying(Keying state, float hz, float peak) const;
  bool voiced(float hz);
  void start_notch(float hz, float hz_per_look);
  void steer(int k);
  float band_median(int band);
  float background(int bin);
  void update_display();

  // Input history for the spectrum, oldest first, and how much is new.
  std::array<float, auto_notch_analysis> history_{};
  int fresh_ = 0;

  // Spectrum work: 1-indexed transform arrays, the previous spectrum for the
  // phase turned, bin powers and lazily computed band medians.
  std::array<float, auto_notch_analysis + 1> data_{};
  std::array<float, auto_notch_analysis / 2 + 1> re_{};
  std::array<float, auto_notch_analysis / 2 + 1> im_{};
  std::array<float, auto_notch_analysis / 2 + 1> previous_re_{};
  std::array<float, auto_notch_analysis / 2 + 1> previous_im_{};
  std::array<float, auto_notch_analysis / 2> power_{};
  static constexpr int band_bins = 16;
  std::array<float, auto_notch_analysis / 2 / band_bins> band_median_{};
  std::array<bool, auto_notch_analysis / 2 / band_bins> band_known_{};
  std::array<float, band_bins> median_scratch_{};

  std::array<Candidate, most_candidates> candidates_{};

  // Cancellers: complex weight w, oscillator phasor r, the phasor's step per
  // sample, the output weight (1, or falling while fading) and its step, and
  // the adaptation step (0 when frozen).
  static constexpr int lanes = 8;
  std::array<Tracker, auto_notch_most> trackers_{};
  std::array<float, lanes> w_re_{};
  std::array<float, lanes> w_im_{};
  std::array<float, lanes> r_re_{};
  std::array<float, lanes> r_im_{};
  std::array<float, lanes> step_re_{};
  std::array<float, lanes> step_im_{};
  std::array<float, lanes> weight_{};
  std::array<float, lanes> weight_step_{};
  std::array<float, lanes> adapt_{};
  // Each canceller's input and output power over a few samples, and the
  // power left after all of them, for telling a tone that stops.
  std::array<float, lanes> heard_{};
  std::array<float, lanes> taken_{};
  float left_ = 0.0f;
  int loop_count_ = 0;  // samples since the last loop update
  std::uint32_t found_ = 0;

  std::array<float, auto_notch_most> display_{};
  int display_count_ = 0;
};

}  // namespace engine
