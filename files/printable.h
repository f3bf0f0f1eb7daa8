// A name from outside the program (a file's path, a sound device's name) as
// a message shows it: control characters never reach a terminal or a
// dialog as themselves, and a name of any length makes a line of bounded
// size. No Qt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace files {

// The longest name a message shows, in bytes; a longer one is cut there
// (never inside a UTF-8 character) and "..." put after it.
inline constexpr std::size_t longest_shown_name = 1024;

// `name` with its control characters escaped: \t, \n and \r as such, the
// other C0 characters and DEL as \xNN, the C1 characters (U+0080..U+009F
// in UTF-8) as \u00NN; cut to longest_shown_name bytes of the name.
std::string printable_name(std::string_view name);

}  // namespace files
