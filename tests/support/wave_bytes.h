// WAVE files as bytes for the tests: built to a shape, written, read back.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

using Samples = std::vector<std::int16_t>;
using Bytes = std::vector<std::uint8_t>;

inline void append_u16(Bytes& bytes, std::uint32_t v) {
  bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
  bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void append_u32(Bytes& bytes, std::uint32_t v) {
  append_u16(bytes, v & 0xFFFF);
  append_u16(bytes, v >> 16);
}
inline void append_tag(Bytes& bytes, const char* tag) { bytes.insert(bytes.end(), tag, tag + 4); }

// A WAVE file of 16-bit samples: "RIFF", the format (with `fmt_extra`
// further bytes), the chunks `before` the data, then the data chunk, whose
// size field says `claimed` bytes when given. The format can claim another
// tag, sample size or block align than the samples have.
struct WaveShape {
  const char* riff = "RIFF";
  std::uint16_t format_tag = 1;
  std::uint16_t bits = 16;
  std::optional<std::uint16_t> block_align;
  std::uint16_t channels = 1;
  std::uint32_t rate = 11025;
  std::uint16_t fmt_extra = 0;
  // The extensible layout (tag 0xFFFE and 24 more format bytes: all `bits`
  // valid, the front channels, and this sub-format's GUID), in place of
  // format_tag and fmt_extra.
  std::optional<std::uint16_t> sub_format;
  std::vector<std::pair<const char*, Bytes>> before;
  std::optional<std::uint32_t> claimed;
};

// The default file with one change.
inline WaveShape shape_with(const std::function<void(WaveShape&)>& change) {
  WaveShape shape;
  change(shape);
  return shape;
}

inline Bytes wave_file(const WaveShape& shape, const Samples& samples) {
  Bytes b;
  append_tag(b, shape.riff);
  append_u32(b, 0);
  append_tag(b, "WAVE");
  append_tag(b, "fmt ");
  append_u32(b, 16u + (shape.sub_format ? 24u : shape.fmt_extra));
  const std::uint16_t align = shape.block_align.value_or(shape.channels * shape.bits / 8u);
  append_u16(b, shape.sub_format ? 0xFFFE : shape.format_tag);
  append_u16(b, shape.channels);
  append_u32(b, shape.rate);
  append_u32(b, shape.rate * align);
  append_u16(b, align);
  append_u16(b, shape.bits);
  if (shape.sub_format) {
    append_u16(b, 22);
    append_u16(b, shape.bits);
    append_u32(b, shape.channels == 1 ? 4 : 3);
    append_u16(b, *shape.sub_format);
    const std::uint8_t guid_rest[] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    b.insert(b.end(), std::begin(guid_rest), std::end(guid_rest));
  } else if (shape.fmt_extra > 0) {
    append_u16(b, 0);
    b.resize(b.size() + shape.fmt_extra - 2, 0);
  }
  for (const auto& [tag, body] : shape.before) {
    append_tag(b, tag);
    append_u32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 == 1) b.push_back(0);
  }
  append_tag(b, "data");
  append_u32(b, shape.claimed.value_or(static_cast<std::uint32_t>(samples.size() * 2)));
  for (const std::int16_t s : samples) append_u16(b, static_cast<std::uint16_t>(s));
  return b;
}

inline std::string write_file(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return name;
}

inline Bytes read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::uint32_t u32_at(const Bytes& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline Samples samples_after_header(const Bytes& bytes) {
  Samples samples((bytes.size() - 44) / 2);
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  return samples;
}

}  // namespace test_support
