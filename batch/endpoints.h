// Where tonewell-filter reads and writes: a WAV file, a FIFO, a device, or
// the standard streams ("-"). Waits on a pipe give way to a stop signal.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "batch/open_file.h"
#include "batch/stop_signals.h"
#include "files/replace_file.h"
#include "files/wav.h"

namespace batch {

// A line for the user while a run waits, such as the wait for a FIFO's
// writer.
using Notice = std::function<void(const std::string& line)>;

// INPUT, opened for reading: a regular file (or standard input that is one)
// read at any offset; else (a pipe, a FIFO, a device) a stream read forward
// only, its waits for bytes ended by a stop signal. A FIFO is opened without
// waiting for a writer: when it has given no bytes after a second, `notice`
// hears "PATH: waiting for a writer on this FIFO" once, and the wait goes on.
class InputEnd {
 public:
  InputEnd(const std::string& path, const StopSignals& stop, const Notice& notice);
  ~InputEnd();
  InputEnd(const InputEnd&) = delete;
  InputEnd& operator=(const InputEnd&) = delete;

  // 0 once open, else the errno of the open.
  int error() const { return error_; }
  files::ByteSource& source() { return *source_; }
  // Whether reading stopped on an error rather than the end.
  bool failed() const { return std::ferror(file_.get()) != 0; }

 private:
  struct Stream;

  // In this order, so that the FILE closes (and closes its stream) before
  // the stream goes.
  int error_ = 0;
  std::unique_ptr<Stream> stream_;
  FileHandle file_;
  std::unique_ptr<files::ByteSource> source_;
};

// The name a message gives `path`: "standard input" or "standard output"
// (`standard`) for "-", else the path as files::printable_name shows it.
std::string shown_name(const std::string& path, const char* standard);

// Why a run on `input` must not write `output`, as one line naming the
// input, or nothing when it may (or when nothing is at `output` yet, or it
// cannot be looked at: opening it then says why). Refused: a regular file
// that is INPUT itself, through a link or not (unless `in_place`, where
// OUTPUT is replaced by name; never standard output that is INPUT); a
// regular file the user may not write by its mode bits (unless `force`),
// root only one without any write bit; a FIFO or a device reached through
// a symbolic link, which is written only when named itself; and anything
// but a regular file, a FIFO or a character device.
std::optional<std::string> output_refusal(const std::string& input, const std::string& output,
                                          bool in_place, bool force);

// OUTPUT, opened for writing, the bytes gathered into large writes. A
// regular file, or a path where none is yet, is replaced through a
// ReplacingFile only when complete, a symbolic link at its target (so the
// link stays). A FIFO, a character device or standard output ("-") is
// written straight, its waits ended by a stop signal; a FIFO or a device is
// opened without waiting: after a second without a reader on a FIFO
// `notice` hears "PATH: waiting for a reader on this FIFO" once.
class OutputEnd {
 public:
  OutputEnd(const std::string& path, const StopSignals& stop, const Notice& notice);
  ~OutputEnd();
  OutputEnd(const OutputEnd&) = delete;
  OutputEnd& operator=(const OutputEnd&) = delete;

  // Whether every step so far succeeded; error() is the errno of the first
  // that failed.
  bool ok() const { return error_ == 0; }
  int error() const { return error_; }

  // Gathers bytes, written once there are enough of them; nothing once a
  // step has failed.
  void write(std::span<const std::uint8_t> bytes);

  // Writes what is gathered now; false on any failure so far.
  bool flush();

  // Completes the output. `header` given: the 44-byte header written first
  // is rewritten with it where the output can seek (a file; standard output
  // that is a file). False on any failure.
  bool commit(const std::optional<std::array<std::uint8_t, 44>>& header);

 private:
  bool write_straight(std::span<const std::uint8_t> bytes);
  void fail(int error);

  const StopSignals& stop_;
  std::optional<files::ReplacingFile> replacing_;
  int fd_ = -1;  // written straight
  bool own_fd_ = false;
  std::optional<std::int64_t> start_;  // where the header went, when seekable
  int error_ = 0;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace batch
