// A wave header with a block of its own, for the tests of this folder.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "audio/wave_device.h"

struct Buffer {
  explicit Buffer(std::uint32_t length) : bytes(length) {
    header.data = bytes.data();
    header.buffer_length = length;
  }
  Buffer(std::initializer_list<std::uint8_t> content)
      : Buffer(static_cast<std::uint32_t>(content.size())) {
    bytes.assign(content);
  }
  bool done() const { return (header.flags.load() & audio::header_done) != 0; }
  std::uint32_t recorded() const { return header.bytes_recorded.load(); }

  std::vector<std::uint8_t> bytes;
  audio::WaveHeader header;
};

// Sample i of a block of 16-bit little-endian samples.
inline std::int16_t sample_at(const std::uint8_t* data, std::size_t i) {
  return static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}
