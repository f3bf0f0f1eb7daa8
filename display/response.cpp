#include "display/response.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "display/mapping.h"
#include "display/view.h"

namespace display {
namespace {

constexpr double floor_power = 1e-20;  // response_floor_db as a power ratio

}  // namespace

void combined_response_db(std::span<const StageResponse> stages, ResponseDb& db) {
  std::array<double, response_points> power;
  power.fill(1.0);
  for (const StageResponse& stage : stages) {
    if (!stage.on) continue;
    const design::DesignedFilter& f = *stage.filter;
    power[0] *= double{f.re[0]} * f.re[0];
    power[response_points - 1] *= double{f.im[0]} * f.im[0];
    for (std::size_t j = 1; j < design::response_bins; ++j) {
      power[j] *= double{f.re[j]} * f.re[j] + double{f.im[j]} * f.im[j];
    }
  }
  for (std::size_t j = 0; j < db.size(); ++j) {
    db[j] = static_cast<float>(10.0 * std::log10(std::max(power[j], floor_power)));
  }
}

ResponseCurve::ResponseCurve() { db_.fill(0.0f); }

bool ResponseCurve::update(std::span<const StageResponse, response_stages> stages) {
  bool changed = false;
  for (std::size_t k = 0; k < stages.size(); ++k) {
    const StageResponse& stage = stages[k];
    if (stage.on != on_[k]) changed = true;
    if (stage.on && (std::memcmp(stage.filter->re.data(), re_[k].data(), sizeof(re_[k])) != 0 ||
                     std::memcmp(stage.filter->im.data(), im_[k].data(), sizeof(im_[k])) != 0)) {
      changed = true;
    }
  }
  if (!changed) return false;
  for (std::size_t k = 0; k < stages.size(); ++k) {
    on_[k] = stages[k].on;
    if (stages[k].on) {
      re_[k] = stages[k].filter->re;
      im_[k] = stages[k].filter->im;
    }
  }
  combined_response_db(stages, db_);
  return true;
}

int response_row(float db, float db_scale, int spectrum_height) {
  const double rows_per_db = double{db_scale} * std::numbers::ln10 / 10.0;
  const long row = response_top_row + std::lround(-double{db} * rows_per_db);
  return static_cast<int>(std::clamp<long>(row, 0, std::max(spectrum_height - 2, 0)));
}

void draw_response(View& view, QImage& bitmap, const ResponseDb& db) {
  const int span = view.spectrum_width;
  const int h = view.spectrum_height;
  const int columns = std::min(view.picture_width, bitmap.width());
  auto& top = view.curve_top;
  auto& bottom = view.curve_bottom;
  top.resize(static_cast<std::size_t>(std::max(columns, 0)));
  bottom.resize(top.size());
  // Per pixel column, the curve's rows from `top` to `bottom`, joined to the
  // column before; the column under pixel x is x x 512 / (width - 1).
  const double columns_per_pixel = 512.0 / std::max(view.picture_width - 1, 1);
  int previous = -1;
  for (int x = 0; x < columns; ++x) {
    // Bin j at column (j + 1) x span; left of bin 0's column, bin 0.
    const double from_bin_0 = std::max(x * columns_per_pixel - span, 0.0) / span;
    const int bin = std::min(static_cast<int>(from_bin_0), response_points - 1);
    const int next = std::min(bin + 1, response_points - 1);
    const auto f = static_cast<float>(from_bin_0 - bin);
    const auto at = [&db](int i) { return db[static_cast<std::size_t>(i)]; };
    const int row = response_row(at(bin) + (at(next) - at(bin)) * f, view.db_scale, h);
    const int y = unit_pixel(row, h - 1, view.picture_height);
    top[static_cast<std::size_t>(x)] =
        static_cast<std::int16_t>(previous < 0 ? y : std::min(y, previous));
    bottom[static_cast<std::size_t>(x)] =
        static_cast<std::int16_t>(previous < 0 ? y : std::max(y, previous));
    previous = y;
  }
  // The tint stops above the bottom row.
  const int last_row =
      std::min(unit_pixel(h - 1, h - 1, view.picture_height) - 1, bitmap.height() - 1);
  const std::int16_t* tops = top.data();
  const std::int16_t* bottoms = bottom.data();
  for (int row = 0; row <= last_row; ++row) {
    auto* pixels = reinterpret_cast<QRgb*>(bitmap.scanLine(row));
    for (int x = 0; x < columns; ++x) {
      if (row < tops[x]) continue;
      pixels[x] = row <= bottoms[x] ? response_colour : response_fill;
    }
  }
}

}  // namespace display
