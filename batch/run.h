// The parts of tonewell-filter's main that are more than wiring: the
// standard streams, reading a settings file, and the progress bar.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "files/settings_format.h"

namespace batch {

// The settings in the file at `path`, over the start values; or the error,
// one line naming the file, when it cannot be read, is not a regular file
// (a FIFO or a device is neither waited for nor read) or is not 124 bytes
// long.
std::variant<files::Settings, std::string> read_settings_file(const std::string& path);

// Which standard streams were closed when the program started.
struct ClosedStreams {
  bool input = false;
  bool output = false;
};

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no descriptor the program opens later (the stop signals', an output's)
// stands in for a standard stream; tells which of the first two were.
ClosedStreams occupy_closed_streams();

// "[####....]  42%": a bar of 40 for `written` of `total` (all when total
// is 0).
std::string bar_and_percent(std::uint64_t written, std::uint64_t total);

// The progress bar for `written` of `total` samples: "[####....]  42%
// 2:31 of 6:00", the times in minutes and seconds of audio at 11025 Hz.
std::string progress_bar(std::uint64_t written, std::uint64_t total);

}  // namespace batch
