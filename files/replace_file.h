// Replacing a file's contents so that a crash or a full disk leaves either
// the old file or the new one, never a part of either.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace files {

// Writes `bytes` to a new file beside `path`, flushes it to the disk and
// renames it over `path`. The new file takes the old one's permissions, or
// 0666 less the umask when there was none. On any failure the new file is
// removed, an old file at `path` is left as it was, and the result is false.
bool replace_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace files
