#include "files/printable.h"

#include <array>

namespace files {
namespace {

void put_hex(std::string& into, unsigned value) {
  static constexpr std::array<char, 16> digits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  into += digits[(value >> 4) & 0xF];
  into += digits[value & 0xF];
}

// Whether byte `i` of `name` continues a UTF-8 character (10xxxxxx).
bool continues(std::string_view name, std::size_t i) {
  return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
}

}  // namespace

std::string printable_name(std::string_view name) {
  bool cut = false;
  if (name.size() > longest_shown_name) {
    std::size_t end = longest_shown_name;
    while (end > 0 && continues(name, end)) --end;
    name = name.substr(0, end);
    cut = true;
  }
  std::string shown;
  shown.reserve(name.size() + 3);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte == '\t') {
      shown += "\\t";
    } else if (byte == '\n') {
      shown += "\\n";
    } else if (byte == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      put_hex(shown, byte);
    } else if (byte == 0xC2 && i + 1 < name.size() &&
               static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
      shown += "\\u00";
      put_hex(shown, static_cast<unsigned char>(name[++i]));
    } else {
      shown += static_cast<char>(byte);
    }
  }
  if (cut) shown += "...";
  return shown;
}

}  // namespace files
