// What the filter controls do to the program-wide design state, apart from
// the widgets: each function is the whole effect of a control's handler on
// the filters, so that the window and the command-line filter set the chain
// up by one set of rules. The window adds only what it shows (labels,
// memos, lines).
//
// Units as in design/state.h: centres are full-span columns, variable edges
// scroll-bar positions, Q in track-bar positions. Every function designs
// with block_size 512 and must not run while another design runs.
#pragma once

#include <cstdint>

namespace design {

// The ranges of the controls' bars: the five Q bars, and the four bars of
// the variable filters' edges.
inline constexpr std::int32_t q_position_min = 0;
inline constexpr std::int32_t q_position_max = 25;
inline constexpr std::int32_t edge_position_min = 1;
inline constexpr std::int32_t edge_position_max = 512;

// The bandpass (notch 1, notch 2) designed for its selected preset (width)
// around its centre: the width lists and a released centre line.
void design_bandpass_at_centre();
void design_nf1_at_centre();
void design_nf2_at_centre();

// A Q bar moved to `position` (0..25): the position, the filter's Q-level,
// and for the bandpass and the notches the design with their current edges.
// The variable filters' Q bars leave the design to their edges
// (design_var_bandpass_at / design_var_notch_at).
void set_bp_q(std::int32_t position);
void set_nf1_q(std::int32_t position);
void set_nf2_q(std::int32_t position);
void set_var_bp_q(std::int32_t position);
void set_var_notch_q(std::int32_t position);

// The lower edge bar, moved to `lo` with the upper one at `hi`, settles one
// below the upper one when it reached it (not below the bar's minimum);
// likewise the upper bar one above the lower one (not above the maximum).
std::int32_t lower_edge_kept_below(std::int32_t lo, std::int32_t hi);
std::int32_t upper_edge_kept_above(std::int32_t lo, std::int32_t hi);

// A variable filter designed from its edge bars' positions lo, hi: the
// positions kept, the edges position / 1024, the design.
void design_var_bandpass_at(std::int32_t lo, std::int32_t hi);
void design_var_notch_at(std::int32_t lo, std::int32_t hi);

}  // namespace design
