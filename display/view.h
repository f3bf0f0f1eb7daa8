// The picture of one pass: the smoothed log spectrum with the filter lines
// over it, or the triggered time trace. Drawn from a view's state and the
// pass's samples into an image that the window then copies to the screen.
//
// Drawing coordinates run from column 0 to 512 and from row 0 (top) to
// spectrum_height - 1 (bottom), and are drawn spread over the view's
// picture_width x picture_height pixels by unit_pixel (mapping.h): at the
// start size, 513 x 197, a unit is a pixel. Lines are one pixel wide (two
// for a filter that is on) at any size. The image must be at least the
// picture's size, in QImage::Format_RGB32, and anything drawn outside it is
// clipped.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRgb>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "design/filter.h"
#include "display/response.h"
#include "display/waterfall.h"

class QPainter;

namespace display {

// What the display shows and how, its working arrays and the state of the
// filter lines. Written by the display buttons, the gain controls and the
// line handlers; the arrays only by the drawing.
class View {
 public:
  // The start state: a 197-pixel drawing of the filtered signal's line
  // spectrum over the full span, unit dB scale, every line hidden and free
  // to be caught.
  View();

  std::int32_t spectrum_height = 197;  // rows of the drawing
  std::int32_t picture_width = 513;    // pixels the columns 0..512 spread over
  std::int32_t picture_height = 197;   // pixels the rows spread over
  std::int32_t display_mode = 1;       // 1 = frequency view, 2 = time view (saved)
  bool display_filtered = true;        // the output shown, else the raw input (saved)
  bool spectrum_bars = false;          // bars, else a line spectrum (saved)
  std::int32_t spectrum_width = 1;     // span: 1 full, 2 half, 4 quarter (saved)
  std::int32_t time_gain = 0;          // amplitude factor of the time view
  float spectrum_gain = 0.0f;          // power factor of the frequency view
  std::int32_t time_baseline = 98;     // zero line of the time view, half the height
  float db_scale = 1.0f;               // factor on the log spectrum
  float db_offset = 1.0f;              // offset subtracted from the log spectrum

  // Working arrays of the frequency view, indexed from 1 like the
  // transform's: the power spectrum and then its scaled logarithm (entries
  // 1..1024), the transform's output (1..512), and the running average of
  // the scaled log spectrum, entry i for bin i (1..512), kept for the whole
  // run.
  std::array<float, 1025> display_scratch{};
  std::array<float, 513> display_spectrum_re{};
  std::array<float, 513> display_spectrum_im{};
  std::array<float, 513> spectrum_average{};

  // The time view: the scaled samples of the pass and whether it triggered.
  std::array<std::int32_t, 1024> time_trace{};
  bool trigger_found = false;

  // The spectrum's analysis window (Blackman-Harris), entries 0..1024.
  design::WindowTable display_window{};

  // Show flags of the filter lines, written only by the line switches and
  // the settings reader (saved, except the two variable-notch edge flags,
  // which follow var_notch_line_on).
  bool bp_line_on = false;
  bool nf1_line_on = false;
  bool nf2_line_on = false;
  bool var_bp_lo_line_on = false;
  bool var_bp_hi_line_on = false;
  bool var_notch_line_on = false;
  bool var_notch_lo_line_on = false;
  bool var_notch_hi_line_on = false;

  // The reference line (saved).
  bool ref_line_on = false;
  std::int32_t ref_position = 0;

  // Dragging: which lines may be caught (true = free), and how close the
  // pointer must come to catch or keep one (see drag.h).
  bool bp_grab = true;
  bool nf1_grab = true;
  bool nf2_grab = true;
  bool var_bp_lo_grab = true;
  bool var_bp_hi_grab = true;
  bool var_notch_lo_grab = true;
  bool var_notch_hi_grab = true;
  bool ref_grab = true;
  std::int32_t grab_margin_left = 3;
  std::int32_t grab_margin_right = 3;

  // Vertices of one picture's line, kept between passes so that drawing
  // needs no allocation.
  std::array<QPoint, 1025> vertices;

  // The response curve's rows in each picture column, from its top to the
  // lowest row that joins it to the column before; sized when the picture's
  // width changes. 16 bits, so that the compiler knows the picture's pixels
  // never overlap them.
  std::vector<std::int16_t> curve_top;
  std::vector<std::int16_t> curve_bottom;
};

// One vertical line over the spectrum, from the bottom row to the top.
struct FilterLine {
  bool shown = false;
  int x = 0;        // column in drawing pixels
  QRgb colour = 0;  // opaque
  int width = 1;    // pen width in pixels, 1 or 2
};

// Lines of the automatic notch: the first this many of the frequencies it
// notches are drawn.
inline constexpr int auto_notch_line_count = 8;

// The lines in the order they are drawn: bandpass centre, notch 1, notch 2,
// reference, variable-bandpass lower and upper edge, variable-notch lower and
// upper edge, then the automatic notch's.
using FilterLines = std::array<FilterLine, 8 + auto_notch_line_count>;

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

// Which of the filters are on: their lines are drawn 2 pixels wide.
struct FiltersOn {
  bool bp = false;
  bool nf1 = false;
  bool nf2 = false;
  bool var_bp = false;
  bool var_notch = false;
};

// The lines from their positions, the view's show flags, the filters that
// are on (the reference line is always 1 pixel wide) and the view's
// spectrum_width (bins are drawn at bin x spectrum_width). `notched` holds
// the frequencies in hertz the automatic notch takes out, empty while it is
// off: each is drawn 1 pixel wide in orange at the column of its nearest bin
// (see hz_column); those beyond auto_notch_line_count, and any outside
// 0..5512.5 Hz, are not.
FilterLines filter_lines(const View& view, const LinePositions& at, const FiltersOn& on,
                         std::span<const float> notched = {});

// draw_filter_lines: the shown lines, in order, each in its colour and
// width from the view's bottom row to its top at the pixel of column x; the
// pen width is 1 after.
void draw_filter_lines(QPainter& painter, const FilterLines& lines, const View& view);

// What a pass draws besides its picture, each when given: the waterfall,
// which takes the pass's spectrum as its newest row and is drawn into
// `waterfall_image` (RGB32, at least picture_width pixels wide, its rows
// covering the waterfall's rows),
// and the chain's response under the frequency view's spectrum.
struct PassExtras {
  Waterfall* waterfall = nullptr;
  QImage* waterfall_image = nullptr;
  const ResponseDb* response = nullptr;
  // The chain's combined response, for the waterfall's floor while it shows
  // the filtered signal (see Waterfall::add_row).
  const ResponseDb* passband = nullptr;
};

// The frequency view's level at bin `bin` (1..512) of its running average,
// in dB of full scale: 0 dB where a cosine of amplitude 32767 on the bin
// stands, the spectrum gain taken out (so the gain bars move the line, not
// the reading).
float level_dbfs(const View& view, int bin);

// draw_pass: the whole picture of one pass. Clears the picture to white,
// draws the frequency view (display_mode 1, over the response when given,
// with `lines` over it) or the time view (any other mode) of `out`
// (display_filtered 1) or `raw`, then the black bottom row from column 0
// to 512. `out` and `raw` hold the pass's 1024 samples. With a waterfall, its
// row comes from the same samples' spectrum, in either view, with the
// span's bins and a colour range of half spectrum_height units. Updates the
// view's spectrum_average, display_scratch, time_trace and trigger_found as
// it goes. Allocates nothing once a picture of the same width has been
// drawn.
void draw_pass(View& view, QImage& bitmap, std::span<const std::int32_t, 1024> out,
               std::span<const std::int32_t, 1024> raw, const FilterLines& lines,
               const PassExtras& extras = {});

}  // namespace display
