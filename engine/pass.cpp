#include "engine/pass.h"

#include <algorithm>

#include "design/rounding.h"

namespace engine {

void unpack_input_block(std::span<const std::uint8_t> buffer, std::int32_t input_select,
                        std::span<std::int32_t> work, std::span<std::int32_t> raw) {
  std::size_t stride = 0;
  std::size_t offset = 0;
  switch (input_select) {
    case 1:
      stride = 2;
      break;
    case 2:
      stride = 4;
      break;
    case 3:
      stride = 4;
      offset = 2;
      break;
    default:
      return;
  }
  for (std::size_t i = 0; i < work.size(); ++i) {
    const std::size_t at = stride * i + offset;
    const auto sample = static_cast<std::int16_t>(buffer[at] | (buffer[at + 1] << 8));
    work[i] = sample;
    raw[i] = sample;
  }
}

void output_stage(std::span<const std::int32_t> raw, std::span<const std::int32_t> work,
                  bool bypass, float gain, bool pause, std::span<std::int32_t> out) {
  const std::span<const std::int32_t> source = bypass ? raw : work;
  for (std::size_t j = 0; j < out.size(); ++j) {
    out[j] = design::truncate_to_int32(static_cast<float>(source[j]) * gain);
  }
  if (pause) std::fill(out.begin(), out.end(), 0);
}

void pack_output_block(std::span<const std::int32_t> samples, std::span<std::uint8_t> bytes) {
  for (std::size_t j = 0; j < samples.size(); ++j) {
    const std::int32_t value = std::clamp<std::int32_t>(samples[j], INT16_MIN, INT16_MAX);
    bytes[2 * j] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[2 * j + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  }
}

}  // namespace engine
