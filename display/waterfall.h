// The waterfall: the spectrum of every pass as one row of colours, newest
// on top, in the same columns as the frequency view above it.
//
// A row is kept as one colour index per bin 0..512 of the pass's scaled log
// spectrum, in a ring of waterfall_rows rows allocated with the object, so
// the history is drawn again in whatever span the spectrum shows.
#pragma once

#include <QImage>
#include <QRgb>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace display {

inline constexpr int waterfall_rows = 200;
inline constexpr int waterfall_bins = 513;  // bins 0..512

// The colour of level t of the map (0 to 1, held there): dark blue at 0,
// cyan at 1/3, yellow at 2/3, white at 1, linear in between; brightness
// rises all the way.
QRgb waterfall_colour(float t);

class Waterfall {
 public:
  // Every row at the map's darkest colour; the black point starts afresh.
  Waterfall();
  void clear();

  // Adds the newest row from `levels`, the pass's scaled log power of bins
  // 1..512 at entries 1..512 (the frequency view's units: one unit is one
  // pixel of the spectrum line); entry 0 is not read, bin 0 takes bin 1's
  // colour. `bins` (1..512) is how many bins the span shows: the black
  // point follows the lower quartile of those, smoothed over about 20
  // passes, from an eighth of `range` below it; `range` units above the
  // black point is the map's white. `passband`, when given, is the response
  // the shown signal went through in dB (bins 0..512, as
  // combined_response_db gives it): then only the shown bins within 10 dB
  // of its highest count toward the floor, so the floor is that of the
  // band the filters pass, not of the band they remove. Allocates nothing.
  void add_row(std::span<const float, waterfall_bins> levels, int bins, float range,
               std::span<const float> passband = {});

  // The rows newest first over the image's rows (image row y shows row
  // y x waterfall_rows / height, so each row takes a band of equal height),
  // pixel x of the first `width` coloured by bin nearest_bin(c, span) of the
  // column c = pixel_unit(x, 512, width) under it (mapping.h): at width 513
  // and 200 image rows, row y and column x. The image must be in
  // QImage::Format_RGB32 and at least `width` pixels wide. Allocates only
  // when `width`, `span` or the image's width differ from the last
  // draw's.
  void draw(QImage& image, int span, int width = waterfall_bins);

  // The level at the map's darkest colour, after the last row.
  float black_point() const { return black_point_; }

 private:
  std::array<std::uint8_t, waterfall_rows * waterfall_bins> ring_{};
  int newest_ = 0;
  float quartile_ = 0.0f;
  bool tracking_ = false;
  float black_point_ = 0.0f;
  std::array<float, waterfall_bins> sorted_{};
  std::array<QRgb, 256> colours_{};
  // The bin of each pixel column for the last draw's width, span
  // and image width.
  std::vector<std::uint16_t> column_bins_;
  int bins_width_ = 0;
  int bins_span_ = 0;
};

}  // namespace display
