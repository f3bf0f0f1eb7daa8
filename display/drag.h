// Catching a filter line with the pointer. While no line is held, the
// pointer must come within 2 pixels of a line (margins 3, both bounds
// strict); once one is caught, it alone follows the pointer as long as each
// move lands within 49 pixels of it (margins 50).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "display/view.h"

namespace display {

// The lines in the order the pointer tries them.
enum class DragLine {
  bandpass,
  notch1,
  notch2,
  var_bp_lo,
  var_bp_hi,
  var_notch_lo,
  var_notch_hi,
  reference,
};
inline constexpr int drag_line_count = 8;

// A line as the pointer sees it: its column and whether it is shown.
struct LineUnderPointer {
  int x = 0;
  bool shown = false;
};

// The first line, in DragLine order, that is shown, may be caught (its grab
// flag in the view is 1) and lies within the view's margins of column X:
// x - grab_margin_left < X < x + grab_margin_right. None when no line
// qualifies.
std::optional<DragLine> line_at(const View& view,
                                std::span<const LineUnderPointer, drag_line_count> lines, int X);

// hold_line: `line` is being dragged: its grab flag set, the other seven clear,
// both margins 50. release_lines: every grab flag set, both margins 3 (the
// idle state, also the start state).
void hold_line(View& view, DragLine line);
void release_lines(View& view);

}  // namespace display
