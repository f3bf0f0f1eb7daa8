#include "files/wav.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/files/fuzz_properties.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using files::WaveError;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes u16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}

Bytes u32(std::uint32_t v) {
  return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16));
}

Bytes header(std::string_view id, std::uint32_t size) { return text(id) + u32(size); }

// A chunk with its pad byte when its size is odd.
Bytes chunk(std::string_view id, const Bytes& data) {
  Bytes bytes = header(id, static_cast<std::uint32_t>(data.size())) + data;
  if (data.size() % 2 == 1) bytes.push_back(0);
  return bytes;
}

// A chunk without its pad byte, as some recorders write one of odd size.
Bytes unpadded(std::string_view id, const Bytes& data) {
  return header(id, static_cast<std::uint32_t>(data.size())) + data;
}

Bytes riff(const Bytes& chunks) {
  return header("RIFF", static_cast<std::uint32_t>(4 + chunks.size())) + text("WAVE") + chunks;
}

// The 16 format bytes: consistent block align and bytes per second.
Bytes format(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
             std::uint16_t tag = 1) {
  const auto align = static_cast<std::uint16_t>(channels * bits / 8);
  return u16(tag) + u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(bits);
}

// The 40 bytes of the extensible layout whose sub-format is `tag`'s GUID.
Bytes extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                 std::uint16_t tag) {
  const Bytes guid_base = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  return format(channels, rate, bits, 0xFFFE) + u16(22) + u16(bits) + u32(channels == 1 ? 4 : 3) +
         u16(tag) + guid_base;
}

const Bytes mono = format(1, 11025, 16);
const Bytes list = chunk("LIST", text("INFO") + chunk("ISFT", text("Tonewell")));

Bytes samples(std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(0x80 + i);
  return bytes;
}

files::WaveRead read_memory(const Bytes& bytes) {
  files::MemorySource source(bytes);
  return files::read_wave_layout(source);
}

// The read end of a pipe that a thread of its own fills with `bytes` and
// then closes: a stream that cannot seek.
class Pipe {
 public:
  explicit Pipe(Bytes bytes) {
    int ends[2];
    if (pipe(ends) != 0) return;
    writer_ = std::thread([fd = ends[1], bytes = std::move(bytes)] {
      for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + at, bytes.size() - at);
        if (written <= 0) break;
        at += static_cast<std::size_t>(written);
      }
      close(fd);
    });
    stream_ = fdopen(ends[0], "rb");
  }
  ~Pipe() {
    // The writer is done only once everything it writes has been taken.
    if (stream_ != nullptr) {
      rest();
      std::fclose(stream_);
    }
    writer_.join();
  }
  std::FILE* stream() const { return stream_; }
  // The bytes the stream still gives.
  Bytes rest() {
    Bytes bytes;
    for (int c; (c = std::fgetc(stream_)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    return bytes;
  }

 private:
  std::thread writer_;
  std::FILE* stream_ = nullptr;
};

// Reads `bytes` from a file on disk and through a pipe: the same as `read`
// from memory, but through the pipe `piped_error`, and an accepted file
// open-ended there with `piped_size` bytes of samples, the pipe left
// standing at them.
void expect_read_alike(const Bytes& bytes, const files::WaveRead& read, WaveError piped_error,
                       std::uint64_t piped_size) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  files::FileSource source(file);
  const files::WaveRead from_disk = files::read_wave_layout(source);
  std::fclose(file);
  EXPECT_EQ(from_disk.error, read.error);
  EXPECT_TRUE(files_fuzz::same_header(from_disk.layout, read.layout));
  EXPECT_EQ(from_disk.layout.data_size, read.layout.data_size);

  Pipe pipe(bytes);
  ASSERT_NE(pipe.stream(), nullptr);
  files::StreamSource stream(pipe.stream());
  const files::WaveRead piped = files::read_wave_layout(stream);
  EXPECT_EQ(piped.error, piped_error);
  if (read.error != WaveError::none) return;
  EXPECT_TRUE(piped.layout.open_ended);
  EXPECT_TRUE(files_fuzz::same_header(piped.layout, read.layout));
  EXPECT_EQ(piped.layout.data_size, piped_size);
  EXPECT_EQ(stream.position(), read.layout.data_offset);
  const auto samples_at = bytes.begin() + static_cast<std::ptrdiff_t>(read.layout.data_offset);
  EXPECT_EQ(pipe.rest(), Bytes(samples_at, bytes.end()));
}

TEST(ReadWaveLayout, AcceptsChunkLayoutsAndRefusesBrokenFilesFromMemoryDiskOrPipe) {
  const std::array<std::uint8_t, 44> header_of_6 = files::recording_header(6);
  const Bytes recording(header_of_6.begin(), header_of_6.end());
  const Bytes junk = chunk("JUNK", Bytes(28));
  const Bytes bext = chunk("bext", Bytes(602));
  Bytes other_guid = extensible(1, 11025, 16, 1);
  other_guid.back() ^= 1;
  constexpr std::uint64_t to_the_end = files::unknown_size;
  struct Accepted {
    const char* name;
    Bytes bytes;
    std::uint16_t channels;
    std::uint16_t bits;
    std::uint64_t data_offset;
    std::uint64_t data_size;
    std::uint16_t sample_format;
    std::string_view format_name;  // "extensible" in it for the extensible layout
    // Through a pipe, when other than data_size: the declared size, or
    // unknown_size for one of 0 or 0xFFFFFFFF.
    std::uint64_t piped_size = 0;
    std::string_view size_warning = {};
  };
  const std::string_view pcm = "16-bit PCM";
  const std::string_view pcm_ext = "16-bit PCM (extensible)";
  const std::string_view unknown_ext = "an unknown extensible sub-format";
  const Accepted accepted[] = {
      {"a Save Wave recording", recording + samples(6), 1, 16, 44, 6, 1, pcm},
      {"fmt of 18 bytes, fact, data",
       riff(chunk("fmt ", format(2, 11025, 16) + u16(0)) + chunk("fact", u32(3)) +
            chunk("data", samples(12))),
       2, 16, 58, 12, 1, pcm},
      {"LIST before data", riff(chunk("fmt ", mono) + list + chunk("data", samples(4))), 1, 16,
       36 + list.size() + 8, 4, 1, pcm},
      {"LIST before fmt", riff(list + chunk("fmt ", mono) + chunk("data", samples(4))), 1, 16,
       12 + list.size() + 24 + 8, 4, 1, pcm},
      {"JUNK before fmt", riff(junk + chunk("fmt ", mono) + chunk("data", samples(4))), 1, 16,
       12 + 36 + 24 + 8, 4, 1, pcm},
      {"bext and 70000 bytes of JUNK before fmt",
       riff(bext + chunk("JUNK", Bytes(70000)) + chunk("fmt ", mono) + chunk("data", samples(4))),
       1, 16, 12 + 610 + 70008 + 24 + 8, 4, 1, pcm},
      {"odd chunk and its pad byte before data",
       riff(chunk("fmt ", mono) + chunk("JUNK", samples(5)) + chunk("data", samples(4))), 1, 16, 58,
       4, 1, pcm},
      {"odd chunk without its pad byte before data",
       riff(chunk("fmt ", mono) + unpadded("JUNK", samples(5)) + chunk("data", samples(4))), 1, 16,
       57, 4, 1, pcm},
      // "ata4" is a plausible ID: the known "data" one byte back wins.
      {"odd chunk without its pad byte before data of 0x34 bytes",
       riff(chunk("fmt ", mono) + unpadded("JUNK", samples(5)) + chunk("data", samples(0x34))), 1,
       16, 57, 0x34, 1, pcm},
      {"odd fmt without its pad byte",
       riff(unpadded("fmt ", format(1, 11025, 16) + Bytes(3)) + chunk("data", samples(4))), 1, 16,
       12 + 27 + 8, 4, 1, pcm},
      {"odd chunk without its pad byte before an extensible fmt",
       riff(unpadded("bext", Bytes(3)) + chunk("fmt ", extensible(2, 11025, 16, 1)) +
            chunk("data", samples(8))),
       2, 16, 12 + 11 + 48 + 8, 8, 1, pcm_ext},
      {"extensible 16-bit PCM mono",
       riff(chunk("fmt ", extensible(1, 11025, 16, 1)) + chunk("data", samples(4))), 1, 16, 68, 4,
       1, pcm_ext},
      {"JUNK before extensible 16-bit PCM stereo",
       riff(junk + chunk("fmt ", extensible(2, 11025, 16, 1)) + chunk("data", samples(8))), 2, 16,
       12 + 36 + 48 + 8, 8, 1, pcm_ext},
      {"extensible 32-bit float",
       riff(chunk("fmt ", extensible(1, 11025, 32, 3)) + chunk("data", samples(8))), 1, 32, 68, 8,
       3, "32-bit float (extensible)"},
      {"extensible fmt of 18 bytes",
       riff(chunk("fmt ", format(1, 11025, 16, 0xFFFE) + u16(0)) + chunk("data", samples(4))), 1,
       16, 46, 4, 0, unknown_ext},
      {"extensible with another GUID", riff(chunk("fmt ", other_guid) + chunk("data", samples(4))),
       1, 16, 68, 4, 0, unknown_ext},
      {"24-bit PCM", riff(chunk("fmt ", format(1, 11025, 24)) + chunk("data", samples(6))), 1, 24,
       44, 6, 1, "24-bit PCM"},
      {"32-bit float", riff(chunk("fmt ", format(1, 11025, 32, 3)) + chunk("data", samples(8))), 1,
       32, 44, 8, 3, "32-bit float"},
      {"data to the end", riff(chunk("fmt ", mono)) + header("data", 0xFFFFFFFF) + samples(10), 1,
       16, 44, 10, 1, pcm, to_the_end,
       "the data chunk says 4294967295 bytes; the 10 bytes after it are used"},
      {"data of zero bytes at the end", riff(chunk("fmt ", mono)) + header("data", 0), 1, 16, 44, 0,
       1, pcm, to_the_end},
      {"data of zero bytes, then a second of samples",
       riff(chunk("fmt ", mono)) + header("data", 0) + samples(22050), 1, 16, 44, 22050, 1, pcm,
       to_the_end, "the data chunk says 0 bytes; the 22050 bytes after it are used"},
      {"data claiming more than the file holds",
       riff(chunk("fmt ", mono)) + header("data", 100) + samples(10), 1, 16, 44, 10, 1, pcm, 100,
       "the data chunk says 100 bytes, but the file holds 10; those are used"},
      {"samples, then LIST", riff(chunk("fmt ", mono) + chunk("data", samples(4)) + list), 1, 16,
       44, 4, 1, pcm},
      {"odd samples without their pad byte, then LIST",
       riff(chunk("fmt ", mono) + unpadded("data", samples(5)) + list), 1, 16, 44, 5, 1, pcm},
      {"samples, then 7 trailing bytes",
       riff(chunk("fmt ", mono) + chunk("data", samples(3)) + samples(7)), 1, 16, 44, 3, 1, pcm},
      {"samples, then 8 bytes that are no chunk",
       riff(chunk("fmt ", mono) + chunk("data", samples(4)) + samples(8)), 1, 16, 44, 12, 1, pcm, 4,
       "the data chunk says 4 bytes, but no chunk follows them; all 12 bytes to the end of the "
       "file are used"},
  };
  for (const Accepted& c : accepted) {
    SCOPED_TRACE(c.name);
    const files::WaveRead read = read_memory(c.bytes);
    ASSERT_EQ(read.error, WaveError::none);
    EXPECT_EQ(files::wave_report(read.error).text, "");
    const files::WaveLayout& layout = read.layout;
    EXPECT_EQ(layout.format.channels, c.channels);
    EXPECT_EQ(layout.format.samples_per_sec, 11025u);
    EXPECT_EQ(layout.format.block_align, c.channels * c.bits / 8);
    EXPECT_EQ(layout.format.bits_per_sample, c.bits);
    EXPECT_EQ(layout.data_offset, c.data_offset);
    EXPECT_EQ(layout.data_size, c.data_size);
    EXPECT_EQ(layout.sample_format, c.sample_format);
    EXPECT_EQ(layout.extensible, c.format_name.find("extensible") != std::string_view::npos);
    EXPECT_EQ(layout.format.format_tag, layout.extensible ? 0xFFFE : c.sample_format);
    EXPECT_FALSE(layout.open_ended);
    EXPECT_EQ(files::pcm16(layout), c.sample_format == 1 && c.bits == 16);
    EXPECT_EQ(files::format_name(layout), c.format_name);
    EXPECT_EQ(files::size_warning(layout).value_or(""), c.size_warning);
    expect_read_alike(c.bytes, read, WaveError::none,
                      c.piped_size != 0 ? c.piped_size : c.data_size);
  }

  const struct {
    const char* name;
    Bytes bytes;
    WaveError error;
    std::string_view report;
    std::optional<WaveError> piped_error = {};  // when other than error
  } refused[] = {
      {"three bytes", text("RIF"), WaveError::not_riff, "Not a RIFF file"},
      {"big-endian RIFX", text("RIFX") + Bytes(recording.begin() + 4, recording.end()),
       WaveError::not_riff, "Not a RIFF file"},
      {"RIFF and nothing else", text("RIFF"), WaveError::short_header,
       "The file ends inside its RIFF header"},
      {"WAVX", header("RIFF", 36) + text("WAVX") + chunk("fmt ", mono), WaveError::not_wave,
       "Not a WAVE file"},
      {"fmt of 14 bytes",
       riff(chunk("fmt ", Bytes(mono.begin(), mono.begin() + 14)) + chunk("data", samples(4))),
       WaveError::fmt_incorrect, "fmt incorrect"},
      {"data before fmt", riff(chunk("data", samples(4)) + chunk("fmt ", mono)),
       WaveError::fmt_incorrect, "fmt incorrect"},
      {"no data chunk", riff(chunk("fmt ", mono) + list), WaveError::no_data,
       "No wave data in the file"},
      {"chunk of 0xFFFFFFFF bytes before data",
       riff(chunk("fmt ", mono) + header("LIST", 0xFFFFFFFF) + chunk("data", samples(4))),
       WaveError::chunk_past_end, "The file ends inside a chunk before its wave data",
       WaveError::no_data},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    const files::WaveRead read = read_memory(c.bytes);
    EXPECT_EQ(read.error, c.error);
    EXPECT_EQ(files::wave_report(read.error).text, c.report);
    expect_read_alike(c.bytes, read, c.piped_error.value_or(c.error), 0);
  }
}

TEST(ReadWaveLayout, EveryPrefixOfAFileIsReadOrRefusedByWhatItHolds) {
  struct File {
    const char* name;
    Bytes before_fmt;
    // The data of each chunk before "data", from .. to: a prefix that ends
    // inside one is refused as such, but through a pipe.
    std::vector<std::pair<std::size_t, std::size_t>> chunk_data;
  };
  const File layouts[] = {
      {"odd bext with its pad byte and JUNK",
       chunk("bext", Bytes(5)) + chunk("JUNK", Bytes(28)),
       {{20, 25}, {34, 62}, {70, 110}}},
      {"odd JUNK without its pad byte", unpadded("JUNK", Bytes(27)), {{20, 47}, {55, 95}}},
  };
  for (const File& f : layouts) {
    const Bytes file =
        riff(f.before_fmt + chunk("fmt ", extensible(2, 11025, 16, 1)) + chunk("data", samples(8)));
    const std::size_t data_offset = file.size() - 8;
    for (std::size_t length = 0; length <= file.size(); ++length) {
      SCOPED_TRACE(testing::Message() << f.name << ", " << length << " bytes");
      const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
      const files::WaveRead read = read_memory(prefix);
      const WaveError expected = length < 4                 ? WaveError::not_riff
                                 : length < 12              ? WaveError::short_header
                                 : length < data_offset - 8 ? WaveError::fmt_incorrect
                                 : length < data_offset     ? WaveError::no_data
                                                            : WaveError::none;
      const bool inside_a_chunk = std::any_of(
          f.chunk_data.begin(), f.chunk_data.end(),
          [&](const auto& data) { return data.first <= length && length < data.second; });
      EXPECT_EQ(read.error, inside_a_chunk ? WaveError::chunk_past_end : expected);
      if (expected == WaveError::none) {
        EXPECT_EQ(read.layout.data_offset, data_offset);
        EXPECT_EQ(read.layout.data_size, length - data_offset);
        EXPECT_TRUE(files::pcm16(read.layout));
      }

      Pipe pipe(prefix);
      ASSERT_NE(pipe.stream(), nullptr);
      files::StreamSource stream(pipe.stream());
      const files::WaveRead piped = files::read_wave_layout(stream);
      EXPECT_EQ(piped.error, expected);
      if (expected == WaveError::none) {
        EXPECT_EQ(piped.layout.data_offset, data_offset);
        EXPECT_EQ(piped.layout.data_size, 8u);
      }
    }
  }
}

TEST(StreamSource, ReadsForwardReReadsItsLastSixteenBytesAndNoFurther) {
  const Bytes bytes = samples(100);
  Pipe pipe(bytes);
  ASSERT_NE(pipe.stream(), nullptr);
  files::StreamSource stream(pipe.stream());
  EXPECT_EQ(stream.size(), files::unknown_size);
  // read_at(offset, count): how many it gave, which must be the stream's
  // bytes from offset on.
  const auto read_at = [&](std::uint64_t offset, std::size_t count) {
    Bytes into(count);
    const std::size_t got = stream.read_at(offset, into);
    into.resize(got);
    if (got > 0) {
      const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
      EXPECT_EQ(into, Bytes(from, from + static_cast<std::ptrdiff_t>(got))) << "at " << offset;
    }
    return got;
  };
  EXPECT_EQ(read_at(0, 10), 10u);
  EXPECT_EQ(read_at(10, 6), 6u);   // on from where it stopped
  EXPECT_EQ(read_at(2, 20), 20u);  // partly behind its position
  EXPECT_EQ(stream.position(), 22u);
  EXPECT_EQ(read_at(40, 10), 10u);  // skips 18 bytes
  EXPECT_EQ(read_at(34, 4), 4u);    // the oldest byte kept
  EXPECT_EQ(read_at(33, 4), 0u);    // one further back
  EXPECT_EQ(stream.position(), 50u);
  EXPECT_EQ(read_at(95, 10), 5u);  // the end of the stream
  EXPECT_EQ(read_at(100, 1), 0u);
  EXPECT_EQ(read_at(200, 1), 0u);
}

TEST(FormatName, NamesTheSampleCodingAndPcm16TakesOnlySixteenBitPcm) {
  struct Case {
    std::uint16_t sample_format;
    bool extensible;
    files::WaveFormat format;  // tag, channels, rate, bytes/s, align, bits
    std::string_view name;
    bool pcm16;
  };
  const Case cases[] = {
      {1, false, {1, 1, 8000, 8000, 1, 8}, "8-bit PCM", false},
      {1, false, {1, 1, 11025, 44100, 4, 16}, "16-bit PCM", false},  // stereo's align
      {1, false, {1, 0, 11025, 0, 0, 16}, "16-bit PCM", false},      // no channels
      {3, false, {3, 1, 11025, 22050, 2, 16}, "16-bit float", false},
      {85, false, {85, 2, 44100, 16000, 1, 0}, "compressed audio (format tag 85)", false},
      {85, true, {0xFFFE, 2, 44100, 16000, 1, 0}, "compressed audio (format tag 85)", false},
      {0, true, {0xFFFE, 1, 11025, 22050, 2, 16}, "an unknown extensible sub-format", false},
      {0, false, {0, 1, 11025, 22050, 2, 16}, "compressed audio (format tag 0)", false},
  };
  for (const Case& c : cases) {
    files::WaveLayout layout;
    layout.format = c.format;
    layout.sample_format = c.sample_format;
    layout.extensible = c.extensible;
    EXPECT_EQ(files::format_name(layout), c.name);
    EXPECT_EQ(files::pcm16(layout), c.pcm16) << c.name;
  }
}

// A file of `size` bytes, zero except for the pieces given.
class SparseSource : public files::ByteSource {
 public:
  SparseSource(std::uint64_t size, std::vector<std::pair<std::uint64_t, Bytes>> pieces)
      : size_(size), pieces_(std::move(pieces)) {}
  std::uint64_t size() override { return size_; }
  std::size_t read_at(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (offset >= size_) return 0;
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), size_ - offset));
    std::fill_n(into.begin(), count, 0);
    for (const auto& [start, bytes] : pieces_) {
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (start + i >= offset && start + i < offset + count) into[start + i - offset] = bytes[i];
      }
    }
    return count;
  }

 private:
  std::uint64_t size_;
  std::vector<std::pair<std::uint64_t, Bytes>> pieces_;
};

TEST(ReadWaveLayout, FindsDataPastFourGibibytesAndTakesAllItsSamples) {
  // A 4 GiB chunk, then a data chunk and `held` bytes of samples.
  const std::uint64_t data_header = 36 + 8 + 0xFFFFFFFFull + 1;
  const std::uint64_t gib = 1ull << 30;
  for (const auto& [declared, held] :
       {std::pair{0xFFFFFFFFu, 3 * gib}, std::pair{0u, 5 * gib}, std::pair{0xC0000000u, 3 * gib}}) {
    SparseSource file(data_header + 8 + held,
                      {{0, riff(chunk("fmt ", mono)) + header("JUNK", 0xFFFFFFFF)},
                       {data_header, header("data", declared)}});
    const files::WaveRead read = files::read_wave_layout(file);
    ASSERT_EQ(read.error, WaveError::none);
    EXPECT_EQ(read.layout.data_offset, data_header + 8);
    EXPECT_EQ(read.layout.data_size, held) << declared;
  }
}

const std::string accepts = "; accepts 16-bit PCM WAV, mono or stereo, at 1000 to 768000 Hz";

// The refusals of other sample formats are tonewell-filter's tests.
TEST(FormatRefusal, TakesSixteenBitPcmAtTheFeedsRatesAndCountsTheFormatTag) {
  const struct {
    Bytes fmt;
    std::string_view found;  // empty when taken
  } cases[] = {
      {mono, ""},
      {format(1, 1000, 16), ""},
      {extensible(2, 768000, 16, 1), ""},
      {u16(1) + u16(1) + u32(11025) + u32(44100) + u16(2) + u16(16), ""},  // bytes/s not used
      {format(1, 999, 16), "found a rate of 999 Hz"},
      {format(2, 768001, 16), "found a rate of 768001 Hz"},
      {format(1, 11025, 16, 2), "found compressed audio (format tag 2)"},
      {format(1, 11025, 16, 3), "found 16-bit float"},
      {format(1, 11025, 16, 0x55), "found compressed audio (format tag 85)"},
  };
  for (const auto& c : cases) {
    const files::WaveRead read =
        read_memory(riff(chunk("fmt ", c.fmt) + chunk("data", samples(4))));
    EXPECT_EQ(files::format_refusal(read.layout).value_or(""),
              c.found.empty() ? "" : std::string(c.found) + accepts)
        << "row " << &c - cases;
  }
}

TEST(HeaderRefusal, NamesWhatWasFoundInPlaceOfAHeader) {
  const Bytes past_end = riff(chunk("fmt ", mono) + header("\x1B[2J", 20) + samples(10));
  EXPECT_EQ(files::header_refusal(read_memory(text("RIFF") + Bytes(7))),
            "found a file that ends inside its RIFF header" + accepts);
  EXPECT_EQ(files::header_refusal(read_memory(past_end)),
            "found a \"\\x1B[2J\" chunk of 20 bytes, past the end of the file" + accepts);
}

TEST(RecordingHeader, TwentyKilobytesOfMonoSamples) {
  const std::array<std::uint8_t, 44> expected = {
      'R',  'I',  'F',  'F',  0x24, 0x50, 0x00, 0x00, 'W', 'A', 'V', 'E',  //
      'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00,                      //
      0x01, 0x00, 0x01, 0x00, 0x11, 0x2B, 0x00, 0x00,                      // PCM, mono, 11025
      0x22, 0x56, 0x00, 0x00, 0x02, 0x00, 0x10, 0x00,                      // 22050, 2, 16
      'd',  'a',  't',  'a',  0x00, 0x50, 0x00, 0x00,
  };
  EXPECT_EQ(files::recording_header(20480), expected);
}

}  // namespace
