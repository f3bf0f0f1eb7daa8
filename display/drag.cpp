#include "display/drag.h"

#include "display/state.h"

namespace display {
namespace {

// The grab flags in DragLine order.
std::array<std::uint8_t*, drag_line_count> grab_flags() {
  return {&bp_grab,          &nf1_grab,          &nf2_grab,          &var_bp_lo_grab,
          &var_bp_hi_grab,   &var_notch_lo_grab, &var_notch_hi_grab, &ref_grab};
}

}  // namespace

std::optional<DragLine> line_at(std::span<const LineUnderPointer, drag_line_count> lines, int X) {
  const auto flags = grab_flags();
  for (int i = 0; i < drag_line_count; ++i) {
    const LineUnderPointer& line = lines[static_cast<std::size_t>(i)];
    if (line.shown && *flags[static_cast<std::size_t>(i)] == 1 &&
        line.x - grab_margin_left < X && X < line.x + grab_margin_right) {
      return static_cast<DragLine>(i);
    }
  }
  return std::nullopt;
}

void hold_line(DragLine line) {
  const auto flags = grab_flags();
  for (std::size_t i = 0; i < flags.size(); ++i) {
    *flags[i] = i == static_cast<std::size_t>(line) ? 1 : 0;
  }
  grab_margin_left = 50;
  grab_margin_right = 50;
}

void release_lines() {
  for (std::uint8_t* flag : grab_flags()) *flag = 1;
  grab_margin_left = 3;
  grab_margin_right = 3;
}

}  // namespace display
