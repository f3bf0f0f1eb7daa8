// Which line the pointer catches, and the held and idle states.
#include "display/drag.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

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

// Of the lines in reach, the earliest in order that is shown is caught.
TEST_F(Drag, AnIdlePointerCatchesTheFirstShownLineWithinTwoPixels) {
  place(DragLine::notch1, 100);
  for (int X = 95; X <= 105; ++X) {
    EXPECT_EQ(at(X), std::abs(X - 100) <= 2 ? std::optional(DragLine::notch1) : std::nullopt) << X;
  }
  lines[static_cast<std::size_t>(DragLine::notch1)].shown = false;
  EXPECT_FALSE(at(100));

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
  place(DragLine::reference, 200);
  display::hold_line(view, DragLine::var_bp_hi);
  // The bandpass, earlier in order and right under the pointer, is not free;
  // nor is the reference.
  EXPECT_EQ(at(130), DragLine::var_bp_hi);
  EXPECT_EQ(at(149), DragLine::var_bp_hi);
  EXPECT_FALSE(at(150));
  EXPECT_FALSE(at(200));
  EXPECT_EQ(at(51), DragLine::var_bp_hi);
  EXPECT_FALSE(at(50));
}

TEST_F(Drag, ReleaseFreesEveryLineAndNarrowsTheReach) {
  display::hold_line(view, DragLine::reference);
  display::release_lines(view);
  for (int k = 0; k < display::drag_line_count; ++k) {
    lines = {};
    place(static_cast<DragLine>(k), 100);
    EXPECT_EQ(at(98), static_cast<DragLine>(k)) << k;
    EXPECT_EQ(at(102), static_cast<DragLine>(k)) << k;
    EXPECT_FALSE(at(97)) << k;
    EXPECT_FALSE(at(103)) << k;
  }
}

}  // namespace
