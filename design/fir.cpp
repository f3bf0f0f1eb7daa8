#include "design/fir.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "design/Rfft_ifft.h"
#include "design/filter.h"

namespace design {

namespace {

// The design's multiples of pi, rounded to eight digits (not the full double
// values); every kernel depends on them to the last bit.
constexpr double two_pi = 6.2831853;
constexpr double four_pi = 12.5663706;
constexpr double six_pi = 18.8495559;

}  // namespace

double blackman_harris_weight(int i, int n) {
  return 0.35875 - 0.48829 * std::cos(two_pi * i / n) + 0.14128 * std::cos(four_pi * i / n) -
         0.01168 * std::cos(six_pi * i / n);
}

void windowed_sinc_lowpass(float fc, int n, std::span<float> lowpass) {
  const double half = n * 0.5;
  // Summed in single precision, one rounding per partial sum.
  float sum = 0.0f;
  for (int i = 0; i <= n; ++i) {
    const double m = i - half;
    // The sinc without pi in the divisor: the scale cancels in the
    // normalisation below.
    const double s = i == n / 2 ? two_pi * fc : std::sin(two_pi * fc * m) / m;
    lowpass[i] = static_cast<float>(s * blackman_harris_weight(i, n));
    sum += lowpass[i];
  }
  // A cutoff of exactly 0 (edges not yet set at start-up) leaves nothing to
  // normalise; a zero kernel keeps 0/0 out of every response.
  if (sum == 0.0f) {
    std::fill_n(lowpass.begin(), n + 1, 0.0f);
    return;
  }
  for (int i = 0; i <= n; ++i) {
    lowpass[i] /= sum;
  }
}

void spectral_inversion(std::span<float> kernel, int n) {
  for (int i = 0; i <= n; ++i) {
    kernel[i] = -kernel[i];
  }
  kernel[n / 2] += 1.0f;
}

void band_reject_kernel(float f1, float f2, int n, std::span<float> kernel) {
  std::array<float, block_size + 1> lowpass_lo;
  std::array<float, block_size + 1> lowpass_hi;
  windowed_sinc_lowpass(f1, n, lowpass_lo);
  windowed_sinc_lowpass(f2, n, lowpass_hi);
  spectral_inversion(lowpass_hi, n);
  for (int i = 0; i <= n; ++i) {
    kernel[i] = lowpass_lo[i] + lowpass_hi[i];
  }
}

void response_from_taps(std::span<const float> kernel, int n, float q, std::span<float> resp_re,
                        std::span<float> resp_im) {
  // The floor is mixed into the kernel, so that the stage stays an exact
  // convolution and the pass band stays flat.
  const float floor = q * std::numbers::sqrt2_v<float>;
  std::array<float, kernel_room> floored{};
  for (int i = 0; i <= n; ++i) floored[i] = (1.0f - floor) * kernel[i];
  floored[n / 2] += floor;

  // A 2n-point transform with 1-based input and n bins in slots 1..n.
  std::array<float, kernel_room> design_scratch;
  std::array<float, response_bins + 1> design_re;
  std::array<float, response_bins + 1> design_im;
  design_transform(floored, design_scratch, design_re, design_im, 2 * n);
  // Slot 1 holds half the DC and half the Nyquist value; both are real.
  resp_re[0] = 2.0f * design_re[1];
  resp_im[0] = 2.0f * design_im[1];
  for (int j = 1; j <= n - 1; ++j) {
    resp_re[j] = design_re[j + 1];
    resp_im[j] = design_im[j + 1];
  }
}

void design_bandpass_filter(int n, float f1, float f2, float q, std::span<float> taps,
                            std::span<float> resp_re, std::span<float> resp_im) {
  band_reject_kernel(f1, f2, n, taps);
  spectral_inversion(taps, n);
  response_from_taps(taps, n, q, resp_re, resp_im);
}

void design_notch_filter(int n, float f1, float f2, float q, std::span<float> taps,
                         std::span<float> resp_re, std::span<float> resp_im) {
  band_reject_kernel(f1, f2, n, taps);
  response_from_taps(taps, n, q, resp_re, resp_im);
}

}  // namespace design
