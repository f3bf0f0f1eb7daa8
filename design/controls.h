// What the filter controls do to the filters, apart from the widgets: the
// controls' values of each filter, and functions that are the whole effect
// of a control's handler on those values and on the filter's design, so that
// the window and the command-line filter set the chain up by one set of
// rules. The window adds only what it shows (labels, memos, lines).
//
// Units: centres are full-span columns (f = centre / 1024), variable edges
// scroll-bar positions (f = position / 1024), Q in track-bar positions.
// Every design has 513 taps (see designers.h).
#pragma once

#include <cstdint>

#include "design/filter.h"

namespace design {

// The ranges of the controls' bars: the five Q bars, and the four bars of
// the variable filters' edges.
inline constexpr std::int32_t q_position_min = 0;
inline constexpr std::int32_t q_position_max = 25;
inline constexpr std::int32_t edge_position_min = 1;
inline constexpr std::int32_t edge_position_max = 512;

// The controls of the bandpass or of a notch: the selected preset (0..6) or
// width (0..3), -1 when its list has no item selected; the centre the line
// was released at; the Q bar's position and the level it gives; the edges
// the preset or width last set (both 0 until one is chosen).
struct CentredControls {
  std::int32_t width_index = 0;
  float centre = 0.0f;
  std::int32_t q_position = 0;
  float q_level = 0.0f;
  Edges edges;
};

// The controls of a variable filter: its two edge bars' positions (1..512),
// the Q bar's position and level, and the edges the bars last gave.
struct VariableControls {
  std::int32_t lo_bin = 0;
  std::int32_t hi_bin = 0;
  std::int32_t q_position = 0;
  float q_level = 0.0f;
  Edges edges;
};

// The controls of the five transform-domain filters.
struct Tuning {
  CentredControls bp;
  CentredControls nf1;
  CentredControls nf2;
  VariableControls var_bp;
  VariableControls var_notch;
};

// The bandpass (a notch) designed for its selected preset (width) around its
// centre: the width lists and a released centre line. An index outside the
// list keeps the edges as they were.
void design_bandpass_at_centre(CentredControls& bp, DesignedFilter& filter);
void design_notch_at_centre(CentredControls& notch, DesignedFilter& filter);

// A Q bar moved to `position` (0..25): the position and the filter's
// Q-level; for the bandpass and the notches also the design with their
// current edges. The variable filters' Q bars leave the design to their
// edges (design_var_bandpass_at / design_var_notch_at).
void set_bandpass_q(CentredControls& bp, std::int32_t position, DesignedFilter& filter);
void set_notch_q(CentredControls& notch, std::int32_t position, DesignedFilter& filter);
void set_variable_q(VariableControls& controls, std::int32_t position);

// The lower edge bar, moved to `lo` with the upper one at `hi`, settles one
// below the upper one when it reached it (not below the bar's minimum);
// likewise the upper bar one above the lower one (not above the maximum).
std::int32_t lower_edge_kept_below(std::int32_t lo, std::int32_t hi);
std::int32_t upper_edge_kept_above(std::int32_t lo, std::int32_t hi);

// Where a variable filter's two edge bars settle when they are placed at lo
// and hi (each held within the bars' range) and their handlers run, lower
// first.
struct EdgeBars {
  std::int32_t lo;
  std::int32_t hi;
};
EdgeBars settle_edge_bars(std::int32_t lo, std::int32_t hi);

// A variable filter designed from its edge bars' positions lo, hi: the
// positions kept, the edges position / 1024, the design with its Q-level.
void design_var_bandpass_at(VariableControls& controls, std::int32_t lo, std::int32_t hi,
                            DesignedFilter& filter);
void design_var_notch_at(VariableControls& controls, std::int32_t lo, std::int32_t hi,
                         DesignedFilter& filter);

}  // namespace design
