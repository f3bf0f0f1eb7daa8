// Columns, bins, centres and spans of the spectrum display.
#include "display/mapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

using display::bin_column;
using display::centre_column;
using display::column_bin;
using display::column_centre;

TEST(Mapping, BinsAreDrawnAtBinTimesSpanAndColumnsMapBackByTruncation) {
  EXPECT_EQ(bin_column(300, 2), 600);  // beyond the 513 columns of the half span
  EXPECT_EQ(column_bin(301, 2), 150);
  EXPECT_EQ(column_bin(-3, 2), -1);  // toward zero, as the pointer left of the box
  for (const int span : {1, 2, 4}) {
    for (int bin = 1; bin <= 512 / span; ++bin) {
      ASSERT_EQ(column_bin(bin_column(bin, span), span), bin);
    }
  }
}

TEST(Mapping, UnitsSpreadOverAPictureAndTheNearestComesBack) {
  using display::pixel_unit;
  using display::unit_pixel;
  for (int u = -3; u <= 515; ++u) {
    ASSERT_EQ(unit_pixel(u, 512, 513), u) << "the start width draws column for pixel";
    ASSERT_EQ(pixel_unit(u, 512, 513), u);
    ASSERT_EQ(unit_pixel(u, 196, 197), u) << "and row for pixel";
  }
  // First and last columns on the edges; halves round up.
  EXPECT_EQ(unit_pixel(512, 512, 1233), 1232);
  EXPECT_EQ(unit_pixel(1, 512, 1025), 2);
  EXPECT_EQ(unit_pixel(1, 512, 769), 2);    // 1.5
  EXPECT_EQ(unit_pixel(-1, 512, 769), -1);  // -1.5
  EXPECT_EQ(unit_pixel(98, 196, 393), 196);
  for (const int width : {514, 700, 1025, 1233, 2466, 7681}) {
    for (int column = 0; column <= 512; ++column) {
      const int x = unit_pixel(column, 512, width);
      ASSERT_EQ(pixel_unit(x, 512, width), column) << "width " << width;
      ASSERT_LT(x, width);
      if (column > 0) {
        ASSERT_GT(x, unit_pixel(column - 1, 512, width)) << "width " << width;
      }
    }
  }
  // Every pixel goes to the column nearest to it.
  for (int x = 0; x < 700; ++x) {
    const int column = pixel_unit(x, 512, 700);
    ASSERT_LE(std::abs(column * 699.0 / 512 - x), 699.0 / 1024) << x;
  }
}

// A line released at column x is centred at (x - 1) / span full-span columns,
// and that centre is drawn at the column of the truncated centre plus one.
TEST(Mapping, ReleasedColumnsAndCentresMapBothWays) {
  const struct {
    int x, span;
    float centre;
  } cases[] = {{200, 1, 199.0f}, {200, 2, 99.5f}, {200, 4, 49.75f}, {1, 1, 0.0f}};
  for (const auto& c : cases) {
    EXPECT_EQ(column_centre(c.x, c.span), c.centre) << c.x << " span " << c.span;
    EXPECT_EQ(centre_column(c.centre, c.span), c.x) << c.centre << " span " << c.span;
  }
  EXPECT_FALSE(column_centre(200, 3).has_value());
  EXPECT_FALSE(column_centre(200, 0).has_value());
  EXPECT_EQ(centre_column(99.4f, 2), 200);
  EXPECT_EQ(centre_column(0.035f, 1), 1);
  // A centre beyond the span lands beyond 512; the track bar clamps it.
  EXPECT_EQ(centre_column(400.0f, 2), 802);
  // Whatever a settings file held, the column is a number.
  EXPECT_EQ(centre_column(std::numeric_limits<float>::quiet_NaN(), 1), 0);
  EXPECT_EQ(centre_column(std::numeric_limits<float>::infinity(), 4),
            std::numeric_limits<int>::max());
  EXPECT_EQ(centre_column(-1e30f, 4), std::numeric_limits<int>::min());
}

TEST(Mapping, ReleaseThenRedrawPutsTheLineBackUnderThePointer) {
  for (const int span : {1, 2, 4}) {
    for (int x = 1; x <= 512; ++x) {
      const float centre = *column_centre(x, span);
      const int back = centre_column(centre, span);
      // The line returns to the pointer's column rounded down to the span's
      // grid, never by more than one grid step.
      ASSERT_LE(std::abs(back - x), span) << "span " << span << " x " << x;
    }
  }
}

TEST(Mapping, FrequenciesGoToTheColumnOfTheirNearestBin) {
  EXPECT_EQ(display::hz_column(1000.0f, 1), 93);  // bin 92.88
  EXPECT_EQ(display::hz_column(5.0f, 1), 0);
  EXPECT_EQ(display::hz_column(5.5f, 1), 1);
  for (const float hz : {-0.01f, 5513.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
    EXPECT_FALSE(display::hz_column(hz, 1).has_value()) << hz;
  }
  // Each bin's own frequency, 0 and 5512.5 Hz included, lands on the bin's
  // column, beyond a narrow span's drawing too.
  for (const int span : {1, 2, 4}) {
    for (int bin = 0; bin <= 512; ++bin) {
      const float hz = static_cast<float>(bin) * 11025.0f / 1024.0f;
      ASSERT_EQ(display::hz_column(hz, span), bin_column(bin, span)) << bin;
    }
  }
}

TEST(Mapping, ThePointersFrequencyAndLevelFollowTheReferenceLinesRule) {
  EXPECT_EQ(display::reference_hz(1), 10);
  for (const int span : {1, 2, 4}) {
    for (int bin = 1; bin <= 512 / span; ++bin) {
      ASSERT_EQ(display::column_hz(bin_column(bin, span), span), display::reference_hz(bin)) << bin;
      ASSERT_EQ(display::nearest_bin(bin_column(bin, span), span), bin);
    }
    // Between bins, the nearer one; never beyond the span's last bin.
    EXPECT_EQ(display::nearest_bin(512, span), 512 / span);
    EXPECT_EQ(display::nearest_bin(0, span), 0);
  }
  EXPECT_EQ(display::column_hz(101, 2), 543);  // half way from bin 50 (538) to 51 (549)
  EXPECT_EQ(display::nearest_bin(201, 2), 101);
  EXPECT_EQ(display::nearest_bin(401, 4), 100);
  EXPECT_EQ(display::nearest_bin(402, 4), 101);
  // A power of 1000 at the gain 1 is 30 dB whatever the coarse step's scale
  // and offset.
  for (const auto& [scale, offset] : {std::pair(4.0f, 0.0f), std::pair(8.0f, 15.0f)}) {
    const float level = (std::log(1000.0f) - offset) * scale;
    EXPECT_NEAR(display::level_db(level, scale, offset), 30.0f, 1e-4f) << scale;
  }
}

}  // namespace
