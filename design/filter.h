// The sizes and the value types of the filter design: a designed filter (its
// kernel and the response the chain multiplies in) and a pair of band edges.
//
// Units: band edges are normalised frequency (0..0.5 cycles per sample,
// hertz = f x 11025).
#pragma once

#include <array>

#include "files/wave_format.h"

namespace design {

// Samples per filter segment; a kernel has block_size + 1 taps and the
// response comes from a transform of fft_size points.
inline constexpr int block_size = files::chain_segment_samples;
inline constexpr int fft_size = 2 * block_size;

// Sizes of the design arrays. A kernel has taps 0..512; the design transform
// reads taps 1..1024, so a kernel array holds 1025 floats and taps 513..1024
// stay zero. A response has one entry per bin of the 1024-point transform,
// bins 0..511. A window table covers entries 0..fft_size.
inline constexpr int kernel_room = 1025;
inline constexpr int response_bins = 512;
inline constexpr int window_room = 1025;

using Kernel = std::array<float, kernel_room>;
using Response = std::array<float, response_bins>;
using WindowTable = std::array<float, window_room>;

// The minimum-phase form of a design, for the low-latency passes: 512 taps
// (time samples 0..511) cut into partition_count partitions of
// partition_size taps, each with the spectrum of a 2 x partition_size point
// transform (its taps then as many zeros). A spectrum has bin j at entry j
// for j = 1..partition_size - 1; entry 0 holds the real DC value (re) and
// the real Nyquist value (im), as a Response does.
inline constexpr int min_phase_taps = 512;
inline constexpr int partition_size = 128;
inline constexpr int partition_count = min_phase_taps / partition_size;

using PartitionSpectrum = std::array<float, partition_size>;

struct MinimumPhase {
  std::array<float, min_phase_taps> taps{};
  std::array<PartitionSpectrum, partition_count> re{};
  std::array<PartitionSpectrum, partition_count> im{};
  bool operator==(const MinimumPhase&) const = default;
};

// The two band edges of a filter, lower first.
struct Edges {
  float lo = 0.0f;
  float hi = 0.0f;
};

// A designed filter: the kernel, and the response a stage multiplies in,
// with the Q-level's floor (see response_from_taps). The response has bin j
// at entry j for j = 1..511; entry 0 holds the real DC value (re) and the
// real Nyquist value (im). min_phase has the magnitude of that response with
// no delay beyond what a minimum phase takes (see minimum_phase.h); a
// default-constructed filter is all zero in both forms.
struct DesignedFilter {
  Kernel taps{};
  Response re{};
  Response im{};
  MinimumPhase min_phase{};
};

}  // namespace design
