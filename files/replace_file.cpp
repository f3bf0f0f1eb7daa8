#include "files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

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

bool replace_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  ReplacingFile file(path);
  return file.write(bytes) && file.commit();
}

SaveResult save_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  ReplacingFile file(path);
  if (file.write(bytes) && file.commit()) return {true, false, {}};
  const int replace_error = file.error();
  const int rewrite_error = rewrite_in_place(path, bytes);
  if (rewrite_error == 0) return {true, true, {}};
  return {false, false,
          "could not replace " + path + " (" + std::strerror(replace_error) +
              ") nor rewrite it (" + std::strerror(rewrite_error) + ")"};
}

}  // namespace files
