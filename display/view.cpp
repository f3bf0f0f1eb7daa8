#include "display/view.h"

#include <QPainter>
#include <QPen>
#include <QPoint>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "design/Rfft_ifft.h"
#include "design/rounding.h"
#include "design/windows.h"
#include "display/mapping.h"
#include "files/wave_format.h"

namespace display {
namespace {

constexpr QRgb white = qRgb(255, 255, 255);
constexpr QRgb black = qRgb(0, 0, 0);
constexpr QRgb blue = qRgb(0, 0, 255);
constexpr QRgb red = qRgb(255, 0, 0);
constexpr QRgb magenta = qRgb(255, 0, 255);
constexpr QRgb dark_green = qRgb(0, 128, 0);
constexpr QRgb purple = qRgb(128, 0, 128);
constexpr QRgb orange = qRgb(255, 140, 0);

constexpr int points = files::chain_pass_samples;  // samples of a pass, points of the transform
constexpr int last_column = 512;                   // columns 0..512 are drawn

// Bins drawn in a span: 512, 256 or 128; none for an unknown span code.
int bins_in_span(int span) {
  switch (span) {
    case 1:
    case 2:
    case 4:
      return last_column / span;
    default:
      return 0;
  }
}

// The picture's pixel of column x and of row y.
int column_pixel(const View& view, int x) { return unit_pixel(x, last_column, view.picture_width); }
int row_pixel(const View& view, int y) {
  return unit_pixel(y, view.spectrum_height - 1, view.picture_height);
}

// The first `count` vertices from drawing units to the picture's pixels.
void vertices_to_pixels(View& view, int count) {
  for (int i = 0; i < count; ++i) {
    QPoint& v = view.vertices[static_cast<std::size_t>(i)];
    v = QPoint(column_pixel(view, v.x()), row_pixel(view, v.y()));
  }
}

// Rows of the picture that the image holds.
int picture_rows(const View& view, const QImage& bitmap) {
  return std::min(view.picture_height, bitmap.height());
}

// Bars are one pixel wide and black from their top to the bottom row; they
// are written straight into the rows, which costs a tenth of stroking them.
// In the frequency view vertex i, in pixels, is the top of bin i.
void draw_bars(const View& view, QImage& bitmap, int bins) {
  const int rows = picture_rows(view, bitmap);
  for (int y = 0; y < rows; ++y) {
    auto* row = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
    for (int i = 1; i <= bins; ++i) {
      const QPoint& top = view.vertices[static_cast<std::size_t>(i)];
      if (y >= top.y()) row[top.x()] = black;
    }
  }
}

// The frequency view's spectrum: the scaled log power of every bin, the
// running average of the bins in the span and their tops in `vertices`.
// Returns the number of bins drawn.
int measure_spectrum(View& view, std::span<const std::int32_t, points> samples) {
  auto& display_scratch = view.display_scratch;
  auto& spectrum_average = view.spectrum_average;
  auto& vertices = view.vertices;
  design::power_spectrum(display_scratch, view.display_spectrum_re, view.display_spectrum_im,
                         points, samples, view.display_window, 0);
  // Scaled natural logarithm; a power below 1 (after the gain) is the floor.
  for (int i = 1; i <= points; ++i) {
    const float v = std::max(display_scratch[i] * view.spectrum_gain, 1.0f);
    display_scratch[i] = (std::log(v) - view.db_offset) * view.db_scale;
  }

  const int h = view.spectrum_height;
  // The line starts at bin 1's value on the left edge; bin 0 (DC and
  // Nyquist) is drawn with bin 1's value too.
  vertices[0] = QPoint(0, h - design::truncate_to_int32(display_scratch[2]));
  display_scratch[1] = display_scratch[2];

  const int span = view.spectrum_width;
  const int bins = bins_in_span(span);
  for (int i = 1; i <= bins; ++i) {
    spectrum_average[i] = (spectrum_average[i] + display_scratch[i]) * 0.5f;
    const std::int32_t level = design::truncate_to_int32(spectrum_average[i]);
    const std::int32_t bar_height = level > h - 6 ? h : level + 6;
    vertices[static_cast<std::size_t>(i)] = QPoint(bin_column(i, span), h - bar_height);
  }
  return bins;
}

// The whole picture white. Written straight into the rows, like the bars,
// so that a pass sets up one painter only.
void clear(const View& view, QImage& bitmap) {
  const int rows = picture_rows(view, bitmap);
  const int columns = std::min(view.picture_width, bitmap.width());
  if (rows <= 0 || columns <= 0) return;
  auto* first = reinterpret_cast<QRgb*>(bitmap.scanLine(0));
  std::fill(first, first + columns, white);
  const std::size_t row_bytes = sizeof(QRgb) * static_cast<std::size_t>(columns);
  for (int y = 1; y < rows; ++y) std::memcpy(bitmap.scanLine(y), first, row_bytes);
}

// The time view draws from its trigger on: the first rising sample whose
// scaled value lies between the floor and 9, for at most 512 columns.
void draw_time_view(View& view, QPainter& painter, std::span<const std::int32_t, points> out,
                    std::span<const std::int32_t, points> raw) {
  auto& time_trace = view.time_trace;
  auto& trigger_found = view.trigger_found;
  auto& vertices = view.vertices;
  const std::int32_t time_gain = view.time_gain;
  const std::int32_t time_baseline = view.time_baseline;
  trigger_found = false;
  const bool filtered = view.display_filtered;
  const std::span<const std::int32_t, points> source = filtered ? out : raw;
  const std::int32_t floor = filtered ? 4 : 6;
  // A sample far beyond the picture is kept far beyond it, within reach of
  // the pixel arithmetic.
  const auto scaled = [time_gain](std::int32_t sample) {
    constexpr std::int64_t beyond = 1 << 20;
    return static_cast<std::int32_t>(
        std::clamp(std::int64_t{sample} * time_gain / 2000, -beyond, beyond));
  };

  time_trace[0] = scaled(source[0]);
  time_trace[1] = time_trace[0];
  int x = 0;
  int count = 0;
  for (int j = 1; j < points && x < last_column; ++j) {
    time_trace[j] = scaled(source[j]);
    const std::int32_t v = time_trace[j];
    if (v > time_trace[j - 1] && floor <= v && v <= 9) trigger_found = true;
    if (trigger_found) {
      if (count == 0) vertices[count++] = QPoint(x - 1, time_baseline - time_trace[j - 1]);
      vertices[count++] = QPoint(x, time_baseline - v);
      ++x;
    }
  }
  if (count > 0) {
    vertices_to_pixels(view, count);
    painter.setPen(QPen(QColor(black), 1));
    painter.drawPolyline(vertices.data(), count);
  }
}

}  // namespace

View::View() { design::fill_blackman_harris_window(display_window, design::fft_size); }

FilterLines filter_lines(const View& view, const LinePositions& at, const FiltersOn& on,
                         std::span<const float> notched) {
  const int span = view.spectrum_width;
  const auto width = [](bool filter_on) { return filter_on ? 2 : 1; };
  FilterLines lines{{
      {view.bp_line_on, at.bp_x, blue, width(on.bp)},
      {view.nf1_line_on, at.nf1_x, red, width(on.nf1)},
      {view.nf2_line_on, at.nf2_x, red, width(on.nf2)},
      {view.ref_line_on, bin_column(at.ref_bin, span), magenta, 1},
      {view.var_bp_lo_line_on, bin_column(at.var_bp_lo_bin, span), dark_green, width(on.var_bp)},
      {view.var_bp_hi_line_on, bin_column(at.var_bp_hi_bin, span), dark_green, width(on.var_bp)},
      {view.var_notch_lo_line_on, bin_column(at.var_notch_lo_bin, span), purple,
       width(on.var_notch)},
      {view.var_notch_hi_line_on, bin_column(at.var_notch_hi_bin, span), purple,
       width(on.var_notch)},
  }};
  const std::size_t drawn = std::min(notched.size(), std::size_t{auto_notch_line_count});
  for (std::size_t k = 0; k < drawn; ++k) {
    if (const std::optional<int> x = hz_column(notched[k], span)) {
      lines[8 + k] = {true, *x, orange, 1};
    }
  }
  return lines;
}

void draw_filter_lines(QPainter& painter, const FilterLines& lines, const View& view) {
  const int bottom = row_pixel(view, view.spectrum_height - 1);
  for (const FilterLine& line : lines) {
    if (!line.shown) continue;
    const int x = column_pixel(view, line.x);
    painter.setPen(QPen(QColor(line.colour), line.width));
    painter.drawLine(x, bottom, x, 0);
  }
  painter.setPen(QPen(painter.pen().color(), 1));
}

float level_dbfs(const View& view, int bin) {
  // A cosine of amplitude A on a bin gives A x (sum of the window) / 2 there.
  double window_sum = 0.0;
  for (int i = 1; i <= points; ++i) window_sum += view.display_window[static_cast<std::size_t>(i)];
  const double full_scale_db = 20.0 * std::log10(32767.0 * window_sum / 2.0);
  const double shown =
      level_db(view.spectrum_average[static_cast<std::size_t>(bin)], view.db_scale, view.db_offset);
  return static_cast<float>(shown - 10.0 * std::log10(double{view.spectrum_gain}) - full_scale_db);
}

void draw_pass(View& view, QImage& bitmap, std::span<const std::int32_t, 1024> out,
               std::span<const std::int32_t, 1024> raw, const FilterLines& lines,
               const PassExtras& extras) {
  clear(view, bitmap);
  const bool frequency_view = view.display_mode == 1;
  const bool waterfall = extras.waterfall != nullptr && bins_in_span(view.spectrum_width) > 0;
  const int bins =
      frequency_view || waterfall ? measure_spectrum(view, view.display_filtered ? out : raw) : 0;
  if (waterfall) {
    extras.waterfall->add_row(
        std::span<const float, waterfall_bins>(view.display_scratch.data(), waterfall_bins), bins,
        static_cast<float>(view.spectrum_height) / 2.0f,
        view.display_filtered && extras.passband != nullptr
            ? std::span<const float>(*extras.passband)
            : std::span<const float>{});
    extras.waterfall->draw(*extras.waterfall_image, view.spectrum_width, view.picture_width);
  }
  if (frequency_view && bins > 0 && extras.response != nullptr) {
    draw_response(view, bitmap, *extras.response);
  }
  if (frequency_view) vertices_to_pixels(view, bins + 1);
  if (frequency_view && view.spectrum_bars) draw_bars(view, bitmap, bins);

  QPainter painter(&bitmap);
  if (frequency_view) {
    if (!view.spectrum_bars) {
      painter.setPen(QPen(QColor(black), 1));
      painter.drawPolyline(view.vertices.data(), bins + 1);
    }
    draw_filter_lines(painter, lines, view);
  } else {
    draw_time_view(view, painter, out, raw);
  }
  painter.setPen(QPen(QColor(black), 1));
  const int bottom = row_pixel(view, view.spectrum_height - 1);
  painter.drawLine(0, bottom, column_pixel(view, last_column), bottom);
}

}  // namespace display
