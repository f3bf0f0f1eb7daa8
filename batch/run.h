// The parts of tonewell-filter's main that are more than wiring: the
// standard streams, reading a settings file, and the progress bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
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
// 2:31 of 6:00", the times in minutes and seconds of audio at 11025 Hz,
// then ", 0:07 left" when the time left is known.
std::string progress_bar(std::uint64_t written, std::uint64_t total,
                         std::optional<double> seconds_left = std::nullopt);

// ", 0:07 left": seconds of the clock, rounded up; nothing when unknown.
std::string time_left(std::optional<double> seconds);

// The pace of a progress line: drawn at most ten times a second, the last
// one always, with the time left at the rate of the work so far.
class ProgressPace {
 public:
  using Clock = std::chrono::steady_clock;
  explicit ProgressPace(Clock::time_point start) : start_(start) {}

  // Whether to draw now: the first time, the last time (`done` of `total`
  // all done) and 100 ms or more after the last drawn.
  bool due(Clock::time_point now, std::uint64_t done, std::uint64_t total);
  // What is left of the work at the rate so far; unknown before any is done
  // and once all is.
  std::optional<double> seconds_left(Clock::time_point now, std::uint64_t done,
                                     std::uint64_t total) const;

 private:
  Clock::time_point start_;
  std::optional<Clock::time_point> drawn_;
};

}  // namespace batch
