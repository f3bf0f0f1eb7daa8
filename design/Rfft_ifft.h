// The program's Fourier transforms: a forward transform of a block of real
// samples and its inverse, both built on one complex radix-2 FFT of half the
// block length (the even samples as real parts, the odd ones as imaginary).
//
// Conventions every caller needs:
//   - Arrays are indexed from 1; element 0 is never read or written. A real
//     block of `a` samples occupies data[1..a] (sample m at index m + 1), so a
//     data array needs a + 1 floats. A spectrum of N = a / 2 bins occupies
//     re[1..N] and im[1..N], so each needs N + 1 floats.
//   - Index k + 1 holds bin k, X_k = sum_m x_m e^(-2 pi i k m / a), unnormalised.
//     Index 1 packs two real values: re[1] = X_0 / 2, im[1] = X_N / 2.
//   - The inverse scales by 2 / a, so inverse(forward(x)) = x except that the
//     mean and the Nyquist component come back at half their value.
//   - `a` is a power of two from 4 to 65536. Arrays shorter than stated are
//     the caller's error.
//   - Single-precision arithmetic throughout; square roots, sines and cosines
//     are taken in double precision and rounded to single. No allocation;
//     static tables keep the rotations of each direction and the
//     bit-reversal swaps of each size, filled once at the size's first
//     call (which costs about one more transform) and only read after.
//     Any number of threads may transform at once, on arrays of their own.
#pragma once

#include <cstdint>
#include <span>

namespace design {

// real_fft: forward transform of data[1..a] into re[1..a/2], im[1..a/2].
// `data` is left unchanged.
void real_fft(std::span<const float> data, std::span<float> re, std::span<float> im, int a);

// inverse_real_fft: inverse transform of re[1..a/2], im[1..a/2] into
// out[1..a], scaled by 2 / a. `re` and `im` are overwritten with
// intermediate values.
void inverse_real_fft(std::span<float> out, std::span<float> re, std::span<float> im, int a);

// power_spectrum: data[i] = float(samples[start + i - 1]) * window[i] for
// i = 1..a (window is indexed from 1 too), then the forward transform into
// re, im, then data[k] = re[k]^2 + im[k]^2 for k = 1..a/2. data[a/2+1..a]
// keep the windowed samples. Index 1's power is (X_0/2)^2 + (X_N/2)^2.
void power_spectrum(std::span<float> data, std::span<float> re, std::span<float> im, int a,
                    std::span<const std::int32_t> samples, std::span<const float> window,
                    int start);

// design_transform: scratch[i] = source[i] for i = 1..a, then the forward
// transform of scratch into re, im. No window. A kernel with tap i at
// source[i] thus enters as time sample i - 1; source[0] does not enter.
void design_transform(std::span<const float> source, std::span<float> scratch, std::span<float> re,
                      std::span<float> im, int a);

}  // namespace design
