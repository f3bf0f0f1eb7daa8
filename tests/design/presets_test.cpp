#include "design/presets.h"

#include <gtest/gtest.h>

namespace {

TEST(BandpassPresets, FixedBandsIgnoreTheCentreCwBandsFollowIt) {
  design::Edges bp;
  for (const float centre : {0.035f, 300.0f}) {
    design::bp_preset_edges(0, centre, bp);
    EXPECT_EQ(bp.lo, 0.0181405f);
    EXPECT_EQ(bp.hi, 0.2721088f);
  }
  design::bp_preset_edges(4, 40.96f, bp);  // 441 Hz
  EXPECT_NEAR(bp.lo, 0.0286622f, 5e-8f);
  EXPECT_NEAR(bp.hi, 0.0513378f, 5e-8f);

  // The start-up centre lies below the half-width: a sliver around 200 Hz.
  design::bp_preset_edges(3, 0.035f, bp);
  EXPECT_NEAR(bp.lo, -0.0181063f, 5e-8f);
  EXPECT_NEAR(bp.hi, 0.0181747f, 5e-8f);
}

TEST(BandpassPresets, IndexOutsideTheTableChangesNothing) {
  design::Edges bp;
  design::bp_preset_edges(3, 0.035f, bp);
  for (const int index : {-1, 7}) {
    design::bp_preset_edges(index, 200.0f, bp);
    EXPECT_NEAR(bp.lo, -0.0181063f, 5e-8f) << "index " << index;
    EXPECT_NEAR(bp.hi, 0.0181747f, 5e-8f) << "index " << index;
  }
}

TEST(NotchWidths, EdgesAroundTheCentreAndUnknownIndexIgnored) {
  design::Edges notch;
  design::notch_width_edges(0, 93.0f, notch);  // 1001.3 Hz
  EXPECT_NEAR(notch.lo, 0.0454689f, 5e-8f);
  EXPECT_NEAR(notch.hi, 0.1361717f, 5e-8f);

  design::notch_width_edges(0, 0.035f, notch);  // the start-up centre
  EXPECT_NEAR(notch.lo, -0.0453172f, 5e-8f);
  EXPECT_NEAR(notch.hi, 0.0453856f, 5e-8f);

  for (const int index : {-1, 4}) {
    design::notch_width_edges(index, 300.0f, notch);
    EXPECT_NEAR(notch.lo, -0.0453172f, 5e-8f) << "index " << index;
    EXPECT_NEAR(notch.hi, 0.0453856f, 5e-8f) << "index " << index;
  }
}

TEST(QRule, ZeroAtMaxQuarterAtMin) {
  EXPECT_EQ(design::q_level_for(25), 0.0f);
  EXPECT_FLOAT_EQ(design::q_level_for(20), 0.05f);
  EXPECT_FLOAT_EQ(design::q_level_for(0), 0.25f);
}

TEST(VariableFilters, EdgesAndWidthFromScrollBarPositions) {
  EXPECT_EQ(design::position_edge(100), 0.09765625f);
  EXPECT_EQ(design::position_edge(400), 0.390625f);

  EXPECT_EQ(design::var_width_hz(100, 400), 3229);
  EXPECT_EQ(design::var_width_hz(199, 200), 10);
  EXPECT_EQ(design::var_width_hz(250, 250), 0);
  EXPECT_EQ(design::var_width_hz(1, 512), 5501);
}

}  // namespace
