// The chain's combined response: the product of the stages that are on, bin
// by bin, and when it is worked out again.
#include "display/response.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>

#include "design/designers.h"

namespace {

using display::StageResponse;

// 20 log10 |H| of bin j of a designed filter, from its complex response.
double bin_db(const design::DesignedFilter& f, int j) {
  return 20.0 * std::log10(std::abs(std::complex<double>(f.re[j], f.im[j])));
}

class Combined : public ::testing::Test {
 protected:
  void SetUp() override {
    design::design_notch({0.19f, 0.21f}, 0.05f, notch);
    design::design_bandpass({0.02f, 0.3f}, 0.0f, bandpass);
  }
  design::DesignedFilter notch;
  design::DesignedFilter bandpass;
  display::ResponseDb db{};
};

TEST_F(Combined, StagesThatAreOnMultiplyAndNoneOnIsFlat) {
  const std::array<StageResponse, 2> off{{{false, &notch}, {false, &bandpass}}};
  display::combined_response_db(off, db);
  for (const float level : db) ASSERT_EQ(level, 0.0f);

  const std::array<StageResponse, 2> notch_only{{{true, &notch}, {false, &bandpass}}};
  display::combined_response_db(notch_only, db);
  for (int j = 1; j < 512; ++j) ASSERT_NEAR(db[j], bin_db(notch, j), 1e-3) << j;
  // The notch at its Q floor, q x sqrt(2): about -23 dB in its middle.
  EXPECT_NEAR(db[205], 20 * std::log10(0.05 * std::sqrt(2.0)), 1.0);
  EXPECT_NEAR(db[60], 0.0, 0.1);

  const std::array<StageResponse, 2> both{{{true, &notch}, {true, &bandpass}}};
  display::combined_response_db(both, db);
  for (int j = 1; j < 512; ++j) {
    ASSERT_NEAR(db[j], bin_db(notch, j) + bin_db(bandpass, j), 1e-3) << j;
  }
  EXPECT_LT(db[5], -60.0f) << "below the bandpass";
}

TEST_F(Combined, EntryZeroHoldsDcAndNyquistAndAZeroBinLiesOnTheFloor) {
  design::DesignedFilter made{};
  made.re[0] = 0.5f;
  made.im[0] = -0.1f;
  made.re[7] = 3.0f;
  made.im[7] = 4.0f;
  const std::array<StageResponse, 1> one{{{true, &made}}};
  display::combined_response_db(one, db);
  EXPECT_NEAR(db[0], -6.0206, 1e-3);
  EXPECT_NEAR(db[512], -20.0, 1e-3);
  EXPECT_NEAR(db[7], 13.979, 1e-3);
  EXPECT_EQ(db[8], display::response_floor_db);
}

TEST_F(Combined, TheCurveIsWorkedOutAgainOnlyWhenADesignOrASwitchChanges) {
  std::array<design::DesignedFilter, display::response_stages> stages{};
  std::array<StageResponse, display::response_stages> chain{};
  for (std::size_t k = 0; k < stages.size(); ++k) chain[k] = {false, &stages[k]};
  display::ResponseCurve curve;
  EXPECT_FALSE(curve.update(chain)) << "all off: the flat curve it starts with";
  EXPECT_EQ(curve.db()[100], 0.0f);

  stages[1] = notch;
  EXPECT_FALSE(curve.update(chain)) << "a stage that is off is not drawn";
  chain[1].on = true;
  EXPECT_TRUE(curve.update(chain));
  EXPECT_NEAR(curve.db()[205], bin_db(notch, 205), 1e-3);
  EXPECT_FALSE(curve.update(chain));

  design::design_notch({0.29f, 0.31f}, 0.05f, stages[1]);
  EXPECT_TRUE(curve.update(chain)) << "designed again where it was dropped";
  EXPECT_NEAR(curve.db()[205], 0.0, 0.1);
  EXPECT_NEAR(curve.db()[307], bin_db(stages[1], 307), 1e-3);
  EXPECT_FALSE(curve.update(chain));

  stages[3] = bandpass;  // off: no change
  EXPECT_FALSE(curve.update(chain));
  chain[1].on = false;
  EXPECT_TRUE(curve.update(chain));
  EXPECT_EQ(curve.db()[307], 0.0f);
}

}  // namespace
