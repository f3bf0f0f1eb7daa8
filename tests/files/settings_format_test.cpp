#include "files/settings_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <variant>
#include <vector>

namespace {

using files::Settings;

Settings start_values() {
  Settings s;
  s.spectrum_width = 1;
  s.display_mode = 1;
  s.display_filtered = 1;
  s.bp_center = s.nf1_center = s.nf2_center = 0.035f;
  s.gain_position_time = s.gain_position_freq = 25;
  s.bp_q_position = 20;
  s.rx_coarse_position = 5;
  s.ref_position = 255;
  s.var_bp_lo_bin = s.var_notch_lo_bin = 100;
  s.var_bp_hi_bin = s.var_notch_hi_bin = 400;
  s.var_bp_q_position = s.nf1_q_position = s.nf2_q_position = s.var_notch_q_position = 20;
  s.input_select = 1;
  return s;
}

using Member = std::variant<std::int32_t Settings::*, std::uint8_t Settings::*, float Settings::*>;

struct Field {
  std::size_t offset;
  Member member;
};

// The file's fields, each at its offset.
const Field fields[] = {
    {0, &Settings::spectrum_width},
    {4, &Settings::bypass_on},
    {5, &Settings::spectrum_bars},
    {9, &Settings::display_mode},
    {13, &Settings::display_filtered},
    {17, &Settings::lms_filter_on},
    {21, &Settings::median_filter_on},
    {25, &Settings::bp_line_on},
    {26, &Settings::nf1_line_on},
    {27, &Settings::nf2_line_on},
    {28, &Settings::var_bp_lo_line_on},
    {29, &Settings::var_bp_hi_line_on},
    {30, &Settings::bp_center},
    {34, &Settings::nf1_center},
    {38, &Settings::nf2_center},
    {42, &Settings::bp_width_index},
    {46, &Settings::nf1_width_index},
    {50, &Settings::nf2_width_index},
    {54, &Settings::gain_position_time},
    {58, &Settings::gain_position_freq},
    {62, &Settings::bp_q_position},
    {66, &Settings::rx_coarse_position},
    {70, &Settings::settings_reserved},
    {74, &Settings::ref_line_on},
    {75, &Settings::ref_position},
    {79, &Settings::var_bp_lo_bin},
    {83, &Settings::var_bp_hi_bin},
    {87, &Settings::var_bp_q_position},
    {91, &Settings::nf1_q_position},
    {95, &Settings::nf2_q_position},
    {99, &Settings::var_notch_q_position},
    {103, &Settings::var_notch_line_on},
    {104, &Settings::var_notch_lo_bin},
    {108, &Settings::var_notch_hi_bin},
    {112, &Settings::input_device_id},
    {116, &Settings::output_device_id},
    {120, &Settings::input_select},
};

std::size_t width(const Field& field) {
  return std::visit([](auto member) { return sizeof(Settings{}.*member); }, field.member);
}

// The field's bits as a number.
std::uint32_t bits(const Settings& settings, const Field& field) {
  return std::visit(
      [&](auto member) -> std::uint32_t {
        const auto value = settings.*member;
        if constexpr (sizeof value == 1) {
          return value;
        } else {
          return std::bit_cast<std::uint32_t>(value);
        }
      },
      field.member);
}

// Byte i holds i + 1: every field gets a value of its own, and the bytes of
// a field at offset o read little-endian are o + 1, o + 2, ...
std::vector<std::uint8_t> numbered_file(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  return bytes;
}

std::uint32_t numbered_bits(const Field& field) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width(field); ++i)
    value |= static_cast<std::uint32_t>(field.offset + i + 1) << (8 * i);
  return value;
}

TEST(SettingsFormat, StartValuesMakeTheNewFile) {
  EXPECT_EQ(files::start_settings(), start_values());
}

// Every length of a file up to 200 bytes: the fields it holds whole are
// read, the others keep their start values, and with all of them read the
// file's first 124 bytes are written back.
TEST(SettingsFormat, EveryWholeFieldIsReadAtItsOffsetAndTheOthersKeepTheirStartValues) {
  const auto file = numbered_file(200);
  const Settings start = start_values();
  for (std::size_t length = 0; length <= file.size(); ++length) {
    const Settings read = files::parse_settings(std::span(file).first(length), start);
    for (const Field& field : fields) {
      const bool whole = field.offset + width(field) <= length;
      EXPECT_EQ(bits(read, field), whole ? numbered_bits(field) : bits(start, field))
          << "length " << length << ", field at " << field.offset;
    }
    if (length < files::settings_size) continue;
    const auto written = files::serialise_settings(read);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), file.begin())) << "length " << length;
  }
}

TEST(SettingsFormat, ValuesTheWindowCannotUseGiveWayToTheStartOnesAndAreSaid) {
  const Settings start = files::start_settings();
  const auto with_select = [&](std::int32_t select) {
    Settings settings = start;
    settings.bp_center = 0.25f;
    settings.input_select = select;
    return settings;
  };
  const struct {
    Settings file;
    Settings usable;           // what the window takes, and saves
    std::string_view problem;  // words it holds; empty for none
  } cases[] = {
      {Settings{}, start, "holds only zero bytes"},  // 124 zero bytes
      {with_select(0), with_select(1), "input select 0,"},
      {with_select(4), with_select(1), "input select 4,"},
      {with_select(-1), with_select(1), "input select -1,"},
      {with_select(3), with_select(3), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    const files::UsableSettings usable =
        files::usable_settings(files::serialise_settings(c.file), start);
    EXPECT_EQ(files::serialise_settings(usable.settings), files::serialise_settings(c.usable));
    EXPECT_EQ(usable.problem.has_value(), !c.problem.empty());
    EXPECT_NE(usable.problem.value_or("").find(c.problem), std::string::npos);
  }
}

}  // namespace
