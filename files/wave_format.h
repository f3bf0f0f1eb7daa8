// The PCM format of a wave stream or file, and the filter chain's own:
// 16-bit mono at 11025 Hz, in passes of 1024 samples whose block filters
// work in segments of 512. Every layer takes its rate and sizes from here.
#pragma once

#include <cstdint>

namespace files {

inline constexpr std::uint32_t chain_rate = 11025;  // samples a second
inline constexpr int chain_pass_samples = 1024;     // samples of a pass
inline constexpr int chain_segment_samples = 512;   // half a pass

// The 16 format bytes of a "fmt " chunk: the record the devices are opened
// with.
struct WaveFormat {
  std::uint16_t format_tag = 0;  // 1 = PCM
  std::uint16_t channels = 0;
  std::uint32_t samples_per_sec = 0;
  std::uint32_t avg_bytes_per_sec = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
  // Frames of the buffers the program hands a device stream: a device may
  // move shorter buffers in shorter periods. Not part of a file.
  std::uint32_t buffer_frames = chain_pass_samples;
};

}  // namespace files
