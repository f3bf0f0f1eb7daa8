#include "display/mapping.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "design/rounding.h"
#include "files/wave_format.h"

namespace display {
namespace {

// round(num / den) for den > 0, halves up, for either sign of num.
int rounded_ratio(std::int64_t num, std::int64_t den) {
  const std::int64_t n = 2 * num + den;
  const std::int64_t d = 2 * den;
  return static_cast<int>(n >= 0 ? n / d : -((-n + d - 1) / d));
}

}  // namespace

int unit_pixel(int unit, int last, int pixels) {
  return rounded_ratio(std::int64_t{unit} * std::max(pixels - 1, 1), last);
}

int pixel_unit(int pixel, int last, int pixels) {
  return rounded_ratio(std::int64_t{pixel} * last, std::max(pixels - 1, 1));
}

int centre_column(float centre, int span) {
  const std::int32_t column = design::truncate_to_int32(centre + 1.0f);
  // Saturate rather than overflow: the track bar clamps to 1..512 anyway.
  const std::int64_t x = std::int64_t{column} * span;
  if (x > INT32_MAX) return INT32_MAX;
  if (x < INT32_MIN) return INT32_MIN;
  return static_cast<int>(x);
}

std::optional<float> column_centre(int x, int span) {
  const float from_left = static_cast<float>(x - 1);
  switch (span) {
    case 1:
      return from_left * 1.0f;
    case 2:
      return from_left * 0.5f;
    case 4:
      return from_left * 0.25f;
    default:
      return std::nullopt;
  }
}

std::optional<int> hz_column(float hz, int span) {
  // Written so that NaN fails the test.
  if (!(hz >= 0.0f && hz <= 5512.5f)) return std::nullopt;
  const long bin =
      std::lround(static_cast<double>(hz) * files::chain_pass_samples / files::chain_rate);
  return static_cast<int>(bin) * span;
}

float level_db(float level, float db_scale, float db_offset) {
  return (level / db_scale + db_offset) * static_cast<float>(10.0 / std::numbers::ln10);
}

std::optional<int> next_span(int span) {
  switch (span) {
    case 4:
      return 1;
    case 1:
      return 2;
    case 2:
      return 4;
    default:
      return std::nullopt;
  }
}

std::string_view span_caption(int span) {
  switch (span) {
    case 2:
      return "Half";
    case 4:
      return "Quarter";
    default:
      return "Full";
  }
}

std::string_view span_top_frequency(int span) {
  switch (span) {
    case 2:
      return "2756 Hz";
    case 4:
      return "1378 Hz";
    default:
      return "5512 Hz";
  }
}

}  // namespace display
