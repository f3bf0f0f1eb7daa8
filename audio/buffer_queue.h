// The buffer bookkeeping every wave device shares: prepared headers, the queue
// of buffers handed to the device, and their completion. The program thread
// prepares and queues; the device thread fills (capture) or drains
// (play) the queued buffers. All calls may come from either thread. Each
// buffer returned done is told to the completion notice, if one is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "audio/wave_device.h"

namespace audio {

class BufferQueue {
 public:
  // Marks the header prepared; preparing it again succeeds. Always wave_ok.
  int prepare(WaveHeader& header);

  // Clears the prepared mark. wave_still_playing while the header is queued
  // (it stays prepared then); wave_ok otherwise, prepared or not.
  int unprepare(WaveHeader& header);

  // Appends a prepared header to the queue with bytes_recorded 0 and done
  // clear. wave_unprepared when it is not prepared, wave_still_playing when it
  // is already queued. The header and its data must stay alive until it is
  // returned done.
  int add(WaveHeader& header);

  // Device side of capture: copies `count` bytes into the queued buffers in
  // order; each buffer that becomes full is returned done with bytes_recorded
  // equal to its length. Bytes for which no buffer is queued are dropped.
  void capture(const std::uint8_t* bytes, std::size_t count);

  // Device side of playback: copies up to `count` bytes from the queued
  // buffers in order into `out`; each buffer played to its end is returned
  // done. Returns the number of bytes supplied, less than `count` only when
  // the queue ran dry.
  std::size_t play(std::uint8_t* out, std::size_t count);

  // Returns every queued buffer done at once, bytes_recorded holding the bytes
  // filled or played so far.
  void return_all();

  // Replaces the notice called once for every buffer returned done, on the
  // thread that returns it and while the queue is locked: the notice must
  // not call the queue. An empty function sets none. Once this returns, the
  // notice it replaced is no longer called.
  void set_notice(std::function<void()> notice);

 private:
  struct Entry {
    WaveHeader* header;
    std::uint32_t used;  // bytes filled or played so far
  };

  // Takes the front entry off the queue and returns its buffer done.
  // Caller holds the mutex.
  void complete_front();
  bool queued(const WaveHeader& header) const;

  std::mutex mutex_;
  std::deque<Entry> queue_;
  std::function<void()> notice_;
};

}  // namespace audio
