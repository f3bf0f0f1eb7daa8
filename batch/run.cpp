#include "batch/run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "batch/open_file.h"
#include "files/printable.h"
#include "files/wave_format.h"

namespace batch {
namespace {

std::string minutes(std::uint64_t samples) {
  const std::uint64_t seconds = samples / files::chain_rate;
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%llu:%02llu",
                static_cast<unsigned long long>(seconds / 60),
                static_cast<unsigned long long>(seconds % 60));
  return text.data();
}

}  // namespace

std::variant<files::Settings, std::string> read_settings_file(const std::string& path) {
  const std::string name = files::printable_name(path);
  // O_NONBLOCK: the open of a FIFO does not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  const FileHandle file(fd >= 0 ? ::fdopen(fd, "rb") : nullptr);
  if (!file) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    return name + ": cannot open: " + std::strerror(error);
  }
  struct stat status {};
  if (::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode)) {
    return name + ": not a settings file (" + kind_of(status.st_mode) +
           "; a settings file is a file of 124 bytes)";
  }
  // One byte more than a settings file has, to tell a longer file.
  std::array<std::uint8_t, files::settings_size + 1> bytes{};
  const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get())) return name + ": cannot read: " + std::strerror(errno);
  if (read != files::settings_size) {
    return name + ": not a settings file (" +
           (read > files::settings_size ? "more than 124" : std::to_string(read)) +
           " bytes; a settings file has 124)";
  }
  return files::parse_settings(std::span(bytes).first(read), files::start_settings());
}

ClosedStreams occupy_closed_streams() {
  std::array<bool, 3> closed{};
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    closed[static_cast<std::size_t>(fd)] = true;
    // The lowest free descriptor: `fd` itself, the ones below it being open.
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  return {closed[STDIN_FILENO], closed[STDOUT_FILENO]};
}

std::string bar_and_percent(std::uint64_t written, std::uint64_t total) {
  constexpr std::uint64_t width = 40;
  written = std::min(written, total);
  const std::uint64_t filled = total == 0 ? width : written * width / total;
  const std::uint64_t percent = total == 0 ? 100 : written * 100 / total;
  std::array<char, 8> number{};
  std::snprintf(number.data(), number.size(), "%3llu%%", static_cast<unsigned long long>(percent));
  std::string bar;
  bar += '[';
  bar.append(filled, '#');
  bar.append(width - filled, '.');
  bar += "] ";
  bar += number.data();
  return bar;
}

std::string progress_bar(std::uint64_t written, std::uint64_t total,
                         std::optional<double> seconds_left) {
  return bar_and_percent(written, total) + "  " + minutes(written) + " of " + minutes(total) +
         time_left(seconds_left);
}

std::string time_left(std::optional<double> seconds) {
  if (!seconds) return {};
  const auto whole = static_cast<std::uint64_t>(std::ceil(std::max(*seconds, 0.0)));
  return ", " + minutes(whole * files::chain_rate) + " left";
}

bool ProgressPace::due(Clock::time_point now, std::uint64_t done, std::uint64_t total) {
  if (drawn_ && done < total && now - *drawn_ < std::chrono::milliseconds(100)) return false;
  drawn_ = now;
  return true;
}

std::optional<double> ProgressPace::seconds_left(Clock::time_point now, std::uint64_t done,
                                                 std::uint64_t total) const {
  if (done == 0 || done >= total) return std::nullopt;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  return elapsed * static_cast<double>(total - done) / static_cast<double>(done);
}

}  // namespace batch
