// The settings file: 124 bytes, 37 fields in a fixed order with no header,
// padding, version or checksum; integers and floats little-endian. Plain
// functions over bytes; no Qt.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace files {

inline constexpr std::size_t settings_size = 124;

// The fields in file order; the comment gives each one's offset.
struct Settings {
  std::int32_t spectrum_width = 0;        // 0
  std::uint8_t bypass_on = 0;             // 4
  std::int32_t spectrum_bars = 0;         // 5
  std::int32_t display_mode = 0;          // 9
  std::int32_t display_filtered = 0;      // 13
  std::int32_t lms_filter_on = 0;         // 17
  std::int32_t median_filter_on = 0;      // 21
  std::uint8_t bp_line_on = 0;            // 25
  std::uint8_t nf1_line_on = 0;           // 26
  std::uint8_t nf2_line_on = 0;           // 27
  std::uint8_t var_bp_lo_line_on = 0;     // 28
  std::uint8_t var_bp_hi_line_on = 0;     // 29
  float bp_center = 0.0f;                 // 30
  float nf1_center = 0.0f;                // 34
  float nf2_center = 0.0f;                // 38
  std::int32_t bp_width_index = 0;        // 42
  std::int32_t nf1_width_index = 0;       // 46
  std::int32_t nf2_width_index = 0;       // 50
  std::int32_t gain_position_time = 0;    // 54
  std::int32_t gain_position_freq = 0;    // 58
  std::int32_t bp_q_position = 0;         // 62
  std::int32_t rx_coarse_position = 0;    // 66
  std::int32_t settings_reserved = 0;     // 70
  std::uint8_t ref_line_on = 0;           // 74
  std::int32_t ref_position = 0;          // 75
  std::int32_t var_bp_lo_bin = 0;         // 79
  std::int32_t var_bp_hi_bin = 0;         // 83
  std::int32_t var_bp_q_position = 0;     // 87
  std::int32_t nf1_q_position = 0;        // 91
  std::int32_t nf2_q_position = 0;        // 95
  std::int32_t var_notch_q_position = 0;  // 99
  std::uint8_t var_notch_line_on = 0;     // 103
  std::int32_t var_notch_lo_bin = 0;      // 104
  std::int32_t var_notch_hi_bin = 0;      // 108
  std::int32_t input_device_id = 0;       // 112
  std::int32_t output_device_id = 0;      // 116
  std::int32_t input_select = 0;          // 120

  bool operator==(const Settings&) const = default;
};

// The settings of a first start, before any file was saved: full span, line
// spectrum, frequency view of the filtered signal; no line shown; every
// centre 0.035; the first preset and widths; gain bar 25 on coarse step 5
// (x 2.5); every Q bar at 20; variable edges at 100 and 400; reference at
// 255; the mono input on device 0.
Settings start_settings();

// The centre a stored one is read as: one no line can stand at (not a
// number, or outside the spectrum's columns 0..512) falls back to the start
// centre.
float usable_centre(float centre);

// The fine gain position the settings restore: that of the view they
// restore, the frequency view's when display_mode is 1, the time view's
// otherwise.
std::int32_t restored_gain_position(const Settings& settings);

// The 124 bytes of the settings.
std::array<std::uint8_t, settings_size> serialise_settings(const Settings& settings);

// The settings in `bytes`: every field that lies wholly inside them is read;
// the others (a short file) keep their value in `start`. Bytes after the
// 124th are ignored.
Settings parse_settings(std::span<const std::uint8_t> bytes, const Settings& start);

// The settings a file gives the window, with the values it cannot use
// replaced by their start values (which are then what is saved): a file of
// nothing but zero bytes gives `start` whole; an input select other than 1
// (microphone), 2 (left) or 3 (right) gives start's. `problem` says what
// was replaced, as "holds only zero bytes; the start settings are used".
struct UsableSettings {
  Settings settings;
  std::optional<std::string> problem;
};
UsableSettings usable_settings(std::span<const std::uint8_t> bytes, const Settings& start);

}  // namespace files
