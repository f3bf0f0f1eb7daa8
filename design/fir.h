// The windowed-sinc FIR design shared by the five filters of the chain.
//
// Conventions every caller needs:
//   - Frequencies are normalised, 0..0.5 cycles per sample (hertz = f x 11025).
//   - n is block_size = 512: a kernel has n + 1 = 513 taps, indices 0..n, its
//     centre at n / 2 = 256. The response comes from a transform of 2n = 1024
//     points and has n = 512 bins of 11025 / 1024 Hz.
//   - A kernel array holds 2n + 1 = 1025 floats (kernel_room): the transform
//     reads taps 1..2n, and taps n + 1..2n must be zero (no designer writes
//     them). Tap 0 does not enter the response, and tap i enters as time
//     sample i - 1, so every designed filter delays by n/2 - 1 = 255 samples
//     (about 23.1 ms).
//   - A response array holds n floats: entry j is bin j for j = 1..n - 1;
//     entry 0 holds the DC value (re) and the Nyquist value (im), both real.
//   - n is at most 512: each design's working arrays live on its own stack,
//     sized for that, so designs on different threads never meet.
//   - Nothing allocates; edges are not validated.
#pragma once

#include <span>

namespace design {

// The 4-term Blackman-Harris weight of tap i of an n + 1 tap kernel:
// 1.0 at i = n / 2, 0.00006 at i = 0 and i = n.
double blackman_harris_weight(int i, int n);

// windowed_sinc_lowpass: writes lowpass[0..n], a lowpass with cutoff fc whose
// taps sum to 1 (unit gain at 0 Hz, -6 dB at fc). A negative fc designs as
// |fc|. fc = 0 yields an all-zero kernel (there is nothing to normalise).
void windowed_sinc_lowpass(float fc, int n, std::span<float> lowpass);

// spectral_inversion: kernel[0..n] becomes its complement (negated, plus a
// unit impulse at n / 2): lowpass to highpass, band-reject to bandpass.
void spectral_inversion(std::span<float> kernel, int n);

// band_reject_kernel: kernel[0..n] = lowpass(f1) + highpass(f2): unit gain
// outside f1..f2, -6 dB at each edge. With f1 > f2 the kernel has gain 2
// between f2 and f1; equal edges give a unit impulse (passes everything).
void band_reject_kernel(float f1, float f2, int n, std::span<float> kernel);

// response_from_taps: the response of kernel[0..n] with a floor of
// f = q x sqrt(2) mixed in: the kernel (1 - f) x kernel + f x (unit impulse
// at tap n / 2), transformed over taps 1..2n (2n-point transform). The
// rejected band passes at magnitude f, the pass band stays at its gain, and
// the response is still that of an n + 1 tap kernel. The kernel itself is
// left as it is. q from 0 to 0.25 (f up to 0.354).
void response_from_taps(std::span<const float> kernel, int n, float q, std::span<float> resp_re,
                        std::span<float> resp_im);

// design_bandpass_filter: taps[0..n] = lowpass(f2) - lowpass(f1), unit gain
// from f1 to f2, then its response with level q. Equal edges give zero taps
// and a response of magnitude q x sqrt(2); f1 > f2 gives the negated
// bandpass.
void design_bandpass_filter(int n, float f1, float f2, float q, std::span<float> taps,
                            std::span<float> resp_re, std::span<float> resp_im);

// design_notch_filter: taps[0..n] = band_reject_kernel(f1, f2), then its
// response with level q. The notch bottom is at magnitude q x sqrt(2).
void design_notch_filter(int n, float f1, float f2, float q, std::span<float> taps,
                         std::span<float> resp_re, std::span<float> resp_im);

}  // namespace design
