// Program-wide state of the filter design. Every variable starts at zero;
// FormCreate gives each its start value. The filter controls write them.
#pragma once

#include <cstdint>

namespace design {

// Q positions (0..25) of the five Q track bars, and the bandpass's level
// (25 - position) x 0.01 subtracted from its response (saved: the positions).
inline std::int32_t bp_q_position = 0;
inline std::int32_t var_bp_q_position = 0;
inline std::int32_t nf1_q_position = 0;
inline std::int32_t nf2_q_position = 0;
inline std::int32_t var_notch_q_position = 0;
inline float bp_q_level = 0.0f;

// Edges of the variable filters as scroll-bar positions 1..512 (saved).
inline std::int32_t var_bp_lo_bin = 0;
inline std::int32_t var_bp_hi_bin = 0;
inline std::int32_t var_notch_lo_bin = 0;
inline std::int32_t var_notch_hi_bin = 0;

// Centres of the bandpass and the notches in full-span spectrum columns
// (f = centre / 1024), set by dragging their lines (saved).
inline float bp_center = 0.0f;
inline float nf1_center = 0.0f;
inline float nf2_center = 0.0f;

}  // namespace design
