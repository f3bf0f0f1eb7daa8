#include "files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/printable.h"

namespace files {

namespace {

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

// Rewrites the regular file at `path` with `bytes` without creating it: 0,
// or the errno of the step that failed.
int rewrite_in_place(const std::string& path, std::span<const std::uint8_t> bytes) {
  // O_NONBLOCK lets a FIFO's open return at once; a regular file ignores it.
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat status {};
  int error = 0;
  if (::fstat(fd, &status) != 0) {
    error = errno;
  } else if (!S_ISREG(status.st_mode)) {
    error = EINVAL;
  } else if (!write_all(fd, bytes) || ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 ||
             ::fsync(fd) != 0) {
    error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// The standing of what `status` describes.
Standing standing_of(const struct stat& status, bool writable) {
  if (!S_ISREG(status.st_mode)) return Standing::special;
  if (!writable || (::geteuid() == 0 && (status.st_mode & 0222) == 0)) return Standing::read_only;
  return Standing::regular;
}

mode_t new_file_mode(const std::string& path) {
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) return old.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string path)
    : path_(std::move(path)), temporary_(path_ + ".XXXXXX") {
  fd_ = ::mkstemp(temporary_.data());
  if (fd_ < 0) error_ = errno;
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) fail();
}

void ReplacingFile::fail() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
  }
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
  if (!ok()) return false;
  if (!write_all(fd_, bytes)) fail();
  written_ += bytes.size();
  return ok();
}

bool ReplacingFile::write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (!ok()) return false;
  if (offset > written_ || bytes.size() > written_ - offset) {
    errno = EINVAL;
    fail();
    return false;
  }
  while (!bytes.empty()) {
    const ssize_t done = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done == 0) errno = EIO;
    if (done <= 0) {
      fail();
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(done));
    offset += static_cast<std::uint64_t>(done);
  }
  return true;
}

bool ReplacingFile::commit() {
  if (!ok()) return false;
  if (::fchmod(fd_, new_file_mode(path_)) != 0 || ::fsync(fd_) != 0) {
    fail();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    error_ = errno != 0 ? errno : EIO;
    ::unlink(temporary_.c_str());
    return false;
  }
  return true;
}

Target follow_links(const std::string& path) {
  Target target{path, Standing::absent, 0};
  for (int links = 0; links <= 40; ++links) {
    struct stat status {};
    if (::lstat(target.path.c_str(), &status) != 0) {
      target.error = errno;
      target.standing = errno == ENOENT ? Standing::absent : Standing::unknown;
      return target;
    }
    if (!S_ISLNK(status.st_mode)) {
      target.standing = standing_of(status, ::access(target.path.c_str(), W_OK) == 0);
      return target;
    }
    std::string named(static_cast<std::size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(target.path.c_str(), named.data(), named.size());
    if (length < 0 || static_cast<std::size_t>(length) >= named.size()) break;
    named.resize(static_cast<std::size_t>(length));
    const std::size_t slash = target.path.rfind('/');
    target.path = named.starts_with('/') || slash == std::string::npos
                      ? named
                      : target.path.substr(0, slash + 1) + named;
  }
  target.standing = Standing::unknown;
  target.error = ELOOP;
  return target;
}

std::string standing_text(Standing standing) {
  switch (standing) {
    case Standing::special:
      return "is not a regular file";
    case Standing::read_only:
      return "is read-only";
    case Standing::absent:
    case Standing::regular:
    case Standing::unknown:
      break;
  }
  return "cannot be looked at";
}

ReadFile read_regular(const std::string& path, std::size_t most) {
  ReadFile read;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    read.error = errno;
    read.standing = errno == ENOENT ? Standing::absent : Standing::unknown;
    return read;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    read.error = errno;
    read.standing = Standing::unknown;
  } else {
    read.standing = standing_of(status, ::access(path.c_str(), W_OK) == 0);
  }
  if (read.standing == Standing::regular || read.standing == Standing::read_only) {
    // Room for the size the file has now, and more as it turns out longer,
    // up to one byte past the most wanted.
    const auto size = static_cast<std::uintmax_t>(std::max<off_t>(status.st_size, 0));
    read.bytes.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size, most) + 1));
    std::size_t got = 0;
    while (got < most + 1) {
      if (got == read.bytes.size()) read.bytes.resize(std::min(2 * got, most + 1));
      const ssize_t count = ::read(fd, read.bytes.data() + got, read.bytes.size() - got);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) {
        read.error = errno;
        read.standing = Standing::unknown;
      }
      if (count <= 0) break;
      got += static_cast<std::size_t>(count);
    }
    read.longer = got > most;
    read.bytes.resize(std::min(got, most));
  }
  ::close(fd);
  return read;
}

bool replace_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  ReplacingFile file(path);
  return file.write(bytes) && file.commit();
}

SaveResult save_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  const Target target = follow_links(path);
  if (target.standing == Standing::unknown) {
    return {false, false,
            "could not look at " + printable_name(path) + " (" + std::strerror(target.error) + ")"};
  }
  if (no_file(target.standing) || target.standing == Standing::read_only) {
    return {
        false, false,
        printable_name(path) + " " + standing_text(target.standing) + ", and was left as it is"};
  }
  ReplacingFile file(target.path);
  if (file.write(bytes) && file.commit()) return {true, false, {}};
  const int replace_error = file.error();
  const int rewrite_error = rewrite_in_place(target.path, bytes);
  if (rewrite_error == 0) return {true, true, {}};
  return {false, false,
          "could not replace " + printable_name(path) + " (" + std::strerror(replace_error) +
              ") nor rewrite it (" + std::strerror(rewrite_error) + ")"};
}

}  // namespace files
