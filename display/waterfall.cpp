#include "display/waterfall.h"

#include <algorithm>
#include <cmath>

#include "display/mapping.h"

namespace display {
namespace {

// Passes' weight in the running lower quartile: about 20 passes, 2 s.
constexpr float quartile_weight = 0.05f;

struct Stop {
  float r, g, b;
};
constexpr std::array<Stop, 4> stops{{
    {0.0f, 0.0f, 96.0f},     // dark blue
    {0.0f, 224.0f, 255.0f},  // cyan
    {255.0f, 240.0f, 0.0f},  // yellow
    {255.0f, 255.0f, 255.0f},
}};

}  // namespace

QRgb waterfall_colour(float t) {
  const float at = std::clamp(t, 0.0f, 1.0f) * static_cast<float>(stops.size() - 1);
  const auto lower = std::min(static_cast<std::size_t>(at), stops.size() - 2);
  const float f = at - static_cast<float>(lower);
  const Stop& a = stops[lower];
  const Stop& b = stops[lower + 1];
  const auto mix = [f](float x, float y) { return static_cast<int>(std::lround(x + (y - x) * f)); };
  return qRgb(mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b));
}

Waterfall::Waterfall() {
  for (std::size_t i = 0; i < colours_.size(); ++i) {
    colours_[i] = waterfall_colour(static_cast<float>(i) / 255.0f);
  }
}

void Waterfall::clear() {
  ring_.fill(0);
  newest_ = 0;
  tracking_ = false;
  black_point_ = 0.0f;
}

void Waterfall::add_row(std::span<const float, waterfall_bins> levels, int bins, float range,
                        std::span<const float> passband) {
  const int shown = std::clamp(bins, 1, waterfall_bins - 1);
  // Entry i holds transform bin i - 1, whose response is passband[i - 1].
  int counted = 0;
  if (passband.size() >= static_cast<std::size_t>(shown)) {
    const float highest = *std::max_element(passband.begin(), passband.begin() + shown);
    for (int i = 1; i <= shown; ++i) {
      if (passband[static_cast<std::size_t>(i - 1)] >= highest - 10.0f) {
        sorted_[static_cast<std::size_t>(counted++)] = levels[static_cast<std::size_t>(i)];
      }
    }
  } else {
    std::copy(levels.begin() + 1, levels.begin() + 1 + shown, sorted_.begin());
    counted = shown;
  }
  const auto quartile = sorted_.begin() + counted / 4;
  std::nth_element(sorted_.begin(), quartile, sorted_.begin() + counted);
  quartile_ = tracking_ ? quartile_ + (*quartile - quartile_) * quartile_weight : *quartile;
  tracking_ = true;
  black_point_ = quartile_ - range / 8.0f;

  newest_ = (newest_ + 1) % waterfall_rows;
  std::uint8_t* row = ring_.data() + static_cast<std::ptrdiff_t>(newest_) * waterfall_bins;
  const float per_unit = 255.0f / range;
  for (int i = 1; i < waterfall_bins; ++i) {
    const float index =
        std::clamp((levels[static_cast<std::size_t>(i)] - black_point_) * per_unit, 0.0f, 255.0f);
    row[i] = static_cast<std::uint8_t>(index + 0.5f);
  }
  row[0] = row[1];
}

void Waterfall::draw(QImage& image, int span, int width) {
  const int columns = std::min(width, image.width());
  if (static_cast<int>(column_bins_.size()) != columns || bins_width_ != width ||
      bins_span_ != span) {
    column_bins_.resize(static_cast<std::size_t>(std::max(columns, 0)));
    for (int x = 0; x < columns; ++x) {
      column_bins_[static_cast<std::size_t>(x)] =
          static_cast<std::uint16_t>(nearest_bin(pixel_unit(x, waterfall_bins - 1, width), span));
    }
    bins_width_ = width;
    bins_span_ = span;
  }
  const int rows = image.height();
  const std::uint16_t* bins = column_bins_.data();
  const QRgb* colours = colours_.data();
  for (int y = 0; y < rows; ++y) {
    const int kept = (newest_ - y * waterfall_rows / rows + waterfall_rows) % waterfall_rows;
    const std::uint8_t* from = ring_.data() + static_cast<std::ptrdiff_t>(kept) * waterfall_bins;
    auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < columns; ++x) to[x] = colours[from[bins[x]]];
  }
}

}  // namespace display
