// The parts of tonewell-filter's main that are more than wiring: reading a
// settings file, and the progress bar.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "files/settings_format.h"

namespace batch {

// The settings in the file at `path`, over the start values; or the error,
// one line naming the file, when it cannot be read or is not 124 bytes long.
std::variant<files::Settings, std::string> read_settings_file(const std::string& path);

// "[####....]  42%": a bar of 40 for `written` of `total` (all when total
// is 0).
std::string bar_and_percent(std::uint64_t written, std::uint64_t total);

// The progress bar for `written` of `total` samples: "[####....]  42%
// 2:31 of 6:00", the times in minutes and seconds of audio at 11025 Hz.
std::string progress_bar(std::uint64_t written, std::uint64_t total);

}  // namespace batch
