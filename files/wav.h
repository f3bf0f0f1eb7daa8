// RIFF WAVE headers: finding the format and the sample data of a file, and
// the 44-byte header of a recording. Plain functions over bytes; no Qt.
//
// All integers in a WAVE file are little-endian. A file is accepted when it
// starts "RIFF", size, "WAVE", then holds chunks of which a "fmt " chunk of
// at least 16 bytes (the first such is used) comes before the "data" chunk.
// Any other chunks ("JUNK", "bext", "LIST", "fact", ...) before, between or
// after them are skipped. A chunk of odd size is followed by one pad byte; some recorders
// leave it out, which the reader tolerates. The RIFF size is not used.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "files/wave_format.h"

namespace files {

// Where a file's samples are and how they are coded: they start
// data_offset bytes into the file and run for data_size bytes.
//
// In a file of known length, data_size is the "data" chunk's size, cut
// back to the bytes the file holds after data_offset; but the file's length
// is followed instead, with a SizeNote, when the chunk says 0 bytes (or
// 0xFFFFFFFF, "to the end") while samples follow, and when the bytes after
// the declared samples are no chunk (fewer than 8 bytes past a pad byte are
// taken as trailing bytes). Counts are 64-bit: a file of 4 GiB or more
// after a size of 0 or 0xFFFFFFFF is taken whole, and it is the caller's
// to refuse what it cannot write.
struct WaveLayout {
  // The file's own 16 base fields of the "fmt " chunk (tag 0xFFFE stays
  // 0xFFFE).
  WaveFormat format;
  std::uint64_t data_offset = 0;
  std::uint64_t data_size = 0;
  // The coding of the samples: the format tag, or, for the extensible
  // layout (tag 0xFFFE, a "fmt " chunk of 40 bytes or more whose sub-format
  // GUID ends in the standard base -0000-0010-8000-00AA00389B71), the
  // sub-format's tag (its first two bytes; the two after them are 0); 0 for
  // an extensible file with any other GUID or a "fmt " chunk too short to
  // hold one.
  std::uint16_t sample_format = 0;
  bool extensible = false;  // the format tag is 0xFFFE
  // The source's length is unknown (a pipe): the samples may end before
  // data_size bytes, which is then the chunk's size.
  bool open_ended = false;
  // An open-ended source whose "data" chunk says 0 or 0xFFFFFFFF bytes: its
  // samples run to its end (data_size is unknown_size).
  bool to_the_end = false;
  // The "data" chunk's own size, as the file says it.
  std::uint32_t declared_size = 0;
};

// When a file's length was followed rather than its "data" chunk's size.
enum class SizeNote {
  none,
  declared_none,  // the chunk says 0 (or 0xFFFFFFFF) bytes, and samples follow
  past_end,       // the chunk says more bytes than the file holds
  not_a_chunk,    // the bytes after the declared samples are no chunk
};
SizeNote size_note(const WaveLayout& layout);

// A one-line warning for a size that was not followed, as "the data chunk
// says 0 bytes; the 22050 bytes after it are used", or nothing.
std::optional<std::string> size_warning(const WaveLayout& layout);

// Whether the samples are 16-bit PCM (sample_format 1, 16 bits, at least one
// channel, block align 2 x channels), plain or extensible.
bool pcm16(const WaveLayout& layout);

// A short name of the sample format for a refusal: "16-bit PCM",
// "24-bit PCM", "32-bit float", "8-bit PCM" (the bits per sample of the
// format), "compressed audio (format tag 85)", "an unknown extensible
// sub-format", with " (extensible)" after PCM/float when the layout was
// extensible.
std::string format_name(const WaveLayout& layout);

// Why a file was refused.
enum class WaveError {
  none,
  not_riff,        // not "RIFF" at byte 0
  short_header,    // "RIFF", but the file ends before the 12 bytes of its header
  not_wave,        // no "WAVE" at byte 8
  fmt_incorrect,   // no "fmt " chunk of 16 bytes or more before "data"
  no_data,         // no "data" chunk after the format
  chunk_past_end,  // a chunk before the samples runs past the end of the file
};

// The window's report for a refusal: the message and its caption (both
// empty for none).
struct WaveReport {
  std::string caption;
  std::string text;
};
WaveReport wave_report(WaveError error);

// The size() of a source whose length is unknown.
inline constexpr std::uint64_t unknown_size = UINT64_MAX;

// Access to a file's bytes: read_at copies up to into.size() bytes from
// `offset` and returns how many it copied (fewer at the end). size() is the
// file's length, or unknown_size.
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

// A forward-only ByteSource over a stream that cannot seek (a pipe,
// standard input), opened for binary reading by the caller, who closes it.
// Offset 0 is where the stream stood when the source was made. size()
// returns unknown_size. read_at reads forward, skipping the bytes up to
// `offset` as needed, so a caller reads the samples by calling read_at with
// offsets that continue where the last read ended. It may re-read bytes
// just behind its position (it keeps the last 16 bytes); an offset further
// back returns 0. Bytes are taken from the stream only when asked for: after
// a read the stream stands at position(). A read error ends the bytes like
// the end of the stream does (std::ferror tells them apart).
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::FILE* file) : file_(file) {}
  std::uint64_t size() override;
  std::size_t read_at(std::uint64_t offset, std::span<std::uint8_t> into) override;
  // The offset of the next byte the stream will give.
  std::uint64_t position() const { return position_; }

 private:
  // Takes up to into.size() bytes from the stream, keeping the last ones.
  std::size_t take(std::span<std::uint8_t> into);

  std::FILE* file_;
  std::uint64_t position_ = 0;
  std::array<std::uint8_t, 16> kept_{};  // byte at offset o in kept_[o % 16]
};

struct WaveRead {
  WaveError error = WaveError::none;
  WaveLayout layout;  // valid when error is none
  // For chunk_past_end: the chunk's ID and size.
  std::array<char, 4> chunk_id{};
  std::uint32_t chunk_size = 0;
};

// read_wave_layout: walks the chunks of the file. Reads chunk headers only,
// and the first 40 bytes of the "fmt " chunk, so a large chunk before the
// samples costs nothing (but the time a stream takes to give its bytes).
// The walk ends on any input: every step moves at least 8 bytes on, and it
// stops at the end of the file.
//
// A missing pad byte: when the four bytes after an odd-sized chunk's pad
// position are not a plausible chunk ID (four bytes 0x20..0x7E) but the four
// bytes one before them are, or those are a well-known ID ("fmt ", "data",
// "LIST", "JUNK", "bext", "fact", "cue ", "PEAK"), the walk goes on from
// there.
//
// A FileSource is left at no particular position: the caller seeks to
// data_offset before reading samples. A StreamSource (open_ended) that gave
// a layout stands exactly at data_offset, as does its stream: the walk
// reads nothing past the "data" chunk's header, and the samples follow with
// read_at(data_offset, ...) or straight from the stream.
WaveRead read_wave_layout(ByteSource& file);

// The one judgement of both programs on a file's samples: nothing when the
// program can take them (16-bit PCM, plain or extensible, mono or stereo,
// block align 2 x channels, at 1000 to 768000 Hz), else why not, as
// "found 32-bit float; accepts 16-bit PCM WAV, mono or stereo, at 1000 to
// 768000 Hz". The format tag counts: a tag other than PCM that claims
// 16 bits is refused by its name.
std::optional<std::string> format_refusal(const WaveLayout& layout);

// The same line for a file refused before its format: "found no RIFF
// header; accepts ...", "found a "fmt " chunk of 4294967295 bytes, past the
// end of the file; accepts ...".
std::string header_refusal(const WaveRead& read);

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
