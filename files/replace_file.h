// Replacing a file's contents so that a crash or a full disk leaves either
// the old file or the new one, never a part of either; and saving a small
// file in a folder that cannot take a new one.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace files {

// What stands at a path once its symbolic links are followed.
enum class Standing {
  absent,     // nothing: a file may be made there
  regular,    // a regular file its owner may write
  read_only,  // a regular file with no write permission that applies (for
              // root: no write bit at all)
  special,    // a FIFO, a device, a socket or a folder
  unknown,    // the path cannot be looked at (error says why)
};

struct Target {
  std::string path;  // the path with its links followed: what is replaced
  Standing standing = Standing::absent;
  int error = 0;
};

// Whether a standing is no file to read or write at all: something
// special, or what cannot be looked at.
inline bool no_file(Standing standing) {
  return standing == Standing::special || standing == Standing::unknown;
}

// Follows the symbolic links of `path` (at most 40), a dangling link to the
// path it names, without opening anything.
Target follow_links(const std::string& path);

// A short phrase for a standing that refuses a write: "is not a regular
// file", "is read-only".
std::string standing_text(Standing standing);

// A small file read whole, never waiting: opened without following it into
// a FIFO's or a device's wait (O_NONBLOCK), and read only when it is a
// regular file, through its links.
struct ReadFile {
  Standing standing = Standing::absent;  // regular or read_only when read
  int error = 0;                         // errno when standing is unknown
  std::vector<std::uint8_t> bytes;       // at most `most` of them
  bool longer = false;                   // the file holds more than `most`
};
ReadFile read_regular(const std::string& path, std::size_t most);

// A file written piece by piece that replaces `path` only when complete: the
// pieces go to a new file beside `path`, which commit() flushes to the disk
// and renames over `path`. Until then an old file at `path` is untouched;
// a ReplacingFile destroyed uncommitted, or a failed commit, removes the new
// file. The new file takes the old one's permissions, or 0666 less the
// umask when there was none.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Whether every step so far succeeded; error() is the errno of the first
  // that failed.
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }

  // Appends bytes; false once anything has failed.
  bool write(std::span<const std::uint8_t> bytes);

  // Overwrites bytes already written, from `offset` (a header whose sizes
  // are known only at the end); false once anything has failed, or when
  // the bytes would reach past what was written.
  bool write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes);

  // Flushes, renames over `path` and closes; false (and the new file
  // removed) on any failure.
  bool commit();

 private:
  void fail();

  std::string path_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  std::uint64_t written_ = 0;
};

// Replaces `path` with `bytes` through a ReplacingFile: on any failure an
// old file at `path` is left as it was and the result is false.
bool replace_file(const std::string& path, std::span<const std::uint8_t> bytes);

// What became of save_file.
struct SaveResult {
  bool saved = false;
  bool in_place = false;  // saved by rewriting the old file itself
  std::string failure;    // why it was not saved, a line for a report
};

// save_file: saves a small file such as the settings. Only where a regular
// file may be written: a FIFO, a device, a socket or a folder at `path` (or
// at the end of its links) is never written, nor a read-only file. A
// symbolic link stays a link, its target replaced. Replaces the target with
// `bytes` as replace_file does when it can; when that fails (a folder that
// is not writable), rewrites an existing, writable regular file at `path`
// in place: the bytes go over the old ones from the start with one write,
// the file is cut to their length and flushed to the disk. A file is never
// created that way. Only a crash in the middle of that one write can leave
// old and new bytes mixed. Does not wait on a FIFO or a device at `path`.
SaveResult save_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace files
