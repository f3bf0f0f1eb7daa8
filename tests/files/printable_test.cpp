#include "files/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string repeated(std::string_view piece, std::size_t times) {
  std::string all;
  for (std::size_t i = 0; i < times; ++i) all += piece;
  return all;
}

TEST(PrintableName, EscapesControlCharactersAndCutsLongNamesBetweenCharacters) {
  const std::string a1022(1022, 'a');
  struct Case {
    const char* name;
    std::string given;
    std::string shown;
  };
  const Case cases[] = {
      {"tab, newline, return", "a\tb\nc\r", "a\\tb\\nc\\r"},
      {"ESC and DEL", "\x1B[2J\x7F", "\\x1B[2J\\x7F"},
      {"C1 U+009B, and U+00A0 and U+00E9 as they are", "\xC2\x9B\xC2\xA0\xC3\xA9",
       "\\u009B\xC2\xA0\xC3\xA9"},
      {"1024 bytes", a1022 + "bc", a1022 + "bc"},
      {"2000 bytes", std::string(2000, 'a'), std::string(1024, 'a') + "..."},
      {"2000 tabs, cut before they are escaped", std::string(2000, '\t'),
       repeated("\\t", 1024) + "..."},
      {"a two-byte character across the cut", a1022 + "b\xC3\xA9z", a1022 + "b..."},
      {"a three-byte character across the cut", a1022 + "\xE2\x82\xACz", a1022 + "..."},
  };
  for (const Case& c : cases) EXPECT_EQ(files::printable_name(c.given), c.shown) << c.name;
}

}  // namespace
