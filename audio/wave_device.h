// The wave service beneath the device operations: queued buffers with a done
// flag and a bytes-recorded count, an input position in bytes since start,
// reset returning every queued buffer as done, restart. A device (the
// built-in stand-in, or a sound card) runs on its own clock or thread and
// completes buffers asynchronously and tells the program through the
// stream's completion notice.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "files/wave_format.h"

namespace audio {

// Result codes of the wave calls; 0 is success.
enum WaveResultCode : int {
  wave_ok = 0,
  wave_error = 1,           // unspecified failure
  wave_bad_device_id = 2,   // no device with that number
  wave_invalid_handle = 5,  // the device is not open
  wave_pending = 6,         // not answered yet: the open goes on, ask again
  wave_bad_format = 32,     // the device cannot run the format
  wave_still_playing = 33,  // the buffer is still queued
  wave_unprepared = 34,     // the buffer has not been prepared
};

// Header flag bits.
inline constexpr std::uint32_t header_done = 0x01;
inline constexpr std::uint32_t header_prepared = 0x02;
inline constexpr std::uint32_t header_in_queue = 0x10;

using WaveFormat = files::WaveFormat;

// One buffer handed to a device. The device thread writes bytes_recorded and
// flags; the program reads them.
struct WaveHeader {
  std::uint8_t* data = nullptr;
  std::uint32_t buffer_length = 0;
  std::atomic<std::uint32_t> bytes_recorded{0};
  std::atomic<std::uint32_t> flags{0};
  std::uint32_t loops = 0;
};

// A capture stream on one device, open until destroyed.
class WaveInStream {
 public:
  virtual ~WaveInStream() = default;
  virtual int prepare(WaveHeader& header) = 0;
  virtual int unprepare(WaveHeader& header) = 0;
  virtual int add_buffer(WaveHeader& header) = 0;
  virtual int start() = 0;
  // Stops capture and returns every queued buffer as done.
  virtual int reset() = 0;
  // Bytes captured since the last start.
  virtual int position(std::uint32_t& bytes) = 0;
  // `notice` is called, from any thread, each time a buffer is returned
  // done (reset included). It must be quick and must not call the stream.
  virtual void set_completion_notice(std::function<void()> notice) = 0;
};

// A playback stream on one device, open until destroyed.
class WaveOutStream {
 public:
  virtual ~WaveOutStream() = default;
  virtual int prepare(WaveHeader& header) = 0;
  virtual int unprepare(WaveHeader& header) = 0;
  // Queues the buffer; it plays after those queued before it.
  virtual int write(WaveHeader& header) = 0;
  // Stops playback and returns every queued buffer as done.
  virtual int reset() = 0;
  virtual int restart() = 0;
  virtual void set_completion_notice(std::function<void()> notice) = 0;
};

// The devices of one kind of sound service, numbered from 0 in each direction.
class WaveSystem {
 public:
  virtual ~WaveSystem() = default;
  virtual int input_count() = 0;
  virtual int output_count() = 0;
  virtual std::string input_name(int device_id) = 0;
  virtual std::string output_name(int device_id) = 0;
  // With `stream` null, only asks whether the device can run the format.
  virtual int open_input(int device_id, const WaveFormat& format,
                         std::unique_ptr<WaveInStream>* stream) = 0;
  virtual int open_output(int device_id, const WaveFormat& format,
                          std::unique_ptr<WaveOutStream>* stream) = 0;
};

}  // namespace audio
