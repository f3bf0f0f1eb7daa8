// Which line the pointer catches, and the held and idle states.
#include <gtest/gtest.h>

#include <array>

#include "display/drag.h"
#include "display/state.h"

namespace {

using display::DragLine;
using display::LineUnderPointer;

class Drag : public ::testing::Test {
 protected:
  void SetUp() override { display::release_lines(); }

  // Every line hidden at column 0, except those the test places.
  std::array<LineUnderPointer, display::drag_line_count> lines{};

  void place(DragLine line, int x) { lines[static_cast<std::size_t>(line)] = {x, true}; }
  std::optional<DragLine> at(int X) { return display::line_at(lines, X); }
};

TEST_F(Drag, AnIdlePointerCatchesALineOnlyWithinTwoPixels) {
  place(DragLine::notch1, 100);
  EXPECT_FALSE(at(97));
  EXPECT_EQ(at(98), DragLine::notch1);
  EXPECT_EQ(at(100), DragLine::notch1);
  EXPECT_EQ(at(102), DragLine::notch1);
  EXPECT_FALSE(at(103));
}

TEST_F(Drag, AHiddenLineIsNotCaught) {
  place(DragLine::reference, 100);
  lines[static_cast<std::size_t>(DragLine::reference)].shown = false;
  EXPECT_FALSE(at(100));
}

TEST_F(Drag, OfTwoLinesInReachTheEarlierInOrderIsCaught) {
  place(DragLine::reference, 101);
  place(DragLine::bandpass, 100);
  EXPECT_EQ(at(100), DragLine::bandpass);
  place(DragLine::var_notch_hi, 100);
  place(DragLine::var_bp_lo, 99);
  lines[0].shown = false;
  EXPECT_EQ(at(100), DragLine::var_bp_lo);
}

TEST_F(Drag, AHeldLineAloneFollowsWithinFortyNinePixels) {
  place(DragLine::var_bp_hi, 100);
  place(DragLine::bandpass, 130);
  display::hold_line(DragLine::var_bp_hi);
  EXPECT_EQ(display::var_bp_hi_grab, 1);
  EXPECT_EQ(display::bp_grab, 0);
  EXPECT_EQ(display::ref_grab, 0);
  EXPECT_EQ(display::grab_margin_left, 50);
  EXPECT_EQ(display::grab_margin_right, 50);

  // The bandpass, earlier in order and right under the pointer, is not free.
  EXPECT_EQ(at(130), DragLine::var_bp_hi);
  EXPECT_EQ(at(149), DragLine::var_bp_hi);
  EXPECT_FALSE(at(150));
  EXPECT_EQ(at(51), DragLine::var_bp_hi);
  EXPECT_FALSE(at(50));
}

TEST_F(Drag, ReleaseFreesEveryLineAndNarrowsTheReach) {
  display::hold_line(DragLine::reference);
  display::release_lines();
  for (const std::uint8_t flag :
       {display::bp_grab, display::nf1_grab, display::nf2_grab, display::var_bp_lo_grab,
        display::var_bp_hi_grab, display::var_notch_lo_grab, display::var_notch_hi_grab,
        display::ref_grab}) {
    EXPECT_EQ(flag, 1);
  }
  EXPECT_EQ(display::grab_margin_left, 3);
  EXPECT_EQ(display::grab_margin_right, 3);
}

}  // namespace
