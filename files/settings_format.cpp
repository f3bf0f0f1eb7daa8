#include "files/settings_format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <type_traits>

namespace files {

namespace {

// Where the bandpass and notch centres start, in columns.
constexpr float start_centre = 0.035f;

// Calls visit(field) for every field of the settings, in file order.
template <typename S, typename Visit>
constexpr void for_each_field(S& s, Visit visit) {
  visit(s.spectrum_width);
  visit(s.bypass_on);
  visit(s.spectrum_bars);
  visit(s.display_mode);
  visit(s.display_filtered);
  visit(s.lms_filter_on);
  visit(s.median_filter_on);
  visit(s.bp_line_on);
  visit(s.nf1_line_on);
  visit(s.nf2_line_on);
  visit(s.var_bp_lo_line_on);
  visit(s.var_bp_hi_line_on);
  visit(s.bp_center);
  visit(s.nf1_center);
  visit(s.nf2_center);
  visit(s.bp_width_index);
  visit(s.nf1_width_index);
  visit(s.nf2_width_index);
  visit(s.gain_position_time);
  visit(s.gain_position_freq);
  visit(s.bp_q_position);
  visit(s.rx_coarse_position);
  visit(s.settings_reserved);
  visit(s.ref_line_on);
  visit(s.ref_position);
  visit(s.var_bp_lo_bin);
  visit(s.var_bp_hi_bin);
  visit(s.var_bp_q_position);
  visit(s.nf1_q_position);
  visit(s.nf2_q_position);
  visit(s.var_notch_q_position);
  visit(s.var_notch_line_on);
  visit(s.var_notch_lo_bin);
  visit(s.var_notch_hi_bin);
  visit(s.input_device_id);
  visit(s.output_device_id);
  visit(s.input_select);
}

constexpr std::size_t fields_size() {
  Settings settings;
  std::size_t size = 0;
  for_each_field(settings, [&](const auto& field) { size += sizeof field; });
  return size;
}
static_assert(fields_size() == settings_size);

// A field's bits as an unsigned number of its width.
template <typename T>
auto field_bits(T value) {
  if constexpr (sizeof(T) == 1) {
    return static_cast<std::uint8_t>(value);
  } else {
    return std::bit_cast<std::uint32_t>(value);
  }
}

template <typename T>
using FieldBits = decltype(field_bits(T{}));

}  // namespace

std::array<std::uint8_t, settings_size> serialise_settings(const Settings& settings) {
  std::array<std::uint8_t, settings_size> bytes{};
  std::size_t offset = 0;
  for_each_field(settings, [&](const auto& field) {
    const auto bits = field_bits(field);
    for (std::size_t i = 0; i < sizeof field; ++i) {
      bytes[offset++] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
  });
  return bytes;
}

Settings parse_settings(std::span<const std::uint8_t> bytes, const Settings& start) {
  Settings settings = start;
  std::size_t offset = 0;
  for_each_field(settings, [&](auto& field) {
    using Field = std::remove_reference_t<decltype(field)>;
    if (offset + sizeof field <= bytes.size()) {
      FieldBits<Field> bits = 0;
      for (std::size_t i = 0; i < sizeof field; ++i) {
        bits |= static_cast<FieldBits<Field>>(FieldBits<Field>{bytes[offset + i]} << (8 * i));
      }
      field = std::bit_cast<Field>(bits);
    }
    offset += sizeof field;
  });
  return settings;
}

Settings start_settings() {
  Settings s;
  s.spectrum_width = 1;
  s.display_mode = 1;
  s.display_filtered = 1;
  s.bp_center = start_centre;
  s.nf1_center = start_centre;
  s.nf2_center = start_centre;
  s.gain_position_time = 25;
  s.gain_position_freq = 25;
  s.bp_q_position = 20;
  s.rx_coarse_position = 5;
  s.ref_position = 255;
  s.var_bp_lo_bin = 100;
  s.var_bp_hi_bin = 400;
  s.var_bp_q_position = 20;
  s.nf1_q_position = 20;
  s.nf2_q_position = 20;
  s.var_notch_q_position = 20;
  s.var_notch_lo_bin = 100;
  s.var_notch_hi_bin = 400;
  s.input_select = 1;
  return s;
}

float usable_centre(float centre) {
  return std::isfinite(centre) && centre >= 0.0f && centre <= 512.0f ? centre : start_centre;
}

std::int32_t restored_gain_position(const Settings& settings) {
  return settings.display_mode == 1 ? settings.gain_position_freq : settings.gain_position_time;
}

UsableSettings usable_settings(std::span<const std::uint8_t> bytes, const Settings& start) {
  const auto read = bytes.first(std::min(bytes.size(), settings_size));
  if (!read.empty() &&
      std::all_of(read.begin(), read.end(), [](std::uint8_t b) { return b == 0; })) {
    return {start, "holds only zero bytes; the start settings are used"};
  }
  UsableSettings usable{parse_settings(bytes, start), std::nullopt};
  const std::int32_t select = usable.settings.input_select;
  if (select < 1 || select > 3) {
    usable.settings.input_select = start.input_select;
    usable.problem = "holds the input select " + std::to_string(select) +
                     ", which is none of 1 (microphone), 2 (left) and 3 (right); the microphone "
                     "input is used";
  }
  return usable;
}

}  // namespace files
