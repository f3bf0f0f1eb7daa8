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

// The reference frequency shown for reference position p: p x 5512 / 512 Hz,
// truncated (255 gives 2745, 512 gives 5512).
constexpr std::int32_t reference_hz(std::int32_t position) { return position * 5512 / 512; }

// The span after `span` on the width button: full -> half -> quarter ->
// full; none for a span code that is none of 1, 2, 4.
std::optional<int> next_span(int span);

// Caption of the width button and of the top-frequency label for a span
// (1, 2 or 4).
std::string_view span_caption(int span);
std::string_view span_top_frequency(int span);

}  // namespace display
