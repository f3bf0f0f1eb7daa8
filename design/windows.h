// The spectrum display's analysis window. The designers do not read it (they
// weight their kernels themselves), and the chain's transforms run
// unweighted.
#pragma once

#include <span>

namespace design {

// fill_blackman_harris_window: the 4-term Blackman-Harris window over
// fft_size points, table[i] for i = 0..fft_size (fft_size + 1 floats):
//   0.35875 - 0.48829 cos(i s) + 0.14128 cos(2 i s) - 0.01168 cos(3 i s),
// s = 6.2831853 / fft_size rounded to single precision, the rest in double.
// 1.0 at the middle entry, 0.00006 at both ends.
void fill_blackman_harris_window(std::span<float> table, int fft_size);

}  // namespace design
