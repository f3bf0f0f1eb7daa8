// The waterfall's colour map, its black point and the order of its rows.
#include "display/waterfall.h"

#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cstdlib>

#include "display/response.h"

namespace {

using display::waterfall_colour;

// Within one step of each channel.
bool near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) <= 1 && std::abs(qGreen(a) - qGreen(b)) <= 1 &&
         std::abs(qBlue(a) - qBlue(b)) <= 1;
}

double luminance(QRgb c) { return 0.2126 * qRed(c) + 0.7152 * qGreen(c) + 0.0722 * qBlue(c); }

TEST(WaterfallColours, RunFromDarkBlueThroughCyanAndYellowToWhiteGrowingBrighter) {
  EXPECT_EQ(waterfall_colour(0.0f), qRgb(0, 0, 96));
  EXPECT_EQ(waterfall_colour(1.0f / 3.0f), qRgb(0, 224, 255));
  EXPECT_EQ(waterfall_colour(2.0f / 3.0f), qRgb(255, 240, 0));
  EXPECT_EQ(waterfall_colour(1.0f), qRgb(255, 255, 255));
  EXPECT_EQ(waterfall_colour(-3.0f), waterfall_colour(0.0f));
  EXPECT_EQ(waterfall_colour(7.0f), waterfall_colour(1.0f));
  for (int i = 1; i <= 255; ++i) {
    ASSERT_GT(luminance(waterfall_colour(i / 255.0f)),
              luminance(waterfall_colour((i - 1) / 255.0f)))
        << i;
  }
}

using Levels = std::array<float, display::waterfall_bins>;

// Every bin at `floor`, bin `tone` at `peak`.
Levels row(float floor, int tone = 0, float peak = 0.0f) {
  Levels levels;
  levels.fill(floor);
  if (tone > 0) levels[static_cast<std::size_t>(tone)] = peak;
  return levels;
}

constexpr float range = 197.0f;

TEST(Waterfall, TheBlackPointFollowsTheNoiseFloorSlowly) {
  display::Waterfall waterfall;
  waterfall.add_row(row(50.0f, 100, 180.0f), 512, range);
  EXPECT_FLOAT_EQ(waterfall.black_point(), 50.0f - range / 8);
  // A tone, even on a quarter of the bins, leaves the floor where it is.
  Levels quarter_loud = row(50.0f);
  for (int i = 1; i < 120; ++i) quarter_loud[static_cast<std::size_t>(i)] = 150.0f;
  waterfall.add_row(quarter_loud, 512, range);
  EXPECT_FLOAT_EQ(waterfall.black_point(), 50.0f - range / 8);
  // The floor rises by 40: a twentieth of the step at once, all of it in
  // about a hundred passes.
  waterfall.add_row(row(90.0f), 512, range);
  EXPECT_NEAR(waterfall.black_point(), 52.0f - range / 8, 1e-3f);
  for (int p = 0; p < 100; ++p) waterfall.add_row(row(90.0f), 512, range);
  EXPECT_NEAR(waterfall.black_point(), 90.0f - range / 8, 0.5f);
  // Only the span's bins count: a floor of 20 on the upper half is not seen
  // in the half span.
  display::Waterfall half;
  Levels upper_quiet = row(60.0f);
  for (int i = 257; i <= 512; ++i) upper_quiet[static_cast<std::size_t>(i)] = 20.0f;
  half.add_row(upper_quiet, 256, range);
  EXPECT_FLOAT_EQ(half.black_point(), 60.0f - range / 8);
  // Behind a bandpass passing a fifth of the span, the floor is the pass
  // band's noise at 60, not the rejected band's 10.
  display::Waterfall filtered;
  Levels bandpassed = row(10.0f);
  display::ResponseDb passband;
  passband.fill(-100.0f);
  for (int i = 100; i < 200; ++i) {
    bandpassed[static_cast<std::size_t>(i) + 1] = 60.0f;
    passband[static_cast<std::size_t>(i)] = i == 150 ? 0.0f : -3.0f;
  }
  filtered.add_row(bandpassed, 512, range, passband);
  EXPECT_FLOAT_EQ(filtered.black_point(), 60.0f - range / 8);
}

TEST(Waterfall, TheNewestRowIsOnTopAndTheOldestLeavesAfter200) {
  display::Waterfall waterfall;
  QImage image(513, display::waterfall_rows, QImage::Format_RGB32);
  waterfall.add_row(row(50.0f, 100, 50.0f + range), 512, range);
  for (int p = 0; p < 5; ++p) waterfall.add_row(row(50.0f), 512, range);
  waterfall.draw(image, 1);
  EXPECT_EQ(image.pixel(100, 5), qRgb(255, 255, 255)) << "a floor plus the range is white";
  EXPECT_EQ(image.pixel(100, 4), image.pixel(300, 4));
  EXPECT_EQ(image.pixel(100, 0), image.pixel(300, 0));
  // The floor sits an eighth of the range above black.
  EXPECT_TRUE(near(image.pixel(300, 0), waterfall_colour(0.125f)));
  EXPECT_EQ(image.pixel(300, 6), waterfall_colour(0.0f)) << "rows never written";
  // The same history in the half span: bin 100 at column 200.
  waterfall.draw(image, 2);
  EXPECT_EQ(image.pixel(200, 5), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(100, 5), image.pixel(300, 5));
  for (int p = 0; p < display::waterfall_rows - 6; ++p) waterfall.add_row(row(50.0f), 512, range);
  waterfall.draw(image, 1);
  EXPECT_EQ(image.pixel(100, display::waterfall_rows - 1), qRgb(255, 255, 255));
  waterfall.add_row(row(50.0f), 512, range);
  waterfall.draw(image, 1);
  for (int y = 0; y < display::waterfall_rows; ++y) {
    ASSERT_EQ(image.pixel(100, y), image.pixel(300, y)) << y;
  }
}

}  // namespace
