// What the wave input and output operations share: calling the open stream
// and setting up a header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "audio/wave_device.h"

namespace audio {

inline constexpr std::string_view wave_caption = "Wave Device Message";

// Calls `op` on the open stream with `args` and returns its result;
// wave_invalid_handle when the stream is not open.
template <typename Stream, typename Op, typename... Args>
int call_on(const std::unique_ptr<Stream>& stream, Op op, Args&&... args) {
  return stream ? std::invoke(op, *stream, std::forward<Args>(args)...) : wave_invalid_handle;
}

// Points the header at `length` bytes of `data`, flags and loops cleared.
inline void set_header(WaveHeader& header, std::uint8_t* data, std::uint32_t length) {
  header.data = data;
  header.buffer_length = length;
  header.flags.store(0);
  header.loops = 0;
}

}  // namespace audio
