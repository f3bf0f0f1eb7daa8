#include "audio/buffer_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace audio {

int BufferQueue::prepare(WaveHeader& header) {
  std::lock_guard lock(mutex_);
  header.flags.fetch_or(header_prepared);
  return wave_ok;
}

int BufferQueue::unprepare(WaveHeader& header) {
  std::lock_guard lock(mutex_);
  if (queued(header)) return wave_still_playing;
  header.flags.fetch_and(~header_prepared);
  return wave_ok;
}

int BufferQueue::add(WaveHeader& header) {
  std::lock_guard lock(mutex_);
  if ((header.flags.load() & header_prepared) == 0) return wave_unprepared;
  if (queued(header)) return wave_still_playing;
  header.bytes_recorded.store(0);
  header.flags.fetch_and(~header_done);
  header.flags.fetch_or(header_in_queue);
  queue_.push_back(Entry{&header, 0});
  return wave_ok;
}

void BufferQueue::capture(const std::uint8_t* bytes, std::size_t count) {
  std::lock_guard lock(mutex_);
  while (count > 0 && !queue_.empty()) {
    Entry& front = queue_.front();
    const std::size_t room = front.header->buffer_length - front.used;
    const std::size_t n = std::min(room, count);
    std::memcpy(front.header->data + front.used, bytes, n);
    front.used += static_cast<std::uint32_t>(n);
    bytes += n;
    count -= n;
    if (front.used == front.header->buffer_length) complete_front();
  }
}

std::size_t BufferQueue::play(std::uint8_t* out, std::size_t count) {
  std::lock_guard lock(mutex_);
  std::size_t supplied = 0;
  while (supplied < count && !queue_.empty()) {
    Entry& front = queue_.front();
    const std::size_t left = front.header->buffer_length - front.used;
    const std::size_t n = std::min(left, count - supplied);
    std::memcpy(out + supplied, front.header->data + front.used, n);
    front.used += static_cast<std::uint32_t>(n);
    supplied += n;
    if (front.used == front.header->buffer_length) complete_front();
  }
  return supplied;
}

void BufferQueue::return_all() {
  std::lock_guard lock(mutex_);
  while (!queue_.empty()) complete_front();
}

void BufferQueue::set_notice(std::function<void()> notice) {
  std::lock_guard lock(mutex_);
  notice_ = std::move(notice);
}

void BufferQueue::complete_front() {
  const Entry front = queue_.front();
  queue_.pop_front();
  front.header->bytes_recorded.store(front.used);
  // in_queue goes before done, so a header seen done is never seen queued.
  front.header->flags.fetch_and(~header_in_queue);
  front.header->flags.fetch_or(header_done);
  if (notice_) notice_();
}

bool BufferQueue::queued(const WaveHeader& header) const {
  return std::any_of(queue_.begin(), queue_.end(),
                     [&](const Entry& e) { return e.header == &header; });
}

}  // namespace audio
