// A file opened for binary reading, closed when the handle goes; what a
// file that is not a regular one is.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

namespace batch {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, CloseFile>;

// Null, with errno set, when the file cannot be opened.
inline FileHandle open_for_reading(const std::string& path) {
  return FileHandle(std::fopen(path.c_str(), "rb"));
}

// What a file that is not a regular one is, for a message: "a folder",
// "a FIFO", "a character device", "a block device" or "a socket".
inline const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "a socket";
}

}  // namespace batch
