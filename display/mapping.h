// Pixels, bins, centres and hertz on the spectrum display. Pure functions.
//
// The spectrum has 512 bins of 11025 / 1024 Hz (about 10.77 Hz) each. The
// span code (spectrum_width) is 1 for the full span (bins 1..512), 2 for
// half (bins 1..256) and 4 for quarter (bins 1..128); bin i is drawn at
// column x = i x span. The bandpass and notch centres are floats in
// full-span columns (frequency = centre / 1024 of the sample rate).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace display {

// The column at which bin `bin` is drawn.
constexpr int bin_column(int bin, int span) { return bin * span; }

// The bin under column x: x / span, truncated toward zero.
constexpr int column_bin(int x, int span) { return x / span; }

// The column of a centre's line: trunc(centre + 1) x span, before the
// track bar clamps it to 1..512. NaN gives 0; huge values saturate.
int centre_column(float centre, int span);

// The centre of a line released at column x: (x - 1) x 1, 0.5 or 0.25 for
// span 1, 2 or 4; none for any other span.
std::optional<float> column_centre(int x, int span);

// The column of the bin nearest to `hz`: round(hz x 1024 / 11025) x span.
// None for a frequency outside 0 .. 5512.5 Hz (or NaN); a column beyond 512
// lies outside a narrow span's drawing.
std::optional<int> hz_column(float hz, int span);

// A drawing's units over a picture's pixels: unit u of 0..last (the
// columns 0..512, or the spectrum's rows) stands at pixel
// round(u x (pixels - 1) / last) of a picture `pixels` wide (or high), so
// that the first and the last unit land on its edges; a picture of last + 1
// pixels draws unit u at pixel u. Rounds halves up; pixels >= 2.
int unit_pixel(int unit, int last, int pixels);

// The unit nearest to pixel p, the inverse: round(p x last / (pixels - 1)).
// For pixels >= last + 1, pixel_unit(unit_pixel(u)) is u.
int pixel_unit(int pixel, int last, int pixels);

// The reference frequency shown for reference position p: p x 5512 / 512 Hz,
// truncated (255 gives 2745, 512 gives 5512).
constexpr std::int32_t reference_hz(std::int32_t position) { return position * 5512 / 512; }

// The frequency shown for the pointer at column x: x x 5512 / (512 x span)
// Hz, truncated, so that the column of bin p gives reference_hz(p) in every
// span.
constexpr std::int32_t column_hz(std::int32_t x, std::int32_t span) {
  return x * 5512 / (512 * span);
}

// The bin nearest to column x in a span (1, 2 or 4): round(x / span), held
// within the span's bins 0..512 / span. The waterfall colours a column with
// this bin's level, and the pointer's level is read from it.
constexpr int nearest_bin(int x, int span) {
  const int bin = (x + span / 2) / span;
  return bin < 0 ? 0 : bin > 512 / span ? 512 / span : bin;
}

// The level in dB of the spectrum's scaled log power `level` (as the
// frequency view holds it: (ln(power x gain) - db_offset) x db_scale):
// 10 log10(power x gain), 0 dB at the display's floor.
float level_db(float level, float db_scale, float db_offset);

// The span after `span` on the width button: full -> half -> quarter ->
// full; none for a span code that is none of 1, 2, 4.
std::optional<int> next_span(int span);

// Caption of the width button and of the top-frequency label for a span
// (1, 2 or 4).
std::string_view span_caption(int span);
std::string_view span_top_frequency(int span);

}  // namespace display
