#include "files/wav.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace files {

namespace {

using Id = std::array<char, 4>;

std::uint16_t get_u16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t get_u32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void put_u16(std::uint8_t* into, std::uint16_t value) {
  into[0] = static_cast<std::uint8_t>(value);
  into[1] = static_cast<std::uint8_t>(value >> 8);
}

bool is_id(const std::uint8_t* bytes, const char (&id)[5]) {
  return std::memcmp(bytes, id, 4) == 0;
}

// A chunk's header: its four-byte ID and the size of its data.
struct ChunkHeader {
  bool complete = false;  // all 8 bytes are in the file
  std::uint8_t id[4] = {};
  std::uint32_t size = 0;
};

ChunkHeader read_chunk_header(ByteSource& file, std::uint64_t offset) {
  std::array<std::uint8_t, 8> bytes{};
  ChunkHeader header;
  if (file.read_at(offset, bytes) != bytes.size()) return header;
  header.complete = true;
  std::memcpy(header.id, bytes.data(), 4);
  header.size = get_u32(bytes.data() + 4);
  return header;
}

WaveRead refused(WaveError error) { return WaveRead{error, {}}; }

}  // namespace

WaveReport wave_report(WaveError error) {
  switch (error) {
    case WaveError::none:
      break;
    case WaveError::not_riff:
      return {"File Error Message", "Not a RIFF file"};
    case WaveError::not_wave:
      return {"File Error Message", "Not a WAVE file"};
    case WaveError::fmt_incorrect:
      return {"File Error Message", "fmt incorrect"};
    case WaveError::no_data:
      return {"File Error Message", "No wave data in the file"};
  }
  return {};
}

std::uint64_t MemorySource::size() { return bytes_.size(); }

std::size_t MemorySource::read_at(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (offset >= bytes_.size()) return 0;
  const auto count = std::min<std::uint64_t>(into.size(), bytes_.size() - offset);
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, into.begin());
  return static_cast<std::size_t>(count);
}

std::uint64_t FileSource::size() {
  if (fseeko(file_, 0, SEEK_END) != 0) return 0;
  const off_t end = ftello(file_);
  return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

std::size_t FileSource::read_at(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return 0;
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
  return std::fread(into.data(), 1, into.size(), file_);
}

WaveRead read_wave_layout(ByteSource& file) {
  const std::uint64_t file_size = file.size();

  // Bytes past the end of a short file stay 0, which no ID matches.
  std::array<std::uint8_t, 12> riff{};
  file.read_at(0, riff);
  if (!is_id(riff.data(), "RIFF")) return refused(WaveError::not_riff);
  if (!is_id(riff.data() + 8, "WAVE")) return refused(WaveError::not_wave);

  const ChunkHeader fmt = read_chunk_header(file, 12);
  if (!fmt.complete || !is_id(fmt.id, "fmt ") || fmt.size < 16) {
    return refused(WaveError::fmt_incorrect);
  }
  std::array<std::uint8_t, 16> fields{};
  if (file.read_at(20, fields) != fields.size()) return refused(WaveError::fmt_incorrect);

  WaveLayout layout;
  layout.format.format_tag = get_u16(&fields[0]);
  layout.format.channels = get_u16(&fields[2]);
  layout.format.samples_per_sec = get_u32(&fields[4]);
  layout.format.avg_bytes_per_sec = get_u32(&fields[8]);
  layout.format.block_align = get_u16(&fields[12]);
  layout.format.bits_per_sample = get_u16(&fields[14]);

  // No overflow: each step adds at most 2^32 + 9 to an offset inside the
  // file. A chunk of odd size is followed by a pad byte. A file that shrinks
  // while it is read ends the walk early.
  std::uint64_t offset = 20 + std::uint64_t{fmt.size} + (fmt.size & 1u);
  while (offset + 8 <= file_size) {
    const ChunkHeader chunk = read_chunk_header(file, offset);
    if (!chunk.complete) break;
    if (is_id(chunk.id, "data")) {
      layout.data_offset = offset + 8;
      const std::uint64_t held = file_size - layout.data_offset;
      layout.data_size = static_cast<std::uint32_t>(std::min<std::uint64_t>(
          {chunk.size, held, std::uint64_t{std::numeric_limits<std::int32_t>::max()}}));
      return WaveRead{WaveError::none, layout};
    }
    offset += 8 + std::uint64_t{chunk.size} + (chunk.size & 1u);
  }
  return refused(WaveError::no_data);
}

bool playable(const WaveFormat& format) {
  return format.samples_per_sec == 11025 && format.bits_per_sample == 16 &&
         (format.channels == 1 || format.channels == 2) &&
         format.block_align == format.channels * 2 &&
         format.avg_bytes_per_sec == 11025u * format.block_align;
}

std::array<std::uint8_t, 44> recording_header(std::uint32_t data_bytes) {
  std::array<std::uint8_t, 44> header{};
  auto u32_at = [&](std::size_t offset) { return std::span<std::uint8_t, 4>(&header[offset], 4); };
  std::memcpy(&header[0], "RIFF", 4);
  put_u32(u32_at(riff_size_offset), data_bytes + 36);
  std::memcpy(&header[8], "WAVEfmt ", 8);
  put_u32(u32_at(16), 16);
  put_u16(&header[20], 1);     // PCM
  put_u16(&header[22], 1);     // channels
  put_u32(u32_at(24), 11025);  // samples per second
  put_u32(u32_at(28), 22050);  // bytes per second
  put_u16(&header[32], 2);     // block align
  put_u16(&header[34], 16);    // bits per sample
  std::memcpy(&header[36], "data", 4);
  put_u32(u32_at(data_size_offset), data_bytes);
  return header;
}

void put_u32(std::span<std::uint8_t, 4> into, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) into[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace files
