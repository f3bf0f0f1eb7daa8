#include "design/presets.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Each row applied in turn to the same edges, so that an unknown index must
// leave the previous row's edges. Fixed bands ignore the centre; CW bands and
// notch widths follow it, a start-up centre (0.035) below the half-width giving
// a sliver across 0.
TEST(PresetsAndWidths, EdgesAroundTheCentreAndUnknownIndexIgnored) {
  const struct {
    void (*apply)(std::int32_t, float, design::Edges&);
    int index;
    float centre;
    float lo;
    float hi;
  } rows[] = {
      {design::bp_preset_edges, 0, 0.035f, 0.0181405f, 0.2721088f},
      {design::bp_preset_edges, 0, 300.0f, 0.0181405f, 0.2721088f},
      {design::bp_preset_edges, 4, 40.96f, 0.0286622f, 0.0513378f},  // 441 Hz
      {design::bp_preset_edges, 3, 0.035f, -0.0181063f, 0.0181747f},
      {design::bp_preset_edges, -1, 200.0f, -0.0181063f, 0.0181747f},
      {design::bp_preset_edges, 7, 200.0f, -0.0181063f, 0.0181747f},
      {design::notch_width_edges, 0, 93.0f, 0.0454689f, 0.1361717f},  // 1001.3 Hz
      {design::notch_width_edges, 0, 0.035f, -0.0453172f, 0.0453856f},
      {design::notch_width_edges, -1, 300.0f, -0.0453172f, 0.0453856f},
      {design::notch_width_edges, 4, 300.0f, -0.0453172f, 0.0453856f},
  };
  design::Edges edges;
  for (const auto& row : rows) {
    row.apply(row.index, row.centre, edges);
    EXPECT_NEAR(edges.lo, row.lo, 5e-8f) << "index " << row.index << ", centre " << row.centre;
    EXPECT_NEAR(edges.hi, row.hi, 5e-8f) << "index " << row.index << ", centre " << row.centre;
  }
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
