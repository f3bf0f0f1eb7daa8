// A file opened for binary reading, closed when the handle goes.
#pragma once

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

}  // namespace batch
