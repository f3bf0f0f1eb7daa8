// Program-wide state of the spectrum display. Every variable starts at zero;
// FormCreate gives each its start value. Written by the display buttons, the
// gain controls and the line handlers.
#pragma once

#include <array>
#include <cstdint>

namespace display {

inline std::int32_t spectrum_height = 0;   // height of the drawing in pixels
inline std::int32_t display_mode = 0;      // 1 = frequency view, 2 = time view (saved)
inline std::int32_t display_filtered = 0;  // 1 = the output shown, 0 = the raw input (saved)
inline std::int32_t spectrum_bars = 0;     // 0 = line spectrum, 1 = bars (saved)
inline std::int32_t spectrum_width = 0;    // span: 1 full, 2 half, 4 quarter (saved)
inline std::int32_t time_gain = 0;         // amplitude factor of the time view
inline float spectrum_gain = 0.0f;         // power factor of the frequency view
inline std::int32_t time_baseline = 0;     // zero line of the time view, set at each cycle start
inline float db_scale = 0.0f;              // factor on the log spectrum
inline float db_offset = 0.0f;             // offset subtracted from the log spectrum

// Working arrays of the frequency view, indexed from 1 like the transform's:
// the power spectrum and then its scaled logarithm (entries 1..1024), the
// transform's output (1..512), and the running average of the scaled log
// spectrum, entry i for bin i (1..512), kept for the whole run.
inline std::array<float, 1025> display_scratch{};
inline std::array<float, 513> display_spectrum_re{};
inline std::array<float, 513> display_spectrum_im{};
inline std::array<float, 513> spectrum_average{};

// The time view: the scaled samples of the pass and whether it triggered.
inline std::array<std::int32_t, 1024> time_trace{};
inline std::uint8_t trigger_found = 0;
inline std::int32_t bar_height = 0;  // height of the column being drawn

// Show flags of the filter lines, 1 = shown, written only by the line
// toggles and the settings reader (saved, except the two variable-notch
// edge flags, which follow var_notch_line_on).
inline std::uint8_t bp_line_on = 0;
inline std::uint8_t nf1_line_on = 0;
inline std::uint8_t nf2_line_on = 0;
inline std::uint8_t var_bp_lo_line_on = 0;
inline std::uint8_t var_bp_hi_line_on = 0;
inline std::uint8_t var_notch_line_on = 0;
inline std::uint8_t var_notch_lo_line_on = 0;
inline std::uint8_t var_notch_hi_line_on = 0;

// The reference line (saved).
inline std::uint8_t ref_line_on = 0;
inline std::int32_t ref_position = 0;

// Dragging: which lines may be caught (1 = free), and how close the pointer
// must come to catch or keep one.
inline std::uint8_t bp_grab = 0;
inline std::uint8_t nf1_grab = 0;
inline std::uint8_t nf2_grab = 0;
inline std::uint8_t var_bp_lo_grab = 0;
inline std::uint8_t var_bp_hi_grab = 0;
inline std::uint8_t var_notch_lo_grab = 0;
inline std::uint8_t var_notch_hi_grab = 0;
inline std::uint8_t ref_grab = 0;
inline std::int32_t grab_margin_left = 0;
inline std::int32_t grab_margin_right = 0;

}  // namespace display
