// The rules that turn the filter controls' settings into design inputs: the
// bandpass presets, the notch widths, the Q rule, and the edges and width
// text of the variable filters. The item texts are those of the width combo
// boxes, item i for index i.
//
// Units: edges are normalised frequency (0..0.5 cycles per sample, hertz =
// f x 11025); centres are full-span spectrum columns (f = centre / 1024);
// positions are those of the hidden scroll bars, 1..512 (f = position / 1024).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "design/filter.h"

namespace design {

// Items of the bandpass preset boxes (two blanks after each comma).
inline constexpr std::array<std::string_view, 7> bp_preset_texts{
    "200 Hz to 3.0 kHz", "200 Hz to 2.4 kHz", "300 Hz to 1.6 kHz", "CW,  400 Hz",
    "CW,  250 Hz",       "CW,  150 Hz",       "CW,  100 Hz"};

// Items of the notch width boxes; notch 2's carry three blanks, notch 1's two.
inline constexpr std::array<std::string_view, 4> nf1_width_texts{"1000 Hz", "400  Hz", "200  Hz",
                                                                 "100  Hz"};
inline constexpr std::array<std::string_view, 4> nf2_width_texts{"1000 Hz", "400   Hz", "200   Hz",
                                                                 "100   Hz"};

// bp_preset_edges: sets the bandpass's `edges` from preset `index`.
// Presets 0..2 are fixed bands (200-3000, 200-2400, 300-1601 Hz) and ignore
// the centre; presets 3..6 are bands of +-200, 125, 75, 50 Hz around
// c = centre / 1024. A centre near either end gives an edge outside 0..0.5.
// An index outside 0..6 (-1: no item selected) changes nothing.
void bp_preset_edges(std::int32_t index, float centre, Edges& edges);

// notch_width_edges: sets `edges` to c -+ the half-width of width
// `index` (0..3: +-500, 200, 102.9, 50 Hz) around c = centre / 1024. An
// index outside 0..3 changes nothing.
void notch_width_edges(std::int32_t index, float centre, Edges& edges);

// q_level_for: the Q-level of a Q track-bar position 0..25,
// (25 - position) x 0.01: 0 at 25 (the filter's own response), 0.25 at 0.
float q_level_for(std::int32_t position);

// position_edge: the edge of a variable-filter scroll-bar position 1..512,
// position / 1024 (the position itself, not position - 1).
float position_edge(std::int32_t position);

// var_width_hz: the width shown for a variable filter whose bars stand at
// lo and hi: (hi - lo) x 5512 / 512, truncated. The window appends " Hz".
std::int32_t var_width_hz(std::int32_t lo, std::int32_t hi);

}  // namespace design
