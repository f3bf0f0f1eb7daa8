// Program-wide state of the filter design. Every variable starts at zero;
// FormCreate gives each its start value. The filter controls write them.
//
// Units: band edges are normalised frequency (0..0.5 cycles per sample,
// hertz = f x 11025); centres are full-span spectrum columns (f = c / 1024).
#pragma once

#include <array>
#include <cstdint>

namespace design {

// Sizes of the design arrays. A kernel has taps 0..512 (block_size 512);
// the design transform reads taps 1..1024, so a kernel array holds 1025
// floats and taps 513..1024 stay zero. A response has one entry per bin of
// the 1024-point transform, bins 0..511. A window table covers entries
// 0..fft_size.
inline constexpr int kernel_room = 1025;
inline constexpr int response_bins = 512;
inline constexpr int window_room = 1025;

using Kernel = std::array<float, kernel_room>;
using Response = std::array<float, response_bins>;
using WindowTable = std::array<float, window_room>;

// Q positions (0..25) of the five Q track bars, and the bandpass's level
// (25 - position) x 0.01 subtracted from its response (saved: the positions).
inline std::int32_t bp_q_position = 0;
inline std::int32_t var_bp_q_position = 0;
inline std::int32_t nf1_q_position = 0;
inline std::int32_t nf2_q_position = 0;
inline std::int32_t var_notch_q_position = 0;
inline float bp_q_level = 0.0f;

// Q levels of the other four filters (0..0.25), written by their Q track-bar
// handlers and read by their designers.
inline float nf1_q_level = 0.0f;
inline float nf2_q_level = 0.0f;
inline float var_bp_q_level = 0.0f;
inline float var_notch_q_level = 0.0f;

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

// Selected bandpass preset (0..6) and notch widths (0..3), written by the
// width combo-box handlers; -1 when a box has no item selected (saved).
inline std::int32_t bp_width_index = 0;
inline std::int32_t nf1_width_index = 0;
inline std::int32_t nf2_width_index = 0;

// Current band edges, normalised frequency. The bandpass and notch edges are
// written by bp_preset_edges / notch_width_edges (combo handlers, line
// release); the variable edges (position / 1024) by the scroll-bar handlers.
inline float bp_lo_edge = 0.0f;
inline float bp_hi_edge = 0.0f;
inline float nf1_lo_edge = 0.0f;
inline float nf1_hi_edge = 0.0f;
inline float nf2_lo_edge = 0.0f;
inline float nf2_hi_edge = 0.0f;
inline float var_bp_lo_edge = 0.0f;
inline float var_bp_hi_edge = 0.0f;
inline float var_notch_lo_edge = 0.0f;
inline float var_notch_hi_edge = 0.0f;

// Stage enable flags (0/1), written only by the enable buttons and read by
// the processing cycle; not saved, every filter starts off.
inline std::int32_t bp_filter_on = 0;
inline std::int32_t nf1_filter_on = 0;
inline std::int32_t nf2_filter_on = 0;
inline std::int32_t var_bp_filter_on = 0;
inline std::int32_t var_notch_filter_on = 0;

// Filter kernels, written only by their designers (taps 0..512).
inline Kernel bp_taps{};
inline Kernel var_bp_taps{};
inline Kernel nf1_taps{};
inline Kernel nf2_taps{};
inline Kernel var_notch_taps{};

// Frequency responses, bin j at entry j, written only by their designers and
// multiplied into each segment's spectrum by the processing cycle. Entry 0
// packs half the DC and half the Nyquist value like the transform's slot 1.
// Entry 511 is never written and stays zero, so an enabled stage always
// removes the top bin.
inline Response bp_resp_re{};
inline Response bp_resp_im{};
inline Response nf1_resp_re{};
inline Response nf1_resp_im{};
inline Response nf2_resp_re{};
inline Response nf2_resp_im{};
inline Response var_bp_resp_re{};
inline Response var_bp_resp_im{};
inline Response var_notch_resp_re{};
inline Response var_notch_resp_im{};

// Analysis windows over fft_size, entries 0..1024, filled once at the end of
// start-up: cycle_window (all 1.0) for the cycle's forward transforms,
// display_window (Blackman-Harris) for the spectrum display. Both consumers
// index them from 1.
inline WindowTable cycle_window{};
inline WindowTable display_window{};

}  // namespace design
