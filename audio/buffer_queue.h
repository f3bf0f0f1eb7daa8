// The buffer bookkeeping every wave device shares: prepared headers, the queue
// of buffers handed to the device, and their completion. The program side
// (prepare, unprepare, add, return_all, set_notice) is one thread at a time;
// the device side (capture or play) is the device's own thread. Neither side
// takes a lock or allocates: the queue is a fixed ring of slots, and the two
// sides meet through atomics only. Each buffer returned done is told to the
// completion notice, if one is set.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "audio/wave_device.h"

namespace audio {

class BufferQueue {
 public:
  // Buffers that can be queued at once; the cycle queues two per direction.
  static constexpr std::size_t capacity = 4;

  // Marks the header prepared; preparing it again succeeds. Always wave_ok.
  int prepare(WaveHeader& header);

  // Clears the prepared mark. wave_still_playing while the header is queued
  // (it stays prepared then); wave_ok otherwise, prepared or not.
  int unprepare(WaveHeader& header);

  // Appends a prepared header to the queue with bytes_recorded 0 and done
  // clear. wave_unprepared when it is not prepared, wave_still_playing when it
  // is already queued, wave_error when `capacity` buffers are queued. The
  // header and its data must stay alive until it is returned done.
  int add(WaveHeader& header);

  // Device side of capture: copies `count` bytes into the queued buffers in
  // order; each buffer that becomes full is returned done with bytes_recorded
  // equal to its length. Bytes for which no buffer is queued are dropped, as
  // are those that arrive while return_all or set_notice runs.
  void capture(const std::uint8_t* bytes, std::size_t count);

  // Device side of playback: copies up to `count` bytes from the queued
  // buffers in order into `out`; each buffer played to its end is returned
  // done. Returns the number of bytes supplied, less than `count` only when
  // the queue ran dry (or return_all or set_notice runs meanwhile).
  std::size_t play(std::uint8_t* out, std::size_t count);

  // Returns every queued buffer done at once, bytes_recorded holding the bytes
  // filled or played so far. Waits for a capture or play under way to end (a
  // copy, never a wait on the device), so none touches a buffer afterwards.
  void return_all();

  // Replaces the notice called once for every buffer returned done, on the
  // thread that returns it: the notice must be quick and must not call the
  // queue. An empty function sets none. Waits as return_all does; once this
  // returns, the notice it replaced is no longer called. The device side
  // calls the notice in place, never copying it.
  void set_notice(std::function<void()> notice);

 private:
  struct Slot {
    WaveHeader* header = nullptr;
    std::uint32_t used = 0;  // bytes filled or played so far
  };

  // Admits a device-side call unless the program side holds the device out;
  // a call admitted must end with leave_device().
  bool enter_device();
  void leave_device();
  // Keeps device-side calls out, waiting for one under way to end.
  void hold_device();
  void release_device();

  // Takes the front slot off the queue and returns its buffer done. Only on
  // the side that holds the front: the device side admitted, or the program
  // side with the device held.
  void complete_front();

  std::array<Slot, capacity> slots_{};
  // Slots queued are those from head_ to tail_ (counts modulo 2^32). add()
  // alone moves tail_; the device side and return_all move head_.
  std::atomic<std::uint32_t> head_{0};
  std::atomic<std::uint32_t> tail_{0};
  std::atomic<bool> device_busy_{false};  // a capture or play is under way
  std::atomic<bool> device_held_{false};  // return_all or set_notice runs
  std::function<void()> notice_;
};

}  // namespace audio
