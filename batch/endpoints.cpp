#include "batch/endpoints.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "files/printable.h"

namespace batch {
namespace {

constexpr int notice_after_ms = 1000;
constexpr std::size_t buffer_bytes = 1 << 16;

// The file at `path`, following links; "-" is the standard stream `fd`.
bool status_of(const std::string& path, int fd, struct stat& status) {
  return (path == "-" ? ::fstat(fd, &status) : ::stat(path.c_str(), &status)) == 0;
}

}  // namespace

std::string shown_name(const std::string& path, const char* standard) {
  return path == "-" ? standard : files::printable_name(path);
}

std::optional<std::string> output_refusal(const std::string& input, const std::string& output,
                                          bool in_place, bool force) {
  struct stat target {};
  if (!status_of(output, STDOUT_FILENO, target)) return std::nullopt;
  const bool standard = output == "-";
  const auto refused = [&](const std::string& why) {
    return shown_name(input, "standard input") + ": not filtered, " +
           shown_name(output, "standard output") + why;
  };
  struct stat source {};
  if (S_ISREG(target.st_mode) && status_of(input, STDIN_FILENO, source) &&
      source.st_dev == target.st_dev && source.st_ino == target.st_ino && (standard || !in_place)) {
    return refused(standard ? " is the input file itself"
                            : " is the input file itself (--in-place replaces it)");
  }
  if (standard) return std::nullopt;
  if (S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode)) {
    struct stat link {};
    if (::lstat(output.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return std::nullopt;
    return refused(std::string(" is a link to ") + kind_of(target.st_mode) +
                   ", written only when named itself");
  }
  if (!S_ISREG(target.st_mode)) return refused(std::string(" is ") + kind_of(target.st_mode));
  if (!force && files::follow_links(output).standing == files::Standing::read_only) {
    return refused(" is read-only (--force replaces it)");
  }
  return std::nullopt;
}

// The stream behind a FILE that reads a pipe, a FIFO or a device: each
// read waits for bytes first, so that a stop signal ends the wait.
struct InputEnd::Stream {
  int fd = -1;
  bool own_fd = false;
  bool fifo = false;
  bool given = false;  // any bytes yet
  bool told = false;
  std::string name;
  const StopSignals* stop = nullptr;
  const Notice* notice = nullptr;

  static ssize_t read(void* cookie, char* into, std::size_t size) {
    auto& s = *static_cast<Stream*>(cookie);
    while (true) {
      switch (s.stop->wait_for(s.fd, POLLIN, notice_after_ms)) {
        case StopSignals::Wait::stopped:
          errno = EINTR;
          return -1;
        case StopSignals::Wait::timed_out:
          if (s.fifo && !s.given && !s.told && *s.notice) {
            (*s.notice)(s.name + ": waiting for a writer on this FIFO");
            s.told = true;
          }
          continue;
        case StopSignals::Wait::ready:
          break;
      }
      const ssize_t count = ::read(s.fd, into, size);
      if (count > 0) s.given = true;
      if (count >= 0 || (errno != EAGAIN && errno != EINTR)) return count;
    }
  }

  static int close(void* cookie) {
    auto& s = *static_cast<Stream*>(cookie);
    return s.own_fd ? ::close(s.fd) : 0;
  }
};

InputEnd::InputEnd(const std::string& path, const StopSignals& stop, const Notice& notice) {
  const bool standard = path == "-";
  // Without O_NONBLOCK, opening a FIFO would wait for its writer.
  const int fd = standard ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0) {
    error_ = errno;
    return;
  }
  if (S_ISDIR(status.st_mode)) {
    error_ = EISDIR;
  } else if (S_ISREG(status.st_mode)) {
    // Standard input's descriptor stays open when the FILE closes.
    file_.reset(::fdopen(standard ? ::dup(fd) : fd, "rb"));
    if (file_) {
      source_ = std::make_unique<files::FileSource>(file_.get());
      return;
    }
    error_ = errno;
  } else {
    stream_ = std::make_unique<Stream>(Stream{fd, !standard, S_ISFIFO(status.st_mode), false, false,
                                              shown_name(path, "standard input"), &stop, &notice});
    file_.reset(
        ::fopencookie(stream_.get(), "rb", {Stream::read, nullptr, nullptr, Stream::close}));
    if (file_) {
      source_ = std::make_unique<files::StreamSource>(file_.get());
      return;
    }
    error_ = errno;
  }
  if (!standard) ::close(fd);
}

InputEnd::~InputEnd() = default;

OutputEnd::OutputEnd(const std::string& path, const StopSignals& stop, const Notice& notice)
    : stop_(stop) {
  buffer_.reserve(buffer_bytes);
  struct stat status {};
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    const int flags = ::fcntl(fd_, F_GETFL);
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && flags >= 0 &&
        (flags & O_APPEND) == 0 && at >= 0) {
      start_ = at;
    }
    return;
  }
  if (::stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) {
    // Opening a FIFO without a reader fails at once (ENXIO) when not waiting.
    for (int tries = 0;; ++tries) {
      fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd_ >= 0 || errno != ENXIO || stop.received() != 0) break;
      constexpr int try_every_ms = 20;
      if (tries == notice_after_ms / try_every_ms && notice) {
        notice(files::printable_name(path) + ": waiting for a reader on this FIFO");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(try_every_ms));
    }
    own_fd_ = fd_ >= 0;
    if (fd_ < 0) error_ = stop.received() != 0 ? EINTR : errno;
    return;
  }
  if (::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
    // A device whose open would wait (a serial line without a carrier)
    // does not; its writes wait in write_straight, where a stop ends them.
    fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    own_fd_ = fd_ >= 0;
    if (fd_ < 0) error_ = errno;
    return;
  }
  std::string replaced = path;
  if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
    char* target = ::realpath(path.c_str(), nullptr);
    if (target == nullptr) {
      error_ = errno;
      return;
    }
    replaced = target;
    std::free(target);
  }
  replacing_.emplace(replaced);
  error_ = replacing_->error();
}

OutputEnd::~OutputEnd() {
  if (own_fd_) ::close(fd_);
}

void OutputEnd::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void OutputEnd::write(std::span<const std::uint8_t> bytes) {
  if (!ok()) return;
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
  if (buffer_.size() >= buffer_bytes) flush();
}

bool OutputEnd::flush() {
  if (ok()) {
    if (replacing_) {
      if (!replacing_->write(buffer_)) fail(replacing_->error());
    } else if (!write_straight(buffer_)) {
      fail(errno);
    }
  }
  buffer_.clear();
  return ok();
}

// Pieces of at most PIPE_BUF bytes, each once the output has room for it,
// so that a stalled reader does not hold a stop signal back.
bool OutputEnd::write_straight(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (stop_.wait_for(fd_, POLLOUT, -1) == StopSignals::Wait::stopped) {
      errno = EINTR;
      return false;
    }
    const ssize_t written =
        ::write(fd_, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
    if (written < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool OutputEnd::commit(const std::optional<std::array<std::uint8_t, 44>>& header) {
  if (!flush()) return false;
  if (replacing_) {
    // The sizes, known only now, go into the new file before it replaces
    // OUTPUT.
    if ((header && !replacing_->write_at(0, *header)) || !replacing_->commit()) {
      fail(replacing_->error());
      return false;
    }
    return true;
  }
  if (header && start_ && ::pwrite(fd_, header->data(), header->size(), *start_) != 44) {
    fail(errno);
  }
  return ok();
}

}  // namespace batch
