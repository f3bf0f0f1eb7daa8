// Spectral noise reduction: tracks the noise floor and suppresses it.
#pragma once

#include <cstdint>
#include <span>

namespace engine {

// The strength control's positions and its start value.
inline constexpr int noise_reduction_strongest = 10;
inline constexpr int noise_reduction_start = 5;

class NoiseReduction {
 public:
  // Strength 1..noise_reduction_strongest.
  void set_strength(int level);
  // Filters one pass of samples in place. Allocates nothing.
  void process(std::span<std::int32_t> samples);
  // Back to a filter that has heard nothing.
  void reset();
};

}  // namespace engine
