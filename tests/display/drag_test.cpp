// Which line the pointer catches, and the held and idle states.
#include "display/drag.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using display::DragLine;
using display::LineUnderPointer;

class Drag : public ::testing::Test {
 protected:
  // A fresh view: every line free, both margins 3.
  display::View view;

  // Every line hidden at column 0, except those the test places.
  std::array<LineUnderPointer, display::drag_line_count> lines{};

  void place(DragLine line, int x) { lines[static_cast<std::size_t>(line)] = {x, true}; }
  std::optional<DragLine> at(int X) { return display::line_at(view, lines, X); }
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
  display::hold_line(view, DragLine::var_bp_hi);
  EXPECT_TRUE(view.var_bp_hi_grab);
  EXPECT_FALSE(view.bp_grab);
  EXPECT_FALSE(view.ref_grab);
  EXPECT_EQ(view.grab_margin_left, 50);
  EXPECT_EQ(view.grab_margin_right, 50);

  // The bandpass, earlier in order and right under the pointer, is not free.
  EXPECT_EQ(at(130), DragLine::var_bp_hi);
  EXPECT_EQ(at(149), DragLine::var_bp_hi);
  EXPECT_FALSE(at(150));
  EXPECT_EQ(at(51), DragLine::var_bp_hi);
  EXPECT_FALSE(at(50));
}

TEST_F(Drag, ReleaseFreesEveryLineAndNarrowsTheReach) {
  display::hold_line(view, DragLine::reference);
  display::release_lines(view);
  for (const bool flag :
       {view.bp_grab, view.nf1_grab, view.nf2_grab, view.var_bp_lo_grab, view.var_bp_hi_grab,
        view.var_notch_lo_grab, view.var_notch_hi_grab, view.ref_grab}) {
    EXPECT_TRUE(flag);
  }
  EXPECT_EQ(view.grab_margin_left, 3);
  EXPECT_EQ(view.grab_margin_right, 3);
}

}  // namespace
