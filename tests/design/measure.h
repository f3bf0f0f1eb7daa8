// Measurements the design tests make on kernels and responses, in double
// precision and independent of the program's own transform.
#pragma once

#include <cmath>
#include <complex>
#include <numbers>
#include <span>

namespace design_test {

// Response of taps 0..512 at `hz` (11025 Hz sampling), evaluated directly
// rather than at the 10.77 Hz bins.
inline std::complex<double> kernel_response(std::span<const float> taps, double hz) {
  std::complex<double> sum{};
  for (int i = 0; i <= 512; ++i) {
    sum +=
        static_cast<double>(taps[i]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * i / 11025.0);
  }
  return sum;
}

inline double db(double magnitude) { return 20.0 * std::log10(magnitude); }

inline double kernel_db(std::span<const float> taps, double hz) {
  return db(std::abs(kernel_response(taps, hz)));
}

inline double bin_magnitude(std::span<const float> re, std::span<const float> im, int bin) {
  return std::hypot(static_cast<double>(re[bin]), static_cast<double>(im[bin]));
}

}  // namespace design_test
