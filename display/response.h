// The filter chain's real response over the spectrum: the product of the
// magnitude responses of the transform-domain stages that are on, in dB per
// bin, and its curve on the frequency view's dB scale.
#pragma once

#include <QImage>
#include <array>
#include <span>

#include "design/filter.h"

namespace display {

class View;

// Bins 0..512: DC to the Nyquist frequency.
inline constexpr int response_points = design::response_bins + 1;
using ResponseDb = std::array<float, response_points>;

// The level a response of zero (or below) is drawn at.
inline constexpr float response_floor_db = -200.0f;

// A stage as the chain holds it: its switch and its designed response.
struct StageResponse {
  bool on = false;
  const design::DesignedFilter* filter = nullptr;
};

// The stages of the chain the curve covers: both bandpasses, both notches
// and the variable notch.
inline constexpr int response_stages = 5;

// combined_response_db: 10 log10 of the product of |H|^2 over the stages
// that are on, per bin: bin 0 from re[0] (DC), bin 512 from im[0]
// (Nyquist), bin j from re[j] and im[j]; never below response_floor_db.
// With no stage on, 0 dB at every bin.
void combined_response_db(std::span<const StageResponse> stages, ResponseDb& db);

// The combined response, computed again only when a stage's switch or an on
// stage's response has changed since the last update.
class ResponseCurve {
 public:
  ResponseCurve();

  // Brings db() up to date; true when it was computed again.
  bool update(std::span<const StageResponse, response_stages> stages);
  const ResponseDb& db() const { return db_; }

 private:
  std::array<bool, response_stages> on_{};
  std::array<design::Response, response_stages> re_{};
  std::array<design::Response, response_stages> im_{};
  ResponseDb db_{};
};

// The row of the curve at `db`: 0 dB at row response_top_row and each dB
// lower by db_scale x ln(10) / 10 rows, the rows per dB of the spectrum
// line, rounded; held within rows 0..spectrum_height - 2.
inline constexpr int response_top_row = 8;
int response_row(float db, float db_scale, int spectrum_height);

// draw_response: in every pixel column of the view's picture, the level at
// bin x / span - 1 for the (fractional) column x under it (linear between
// bins, bin 0 left of its column) as a curve in response_colour: bin j at
// column (j + 1) x span, where the spectrum draws the transform's bin j (its
// entry j + 1) and a centre line at j stands. Joined pixel column to pixel
// column, over a tint of response_fill below it down to the pixel row above
// the bottom row. Written straight into the rows of an image that the
// spectrum is then drawn over; sizes the view's curve rows to the picture.
inline constexpr QRgb response_colour = qRgb(0, 150, 150);
inline constexpr QRgb response_fill = qRgb(214, 240, 240);
void draw_response(View& view, QImage& bitmap, const ResponseDb& db);

}  // namespace display
