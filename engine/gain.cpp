#include "engine/gain.h"

#include <algorithm>
#include <array>

namespace engine {

std::optional<CoarseStep> coarse_step(std::int32_t position) {
  static constexpr std::array<CoarseStep, 7> steps{{
      {1.0e-5f, 4.0f, 0.0f},
      {1.0e-4f, 5.0f, 3.0f},
      {1.0e-3f, 6.0f, 7.0f},
      {0.01f, 7.0f, 11.0f},
      {0.1f, 8.0f, 15.0f},
      {1.0f, 9.0f, 17.0f},
      {10.0f, 10.0f, 21.0f},
  }};
  if (position < 1 || position > 7) return std::nullopt;
  return steps[static_cast<std::size_t>(position - 1)];
}

float fine_gain(std::int32_t fine_position, float coarse_gain) {
  return static_cast<float>(fine_position) * coarse_gain;
}

float bars_gain(std::int32_t fine, std::int32_t coarse) {
  const float coarse_gain =
      coarse_step(std::clamp(coarse, coarse_position_min, coarse_position_max))->coarse_gain;
  return fine_gain(std::clamp(fine, fine_position_min, fine_position_max), coarse_gain);
}

}  // namespace engine
