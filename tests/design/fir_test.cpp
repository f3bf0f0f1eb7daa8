#include "design/fir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "design/filter.h"
#include "design/windows.h"
#include "tests/design/measure.h"

namespace {

// The window table over the transform and the kernel's weights: unity at the
// centre, tiny at the ends, symmetric.
TEST(BlackmanHarris, UnityAtTheCentreAndTinyAtTheEnds) {
  design::WindowTable w{};
  design::fill_blackman_harris_window(w, design::fft_size);
  EXPECT_NEAR(w[512], 1.0f, 1e-6f);
  EXPECT_NEAR(w[0], 0.00006f, 1e-7f);
  EXPECT_NEAR(w[1024], 0.00006f, 1e-7f);
  EXPECT_NEAR(w[256], w[768], 1e-6f);
  EXPECT_NEAR(design::blackman_harris_weight(256, 512), 1.0, 1e-9);
  EXPECT_NEAR(design::blackman_harris_weight(0, 512), 0.00006, 1e-9);
  EXPECT_NEAR(design::blackman_harris_weight(512, 512), 0.00006, 1e-9);
}

TEST(WindowedSincLowpass, UnitGainAtDcAndMinusSixDbAtTheCutoff) {
  design::Kernel taps{};
  for (const float fc : {0.001f, 0.0181405f, 0.2721088f, 0.5f}) {
    design::windowed_sinc_lowpass(fc, 512, taps);
    EXPECT_NEAR(std::accumulate(taps.begin(), taps.begin() + 513, 0.0), 1.0, 2e-6) << fc;
    // Only where the cutoff lies a transition band (~90 Hz) clear of both ends.
    if (fc > 0.01f && fc < 0.4f) {
      EXPECT_NEAR(design_test::kernel_db(taps, fc * 11025.0), -6.02, 0.1) << fc;
    }
  }
}

TEST(WindowedSincLowpass, NegativeCutoffDesignsAsItsMagnitudeAndZeroAsZero) {
  design::Kernel positive{};
  design::Kernel negative{};
  design::windowed_sinc_lowpass(0.0453856f, 512, positive);
  design::windowed_sinc_lowpass(-0.0453856f, 512, negative);
  EXPECT_EQ(positive, negative);

  // Nothing to normalise: zeros, not 0/0. Taps past 512 are not touched.
  negative.fill(7.0f);
  design::windowed_sinc_lowpass(0.0f, 512, negative);
  EXPECT_EQ(std::count(negative.begin(), negative.begin() + 513, 0.0f), 513);
  EXPECT_EQ(negative[513], 7.0f);
}

}  // namespace
