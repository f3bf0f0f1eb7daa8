// Paths built at start-up from the working directory.
#pragma once

#include <string>

namespace shell {

inline std::string help_path;      // the help file
inline std::string settings_path;  // the settings file

}  // namespace shell
