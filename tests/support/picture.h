// Reading the display's pictures back in tests.
#pragma once

#include <QImage>
#include <QRgb>
#include <algorithm>

namespace test_support {

// The centre of the brightest pixels of row y, columns 0..512: where a
// tone stands in a waterfall row.
inline double brightest_centre(const QImage& picture, int y) {
  const auto brightness = [&](int x) {
    const QRgb c = picture.pixel(x, y);
    return qRed(c) + qGreen(c) + qBlue(c);
  };
  int best = 0;
  for (int x = 0; x <= 512; ++x) best = std::max(best, brightness(x));
  int first = -1;
  int last = -1;
  for (int x = 0; x <= 512; ++x) {
    if (brightness(x) != best) continue;
    if (first < 0) first = x;
    last = x;
  }
  return (first + last) / 2.0;
}

}  // namespace test_support
