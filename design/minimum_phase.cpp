#include "design/minimum_phase.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "design/Rfft_ifft.h"

namespace design {

namespace {

// Points of the grid the magnitude is taken on, and of the complex transform
// that carries a real transform of that many points.
constexpr int grid = 4096;
constexpr int half = grid / 2;

// Of the largest magnitude, the least the logarithm takes.
constexpr double log_floor = 1e-7;

struct Complex {
  double re;
  double im;
};

Complex operator*(Complex a, Complex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
Complex operator+(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
Complex operator-(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
Complex conj(Complex a) { return {a.re, -a.im}; }

// e^(-2 pi i k / grid) for k = 0..half - 1 (the half-size transform takes
// the even ones), and the bit-reversed order of half points.
struct Tables {
  std::array<Complex, half> rotation;
  std::array<int, half> reversed;

  Tables() {
    for (int k = 0; k < half; ++k) {
      const double angle = -2.0 * std::numbers::pi * k / grid;
      rotation[k] = {std::cos(angle), std::sin(angle)};
    }
    int bits = 0;
    while ((1 << bits) < half) ++bits;
    for (int k = 0; k < half; ++k) {
      int r = 0;
      for (int b = 0; b < bits; ++b) r |= ((k >> b) & 1) << (bits - 1 - b);
      reversed[k] = r;
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

using HalfArray = std::array<Complex, half>;
using Spectrum = std::array<Complex, half + 1>;

// In-place complex transform of `half` points, e^(-i...) forward, e^(+i...)
// inverse, unscaled.
void transform(HalfArray& a, bool inverse) {
  const Tables& t = tables();
  for (int k = 0; k < half; ++k) {
    if (k < t.reversed[k]) std::swap(a[k], a[t.reversed[k]]);
  }
  for (int len = 2; len <= half; len *= 2) {
    const int stride = 2 * (half / len);
    const int mid = len / 2;
    for (int start = 0; start < half; start += len) {
      for (int j = 0; j < mid; ++j) {
        const Complex w = inverse ? conj(t.rotation[j * stride]) : t.rotation[j * stride];
        const Complex u = a[start + j];
        const Complex v = a[start + j + mid] * w;
        a[start + j] = u + v;
        a[start + j + mid] = u - v;
      }
    }
  }
}

// Forward real transform of `grid` samples packed two to a point (sample 2n
// real, 2n + 1 imaginary) into bins 0..half.
void forward_real(HalfArray& packed, Spectrum& spectrum) {
  transform(packed, false);
  const Tables& t = tables();
  for (int k = 0; k <= half; ++k) {
    const Complex z = packed[k % half];
    const Complex mirror = conj(packed[(half - k) % half]);
    const Complex even = {0.5 * (z.re + mirror.re), 0.5 * (z.im + mirror.im)};
    // (z - mirror) / 2i
    const Complex odd = {0.5 * (z.im - mirror.im), -0.5 * (z.re - mirror.re)};
    const Complex w = k < half ? t.rotation[k] : Complex{-1.0, 0.0};
    spectrum[k] = even + w * odd;
  }
}

// Inverse real transform of bins 0..half into `grid` samples packed two to a
// point, scaled by 1 / grid.
void inverse_real(const Spectrum& spectrum, HalfArray& packed) {
  const Tables& t = tables();
  for (int k = 0; k < half; ++k) {
    const Complex x = spectrum[k];
    const Complex mirror = conj(spectrum[half - k]);
    const Complex even = {0.5 * (x.re + mirror.re), 0.5 * (x.im + mirror.im)};
    const Complex odd =
        Complex{0.5 * (x.re - mirror.re), 0.5 * (x.im - mirror.im)} * conj(t.rotation[k]);
    packed[k] = {even.re - odd.im, even.im + odd.re};
  }
  transform(packed, true);
  for (Complex& z : packed) z = {z.re / half, z.im / half};
}

double sample(const HalfArray& packed, int m) {
  return m % 2 == 0 ? packed[m / 2].re : packed[m / 2].im;
}

// Spectra of the partitions of `taps`, in the layout filter.h gives.
void partition_spectra(MinimumPhase& filter) {
  constexpr int points = 2 * partition_size;
  std::array<float, points + 1> data{};
  std::array<float, partition_size + 1> re{};
  std::array<float, partition_size + 1> im{};
  for (int p = 0; p < partition_count; ++p) {
    for (int i = 0; i < partition_size; ++i) data[i + 1] = filter.taps[p * partition_size + i];
    std::fill(data.begin() + partition_size + 1, data.end(), 0.0f);
    real_fft(data, re, im, points);
    filter.re[p][0] = 2.0f * re[1];
    filter.im[p][0] = 2.0f * im[1];
    for (int j = 1; j < partition_size; ++j) {
      filter.re[p][j] = re[j + 1];
      filter.im[p][j] = im[j + 1];
    }
  }
}

}  // namespace

void minimum_phase_from_taps(std::span<const float> kernel, float q, MinimumPhase& filter) {
  HalfArray packed{};
  Spectrum spectrum;

  // The floored kernel, time sample t = tap t + 1.
  const double floor = static_cast<double>(q) * std::numbers::sqrt2;
  for (int t = 0; t < block_size; ++t) {
    const double value = (1.0 - floor) * kernel[t + 1] + (t == block_size / 2 - 1 ? floor : 0.0);
    if (t % 2 == 0) {
      packed[t / 2].re = value;
    } else {
      packed[t / 2].im = value;
    }
  }
  forward_real(packed, spectrum);

  double largest = 0.0;
  for (const Complex& x : spectrum) largest = std::max(largest, std::hypot(x.re, x.im));
  if (largest == 0.0) {
    filter = MinimumPhase{};
    return;
  }
  const double least = largest * log_floor;
  for (Complex& x : spectrum) x = {std::log(std::max(std::hypot(x.re, x.im), least)), 0.0};

  // The real cepstrum, folded: time 0 and grid / 2 kept, the rest of the
  // first half doubled, the second half cleared.
  inverse_real(spectrum, packed);
  packed[0].im *= 2.0;
  for (int n = 1; n < half / 2; ++n) packed[n] = {2.0 * packed[n].re, 2.0 * packed[n].im};
  packed[half / 2].im = 0.0;
  for (int n = half / 2 + 1; n < half; ++n) packed[n] = {0.0, 0.0};

  forward_real(packed, spectrum);
  for (Complex& x : spectrum) {
    const double magnitude = std::exp(x.re);
    x = {magnitude * std::cos(x.im), magnitude * std::sin(x.im)};
  }
  inverse_real(spectrum, packed);
  for (int t = 0; t < min_phase_taps; ++t) filter.taps[t] = static_cast<float>(sample(packed, t));
  partition_spectra(filter);
}

}  // namespace design
