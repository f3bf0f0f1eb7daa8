// Float to integer conversions as the chain does them, for every layer that
// turns its floats into samples or pixels.
#pragma once

#include <cstdint>

namespace design {

// Float to 32-bit integer by truncation toward zero, saturating at the ends
// of the range; NaN gives 0. Written with selects only, so that loops over
// whole arrays vectorise.
inline std::int32_t truncate_to_int32(float value) {
  constexpr float lowest = -2147483648.0f;  // -2^31
  constexpr float highest = 2147483520.0f;  // the largest float below 2^31
  float clamped = value < lowest ? lowest : value;
  clamped = clamped > highest ? highest : clamped;
  clamped = value == value ? clamped : 0.0f;
  const auto truncated = static_cast<std::int32_t>(clamped);
  return value >= 2147483648.0f ? INT32_MAX : truncated;
}

inline std::int32_t truncate_to_int32(double value) {
  constexpr double lowest = -2147483648.0;
  constexpr double highest = 2147483647.0;
  double clamped = value < lowest ? lowest : value;
  clamped = clamped > highest ? highest : clamped;
  clamped = value == value ? clamped : 0.0;
  return static_cast<std::int32_t>(clamped);
}

}  // namespace design
