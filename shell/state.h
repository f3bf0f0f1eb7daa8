// The settings file's path, built at start-up from the working directory.
#pragma once

#include <string>

namespace shell {

inline std::string settings_path;

}  // namespace shell
