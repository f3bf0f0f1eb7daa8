#include "audio/buffer_queue.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

namespace audio {

int BufferQueue::prepare(WaveHeader& header) {
  header.flags.fetch_or(header_prepared);
  return wave_ok;
}

int BufferQueue::unprepare(WaveHeader& header) {
  if ((header.flags.load() & header_in_queue) != 0) return wave_still_playing;
  header.flags.fetch_and(~header_prepared);
  return wave_ok;
}

int BufferQueue::add(WaveHeader& header) {
  const std::uint32_t flags = header.flags.load();
  if ((flags & header_prepared) == 0) return wave_unprepared;
  if ((flags & header_in_queue) != 0) return wave_still_playing;
  const std::uint32_t tail = tail_.load(std::memory_order_relaxed);
  if (tail - head_.load(std::memory_order_acquire) == capacity) return wave_error;
  header.bytes_recorded.store(0);
  header.flags.fetch_and(~header_done);
  header.flags.fetch_or(header_in_queue);
  slots_[tail % capacity] = Slot{&header, 0};
  tail_.store(tail + 1, std::memory_order_release);
  return wave_ok;
}

void BufferQueue::capture(const std::uint8_t* bytes, std::size_t count) {
  if (!enter_device()) return;
  while (count > 0) {
    const std::uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) break;
    Slot& front = slots_[head % capacity];
    const std::size_t room = front.header->buffer_length - front.used;
    const std::size_t n = std::min(room, count);
    std::memcpy(front.header->data + front.used, bytes, n);
    front.used += static_cast<std::uint32_t>(n);
    bytes += n;
    count -= n;
    if (front.used == front.header->buffer_length) complete_front();
  }
  leave_device();
}

std::size_t BufferQueue::play(std::uint8_t* out, std::size_t count) {
  if (!enter_device()) return 0;
  std::size_t supplied = 0;
  while (supplied < count) {
    const std::uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) break;
    Slot& front = slots_[head % capacity];
    const std::size_t left = front.header->buffer_length - front.used;
    const std::size_t n = std::min(left, count - supplied);
    std::memcpy(out + supplied, front.header->data + front.used, n);
    front.used += static_cast<std::uint32_t>(n);
    supplied += n;
    if (front.used == front.header->buffer_length) complete_front();
  }
  leave_device();
  return supplied;
}

void BufferQueue::return_all() {
  hold_device();
  while (head_.load(std::memory_order_relaxed) != tail_.load(std::memory_order_relaxed)) {
    complete_front();
  }
  release_device();
}

void BufferQueue::set_notice(std::function<void()> notice) {
  hold_device();
  notice_ = std::move(notice);
  release_device();
}

// The two flags are set and then the other's read in one total order
// (sequentially consistent), so of a device call and a hold that overlap, at
// least one sees the other: the device call backs out, or the hold waits
// for it to end.
bool BufferQueue::enter_device() {
  device_busy_.store(true);
  if (device_held_.load()) {
    device_busy_.store(false);
    return false;
  }
  return true;
}

void BufferQueue::leave_device() { device_busy_.store(false); }

void BufferQueue::hold_device() {
  device_held_.store(true);
  while (device_busy_.load()) std::this_thread::yield();
}

void BufferQueue::release_device() { device_held_.store(false); }

void BufferQueue::complete_front() {
  const std::uint32_t head = head_.load(std::memory_order_relaxed);
  const Slot front = slots_[head % capacity];
  front.header->bytes_recorded.store(front.used);
  // The slot is free before the header is seen done, so a buffer re-added at
  // once finds room.
  head_.store(head + 1, std::memory_order_release);
  // in_queue goes before done, so a header seen done is never seen queued.
  front.header->flags.fetch_and(~header_in_queue);
  front.header->flags.fetch_or(header_done);
  if (notice_) notice_();
}

}  // namespace audio
