#include "display/drag.h"

namespace display {
namespace {

// The grab flags in DragLine order.
template <typename V>
auto grab_flags(V& v) {
  return std::array{&v.bp_grab,           &v.nf1_grab,       &v.nf2_grab,
                    &v.var_bp_lo_grab,    &v.var_bp_hi_grab, &v.var_notch_lo_grab,
                    &v.var_notch_hi_grab, &v.ref_grab};
}

}  // namespace

std::optional<DragLine> line_at(const View& view,
                                std::span<const LineUnderPointer, drag_line_count> lines, int X) {
  const auto flags = grab_flags(view);
  for (int i = 0; i < drag_line_count; ++i) {
    const LineUnderPointer& line = lines[static_cast<std::size_t>(i)];
    if (line.shown && *flags[static_cast<std::size_t>(i)] && line.x - view.grab_margin_left < X &&
        X < line.x + view.grab_margin_right) {
      return static_cast<DragLine>(i);
    }
  }
  return std::nullopt;
}

void hold_line(View& view, DragLine line) {
  const auto flags = grab_flags(view);
  for (std::size_t i = 0; i < flags.size(); ++i) {
    *flags[i] = i == static_cast<std::size_t>(line);
  }
  view.grab_margin_left = 50;
  view.grab_margin_right = 50;
}

void release_lines(View& view) {
  for (bool* flag : grab_flags(view)) *flag = true;
  view.grab_margin_left = 3;
  view.grab_margin_right = 3;
}

}  // namespace display
