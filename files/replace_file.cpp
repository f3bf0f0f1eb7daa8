#include "files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace files {

namespace {

bool write_all(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
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
  return ok();
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

}  // namespace files
