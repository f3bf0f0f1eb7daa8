#include "engine/auto_notch.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "design/Rfft_ifft.h"
#include "design/rounding.h"
#include "files/wave_format.h"

namespace engine {

namespace {

constexpr double sample_rate = files::chain_rate;
constexpr int size = auto_notch_analysis;
constexpr int bins = size / 2;
constexpr double bin_hz = sample_rate / size;
constexpr double two_pi = 2.0 * std::numbers::pi;

// The band searched for tones, in bins (40 Hz .. 5.4 kHz).
constexpr int lowest_bin = 4;
constexpr int highest_bin = 502;

// Finding: a peak this far over its surroundings (power ratios) starts a
// candidate, and keeps a notched tone alive at the lower one.
constexpr float find_ratio = 15.85f;  // 12 dB
constexpr float keep_ratio = 3.98f;   // 6 dB
// A tone's bin under the Hann window holds 256 times its amplitude, so an
// amplitude of 8 shows as a power of (256 x 8)^2.
constexpr float quietest_power = 4194304.0f;
// Candidate tests over its last `persist` spectra: greatest distance from a
// straight line (Hz), steepest drift (Hz a spectrum), deepest fade, and the
// least level against the loudest over the spectra the line is fitted to.
constexpr float line_tolerance = 0.6f;
constexpr float steepest_drift = 6.0f;
constexpr float deepest_fade = 0.1f;  // 10 dB
constexpr float least_steady = 0.5f;  // 3 dB
// Peaks this close to a notched tone (Hz) belong to it.
constexpr double tone_reach = 1.5 * bin_hz;
// Candidate matching: a peak this close (Hz) to where a candidate was
// heading is the same peak.
constexpr float match_reach = 5.0f;
// Keying: stretches measured at a peak's frequency, and their levels against
// the steady level its spectral peak gives (power ratios; a tone's bin
// holds 256 times its amplitude, a stretch's sum 32 times).
constexpr int stretch = 64;
constexpr float stretch_per_peak = 1.0f / 64.0f;
constexpr float keyed_on = 0.5f;   // within 3 dB
constexpr float keyed_off = 0.1f;  // 10 dB under
// A voice's pitches (Hz), and how many harmonic peaks make one.
constexpr double lowest_pitch = 70.0;
constexpr double highest_pitch = 400.0;
constexpr int voice_harmonics = 4;
// Spectra in a row without its tone before a notch lets go.
constexpr int release_after = 3;

// Canceller: LMS step (w += adapt e conj r, time constant 2 / adapt
// samples); the loop runs every loop_block samples with gains in units of
// a sample, its three poles near -loop_pole.
constexpr float adapt_step = 2.0f / 400.0f;
constexpr int loop_block = 32;
// A stopped tone: the power at a canceller's frequency and what it takes
// away, each over about 4 samples, and what is left after all cancellers,
// falling over about 256 and rising over about 4096 (so that a stopped
// tone's own inverse, left for the few samples it takes to tell, does not
// hide that it stood clear). It has stopped when the first falls 10 dB
// under the second, away from the tone's zero crossings (what it takes
// away at least half its mean power), while the tone stood 20 dB clear of
// what was left; then it fades out over 8 samples. (Ratios against the
// tone's amplitude squared, twice its mean power.)
constexpr float stop_memory = 0.25f;
constexpr float left_fall = 1.0f / 256.0f;
constexpr float left_rise = 1.0f / 4096.0f;
constexpr float stop_ratio = 0.1f;
constexpr float crest_ratio = 0.25f;
constexpr float clear_ratio = 2.0f * 100.0f;
constexpr float stop_fade = 1.0f / 8.0f;
constexpr double loop_pole = 1.0 / 1600.0;
constexpr double gain_phase = 3.0 * loop_pole;
constexpr double gain_frequency = 3.0 * loop_pole * loop_pole;
constexpr double gain_rate = loop_pole * loop_pole * loop_pole;
constexpr int settle_samples = 512;
constexpr float fade_in = 32.0f;
constexpr double lowest_omega = two_pi * 20.0 / sample_rate;
constexpr double highest_omega = two_pi * 5500.0 / sample_rate;

const std::array<float, size + 1>& hann() {
  static const std::array<float, size + 1> table = [] {
    std::array<float, size + 1> t{};
    for (int i = 0; i < size; ++i) {
      t[i + 1] = static_cast<float>(0.5 - 0.5 * std::cos(two_pi * i / size));
    }
    return t;
  }();
  return table;
}

// A frequency in radians a sample, in hertz.
double hertz(double omega) { return omega * sample_rate / two_pi; }

float principal(float angle) {
  return angle - static_cast<float>(two_pi) * std::nearbyint(angle / static_cast<float>(two_pi));
}

}  // namespace

void AutoNotch::process(std::span<std::int32_t> samples) {
  std::size_t i = 0;
  while (i < samples.size()) {
    const std::size_t length =
        std::min(samples.size() - i, static_cast<std::size_t>(size - fresh_));
    std::copy(history_.begin() + static_cast<std::ptrdiff_t>(length), history_.end(),
              history_.begin());
    for (std::size_t m = 0; m < length; ++m) {
      history_[size - length + m] = static_cast<float>(samples[i + m]);
    }
    int used = 0;
    for (int k = 0; k < auto_notch_most; ++k) used = trackers_[k].active ? k + 1 : used;
    for (std::size_t m = i; used > 0 && m < i + length;) {
      const std::size_t stretch =
          std::min(i + length - m, static_cast<std::size_t>(loop_block - loop_count_));
      cancel(samples.subspan(m, stretch), used);
      m += stretch;
      loop_count_ += static_cast<int>(stretch);
      if (loop_count_ == loop_block) {
        loop_count_ = 0;
        for (int k = 0; k < used; ++k) {
          if (trackers_[k].active) steer(k);
        }
      }
    }
    i += length;
    fresh_ += static_cast<int>(length);
    if (fresh_ == size) {
      fresh_ = 0;
      analyse();
    }
  }
  update_display();
}

namespace {

// Four floats in one vector register; the cancellers' lanes go in pairs of
// them.
using Quad = float __attribute__((vector_size(16)));
using Lanes = std::array<Quad, 2>;

Lanes load(const std::array<float, 8>& values) {
  Lanes v;
  std::memcpy(v.data(), values.data(), sizeof v);
  return v;
}

void store(const Lanes& v, std::array<float, 8>& values) {
  std::memcpy(values.data(), v.data(), sizeof v);
}

}  // namespace

void AutoNotch::cancel(std::span<std::int32_t> samples, int used) {
  if (used <= lanes / 2) {
    cancel_in<1>(samples);
  } else {
    cancel_in<2>(samples);
  }
}

// The cancellers in the first `quads` groups of four lanes (the rest are
// unused and would add zeros).
template <int quads>
void AutoNotch::cancel_in(std::span<std::int32_t> samples) {
  static_assert(lanes == 8);
  // The cancellers' state in registers for the stretch; unused lanes hold
  // zeros and add nothing.
  Lanes w_re = load(w_re_), w_im = load(w_im_), r_re = load(r_re_), r_im = load(r_im_);
  Lanes weight = load(weight_), weight_step = load(weight_step_), adapt = load(adapt_);
  Lanes heard = load(heard_), taken = load(taken_);
  const Lanes step_re = load(step_re_), step_im = load(step_im_);
  const Quad zero = {};
  const Quad fade_out = zero - stop_fade;
  const Quad one = zero + 1.0f;
  // Which cancellers may find their tone stopped in this stretch: those
  // standing clear of what is left, not fading, and the least they take
  // away away from the zero crossings. Over a stretch a tone's amplitude
  // changes little.
  using Mask = decltype(zero < zero);
  std::array<Mask, 2> armed{};
  Lanes least_taken{};
  for (int h = 0; h < quads; ++h) {
    const Quad tone = weight[h] * weight[h] * (w_re[h] * w_re[h] + w_im[h] * w_im[h]);
    armed[h] = (clear_ratio * left_ < tone) & (weight_step[h] == zero) & (adapt[h] > zero);
    least_taken[h] = crest_ratio * tone;
  }
  float left = left_;
  for (std::int32_t& sample : samples) {
    Lanes each{};
    for (int h = 0; h < quads; ++h) each[h] = weight[h] * (w_re[h] * r_re[h] - w_im[h] * r_im[h]);
    const Quad part = each[0] + each[1];
    // Summed as a tree, in a fixed order.
    const float y = (part[0] + part[2]) + (part[1] + part[3]);
    const float e = static_cast<float>(sample) - y;
    left += (e * e > left ? left_rise : left_fall) * (e * e - left);
    for (int h = 0; h < quads; ++h) {
      // A tone that stops: what comes in at its canceller's frequency (the
      // input less the other tones) falls well under what it takes away,
      // where before it stood clear of what was left. Its canceller fades
      // out at once rather than take the tone's inverse away for its time
      // constant.
      const Quad own = e + each[h];
      heard[h] += stop_memory * (own * own - heard[h]);
      taken[h] += stop_memory * (each[h] * each[h] - taken[h]);
      const Mask stopped =
          armed[h] & (heard[h] < stop_ratio * taken[h]) & (taken[h] > least_taken[h]);
      armed[h] &= ~stopped;
      weight_step[h] = stopped ? fade_out : weight_step[h];
      adapt[h] = stopped ? zero : adapt[h];
      const Quad g = adapt[h] * e;
      w_re[h] += g * r_re[h];
      w_im[h] -= g * r_im[h];
      const Quad faded = weight[h] + weight_step[h];
      weight[h] = faded > zero ? faded : zero;
      // Faded in: full weight, and the step done with.
      weight_step[h] = faded >= one ? zero : weight_step[h];
      weight[h] = faded >= one ? one : weight[h];
      const Quad re = r_re[h] * step_re[h] - r_im[h] * step_im[h];
      r_im[h] = r_re[h] * step_im[h] + r_im[h] * step_re[h];
      r_re[h] = re;
    }
    // Rounded to the nearest whole number, halves away from zero.
    const double out = static_cast<double>(sample) - static_cast<double>(y);
    sample = design::truncate_to_int32(out + (out < 0.0 ? -0.5 : 0.5));
  }
  store(w_re, w_re_);
  store(w_im, w_im_);
  store(r_re, r_re_);
  store(r_im, r_im_);
  store(weight, weight_);
  store(weight_step, weight_step_);
  store(adapt, adapt_);
  store(heard, heard_);
  store(taken, taken_);
  left_ = left;
}

void AutoNotch::steer(int k) {
  Tracker& t = trackers_[k];
  const float norm = 1.0f / std::sqrt(r_re_[k] * r_re_[k] + r_im_[k] * r_im_[k]);
  r_re_[k] *= norm;
  r_im_[k] *= norm;
  // A canceller whose tone stopped fades out as one let go.
  t.fading = t.fading || weight_step_[k] < 0.0f;
  if (t.fading) {
    if (weight_[k] <= 0.0f) {
      t = Tracker{};
      w_re_[k] = w_im_[k] = 0.0f;
      weight_[k] = 0.0f;
      weight_step_[k] = 0.0f;
      adapt_[k] = 0.0f;
      step_re_[k] = 1.0f;
      step_im_[k] = 0.0f;
    }
    return;
  }
  double step;
  if (t.settle > 0) {
    t.settle -= loop_block;
    t.omega += t.rate * loop_block;
    step = t.omega;
    if (t.settle <= 0) {
      // The weight's phase so far moves into the oscillator, so that the
      // loop starts from a real weight and the output does not change.
      const float phase = std::atan2(w_im_[k], w_re_[k]);
      const float c = std::cos(phase);
      const float s = std::sin(phase);
      const float rr = r_re_[k] * c - r_im_[k] * s;
      r_im_[k] = r_re_[k] * s + r_im_[k] * c;
      r_re_[k] = rr;
      w_re_[k] = std::hypot(w_re_[k], w_im_[k]);
      w_im_[k] = 0.0f;
    }
  } else {
    const double phase = std::atan2(w_im_[k], w_re_[k]);
    t.rate += gain_rate * loop_block * phase;
    t.omega += (t.rate + gain_frequency * phase) * loop_block;
    step = t.omega + gain_phase * phase;
  }
  t.omega = std::clamp(t.omega, lowest_omega, highest_omega);
  step_re_[k] = std::cos(static_cast<float>(step));
  step_im_[k] = std::sin(static_cast<float>(step));
}

void AutoNotch::analyse() {
  const auto& window = hann();
  for (int m = 0; m < size; ++m) data_[m + 1] = history_[m] * window[m + 1];
  design::real_fft(data_, re_, im_, size);
  for (int k = 1; k < bins; ++k) power_[k] = re_[k + 1] * re_[k + 1] + im_[k + 1] * im_[k + 1];
  power_[0] = 0.0f;
  band_known_.fill(false);
  follow_notches();
  find_tones();
  previous_re_ = re_;
  previous_im_ = im_;
}

float AutoNotch::band_median(int band) {
  if (!band_known_[band]) {
    const int first = std::max(1, band * band_bins);
    const int last = std::min(bins - 1, band * band_bins + band_bins - 1);
    const int count = last - first + 1;
    std::copy(power_.begin() + first, power_.begin() + last + 1, median_scratch_.begin());
    auto middle = median_scratch_.begin() + count / 2;
    std::nth_element(median_scratch_.begin(), middle, median_scratch_.begin() + count);
    band_median_[band] = *middle;
    band_known_[band] = true;
  }
  return band_median_[band];
}

float AutoNotch::background(int bin) {
  const int band = bin / band_bins;
  const int bands = bins / band_bins;
  float a = band_median(band);
  float b = band_median(std::max(0, band - 1));
  const float c = band_median(std::min(bands - 1, band + 1));
  // The median of the three.
  if (a > b) std::swap(a, b);
  return std::max(a, std::min(b, c));
}

void AutoNotch::follow_notches() {
  for (int k = 0; k < auto_notch_most; ++k) {
    Tracker& t = trackers_[k];
    if (!t.active || t.fading) continue;
    const double hz = hertz(t.omega);
    const int centre = static_cast<int>(std::lround(hz / bin_hz));
    float peak = 0.0f;
    int at = centre;
    for (int b = std::max(1, centre - 1); b <= std::min(bins - 1, centre + 1); ++b) {
      if (power_[b] > peak) {
        peak = power_[b];
        at = b;
      }
    }
    bool present = peak >= quietest_power && peak >= keep_ratio * background(at);
    // Two cancellers on one tone: the later one goes.
    for (int j = 0; j < auto_notch_most; ++j) {
      const Tracker& other = trackers_[j];
      if (j != k && other.active && !other.fading && other.order < t.order &&
          std::abs(hertz(other.omega - t.omega)) < 3.0) {
        present = false;
        t.absent = release_after;
      }
    }
    t.absent = present ? 0 : t.absent + 1;
    if (t.absent >= release_after) {
      t.fading = true;
      adapt_[k] = 0.0f;
      weight_step_[k] = -1.0f / size;
    }
  }
}

void AutoNotch::find_tones() {
  for (Candidate& c : candidates_) c.matched = false;
  for (int b = lowest_bin; b <= highest_bin; ++b) {
    const float p = power_[b];
    if (p < quietest_power || p <= power_[b - 1] || p < power_[b + 1]) continue;
    // Most peaks of noise and speech already fail against the bins three
    // to either side, which saves working out the median.
    if (p < find_ratio * std::min(power_[b - 3], power_[b + 3])) continue;
    if (p < find_ratio * background(b)) continue;
    // Where the peak lies between bins, roughly from the shape of the
    // window's main lobe, then exactly from the phase the bin turned
    // through since the last spectrum (a tone at b + d bins turns by
    // 2 pi d over one spectrum's length).
    const float below = std::log(power_[b - 1] + 1.0f);
    const float here = std::log(p + 1.0f);
    const float above = std::log(power_[b + 1] + 1.0f);
    const float curve = below - 2.0f * here + above;
    const float rough = curve < 0.0f ? 0.5f * (below - above) / curve : 0.0f;
    const float turned =
        std::atan2(im_[b + 1] * previous_re_[b + 1] - re_[b + 1] * previous_im_[b + 1],
                   re_[b + 1] * previous_re_[b + 1] + im_[b + 1] * previous_im_[b + 1]);
    const float fine =
        rough + principal(turned - static_cast<float>(two_pi) * rough) / static_cast<float>(two_pi);
    const float hz = static_cast<float>((b + fine) * bin_hz);
    bool taken = false;
    for (const Tracker& t : trackers_) {
      taken = taken || (t.active && std::abs(hertz(t.omega) - hz) < tone_reach);
    }
    if (taken) continue;
    Candidate* best = nullptr;
    float nearest = match_reach;
    for (Candidate& c : candidates_) {
      if (c.seen == 0 || c.matched) continue;
      const int last = (c.seen - 1) % persist;
      float heading = c.frequency[last];
      if (c.seen >= 2) heading += heading - c.frequency[(c.seen - 2) % persist];
      const float distance = std::abs(heading - hz);
      if (distance < nearest) {
        nearest = distance;
        best = &c;
      }
    }
    if (best == nullptr) {
      for (Candidate& c : candidates_) {
        if (c.seen == 0) {
          best = &c;
          break;
        }
      }
      if (best == nullptr) continue;
    }
    if (best->seen == 0) best->keying = Keying::waiting;
    best->keying = follow_keying(best->keying, hz, p);
    const int slot = best->seen % persist;
    best->frequency[slot] = hz;
    best->level[slot] = p;
    ++best->seen;
    best->matched = true;
  }
  for (Candidate& c : candidates_) {
    if (!c.matched) {
      c.seen = 0;
      continue;
    }
    if (c.seen < persist) continue;
    // The frequencies against their least-squares line, in time order, all
    // but the first (measured against a spectrum the peak was not in yet);
    // the level's deepest fade, and over those its spread.
    constexpr int fitted = persist - 1;
    constexpr double middle = (fitted - 1) / 2.0;
    float loudest = 0.0f;
    float quietest = c.level[0];
    for (const float level : c.level) {
      loudest = std::max(loudest, level);
      quietest = std::min(quietest, level);
    }
    std::array<float, fitted> f{};
    double sum_f = 0.0;
    double sum_tf = 0.0;
    double spread = 0.0;
    float loudest_fitted = 0.0f;
    float steadiest = loudest;
    for (int j = 0; j < fitted; ++j) {
      const int slot = (c.seen + 1 + j) % persist;
      f[j] = c.frequency[slot];
      loudest_fitted = std::max(loudest_fitted, c.level[slot]);
      steadiest = std::min(steadiest, c.level[slot]);
      sum_f += f[j];
      sum_tf += (j - middle) * f[j];
      spread += (j - middle) * (j - middle);
    }
    const double mean = sum_f / fitted;
    const double slope = sum_tf / spread;
    double off_line = 0.0;
    for (int j = 0; j < fitted; ++j) {
      off_line = std::max(off_line, std::abs(f[j] - (mean + slope * (j - middle))));
    }
    if (off_line > line_tolerance || std::abs(slope) > steepest_drift ||
        quietest < deepest_fade * loudest || steadiest < least_steady * loudest_fitted ||
        c.keying != Keying::on || voiced(c.frequency[(c.seen - 1) % persist])) {
      continue;
    }
    // The phase turned measures the frequency half a spectrum before this
    // one's end, at its middle.
    start_notch(static_cast<float>(mean + slope * middle), static_cast<float>(slope));
    c.seen = 0;
  }
}

// Whether a peak at `hz` is a harmonic of a voice: for some pitch it is a
// multiple of, at least voice_harmonics of that pitch's first ten
// multiples are peaks standing find_ratio over their background, two of
// them among the first three (a voice's lowest harmonics are its
// strongest; a comb of aliased harmonics has gaps there). A held note's
// harmonics are as steady as carriers; carriers seldom line up.
bool AutoNotch::voiced(float hz) {
  const auto first = static_cast<int>(std::ceil(hz / highest_pitch));
  for (int k = std::max(1, first); hz / k >= lowest_pitch; ++k) {
    const double pitch = hz / k;
    int peaks = 0;
    int low = 0;
    for (int m = 1; m <= 10; ++m) {
      const auto b = static_cast<int>(std::lround(m * pitch / bin_hz));
      if (b > highest_bin) break;
      for (int at = std::max(1, b - 1); at <= b + 1; ++at) {
        if (power_[at] > power_[at - 1] && power_[at] >= power_[at + 1] &&
            power_[at] >= find_ratio * background(at)) {
          ++peaks;
          low += m <= 3 ? 1 : 0;
          break;
        }
      }
    }
    if (peaks >= voice_harmonics && low >= 2) return true;
  }
  return false;
}

// The last spectrum's input in stretches, each summed against a phasor at
// `hz`: a stretch within 3 dB of the level a steady tone of the spectral
// `peak` gives moves `waiting` to `on`, and two 10 dB under it in a row move
// `on` to `gone`.
AutoNotch::Keying AutoNotch::follow_keying(Keying state, float hz, float peak) const {
  const float steady = peak * stretch_per_peak;
  const double omega = two_pi * hz / sample_rate;
  const double turn_re = std::cos(omega);
  const double turn_im = std::sin(omega);
  bool was_off = false;
  for (int first = 0; first < size && state != Keying::gone; first += stretch) {
    // Each stretch from the phasor's start: its level needs no common phase.
    double p_re = 1.0;
    double p_im = 0.0;
    double re = 0.0;
    double im = 0.0;
    for (int m = first; m < first + stretch; ++m) {
      re += history_[m] * p_re;
      im += history_[m] * p_im;
      const double next = p_re * turn_re - p_im * turn_im;
      p_im = p_re * turn_im + p_im * turn_re;
      p_re = next;
    }
    const auto level = static_cast<float>(re * re + im * im);
    const bool off = level < keyed_off * steady;
    if (level >= keyed_on * steady && state == Keying::waiting) state = Keying::on;
    if (off && was_off && state == Keying::on) state = Keying::gone;
    was_off = off;
  }
  return state;
}

// A canceller for a tone of `hz` at the middle of the last spectrum's input,
// drifting by `hz_per_look` a spectrum: its weight starts at the tone's
// amplitude and phase there, measured against a sinusoid drifting alike
// under the Hann window, and fades in over fade_in samples.
void AutoNotch::start_notch(float hz, float hz_per_look) {
  for (int k = 0; k < auto_notch_most; ++k) {
    Tracker& t = trackers_[k];
    if (t.active) continue;
    const double omega = two_pi * hz / sample_rate;
    const double rate = two_pi * hz_per_look / sample_rate / size;
    constexpr double middle = (size - 1) / 2.0;
    const auto phase = [&](double m) {
      const double d = m - middle;
      return omega * d + 0.5 * rate * d * d;
    };
    const auto& window = hann();
    std::complex<double> amplitude;
    for (int m = 0; m < size; ++m) {
      amplitude += static_cast<double>(window[m + 1] * history_[m]) * std::polar(1.0, -phase(m));
    }
    // The window's sum is size / 2; a sinusoid's amplitude is twice its
    // positive-frequency part.
    const std::complex<double> w = amplitude * (4.0 / size) * std::polar(1.0, phase(size));
    t = Tracker{};
    t.active = true;
    t.settle = settle_samples;
    t.omega = std::clamp(omega + rate * (size - middle), lowest_omega, highest_omega);
    t.rate = rate;
    t.order = found_++;
    w_re_[k] = static_cast<float>(w.real());
    w_im_[k] = static_cast<float>(w.imag());
    r_re_[k] = 1.0f;
    r_im_[k] = 0.0f;
    step_re_[k] = static_cast<float>(std::cos(t.omega));
    step_im_[k] = static_cast<float>(std::sin(t.omega));
    weight_[k] = 0.0f;
    weight_step_[k] = 1.0f / fade_in;
    adapt_[k] = adapt_step;
    heard_[k] = taken_[k] = 0.0f;
    return;
  }
}

void AutoNotch::update_display() {
  std::array<std::pair<std::uint32_t, float>, auto_notch_most> shown{};
  int count = 0;
  for (const Tracker& t : trackers_) {
    if (t.active) shown[count++] = {t.order, static_cast<float>(hertz(t.omega))};
  }
  // In the order found (insertion sort: at most auto_notch_most entries).
  for (int j = 1; j < count; ++j) {
    for (int m = j; m > 0 && shown[m].first < shown[m - 1].first; --m)
      std::swap(shown[m], shown[m - 1]);
  }
  for (int j = 0; j < count; ++j) display_[j] = shown[j].second;
  display_count_ = count;
}

void AutoNotch::reset() { *this = AutoNotch{}; }

std::span<const float> AutoNotch::notched() const {
  return std::span<const float>(display_.data(), static_cast<std::size_t>(display_count_));
}

}  // namespace engine
