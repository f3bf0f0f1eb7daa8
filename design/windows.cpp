#include "design/windows.h"

#include <cmath>

namespace design {

void fill_blackman_harris_window(std::span<float> table, int fft_size) {
  // The step is kept in single precision, as the display has always used it.
  const float s = static_cast<float>(6.2831853 / fft_size);
  for (int i = 0; i <= fft_size; ++i) {
    table[i] = static_cast<float>(0.35875 - 0.48829 * std::cos(static_cast<double>(i) * s) +
                                  0.14128 * std::cos(static_cast<double>(2 * i) * s) -
                                  0.01168 * std::cos(static_cast<double>(3 * i) * s));
  }
}

}  // namespace design
