#include "files/wav.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/chain_feed.h"
#include "files/printable.h"
#include "files/wave_format.h"

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

// Four printable ASCII characters, as every chunk ID is.
bool plausible_id(const std::uint8_t* bytes) {
  return std::all_of(bytes, bytes + 4, [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

// The IDs of chunks often found in WAVE files.
bool known_id(const std::uint8_t* bytes) {
  static constexpr std::array<const char*, 8> known = {"fmt ", "data", "LIST", "JUNK",
                                                       "bext", "fact", "cue ", "PEAK"};
  return std::any_of(known.begin(), known.end(),
                     [bytes](const char* id) { return std::memcmp(bytes, id, 4) == 0; });
}

// A chunk's header: where it starts, its four-byte ID and the size of its
// data.
struct ChunkHeader {
  bool complete = false;  // all 8 bytes are in the file
  std::uint64_t offset = 0;
  std::uint8_t id[4] = {};
  std::uint32_t size = 0;
};

ChunkHeader header_from(std::uint64_t offset, const std::uint8_t* bytes) {
  ChunkHeader header{true, offset, {}, get_u32(bytes + 4)};
  std::memcpy(header.id, bytes, 4);
  return header;
}

// The header of the chunk at `offset`. After a chunk of odd size (`offset`
// is past its pad byte), the header at offset - 1 instead when the pad byte
// is missing: the ID at `offset` is not plausible and the one at offset - 1
// is, or the one at offset - 1 is a known ID (the ID at `offset` is then
// the known one shifted, which its size's low byte can make plausible, as
// "mt (" from a "fmt " chunk of 40 bytes). Reads no byte past the header it
// returns.
ChunkHeader read_chunk_header(ByteSource& file, std::uint64_t offset, bool after_odd) {
  std::array<std::uint8_t, 9> bytes{};
  if (!after_odd) {
    if (file.read_at(offset, std::span(bytes).first(8)) != 8) return {};
    return header_from(offset, bytes.data());
  }
  // bytes[0] is the pad byte's place; the padded header is bytes[1..8].
  if (file.read_at(offset - 1, std::span(bytes).first(8)) != 8) return {};
  if (known_id(&bytes[0]) || (!plausible_id(&bytes[1]) && plausible_id(&bytes[0]))) {
    return header_from(offset - 1, bytes.data());
  }
  if (file.read_at(offset + 7, std::span(bytes).last(1)) != 1) return {};
  return header_from(offset, &bytes[1]);
}

// Reads the "fmt " chunk's fields from its data at `offset`, `size` bytes
// (16 or more); false when the file ends within them.
bool read_format(ByteSource& file, std::uint64_t offset, std::uint32_t size, WaveLayout& layout) {
  // The sub-format GUID of the extensible layout after its tag: the tag's
  // two high bytes, then the standard base.
  static constexpr std::array<std::uint8_t, 14> guid_base = {
      0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  constexpr std::size_t guid_at = 24;

  std::array<std::uint8_t, 40> fields{};  // as many as the extensible layout has
  const std::size_t count = std::min<std::size_t>(size, fields.size());
  if (file.read_at(offset, std::span(fields).first(count)) != count) return false;
  layout.format.format_tag = get_u16(&fields[0]);
  layout.format.channels = get_u16(&fields[2]);
  layout.format.samples_per_sec = get_u32(&fields[4]);
  layout.format.avg_bytes_per_sec = get_u32(&fields[8]);
  layout.format.block_align = get_u16(&fields[12]);
  layout.format.bits_per_sample = get_u16(&fields[14]);

  // An extensible file with another GUID keeps sample_format 0; a chunk
  // shorter than 40 bytes leaves zeros in place of the GUID, which never
  // match.
  layout.extensible = layout.format.format_tag == 0xFFFE;
  if (!layout.extensible) {
    layout.sample_format = layout.format.format_tag;
  } else if (std::equal(guid_base.begin(), guid_base.end(), &fields[guid_at + 2])) {
    layout.sample_format = get_u16(&fields[guid_at]);
  }
  return true;
}

// A "data" chunk's size that says nothing: 0, or 0xFFFFFFFF ("to the end").
bool says_no_size(std::uint32_t declared) { return declared == 0 || declared == 0xFFFFFFFF; }

// Sets the samples' size from the "data" chunk's `declared` size and, for a
// file of known size, what the file holds after data_offset.
void size_samples(ByteSource& file, std::uint32_t declared, std::uint64_t file_size,
                  WaveLayout& layout) {
  layout.declared_size = declared;
  if (file_size == unknown_size) {
    layout.to_the_end = says_no_size(declared);
    layout.data_size = layout.to_the_end ? unknown_size : declared;
    return;
  }
  // A file that grew while it was read may put data_offset past file_size.
  const std::uint64_t held = file_size - std::min(file_size, layout.data_offset);
  layout.data_size = std::min<std::uint64_t>(declared, held);
  if (says_no_size(declared)) {
    layout.data_size = held;
    return;
  }
  // Past the declared samples and their pad byte (or where a missing pad
  // byte leaves it): another chunk, or a few trailing bytes; anything else
  // is more samples.
  const bool odd = (declared & 1u) != 0;
  const std::uint64_t after = declared + std::uint64_t{odd};
  std::array<std::uint8_t, 5> id{};
  const std::size_t wanted = 4 + std::size_t{odd};
  const bool chunk_follows =
      file.read_at(layout.data_offset + declared, std::span(id).first(wanted)) == wanted &&
      (plausible_id(&id[wanted - 4]) || plausible_id(&id[0]));
  if (held >= after + 8 && !chunk_follows) layout.data_size = held;
}

WaveRead refused(WaveError error) { return WaveRead{error, {}, {}, 0}; }

constexpr std::string_view accepted =
    "; accepts 16-bit PCM WAV, mono or stereo, at 1000 to 768000 Hz";

std::string channels_text(unsigned channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + " channels";
}

}  // namespace

WaveReport wave_report(WaveError error) {
  switch (error) {
    case WaveError::none:
      break;
    case WaveError::not_riff:
      return {"File Error Message", "Not a RIFF file"};
    case WaveError::short_header:
      return {"File Error Message", "The file ends inside its RIFF header"};
    case WaveError::not_wave:
      return {"File Error Message", "Not a WAVE file"};
    case WaveError::fmt_incorrect:
      return {"File Error Message", "fmt incorrect"};
    case WaveError::no_data:
      return {"File Error Message", "No wave data in the file"};
    case WaveError::chunk_past_end:
      return {"File Error Message", "The file ends inside a chunk before its wave data"};
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

std::uint64_t StreamSource::size() { return unknown_size; }

std::size_t StreamSource::take(std::span<std::uint8_t> into) {
  const std::size_t count = std::fread(into.data(), 1, into.size(), file_);
  for (std::size_t i = count - std::min(count, kept_.size()); i < count; ++i) {
    kept_[(position_ + i) % kept_.size()] = into[i];
  }
  position_ += count;
  return count;
}

std::size_t StreamSource::read_at(std::uint64_t offset, std::span<std::uint8_t> into) {
  if (offset + kept_.size() < position_) return 0;
  std::size_t copied = 0;
  for (; offset + copied < position_ && copied < into.size(); ++copied) {
    into[copied] = kept_[(offset + copied) % kept_.size()];
  }
  std::array<std::uint8_t, 4096> skipped;
  while (offset > position_) {
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(skipped.size(), offset - position_));
    if (take(std::span(skipped).first(count)) != count) return 0;
  }
  while (copied < into.size()) {
    const std::size_t count = take(into.subspan(copied));
    if (count == 0) break;
    copied += count;
  }
  return copied;
}

WaveRead read_wave_layout(ByteSource& file) {
  const std::uint64_t file_size = file.size();

  // Bytes past the end of a short file stay 0, which no ID matches.
  std::array<std::uint8_t, 12> riff{};
  const std::size_t got = file.read_at(0, riff);
  if (!is_id(riff.data(), "RIFF")) return refused(WaveError::not_riff);
  if (got < riff.size()) return refused(WaveError::short_header);
  if (!is_id(riff.data() + 8, "WAVE")) return refused(WaveError::not_wave);

  WaveLayout layout;
  layout.open_ended = file_size == unknown_size;
  bool have_format = false;
  // No overflow: each step adds at most 2^32 + 9 to an offset inside the
  // file (a stream gives the bytes it skips). A file that shrinks while it
  // is read ends the walk early.
  std::uint64_t offset = 12;
  bool after_odd = false;
  while (offset - after_odd + 8 <= file_size) {
    const ChunkHeader chunk = read_chunk_header(file, offset, after_odd);
    if (!chunk.complete) break;
    const std::uint64_t data_at = chunk.offset + 8;
    if (is_id(chunk.id, "data")) {
      if (!have_format) return refused(WaveError::fmt_incorrect);
      layout.data_offset = data_at;
      size_samples(file, chunk.size, file_size, layout);
      return WaveRead{WaveError::none, layout, {}, 0};
    }
    if (file_size != unknown_size && data_at + chunk.size > file_size) {
      WaveRead past = refused(WaveError::chunk_past_end);
      std::memcpy(past.chunk_id.data(), chunk.id, 4);
      past.chunk_size = chunk.size;
      return past;
    }
    if (!have_format && is_id(chunk.id, "fmt ") && chunk.size >= 16) {
      if (!read_format(file, data_at, chunk.size, layout)) break;
      have_format = true;
    }
    after_odd = (chunk.size & 1u) != 0;
    offset = data_at + chunk.size + after_odd;
  }
  return refused(have_format ? WaveError::no_data : WaveError::fmt_incorrect);
}

bool pcm16(const WaveLayout& layout) {
  const WaveFormat& format = layout.format;
  return layout.sample_format == 1 && format.bits_per_sample == 16 && format.channels >= 1 &&
         format.block_align == 2 * format.channels;
}

std::string format_name(const WaveLayout& layout) {
  const std::string extensible = layout.extensible ? " (extensible)" : "";
  const std::string bits = std::to_string(layout.format.bits_per_sample) + "-bit ";
  switch (layout.sample_format) {
    case 0:
      if (layout.extensible) return "an unknown extensible sub-format";
      break;
    case 1:
      return bits + "PCM" + extensible;
    case 3:
      return bits + "float" + extensible;
  }
  return "compressed audio (format tag " + std::to_string(layout.sample_format) + ")";
}

SizeNote size_note(const WaveLayout& layout) {
  if (layout.open_ended || layout.data_size == layout.declared_size) return SizeNote::none;
  if (says_no_size(layout.declared_size)) {
    return layout.data_size == 0 ? SizeNote::none : SizeNote::declared_none;
  }
  return layout.data_size < layout.declared_size ? SizeNote::past_end : SizeNote::not_a_chunk;
}

std::optional<std::string> size_warning(const WaveLayout& layout) {
  const std::string says = "the data chunk says " + std::to_string(layout.declared_size) + " bytes";
  const std::string held = std::to_string(layout.data_size);
  switch (size_note(layout)) {
    case SizeNote::none:
      break;
    case SizeNote::declared_none:
      return says + "; the " + held + " bytes after it are used";
    case SizeNote::past_end:
      return says + ", but the file holds " + held + "; those are used";
    case SizeNote::not_a_chunk:
      return says + ", but no chunk follows them; all " + held +
             " bytes to the end of the file are used";
  }
  return std::nullopt;
}

std::optional<std::string> format_refusal(const WaveLayout& layout) {
  const WaveFormat& f = layout.format;
  std::string found;
  if (layout.sample_format != 1 || f.bits_per_sample != 16) {
    found = "found " + format_name(layout);
  } else if (f.channels != 1 && f.channels != 2) {
    found = "found " + channels_text(f.channels);
  } else if (!pcm16(layout)) {
    found = "found a block align of " + std::to_string(f.block_align) + " for " +
            channels_text(f.channels) + " 16-bit PCM";
  } else if (f.samples_per_sec < audio::ChainFeed::lowest_rate ||
             f.samples_per_sec > audio::ChainFeed::highest_rate) {
    found = "found a rate of " + std::to_string(f.samples_per_sec) + " Hz";
  } else {
    return std::nullopt;
  }
  return found + std::string(accepted);
}

std::string header_refusal(const WaveRead& read) {
  std::string found;
  switch (read.error) {
    case WaveError::none:
      return {};
    case WaveError::not_riff:
      found = "found no RIFF header";
      break;
    case WaveError::short_header:
      found = "found a file that ends inside its RIFF header";
      break;
    case WaveError::not_wave:
      found = "found a RIFF file that is not WAVE";
      break;
    case WaveError::fmt_incorrect:
      found = "found no format chunk of 16 bytes or more before the data";
      break;
    case WaveError::no_data:
      found = "found no data chunk";
      break;
    case WaveError::chunk_past_end:
      found = "found a \"" + printable_name({read.chunk_id.data(), read.chunk_id.size()}) +
              "\" chunk of " + std::to_string(read.chunk_size) + " bytes, past the end of the file";
      break;
  }
  return found + std::string(accepted);
}

std::array<std::uint8_t, 44> recording_header(std::uint32_t data_bytes) {
  std::array<std::uint8_t, 44> header{};
  auto u32_at = [&](std::size_t offset) { return std::span<std::uint8_t, 4>(&header[offset], 4); };
  std::memcpy(&header[0], "RIFF", 4);
  put_u32(u32_at(riff_size_offset), data_bytes + 36);
  std::memcpy(&header[8], "WAVEfmt ", 8);
  put_u32(u32_at(16), 16);
  put_u16(&header[20], 1);          // PCM
  put_u16(&header[22], 1);          // channels
  put_u32(u32_at(24), chain_rate);  // samples per second
  put_u32(u32_at(28), 22050);       // bytes per second
  put_u16(&header[32], 2);          // block align
  put_u16(&header[34], 16);         // bits per sample
  std::memcpy(&header[36], "data", 4);
  put_u32(u32_at(data_size_offset), data_bytes);
  return header;
}

void put_u32(std::span<std::uint8_t, 4> into, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) into[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace files
