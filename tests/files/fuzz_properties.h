// What must hold for any input to the file parsers: checked by the fuzzers
// on the inputs they make up and by the tests on the inputs kept in
// fuzz_regressions/.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "files/settings_format.h"
#include "files/wav.h"

namespace files_fuzz {

// The same format and sample coding, and the same data chunk where the
// samples start.
inline bool same_header(const files::WaveLayout& a, const files::WaveLayout& b) {
  return b.data_offset == a.data_offset && b.declared_size == a.declared_size &&
         b.sample_format == a.sample_format && b.extensible == a.extensible &&
         b.format.format_tag == a.format.format_tag && b.format.channels == a.format.channels &&
         b.format.samples_per_sec == a.format.samples_per_sec &&
         b.format.avg_bytes_per_sec == a.format.avg_bytes_per_sec &&
         b.format.block_align == a.format.block_align &&
         b.format.bits_per_sample == a.format.bits_per_sample;
}

// An accepted file's samples lie inside it.
inline bool wave_samples_inside_file(std::span<const std::uint8_t> bytes) {
  files::MemorySource source(bytes);
  const files::WaveRead read = files::read_wave_layout(source);
  return read.error != files::WaveError::none ||
         read.layout.data_offset + read.layout.data_size <= bytes.size();
}

// Through a stream that cannot seek, a file reads as it does from memory,
// open-ended: the same refusal (but that a chunk runs past the end, which
// only a known length tells), or the same format, sample coding and
// data_offset with the data chunk's own size; and the stream is left at
// data_offset, having taken no byte of the samples.
inline bool wave_stream_reads_as_memory(std::span<const std::uint8_t> bytes) {
  files::MemorySource memory(bytes);
  const files::WaveRead read = files::read_wave_layout(memory);
  std::uint8_t none = 0;  // fmemopen wants a buffer even for no bytes
  std::FILE* file =
      fmemopen(bytes.empty() ? &none : const_cast<std::uint8_t*>(bytes.data()), bytes.size(), "rb");
  if (file == nullptr) return false;
  files::StreamSource stream(file);
  const files::WaveRead piped = files::read_wave_layout(stream);
  const long stood_at = std::ftell(file);
  std::fclose(file);
  if (read.error == files::WaveError::chunk_past_end) {
    return piped.error == files::WaveError::fmt_incorrect ||
           piped.error == files::WaveError::no_data;
  }
  if (piped.error != read.error) return false;
  if (read.error != files::WaveError::none) return true;
  const files::WaveLayout& a = read.layout;
  const files::WaveLayout& b = piped.layout;
  return b.open_ended && !a.open_ended && same_header(a, b) &&
         (b.to_the_end ? b.data_size == files::unknown_size : b.data_size == b.declared_size) &&
         stream.position() == a.data_offset && stood_at >= 0 &&
         static_cast<std::uint64_t>(stood_at) == a.data_offset;
}

// Reading takes the file's bytes up to the end of its last whole field and
// keeps the start value of every byte after; writing what was read and
// reading it again gives the same settings.
inline bool settings_round_trip(std::span<const std::uint8_t> bytes) {
  const std::array<std::uint8_t, files::settings_size> all_ones = [] {
    std::array<std::uint8_t, files::settings_size> ones{};
    ones.fill(0xFF);
    return ones;
  }();
  const auto over_zeros = files::serialise_settings(files::parse_settings(bytes, {}));
  const auto over_ones =
      files::serialise_settings(files::parse_settings(bytes, files::parse_settings(all_ones, {})));
  const auto read = static_cast<std::size_t>(
      std::mismatch(over_zeros.begin(), over_zeros.end(), over_ones.begin()).first -
      over_zeros.begin());
  const std::size_t held = std::min(bytes.size(), files::settings_size);
  const bool kept_after = std::all_of(over_zeros.begin() + read, over_zeros.end(),
                                      [](std::uint8_t b) { return b == 0; }) &&
                          std::all_of(over_ones.begin() + read, over_ones.end(),
                                      [](std::uint8_t b) { return b == 0xFF; });
  return read <= held && held - read < 4 && kept_after &&
         std::equal(bytes.begin(), bytes.begin() + read, over_zeros.begin()) &&
         files::serialise_settings(files::parse_settings(over_zeros, {})) == over_zeros;
}

}  // namespace files_fuzz
