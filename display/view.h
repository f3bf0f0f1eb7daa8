// The picture of one pass: the smoothed log spectrum with the filter lines
// over it, or the triggered time trace. Drawn from the display state and the
// pass's samples into an image that the window then copies to the screen.
//
// Drawing coordinates run from x = 0 to 512 and from y = 0 (top) to
// spectrum_height - 1 (bottom); the image must be at least 513 pixels wide
// and spectrum_height high, in QImage::Format_RGB32, and anything drawn
// outside it is clipped.
#pragma once

#include <QImage>
#include <QRgb>
#include <array>
#include <cstdint>
#include <span>

class QPainter;

namespace display {

// One vertical line over the spectrum, from the bottom row to the top.
struct FilterLine {
  bool shown = false;
  int x = 0;        // column in drawing pixels
  QRgb colour = 0;  // opaque
  int width = 1;    // pen width in pixels, 1 or 2
};

// The eight lines in the order they are drawn: bandpass centre, notch 1,
// notch 2, reference, variable-bandpass lower and upper edge, variable-notch
// lower and upper edge.
using FilterLines = std::array<FilterLine, 8>;

// Where the window's controls hold the lines: the bandpass and notch centres
// as x positions in pixels of the current span, the others as bin numbers.
struct LinePositions {
  int bp_x = 0;
  int nf1_x = 0;
  int nf2_x = 0;
  int ref_bin = 0;
  int var_bp_lo_bin = 0;
  int var_bp_hi_bin = 0;
  int var_notch_lo_bin = 0;
  int var_notch_hi_bin = 0;
};

// The eight lines from their positions, the show flags, the filters'
// enable flags (a line is 2 pixels wide while its filter is on; the
// reference line always 1) and spectrum_width (bins are drawn at
// bin x spectrum_width).
FilterLines filter_lines(const LinePositions& at);

// draw_filter_lines: the shown lines, in order, each in its colour and
// width from (x, spectrum_height - 1) to (x, 0); the pen width is 1 after.
void draw_filter_lines(QPainter& painter, const FilterLines& lines);

// draw_pass: the whole picture of one pass. Clears columns 0..512 to white,
// draws the frequency view (display_mode 1, with `lines` over it) or the
// time view (any other mode) of `out` (display_filtered 1) or `raw`, then
// the black bottom row from x = 0 to 512. `out` and `raw` hold the pass's
// 1024 samples. Updates spectrum_average, display_scratch, time_trace and
// trigger_found as it goes. Reads display_window and the display state.
void draw_pass(QImage& bitmap, std::span<const std::int32_t, 1024> out,
               std::span<const std::int32_t, 1024> raw, const FilterLines& lines);

}  // namespace display
