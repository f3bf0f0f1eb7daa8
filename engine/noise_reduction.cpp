#include "engine/noise_reduction.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "design/Rfft_ifft.h"

namespace engine {
namespace {

constexpr int frame = noise_reduction_frame;
constexpr int hop = noise_reduction_hop;

constexpr int low_hop = noise_reduction_low_delay_hop;

// Noise tracking: the a priori SNR a bin holding speech is assumed to have
// (14.7 dB), and the presence a bin is held to once its smoothed presence
// has passed stuck_presence (so that a louder noise floor is taken up
// within about two seconds).
constexpr float assumed_snr = 29.6f;
constexpr float presence_slope = assumed_snr / (1.0f + assumed_snr);
constexpr float stuck_presence = 0.85f;
constexpr float held_presence = 0.8f;

// The lowest noise power a bin is credited with: well under the rounding
// noise of 16-bit samples (about 20 in these units).
constexpr float least_noise = 1.0f;

// The gain is worked out against this share of the tracked noise power,
// averaged over a bin and its two neighbours: it keeps more of weak speech,
// for about 0.25 dB of segmental SNR.
constexpr float noise_share = 0.77f;

// The lowest a priori SNR (-25 dB).
constexpr float least_prior_snr = 0.0031622777f;

// Speech presence: the a priori SNR is smoothed over frames (see Rates), then over a
// bin and its neighbours and over a band of band_half bins either side;
// each maps to a presence from 0 at prior_low to 1 at prior_high (log
// scale). The whole frame's mean maps likewise between frame_low and
// frame_high. The absence probability is held to most_absence in a frame
// with speech and to frame_absence in a frame without.
constexpr float prior_low = 0.205f;
constexpr float prior_high = 2.13f;
constexpr int band_half = 8;
constexpr float frame_low = 0.487f;
constexpr float frame_high = 0.995f;
constexpr float most_absence = 0.974f;
constexpr float frame_absence = 0.99987f;

// What goes with the hop, for each form:
//   - the frames after a reset whose mean power starts the noise estimate
//     (93 ms);
//   - the smoothing of the tracker's speech presence and of the noise power
//     per frame;
//   - decision-directed a priori SNR: the weight of the last frame's speech
//     estimate where the last frame held speech and where it held none
//     (moved between by the speech absence probability);
//   - the smoothing of the a priori SNR over frames, for the presence;
//   - the share of the last frame's gain kept where speech is absent.
// The low-delay form's frames come twice as often: its smoothing of the
// tracker and of the held gain is the square root of the normal form's
// (the same time constants); its decision-directed weights and a priori
// smoothing are lighter, as its frames overlap by three quarters (measured
// best on the test sentences in noise).
struct Rates {
  int starting_frames;
  float presence_smoothing;
  float noise_smoothing;
  float speech_decision_weight;
  float noise_decision_weight;
  float prior_smoothing;
  float gain_hold;
};
constexpr Rates normal_rates{4, 0.95f, 0.93f, 0.836f, 0.934f, 0.587f, 0.364f};
constexpr Rates low_delay_rates{8, 0.9747f, 0.9644f, 0.8f, 0.87f, 0.55f, 0.603f};

// Gain floor in dB at each strength, 1..noise_reduction_strongest.
constexpr std::array<float, noise_reduction_strongest> floor_db = {
    -6.0f, -10.0f, -13.5f, -17.0f, -20.0f, -23.0f, -26.0f, -29.0f, -32.0f, -35.0f};

// The square-root Hann window, sin(pi n / frame), n = 0..frame-1.
struct Window {
  std::array<float, frame> w{};
  Window() {
    for (int n = 0; n < frame; ++n) {
      w[n] = static_cast<float>(std::sin(std::numbers::pi * n / frame));
    }
  }
};
const Window window;

// The low-delay form's asymmetric windows, hop m = low_hop: the analysis
// window rises as the square root of a Hann window over frame - m samples
// and falls as one over m; the synthesis window is zero but on the last 2 m
// samples, where the two multiply to a Hann window of 2 m samples, whose
// copies m apart sum to one. The output of each frame is complete m samples
// before the frame's end: the delay is m.
struct LowDelayWindows {
  std::array<float, frame> analysis{};
  std::array<float, frame> synthesis{};
  LowDelayWindows() {
    constexpr int m = low_hop;
    for (int n = 0; n < frame; ++n) {
      const double rise = std::sin(std::numbers::pi * n / (2.0 * (frame - m)));
      const double edge = std::sin(std::numbers::pi * (n - frame + 2 * m) / (2.0 * m));
      analysis[n] = static_cast<float>(n < frame - m ? rise : edge);
      synthesis[n] = static_cast<float>(n < frame - 2 * m ? 0.0
                                        : n < frame - m   ? edge * edge / rise
                                                          : edge);
    }
  }
};
const LowDelayWindows low_windows;

// The cross-fade of a change of form over one low-delay pass: the weight
// of what the old form would have given, cos^2 from 1 towards 0.
struct Handover {
  std::array<float, low_hop> old_weight{};
  Handover() {
    for (int i = 0; i < low_hop; ++i) {
      const double c = std::cos(std::numbers::pi * i / (2.0 * low_hop));
      old_weight[i] = static_cast<float>(c * c);
    }
  }
};
const Handover handover;

// exp(E1(v) / 2), the factor the log-spectral amplitude gain puts on the
// Wiener gain, for v from 2^-24 to 2^6 (held to that range), tabulated 32
// points an octave at the values whose float representation steps evenly
// (the exponent and the top five mantissa bits); linear interpolation
// between them on the rest of the bits. Relative error below 1e-4.
struct LsaTable {
  static constexpr float lowest = 0x1p-24f;
  static constexpr float highest = 0x1p6f;
  static constexpr int fraction_bits = 18;
  static constexpr int entries = 30 * 32 + 1;
  std::array<float, entries> factor{};
  LsaTable() {
    const auto base = std::bit_cast<std::uint32_t>(lowest);
    for (int i = 0; i < entries; ++i) {
      const double v =
          std::bit_cast<float>(base + (static_cast<std::uint32_t>(i) << fraction_bits));
      factor[i] = static_cast<float>(std::exp(-0.5 * std::expint(-v)));
    }
  }
  float at(float v) const {
    const float held = std::clamp(v, lowest, std::nextafter(highest, 0.0f));
    const std::uint32_t steps =
        std::bit_cast<std::uint32_t>(held) - std::bit_cast<std::uint32_t>(lowest);
    const auto index = static_cast<int>(steps >> fraction_bits);
    const float part = static_cast<float>(steps & ((1u << fraction_bits) - 1u)) *
                       (1.0f / static_cast<float>(1u << fraction_bits));
    return factor[index] + part * (factor[index + 1] - factor[index]);
  }
};
const LsaTable lsa;

// The loops over the bins are written so that they vectorise although the
// compiler keeps floating-point traps exact: a min or max is the last
// operation before its store, never followed by more arithmetic in the
// same loop (which would turn it back into a branch).
inline float least(float a, float b) { return b < a ? b : a; }
inline float most(float a, float b) { return a < b ? b : a; }

// 2^x for x in -126..0, relative error below 3e-7: rounding by the
// 1.5 x 2^23 shift, a degree-6 polynomial on the rest.
inline float exp2_of(float x) {
  constexpr float shift = 12582912.0f;
  const float shifted = x + shift;
  const float whole = shifted - shift;
  const float f = x - whole;
  const std::int32_t exponent = std::bit_cast<std::int32_t>(shifted) - 0x4B400000;
  const float p =
      1.0f +
      f * (0.69314718f +
           f * (0.24022651f + f * (0.055504109f + f * (0.0096181291f +
                                                       f * (0.0013333558f + f * 0.00015403530f)))));
  return p * std::bit_cast<float>((exponent + 127) << 23);
}

// log2(x) for normal x > 0, absolute error below 2e-5: the exponent, and
// the mantissa m in [1, 2) by the series of atanh((m - 1) / (m + 1)).
inline float log2_of(float x) {
  const auto bits = std::bit_cast<std::uint32_t>(x);
  const auto exponent = static_cast<float>(static_cast<std::int32_t>(bits >> 23) - 127);
  const float m = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
  const float s = (m - 1.0f) / (m + 1.0f);
  const float s2 = s * s;
  const float series = s * (1.0f + s2 * (1.0f / 3.0f + s2 * (1.0f / 5.0f + s2 * (1.0f / 7.0f))));
  return exponent + series * (2.0f * std::numbers::log2e_v<float>);
}

std::int32_t saturate(float value) {
  constexpr float top = 2147483520.0f;  // the largest float below 2^31
  return static_cast<std::int32_t>(std::nearbyint(std::clamp(value, -top, top)));
}

}  // namespace

NoiseReduction::NoiseReduction() {
  set_strength(noise_reduction_start);
  reset();
}

void NoiseReduction::set_strength(int level) {
  strength_ = std::clamp(level, 1, noise_reduction_strongest);
  floor_log2_ =
      floor_db[strength_ - 1] / 20.0f * std::numbers::ln10_v<float> * std::numbers::log2e_v<float>;
}

void NoiseReduction::reset() {
  running_low_delay_ = low_delay_;
  frames_heard_ = 0;
  history_.fill(0.0f);
  tail_.fill(0.0f);
  noise_.fill(least_noise);
  tracked_presence_.fill(0.0f);
  previous_speech_.fill(0.0f);
  smoothed_prior_.fill(0.0f);
  absence_.fill(1.0f);
  held_gain_.fill(1.0f);
  low_tail_.fill(0.0f);
}

void NoiseReduction::process(std::span<std::int32_t> samples) {
  if (low_delay_) {
    process_low_delay(samples);
  } else {
    process_normal(samples);
  }
}

// From the low-delay form, the first pass cross-fades from the low-delay
// form's output of its next samples (the input 128 to 0 samples back) into
// this form's (256 to 128 back), and the overlap-add tail is the last
// frame's under the current gains.
void NoiseReduction::process_normal(std::span<std::int32_t> samples) {
  if (samples.size() < static_cast<std::size_t>(hop)) return;
  const bool entering = running_low_delay_;
  if (entering) {
    for (int n = 0; n < frame - low_hop; ++n)
      data_[n + 1] = history_[n + low_hop] * low_windows.analysis[n];
    for (int n = frame - low_hop; n < frame; ++n) {
      data_[n + 1] = static_cast<float>(samples[n - (frame - low_hop)]) * low_windows.analysis[n];
    }
    forward();
    filter_back();
    for (int i = 0; i < low_hop; ++i) {
      const int n = frame - 2 * low_hop + i;
      handover_[i] = data_[n + 1] * low_windows.synthesis[n] + low_tail_[i];
    }
    window_history(window.w);
    forward();
    filter_back();
    for (int i = 0; i < hop; ++i) tail_[i] = data_[hop + i + 1] * window.w[hop + i];
    running_low_delay_ = false;
  }
  for (std::size_t start = 0; start + hop <= samples.size(); start += hop) {
    std::copy(history_.begin() + hop, history_.end(), history_.begin());
    for (int i = 0; i < hop; ++i) {
      history_[hop + i] = static_cast<float>(samples[start + i]);
    }
    run_frame();
    for (int i = 0; i < hop; ++i) {
      samples[start + i] = saturate(data_[i + 1] * window.w[i] + tail_[i]);
      tail_[i] = data_[hop + i + 1] * window.w[hop + i];
    }
  }
  if (entering) cross_fade(samples.first(low_hop));
}

// From the normal form, the first pass cross-fades from the normal form's
// output of its next samples (the overlap-add tail, unweighted) into this
// form's, whose own tail is primed from the last frame under the current
// gains.
void NoiseReduction::process_low_delay(std::span<std::int32_t> samples) {
  constexpr int m = low_hop;
  if (samples.size() < static_cast<std::size_t>(m)) return;
  const bool entering = !running_low_delay_;
  if (entering) {
    for (int i = 0; i < m; ++i) handover_[i] = tail_[i] / (window.w[hop + i] * window.w[hop + i]);
    window_history(low_windows.analysis);
    forward();
    filter_back();
    for (int i = 0; i < m; ++i)
      low_tail_[i] = data_[frame - m + i + 1] * low_windows.synthesis[frame - m + i];
    running_low_delay_ = true;
  }
  for (std::size_t start = 0; start + m <= samples.size(); start += m) {
    std::copy(history_.begin() + m, history_.end(), history_.begin());
    for (int i = 0; i < m; ++i) {
      history_[frame - m + i] = static_cast<float>(samples[start + i]);
    }
    window_history(low_windows.analysis);
    analyse();
    filter_back();
    for (int i = 0; i < m; ++i) {
      const int n = frame - 2 * m + i;
      samples[start + i] = saturate(data_[n + 1] * low_windows.synthesis[n] + low_tail_[i]);
      low_tail_[i] = data_[n + m + 1] * low_windows.synthesis[n + m];
    }
  }
  if (entering) cross_fade(samples.first(m));
}

void NoiseReduction::cross_fade(std::span<std::int32_t> samples) const {
  for (int i = 0; i < low_hop; ++i) {
    const float old_weight = handover.old_weight[i];
    samples[i] =
        saturate(old_weight * handover_[i] + (1.0f - old_weight) * static_cast<float>(samples[i]));
  }
}

// One frame: window, transform, track the noise, weigh each bin, transform
// back into data_[1..frame] (not yet windowed for synthesis).
void NoiseReduction::run_frame() {
  window_history(window.w);
  analyse();
  filter_back();
}

void NoiseReduction::window_history(const std::array<float, frame>& weights) {
  for (int n = 0; n < frame; ++n) data_[n + 1] = history_[n] * weights[n];
}

void NoiseReduction::forward() {
  design::real_fft(data_, re_, im_, frame);
  // Index 1 holds half of DC and half of Nyquist; whole values from here on,
  // as the inverse transform takes them.
  re_[1] *= 2.0f;
  im_[1] *= 2.0f;
}

// The windowed frame in data_ transformed; the noise tracked and the gains
// worked out from it.
void NoiseReduction::analyse() {
  forward();
  power_[0] = re_[1] * re_[1];
  power_[bins - 1] = im_[1] * im_[1];
  for (int k = 1; k < bins - 1; ++k) {
    power_[k] = re_[k + 1] * re_[k + 1] + im_[k + 1] * im_[k + 1];
  }

  track_noise();
  compute_gains();
}

// The spectrum weighed by the gains and transformed back into
// data_[1..frame].
void NoiseReduction::filter_back() {
  re_[1] *= gain_[0];
  im_[1] *= gain_[bins - 1];
  for (int k = 1; k < bins - 1; ++k) {
    re_[k + 1] *= gain_[k];
    im_[k + 1] *= gain_[k];
  }
  design::inverse_real_fft(data_, re_, im_, frame);
}

// The noise power per bin: the mean of the first frames, then each frame's
// expected noise power given the probability that the bin holds speech
// (against the last estimate), that probability held below 1 where it has
// stayed near 1, so that a louder noise floor is taken up.
void NoiseReduction::track_noise() {
  const Rates& rates = running_low_delay_ ? low_delay_rates : normal_rates;
  if (frames_heard_ < rates.starting_frames) {
    const auto count = static_cast<float>(frames_heard_);
    for (int k = 0; k < bins; ++k) {
      noise_[k] = most((noise_[k] * count + power_[k]) / (count + 1.0f), least_noise);
    }
    ++frames_heard_;
    return;
  }
  constexpr float slope = -presence_slope * std::numbers::log2e_v<float>;
  for (int k = 0; k < bins; ++k) exponent_[k] = most(power_[k] / noise_[k] * slope, -126.0f);
  for (int k = 0; k < bins; ++k) {
    heard_[k] = 1.0f / (1.0f + (1.0f + assumed_snr) * exp2_of(exponent_[k]));
    tracked_presence_[k] = rates.presence_smoothing * tracked_presence_[k] +
                           (1.0f - rates.presence_smoothing) * heard_[k];
  }
  for (int k = 0; k < bins; ++k) {
    heard_[k] = tracked_presence_[k] > stuck_presence && heard_[k] > held_presence ? held_presence
                                                                                   : heard_[k];
  }
  for (int k = 0; k < bins; ++k) {
    noise_[k] = most(rates.noise_smoothing * noise_[k] +
                         (1.0f - rates.noise_smoothing) *
                             ((1.0f - heard_[k]) * power_[k] + heard_[k] * noise_[k]),
                     least_noise);
  }
}

// The gains: the log-spectral amplitude gain (at most 1) from the
// decision-directed a priori SNR, raised to the speech presence and the
// floor to the rest, geometrically; held toward the last frame's where
// speech is absent. In the low-delay form no gain rises in a frame without
// speech: its frames overlap so much that a noise peak lasts over several,
// and the decision-directed a priori SNR would build on it into a tone.
void NoiseReduction::compute_gains() {
  const Rates& rates = running_low_delay_ ? low_delay_rates : normal_rates;
  spread_noise_[0] = noise_share * noise_[0];
  spread_noise_[bins - 1] = noise_share * noise_[bins - 1];
  for (int k = 1; k < bins - 1; ++k) {
    spread_noise_[k] = (noise_share / 3.0f) * (noise_[k - 1] + noise_[k] + noise_[k + 1]);
  }
  for (int k = 0; k < bins; ++k) {
    ratio_[k] = power_[k] / spread_noise_[k];
    exponent_[k] = most(ratio_[k] - 1.0f, 0.0f);
  }
  for (int k = 0; k < bins; ++k) {
    const float weight = rates.speech_decision_weight +
                         (rates.noise_decision_weight - rates.speech_decision_weight) * absence_[k];
    prior_[k] =
        most(weight * previous_speech_[k] / spread_noise_[k] + (1.0f - weight) * exponent_[k],
             least_prior_snr);
  }
  constexpr float to_exp2 = -std::numbers::log2e_v<float>;
  for (int k = 0; k < bins; ++k) {
    wiener_[k] = prior_[k] / (1.0f + prior_[k]);
    posterior_[k] = wiener_[k] * ratio_[k];
    exponent_[k] = most(posterior_[k] * to_exp2, -126.0f);
  }
  for (int k = 0; k < bins; ++k) {
    gain_[k] = least(wiener_[k] * lsa.at(posterior_[k]), 1.0f);
  }
  for (int k = 0; k < bins; ++k) {
    previous_speech_[k] = gain_[k] * gain_[k] * power_[k];
    smoothed_prior_[k] =
        rates.prior_smoothing * smoothed_prior_[k] + (1.0f - rates.prior_smoothing) * prior_[k];
  }
  running_sum_[0] = 0.0f;
  for (int k = 0; k < bins; ++k) running_sum_[k + 1] = running_sum_[k] + smoothed_prior_[k];

  // The a priori SNR over a bin and its neighbours (weights 1/4, 1/2, 1/4)
  // and over its band (fewer bins at the ends).
  local_[0] = 0.75f * smoothed_prior_[0] + 0.25f * smoothed_prior_[1];
  local_[bins - 1] = 0.75f * smoothed_prior_[bins - 1] + 0.25f * smoothed_prior_[bins - 2];
  for (int k = 1; k < bins - 1; ++k) {
    local_[k] =
        0.25f * (smoothed_prior_[k - 1] + smoothed_prior_[k + 1]) + 0.5f * smoothed_prior_[k];
  }
  for (int k = 0; k < band_half; ++k) {
    band_[k] = running_sum_[k + band_half + 1] / static_cast<float>(k + band_half + 1);
    band_[bins - 1 - k] = (running_sum_[bins] - running_sum_[bins - 1 - k - band_half]) /
                          static_cast<float>(k + band_half + 1);
  }
  constexpr float band_scale = 1.0f / (2 * band_half + 1);
  for (int k = band_half; k < bins - band_half; ++k) {
    band_[k] = (running_sum_[k + band_half + 1] - running_sum_[k - band_half]) * band_scale;
  }

  // Presences on the log scale between prior_low and prior_high; the
  // frame's from its mean a priori SNR between frame_low and frame_high.
  const float low = log2_of(prior_low);
  const float scale = 1.0f / (log2_of(prior_high) - low);
  const float frame_mean = running_sum_[bins] / static_cast<float>(bins);
  const float frame_presence = std::clamp(
      (log2_of(frame_mean) - log2_of(frame_low)) / (log2_of(frame_high) - log2_of(frame_low)), 0.0f,
      1.0f);
  const float absence_cap = most_absence + (frame_absence - most_absence) * (1.0f - frame_presence);
  for (int k = 0; k < bins; ++k) {
    local_[k] = most((log2_of(local_[k]) - low) * scale, 0.0f);
    band_[k] = most((log2_of(band_[k]) - low) * scale, 0.0f);
  }
  for (int k = 0; k < bins; ++k) local_[k] = least(local_[k], 1.0f);
  for (int k = 0; k < bins; ++k) band_[k] = least(band_[k], 1.0f) * frame_presence;
  for (int k = 0; k < bins; ++k) absence_[k] = least(1.0f - local_[k] * band_[k], absence_cap);

  for (int k = 0; k < bins; ++k) {
    const float present = 1.0f - absence_[k];
    const float presence =
        present / (present + absence_[k] * (1.0f + prior_[k]) * exp2_of(exponent_[k]));
    const float held = rates.gain_hold * (1.0f - presence);
    gain_[k] = held * held_gain_[k] + (1.0f - held) * exp2_of(presence * log2_of(gain_[k]) +
                                                              (1.0f - presence) * floor_log2_);
  }
  if (running_low_delay_ && frame_presence == 0.0f) {
    for (int k = 0; k < bins; ++k) gain_[k] = least(gain_[k], held_gain_[k]);
  }
  held_gain_ = gain_;
  // DC and Nyquist hold one real component each; they follow their
  // neighbours.
  gain_[0] = gain_[1];
  gain_[bins - 1] = gain_[bins - 2];
}

}  // namespace engine
