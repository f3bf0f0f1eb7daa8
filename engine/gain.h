// The level controls: the coarse decade step and the fine factor whose
// product scales every output sample, and the display scaling that follows
// the coarse step.
#pragma once

#include <cstdint>
#include <optional>

namespace engine {

// The ranges of the two gain bars.
inline constexpr std::int32_t fine_position_min = 1;
inline constexpr std::int32_t fine_position_max = 100;
inline constexpr std::int32_t coarse_position_min = 1;
inline constexpr std::int32_t coarse_position_max = 7;

// What one coarse position sets: the gain decade and the spectrum display's
// dB scale and offset.
struct CoarseStep {
  float coarse_gain;
  float db_scale;
  float db_offset;
};

// coarse_step: positions 1..7 give decades 1e-5 .. 10 (scale 4..10, offset
// 0..21); any other position gives nothing and changes nothing.
std::optional<CoarseStep> coarse_step(std::int32_t position);

// fine_gain: signal gain = float(fine position) x coarse gain. The positions
// 1..100 and 1..7 span 1e-5 to 1000.
float fine_gain(std::int32_t fine_position, float coarse_gain);

}  // namespace engine
