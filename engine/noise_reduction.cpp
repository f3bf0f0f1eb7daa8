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

// Frames after a reset whose mean power starts the noise estimate (93 ms).
constexpr int starting_frames = 4;

// Noise tracking, per hop of 23 ms: the a priori SNR a bin holding speech is
// assumed to have (14.5 dB), the smoothing of the speech presence and of the
// noise power, and the smoothed presence above which a bin is taken to sit
// on a louder noise floor rather than on speech.
constexpr float assumed_snr = 28.2f;
constexpr float presence_slope = assumed_snr / (1.0f + assumed_snr);
constexpr float presence_smoothing = 0.85f;
constexpr float noise_smoothing = 0.9f;
constexpr float stuck_presence = 0.986f;

// A bin whose presence, smoothed over about a second, stays above
// lasting_presence is taken to sit on a risen noise floor: its presence is
// held to lasting_cap, so the estimate climbs by several dB a frame.
constexpr float lasting_smoothing = 0.95f;
constexpr float lasting_presence = 0.9f;
constexpr float lasting_cap = 0.8f;

// The lowest noise power a bin is credited with: well under the rounding
// noise of 16-bit samples (about 20 in these units).
constexpr float least_noise = 1.0f;

// The gain is worked out against a share of the tracked noise power,
// averaged over a bin and its two neighbours: 0.6 at the start strength
// (the tracker's estimate runs high next to speech, and this keeps more of
// the speech), times this factor for each position of strength above it.
constexpr float start_noise_share = 0.6f;
constexpr float noise_share_step = 1.2f;

// Decision-directed a priori SNR: the weight of the last frame's speech
// estimate, and the lowest a priori SNR (-25 dB).
constexpr float decision_weight = 0.9f;
constexpr float least_prior_snr = 0.0031622777f;

// Odds against speech in a bin before it is heard: weighs the speech
// presence that moves each gain between its log-spectral amplitude value
// and the floor.
constexpr float absence_odds = 5.2f;

// Gain floor in dB at each strength, 1..noise_reduction_strongest.
constexpr std::array<float, noise_reduction_strongest> floor_db = {
    -6.0f, -11.0f, -16.0f, -21.0f, -26.0f, -29.0f, -32.0f, -35.0f, -38.0f, -41.0f};

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
           f * (0.24022651f +
                f * (0.055504109f + f * (0.0096181291f + f * (0.0013333558f + f * 0.00015403530f)))));
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
  noise_share_ = start_noise_share *
                 std::pow(noise_share_step, static_cast<float>(strength_ - noise_reduction_start));
  floor_log2_ = floor_db[strength_ - 1] / 20.0f * std::numbers::ln10_v<float> *
                std::numbers::log2e_v<float>;
}

void NoiseReduction::reset() {
  frames_heard_ = 0;
  history_.fill(0.0f);
  tail_.fill(0.0f);
  noise_.fill(least_noise);
  presence_.fill(0.0f);
  lasting_.fill(0.0f);
  previous_speech_.fill(0.0f);
}

void NoiseReduction::process(std::span<std::int32_t> samples) {
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
}

// One frame: window, transform, track the noise, weigh each bin, transform
// back into data_[1..frame] (not yet windowed for synthesis).
void NoiseReduction::run_frame() {
  for (int n = 0; n < frame; ++n) data_[n + 1] = history_[n] * window.w[n];
  design::real_fft(data_, re_, im_, frame);
  // Index 1 holds half of DC and half of Nyquist; whole values from here on,
  // as the inverse transform takes them.
  re_[1] *= 2.0f;
  im_[1] *= 2.0f;
  power_[0] = re_[1] * re_[1];
  power_[bins - 1] = im_[1] * im_[1];
  for (int k = 1; k < bins - 1; ++k) {
    power_[k] = re_[k + 1] * re_[k + 1] + im_[k + 1] * im_[k + 1];
  }

  track_noise();
  compute_gains();

  re_[1] *= gain_[0];
  im_[1] *= gain_[bins - 1];
  for (int k = 1; k < bins - 1; ++k) {
    re_[k + 1] *= gain_[k];
    im_[k + 1] *= gain_[k];
  }
  design::inverse_real_fft(data_, re_, im_, frame);
}

// The noise power per bin: the mean of the first frames, then each frame's
// power weighted by the probability that the bin holds no speech (against
// the last estimate), with that probability held below 1 in a bin that has
// seemed to hold speech for long, so that a louder noise floor is taken up.
void NoiseReduction::track_noise() {
  if (frames_heard_ < starting_frames) {
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
    presence_[k] = presence_smoothing * presence_[k] + (1.0f - presence_smoothing) * heard_[k];
    lasting_[k] = lasting_smoothing * lasting_[k] + (1.0f - lasting_smoothing) * heard_[k];
  }
  for (int k = 0; k < bins; ++k) {
    heard_[k] = presence_[k] > stuck_presence && heard_[k] > stuck_presence ? stuck_presence
                                                                             : heard_[k];
  }
  for (int k = 0; k < bins; ++k) {
    heard_[k] = lasting_[k] > lasting_presence && heard_[k] > lasting_cap ? lasting_cap : heard_[k];
  }
  for (int k = 0; k < bins; ++k) {
    noise_[k] = most(noise_smoothing * noise_[k] +
                         (1.0f - noise_smoothing) *
                             ((1.0f - heard_[k]) * power_[k] + heard_[k] * noise_[k]),
                     least_noise);
  }
}

// The gains: the log-spectral amplitude gain (at most 1) from the
// decision-directed a priori SNR, raised to the speech presence and the
// floor to the rest, geometrically.
void NoiseReduction::compute_gains() {
  spread_noise_[0] = noise_share_ * noise_[0];
  spread_noise_[bins - 1] = noise_share_ * noise_[bins - 1];
  for (int k = 1; k < bins - 1; ++k) {
    spread_noise_[k] = (noise_share_ / 3.0f) * (noise_[k - 1] + noise_[k] + noise_[k + 1]);
  }
  for (int k = 0; k < bins; ++k) {
    ratio_[k] = power_[k] / spread_noise_[k];
    exponent_[k] = most(ratio_[k] - 1.0f, 0.0f);
  }
  for (int k = 0; k < bins; ++k) {
    prior_[k] = most(decision_weight * previous_speech_[k] / spread_noise_[k] +
                         (1.0f - decision_weight) * exponent_[k],
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
    const float presence =
        1.0f / (1.0f + absence_odds * (1.0f + prior_[k]) * exp2_of(exponent_[k]));
    gain_[k] = exp2_of(presence * log2_of(gain_[k]) + (1.0f - presence) * floor_log2_);
  }
}

}  // namespace engine
