// What the wave input and output operations share: calling the open stream,
// setting up a header, and the pause between two polls of a wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

#include "audio/wave_device.h"

namespace audio {

inline constexpr std::string_view wave_caption = "Wave Device Message";
inline constexpr std::chrono::milliseconds wait_poll{1};

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

// One poll's pause of a wait: until a buffer of the stream completes or for
// at most wait_poll; a plain sleep when the stream is not open.
template <typename Stream>
void pause_for_buffer(const std::unique_ptr<Stream>& stream) {
  if (stream) {
    stream->wait_for_buffer(wait_poll);
  } else {
    std::this_thread::sleep_for(wait_poll);
  }
}

}  // namespace audio
