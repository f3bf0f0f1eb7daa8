// A wave header with a block of its own, and the samples and tones the tests
// of this folder feed and measure.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>
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

// Prepares `buffer` on `queue` and queues it.
template <typename Queue>
void enqueue(Queue& queue, Buffer& buffer) {
  queue.prepare(buffer.header);
  queue.add(buffer.header);
}

// Sample i of a block of 16-bit little-endian samples.
inline std::int16_t sample_at(const std::uint8_t* data, std::size_t i) {
  return static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}

// Interleaved card frames at `rate`: a tone of amplitude 0.5 at `left_hz` on
// the left, of 0.25 at `right_hz` on the right.
inline std::vector<float> stereo_tones(long frames, double rate, double left_hz, double right_hz) {
  std::vector<float> x(static_cast<std::size_t>(2 * frames));
  for (long i = 0; i < frames; ++i) {
    const double phase = 2 * std::numbers::pi * static_cast<double>(i) / rate;
    x[static_cast<std::size_t>(2 * i)] = static_cast<float>(0.5 * std::sin(phase * left_hz));
    x[static_cast<std::size_t>(2 * i + 1)] = static_cast<float>(0.25 * std::sin(phase * right_hz));
  }
  return x;
}

// The amplitude of a tone at `hz` in samples taken at `rate`: a
// Hann-windowed DFT at that one frequency.
template <typename Samples>
double amplitude_at(const Samples& x, double hz, double rate) {
  double re = 0, im = 0, weight = 0;
  const double length = static_cast<double>(x.size() - 1);
  for (std::size_t n = 0; n < x.size(); ++n) {
    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(n) / length);
    const double phase = 2 * std::numbers::pi * hz * static_cast<double>(n) / rate;
    re += w * x[n] * std::cos(phase);
    im += w * x[n] * std::sin(phase);
    weight += w;
  }
  return 2 * std::hypot(re, im) / weight;
}
