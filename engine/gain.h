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

// The gain controls' values: the coarse bar's position and the decade it
// set, and the fine bar's position remembered for each view (saved: the
// positions).
struct GainControls {
  float coarse_gain = 1.0f;
  std::int32_t rx_coarse_position = 0;
  std::int32_t gain_position_time = 0;
  std::int32_t gain_position_freq = 0;
};

// fine_gain: signal gain = float(fine position) x coarse gain. The positions
// 1..100 and 1..7 span 1e-5 to 1000.
float fine_gain(std::int32_t fine_position, float coarse_gain);

// bars_gain: the signal gain of the fine bar placed at `fine` and the coarse
// bar at `coarse`, each held within its range.
float bars_gain(std::int32_t fine, std::int32_t coarse);

}  // namespace engine
