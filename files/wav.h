// RIFF WAVE headers: finding the format and the sample data of a file, and
// the 44-byte header of a recording. Plain functions over bytes; no Qt.
//
// All integers in a WAVE file are little-endian. A file is accepted when it
// starts "RIFF", size, "WAVE", has a "fmt " chunk of at least 16 bytes and
// then, after any other chunks ("LIST", "fact", "cue ", ...; a chunk of odd
// size is followed by one pad byte), a "data" chunk. The RIFF size is not
// used.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "audio/wave_device.h"

namespace files {

// The 16 format bytes of a "fmt " chunk: the record the devices are opened
// with.
using WaveFormat = audio::WaveFormat;

// Where a file's samples are: they start data_offset bytes into the file
// and run for data_size bytes. data_size is the "data" chunk's size, cut
// back to the bytes the file really holds after data_offset, and to
// INT32_MAX.
struct WaveLayout {
  WaveFormat format;
  std::uint64_t data_offset = 0;
  std::uint32_t data_size = 0;
};

// Why a file was refused.
enum class WaveError {
  none,
  not_riff,       // fewer than 4 bytes, or not "RIFF"
  not_wave,       // no "WAVE" at byte 8
  fmt_incorrect,  // no "fmt " chunk first, or one shorter than 16 bytes
  no_data,        // no "data" chunk after the format
};

// The report for a refusal: the message and its caption (both empty for
// none).
struct WaveReport {
  std::string_view caption;
  std::string_view text;
};
WaveReport wave_report(WaveError error);

// Random access to a file's bytes: read_at copies up to into.size() bytes
// from `offset` and returns how many it copied (fewer at the end).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() = 0;
  virtual std::size_t read_at(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
};

// A ByteSource over bytes in memory; the bytes must outlive it.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() override;
  std::size_t read_at(std::uint64_t offset, std::span<std::uint8_t> into) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// A ByteSource over a file the caller opened for binary reading and closes;
// reading moves the file's position.
class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  std::uint64_t size() override;
  std::size_t read_at(std::uint64_t offset, std::span<std::uint8_t> into) override;

 private:
  std::FILE* file_;
};

struct WaveRead {
  WaveError error = WaveError::none;
  WaveLayout layout;  // valid when error is none
};

// read_wave_layout: walks the chunks of the file. Reads chunk headers only,
// so a large chunk before the samples costs nothing. The walk ends on any
// input: every step moves at least 8 bytes on, and it stops at the end of
// the file. A FileSource is left at no particular position: the caller
// seeks to data_offset before reading samples.
WaveRead read_wave_layout(ByteSource& file);

// playable: whether the program can play samples of this format: 16-bit
// PCM at 11025 Hz, 1 or 2 channels, block align channels x 2 and average
// bytes 11025 x block align. The format tag is not tested.
bool playable(const WaveFormat& format);

// The header of a recording of the program's output, 44 bytes: "RIFF",
// data_bytes + 36, "WAVE", "fmt ", 16, tag 1, 1 channel, 11025 Hz, 22050
// bytes per second, block align 2, 16 bits, "data", data_bytes.
std::array<std::uint8_t, 44> recording_header(std::uint32_t data_bytes);

// The offsets of the two size fields a recording updates as it grows.
inline constexpr long riff_size_offset = 4;
inline constexpr long data_size_offset = 40;

// Writes a 32-bit little-endian value into four bytes.
void put_u32(std::span<std::uint8_t, 4> into, std::uint32_t value);

}  // namespace files
