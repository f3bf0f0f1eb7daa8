// The picture of one pass, read back pixel by pixel: spectrum heights and
// columns per span and style, the filter lines, and the triggered time trace.
//
// Painting on a QImage needs no QGuiApplication: the raster engine draws
// lines and fills without a platform plugin.
#include "display/view.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "design/designers.h"
#include "tests/support/picture.h"

namespace {

using Samples = std::array<std::int32_t, 1024>;

constexpr int height = 197;
constexpr int bottom = height - 1;
constexpr QRgb white = qRgb(255, 255, 255);
constexpr QRgb black = qRgb(0, 0, 0);
constexpr QRgb green = qRgb(0, 255, 0);
constexpr QRgb blue = qRgb(0, 0, 255);
constexpr QRgb red = qRgb(255, 0, 0);
constexpr QRgb magenta = qRgb(255, 0, 255);
constexpr QRgb dark_green = qRgb(0, 128, 0);
constexpr QRgb purple = qRgb(128, 0, 128);
constexpr QRgb orange = qRgb(255, 140, 0);

// A cosine of `cycles` periods per pass. The transform puts it in entry
// cycles + 1, and entry i is drawn at column i x span.
Samples tone(int cycles, double amplitude = 1e6) {
  Samples s{};
  for (int n = 0; n < 1024; ++n) {
    const double phase = 2 * std::numbers::pi * cycles * n / 1024;
    s[n] = static_cast<std::int32_t>(std::lround(amplitude * std::cos(phase)));
  }
  return s;
}

// Zero, then each (index, value) holds from its index on.
Samples steps(std::initializer_list<std::pair<int, int>> changes) {
  Samples s{};
  for (const auto& [from, value] : changes) std::fill(s.begin() + from, s.end(), value);
  return s;
}

// A fresh view (a `height`-pixel drawing of the filtered line spectrum over
// the full span, an empty running average) with a unit spectrum gain, and a
// white bitmap.
class View : public ::testing::Test {
 protected:
  void SetUp() override {
    view.spectrum_gain = 1.0f;
    image.fill(white);
  }

  void draw(const Samples& out, int passes = 1, const Samples& raw = {}) {
    for (int p = 0; p < passes; ++p) display::draw_pass(view, image, out, raw, lines, extras);
  }
  void settle(const Samples& out) { draw(out, 40); }

  QRgb at(int x, int y) const { return image.pixel(x, y); }

  // Row of the column's topmost black pixel; `height` when there is none.
  int top_black(int x) const {
    int y = 0;
    while (y < height && at(x, y) != black) ++y;
    return y;
  }
  int column_height(int x) const { return height - top_black(x); }

  // The column holding the picture's topmost black pixel (leftmost on a tie).
  int peak_column() const {
    int best = 0;
    for (int x = 1; x <= 512; ++x) best = top_black(x) < top_black(best) ? x : best;
    return best;
  }

  bool rows_are(int x, int from, int to, QRgb colour) const {
    for (int y = from; y <= to; ++y) {
      if (at(x, y) != colour) return false;
    }
    return true;
  }

  // Columns in which all rows but the bottom one have this colour.
  std::vector<int> columns_of(QRgb colour) const {
    std::vector<int> xs;
    for (int x = 0; x < image.width(); ++x) {
      if (rows_are(x, 0, image.height() - 2, colour)) xs.push_back(x);
    }
    return xs;
  }

  // Nothing but the black bottom row from x = 0 to 512.
  bool only_bottom_row() const {
    for (int x = 0; x < image.width(); ++x) {
      if (!rows_are(x, 0, bottom - 1, white) || at(x, bottom) != (x <= 512 ? black : white))
        return false;
    }
    return true;
  }

  display::View view;
  QImage image{520, height, QImage::Format_RGB32};
  display::FilterLines lines{};
  display::PassExtras extras{};
};

// Bars stand in every bin's column up to column 512, with gaps between them
// in the narrow spans.
TEST_F(View, SilenceSettlesFivePixelsHighInBothStylesAndBarsLeaveGapsInNarrowSpans) {
  view.spectrum_bars = 1;
  draw({});
  EXPECT_EQ(column_height(100), 6) << "the first average, -0.5, truncates toward zero";
  for (const int span : {2, 4, 1}) {
    view.spectrum_width = span;
    settle({});
    for (int x = 0; x < image.width(); ++x) {
      const bool bar = x % span == 0 && x >= span && x <= 512;
      ASSERT_TRUE(rows_are(x, bottom - 4, bottom - 1, bar ? black : white))
          << "span " << span << ", x " << x;
      ASSERT_TRUE(rows_are(x, 0, bottom - 5, white)) << "span " << span << ", x " << x;
    }
  }
  view.spectrum_bars = 0;
  draw({});
  for (int x = 2; x <= 512; ++x) {
    ASSERT_EQ(top_black(x), bottom - 4) << x;
    ASSERT_TRUE(rows_are(x, bottom - 3, bottom - 1, white))
        << "a line spectrum is not filled, " << x;
  }
}

TEST_F(View, TheLineStartsAtTheLeftEdgeFromEntryTwoUnaveraged) {
  settle(tone(1));
  const int y = top_black(2);
  EXPECT_EQ(top_black(1), y) << "entry 1 is drawn with entry 2's value";
  EXPECT_EQ(at(0, y + 6), black) << "the start point lacks the 6 pixels of the averaged columns";
  EXPECT_TRUE(rows_are(0, y + 7, bottom - 1, white));
}

TEST_F(View, NarrowSpansShowOnlyTheirBins) {
  view.db_scale = 4.0f;
  view.spectrum_bars = 1;
  settle(tone(299));
  const int tone_height = column_height(300);
  for (int span : {2, 4}) {
    view.spectrum_width = span;
    settle(tone(299));
    for (int x = 0; x < image.width(); ++x) {
      ASSERT_LT(column_height(x), tone_height / 2) << "span " << span << ", x " << x;
    }
  }
}

TEST_F(View, AColumnAboveTheTopIsExactlyTheBitmapHigh) {
  view.db_scale = 10.0f;
  view.spectrum_bars = 1;
  settle(tone(99));
  EXPECT_TRUE(rows_are(100, 0, bottom, black));
  view.spectrum_bars = 0;
  draw(tone(99));
  EXPECT_EQ(at(100, 0), black) << "the line's vertex is clamped to row 0, not above it";
  view.spectrum_bars = 1;
  view.spectrum_gain = std::numeric_limits<float>::max();  // infinite powers
  draw(tone(99));
  EXPECT_TRUE(rows_are(100, 0, bottom, black));
}

TEST_F(View, ThePassRepaintsColumnsZeroTo512Only) {
  image.fill(green);
  for (int mode : {1, 2}) {
    view.display_mode = mode;
    draw({});
    for (int x = 0; x <= 512; ++x)
      ASSERT_EQ(at(x, bottom), black) << "mode " << mode << ", x " << x;
    for (int x = 513; x < image.width(); ++x) ASSERT_TRUE(rows_are(x, 0, bottom, green)) << x;
  }
  // The time view clears the spectrum's edge columns too.
  EXPECT_TRUE(rows_are(0, 0, bottom - 1, white));
  EXPECT_TRUE(rows_are(512, 0, bottom - 1, white));
}

TEST_F(View, TheAverageKeepsItsEntryPerBinAcrossSpans) {
  view.spectrum_bars = 1;
  view.spectrum_width = 4;
  settle(tone(99));
  const int quarter = column_height(400);
  ASSERT_GT(quarter, 20);
  view.spectrum_width = 1;
  draw({});
  // The average of the settled entry and silence's -1, truncated, + 6.
  EXPECT_EQ(column_height(100), (quarter - 7) / 2 + 6);
}

// The waterfall and the response curve drawn with the spectrum.
class Extras : public View {
 protected:
  void SetUp() override {
    View::SetUp();
    strip.fill(green);
    extras.waterfall = &waterfall;
    extras.waterfall_image = &strip;
  }

  // The centre of the brightest columns of the strip's row y.
  double brightest_centre(int y) const { return test_support::brightest_centre(strip, y); }

  // The lowest row of the column drawn in the curve's colour; -1 for none.
  int curve_bottom(int x) const {
    for (int y = bottom; y >= 0; --y) {
      if (at(x, y) == display::response_colour) return y;
    }
    return -1;
  }

  display::Waterfall waterfall;
  QImage strip{513, display::waterfall_rows, QImage::Format_RGB32};
};

// A tone on entry i peaks at column i x span in either style, and its
// waterfall column sits under the peak.
TEST_F(Extras, AToneOnEntryIPeaksAtColumnITimesTheSpanOverItsWaterfallColumn) {
  // The neighbours of the peak 5 pixels lower, so that even the quarter
  // span's segments reach the peak's row only at its column.
  view.db_scale = 7.0f;
  for (const int bars : {0, 1}) {
    view.spectrum_bars = bars;
    for (const int span : {1, 2, 4}) {
      view.spectrum_width = span;
      draw(tone(36, 1e3), 5);
      EXPECT_EQ(peak_column(), 37 * span) << "bars " << bars << ", span " << span;
      EXPECT_NEAR(brightest_centre(0), 37 * span, 1.0) << "bars " << bars << ", span " << span;
    }
  }
  // Rows kept from other spans are drawn in the span shown now.
  for (int y = 0; y < 15; ++y) ASSERT_NEAR(brightest_centre(y), 37 * 4, 1.0) << y;
  view.spectrum_width = 1;
  // The time view shows the scope, and the strip goes on.
  view.display_mode = 2;
  draw(tone(99, 1e3));
  EXPECT_NEAR(brightest_centre(0), 100, 1.0);
  EXPECT_NEAR(brightest_centre(1), 37, 1.0);
  EXPECT_TRUE(rows_are(50, 0, 20, white)) << "no spectrum drawn";
}

TEST_F(View, LevelsReadInDecibelsOfFullScaleWhateverTheGain) {
  for (const float gain : {1.0f, 625.0f}) {
    view.spectrum_gain = gain;
    view.db_scale = 8.0f;
    view.db_offset = 15.0f;
    settle(tone(36, 32767));
    EXPECT_NEAR(display::level_dbfs(view, 37), 0.0f, 0.1f) << gain;
    settle(tone(36, 32767 / 10.0));
    EXPECT_NEAR(display::level_dbfs(view, 37), -20.0f, 0.1f) << gain;
    EXPECT_LT(display::level_dbfs(view, 300), -100.0f) << "far from the tone";
  }
}

TEST_F(Extras, AToneTwentyDecibelsDownDropsAsFarAsTheCurvesTwentyDecibels) {
  for (const float scale : {5.0f, 8.0f}) {
    view.db_scale = scale;
    settle(tone(36, 1e3));
    const int loud = top_black(peak_column());
    settle(tone(36, 1e2));
    const int quiet = top_black(peak_column());
    ASSERT_GT(loud, 0) << "the peak lies inside the picture";
    const int curve =
        display::response_row(-20.0f, scale, height) - display::response_row(0.0f, scale, height);
    EXPECT_NEAR(quiet - loud, curve, 1) << "scale " << scale;
  }
}

TEST_F(Extras, TheResponseCurveShowsANotchsDepthAtItsCentre) {
  view.db_scale = 8.0f;
  display::ResponseDb db;
  display::combined_response_db({}, db);
  extras.response = &db;
  draw({});
  for (int x = 0; x <= 512; ++x) {
    ASSERT_EQ(at(x, display::response_top_row), display::response_colour) << x;
    ASSERT_TRUE(rows_are(x, 0, display::response_top_row - 1, white)) << x;
    ASSERT_EQ(at(x, 100), display::response_fill) << x;
  }

  design::DesignedFilter notch;
  design::design_notch({0.19f, 0.21f}, 0.05f, notch);
  const std::array<display::StageResponse, 1> on{{{true, &notch}}};
  display::combined_response_db(on, db);
  int centre = 1;
  const auto magnitude = [&](int j) { return std::hypot(notch.re[j], notch.im[j]); };
  for (int j = 1; j < 512; ++j) centre = magnitude(j) < magnitude(centre) ? j : centre;
  const float level = 20.0f * std::log10(magnitude(centre));
  ASSERT_LT(level, -20.0f);
  for (const int span : {1, 2}) {
    view.spectrum_width = span;
    draw({});
    // Where the spectrum draws that bin: its entry centre + 1.
    EXPECT_NEAR(curve_bottom((centre + 1) * span), display::response_row(level, 8.0f, height), 1)
        << "span " << span;
    EXPECT_EQ(curve_bottom(60 * span), display::response_top_row) << "0 dB away from it";
    EXPECT_EQ(at(0, bottom), black) << "the bottom row";
  }
}

class Lines : public View {
 protected:
  void SetUp() override {
    View::SetUp();
    for (bool* on : {&view.bp_line_on, &view.nf1_line_on, &view.nf2_line_on, &view.ref_line_on,
                     &view.var_bp_lo_line_on, &view.var_bp_hi_line_on, &view.var_notch_lo_line_on,
                     &view.var_notch_hi_line_on}) {
      *on = true;
    }
  }
  void draw_lines(std::span<const float> notched = {}) {
    lines = display::filter_lines(view, positions, filters_on, notched);
    draw({});
  }
  // Pixel positions of the bandpass and notch centres, bins of the rest.
  display::LinePositions positions{50, 100, 150, 110, 125, 160, 175, 200};
  // Every filter off.
  display::FiltersOn filters_on{};
};

TEST_F(Lines, LaterLinesCoverEarlierOnes) {
  positions.ref_bin = 100;        // over notch 1
  positions.var_bp_hi_bin = 150;  // over notch 2
  draw_lines();
  EXPECT_EQ(columns_of(magenta), std::vector<int>{100});
  EXPECT_EQ(columns_of(dark_green), (std::vector<int>{125, 150}));
  EXPECT_TRUE(columns_of(red).empty());
}

// Each line has its colour at its column over the full height, the
// bin-numbered ones at twice their bin in the half span. A filter that is on
// draws its lines with a 2-pixel pen, which covers columns x - 1 and x.
TEST_F(Lines, EachLineHasItsColourAtItsColumnAndAFilterThatIsOnWidensItsOwn) {
  view.spectrum_width = 2;
  struct Filter {
    bool* on;
    QRgb colour;
    std::vector<int> wide;
  };
  const Filter filters[] = {
      {&filters_on.bp, blue, {49, 50}},
      {&filters_on.nf1, red, {99, 100, 150}},
      {&filters_on.nf2, red, {100, 149, 150}},
      {&filters_on.var_bp, dark_green, {249, 250, 319, 320}},
      {&filters_on.var_notch, purple, {349, 350, 399, 400}},
  };
  const std::pair<QRgb, std::vector<int>> thin[] = {
      {blue, {50}}, {red, {100, 150}}, {dark_green, {250, 320}}, {purple, {350, 400}}};
  for (const Filter& filter : filters) {
    *filter.on = true;
    draw_lines();
    for (const auto& [colour, xs] : thin) {
      EXPECT_EQ(columns_of(colour), colour == filter.colour ? filter.wide : xs)
          << "filter of the " << std::hex << filter.colour << " line on, colour " << colour;
    }
    EXPECT_EQ(columns_of(magenta), std::vector<int>{220}) << "the reference is always 1 pixel";
    EXPECT_EQ(at(50, bottom), black) << "the bottom row is drawn over the lines";
    *filter.on = false;
  }
}

// Twice the pixels of the start size, as on a screen of pixel ratio 2: the
// columns and rows spread twice as far, the lines stay as thin in pixels.
TEST_F(Lines, AtTwiceThePixelsEachLineKeepsItsWidthInPixels) {
  view.picture_width = 1025;
  view.picture_height = 393;
  image = QImage(1025, 393, QImage::Format_RGB32);
  image.fill(green);
  filters_on.nf1 = true;
  draw_lines();
  EXPECT_EQ(columns_of(blue), std::vector<int>{100});
  EXPECT_EQ(columns_of(red), (std::vector<int>{199, 200, 300})) << "notch 1 on";
  EXPECT_EQ(columns_of(magenta), std::vector<int>{220});
  EXPECT_EQ(columns_of(dark_green), (std::vector<int>{250, 320}));
  EXPECT_EQ(columns_of(purple), (std::vector<int>{350, 400}));
  for (int x = 0; x < image.width(); ++x) {
    ASSERT_EQ(at(x, 392), black) << "the bottom row, " << x;
    ASSERT_NE(at(x, 0), green) << "the whole picture is drawn, " << x;
  }
  // The silence's line, one pass in: 5 rows above the bottom row, so 10
  // pixels, and one pixel thin.
  int line_pixels = 0;
  for (int y = 0; y < 392; ++y) line_pixels += at(500, y) == black ? 1 : 0;
  EXPECT_EQ(line_pixels, 1);
  EXPECT_EQ(at(500, 392 - 10), black);
}

TEST_F(Lines, HiddenOrOutOfRangeLinesAreNotDrawn) {
  view.nf1_line_on = 0;
  view.ref_line_on = 0;
  view.var_notch_hi_line_on = 0;
  draw_lines();
  EXPECT_EQ(columns_of(red), std::vector<int>{150});
  EXPECT_TRUE(columns_of(magenta).empty());
  EXPECT_EQ(columns_of(purple), std::vector<int>{175});

  view.spectrum_width = 2;
  positions.var_bp_hi_bin = 300;
  draw_lines();
  EXPECT_EQ(columns_of(dark_green), std::vector<int>{250})
      << "bin 300 of the half span lies at x = 600";
}

// Lines are drawn for the first eight frequencies alone, and none for one
// outside the band.
TEST_F(Lines, TheAutomaticNotchsFrequenciesAreThinOrangeLinesAtTheirNearestBin) {
  // 1000 Hz is bin 92.9, 700 Hz bin 65.0 and 3000 Hz bin 278.6.
  const std::array<float, 3> notched{1000.0f, 700.0f, 3000.0f};
  const std::pair<int, std::vector<int>> spans[] = {
      {2, {130, 186}}, {4, {260, 372}}, {1, {65, 93, 279}}};
  for (const auto& [span, xs] : spans) {
    view.spectrum_width = span;
    draw_lines(notched);
    EXPECT_EQ(columns_of(orange), xs) << "span " << span;
  }
  std::array<float, 10> many{};
  for (std::size_t k = 0; k < many.size(); ++k) many[k] = 200.0f * static_cast<float>(k + 1);
  draw_lines(many);
  EXPECT_EQ(columns_of(orange), (std::vector<int>{19, 37, 56, 74, 93, 111, 130, 149}));
  const std::array<float, 4> outside{-20.0f, 6000.0f, std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity()};
  draw_lines(outside);
  EXPECT_TRUE(columns_of(orange).empty());

  view.display_mode = 2;
  draw_lines(notched);
  EXPECT_TRUE(only_bottom_row()) << "the time view has no lines";
}

class Time : public View {
 protected:
  void SetUp() override {
    View::SetUp();
    view.display_mode = 2;
    view.time_gain = 2000;  // scaled value = sample
  }
};

TEST_F(Time, OnlyARisingValueFromTheFloorToNineTriggers) {
  struct Case {
    int filtered;
    Samples source;
    bool triggers;
  };
  const Case cases[] = {
      {1, steps({{10, 3}}), false},
      {1, steps({{10, 4}}), true},
      {1, steps({{10, 5}}), true},
      {0, steps({{10, 5}}), false},
      {0, steps({{10, 6}}), true},
      {1, steps({{10, 9}}), true},
      {0, steps({{10, 10}}), false},
      {1, steps({{10, 12}, {20, 8}}), false},  // falls into the window
  };
  const Samples other = steps({{10, 7}});  // triggers either source
  for (const Case& c : cases) {
    view.display_filtered = c.filtered;
    const Samples& out = c.filtered == 1 ? c.source : other;
    const Samples& raw = c.filtered == 1 ? other : c.source;
    draw(out, 1, raw);
    const int value = c.source.back();
    EXPECT_EQ(view.trigger_found, c.triggers) << "filtered " << c.filtered << ", value " << value;
    EXPECT_EQ(at(0, 98 - value) == black, c.triggers)
        << "filtered " << c.filtered << ", value " << value;
    if (!c.triggers) {
      EXPECT_TRUE(only_bottom_row()) << "filtered " << c.filtered << ", value " << value;
    }
  }
}

TEST_F(Time, TheTraceRunsFromTheTriggerForAtMost512Columns) {
  draw(steps({{1, 5}}));
  EXPECT_EQ(at(0, 93), black);
  EXPECT_EQ(at(511, 93), black);
  EXPECT_TRUE(rows_are(512, 0, bottom - 1, white));

  draw(steps({{1000, 5}, {1010, -20}}));  // 24 samples from the trigger
  EXPECT_EQ(at(0, 93), black);
  EXPECT_EQ(at(9, 93), black);
  EXPECT_EQ(at(11, 118), black);
  EXPECT_EQ(at(23, 118), black);
  EXPECT_TRUE(rows_are(24, 0, bottom - 1, white));
}

TEST_F(Time, SamplesScaleByTheGainOver2000TruncatedTowardZero) {
  view.time_gain = 100;
  draw(steps({{10, 79}, {20, 100}, {30, -119}}));  // 3 (no trigger), 5, -5
  EXPECT_EQ(at(0, 93), black);
  EXPECT_EQ(at(9, 93), black);
  EXPECT_EQ(top_black(20), 103);
  EXPECT_EQ(at(20, 104), white);

  view.time_gain = 16;
  draw(steps({{10, 268436081}}));  // x 16 is 2^32 + 10000: 2147488, not a wrapped 5
  EXPECT_TRUE(only_bottom_row());
}

}  // namespace
