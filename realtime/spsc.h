// The two ways the window, the audio thread and the file thread hand each
// other data without a lock: a bounded queue of whole entries, and the
// latest of a value. Each has one writing thread and one reading thread;
// neither allocates after construction nor ever waits.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace realtime {

// A bounded single-producer single-consumer queue of `Capacity` entries
// (a power of two). The producer fills an entry in place and publishes it;
// the consumer reads the front entry in place and releases it. The entries
// live in one block made at construction, so that large entries (an audio
// block) cost no copy through the stack.
template <typename T, std::size_t Capacity>
class SpscQueue {
  static_assert(Capacity > 0 && (Capacity & (Capacity - 1)) == 0, "a power of two");
  static_assert(std::is_trivially_copyable_v<T>, "entries are plain data");

 public:
  SpscQueue() : entries_(std::make_unique<T[]>(Capacity)) {}
  SpscQueue(const SpscQueue&) = delete;
  SpscQueue& operator=(const SpscQueue&) = delete;

  // Producer: the entry to fill next, or null while the queue is full.
  T* claim() {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return nullptr;
    return &entries_[tail & (Capacity - 1)];
  }
  // Producer: the claimed entry becomes the consumer's.
  void publish() {
    tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  // Producer: copies `entry` in; false (and nothing queued) while full.
  bool push(const T& entry) {
    T* const slot = claim();
    if (slot == nullptr) return false;
    *slot = entry;
    publish();
    return true;
  }

  // Consumer: the oldest entry, or null while the queue is empty.
  const T* front() const {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (tail_.load(std::memory_order_acquire) == head) return nullptr;
    return &entries_[head & (Capacity - 1)];
  }
  // Consumer: the front entry goes back to the producer.
  void release() {
    head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  }
  // Consumer: copies the front entry out and releases it; false while empty.
  bool pop(T& entry) {
    const T* const slot = front();
    if (slot == nullptr) return false;
    entry = *slot;
    release();
    return true;
  }

  // Entries queued now; exact only on the consumer's side.
  std::size_t size() const {
    return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
  }

 private:
  std::unique_ptr<T[]> entries_;
  alignas(64) std::atomic<std::size_t> head_{0};  // next entry to read
  alignas(64) std::atomic<std::size_t> tail_{0};  // next entry to write
};

// The latest of a value written by one thread and read by another (a triple
// buffer): the writer never waits for the reader, the reader always gets a
// whole value, and values written between two reads are skipped.
template <typename T>
class Latest {
  static_assert(std::is_trivially_copyable_v<T>, "values are plain data");

 public:
  Latest() : slots_(std::make_unique<T[]>(3)) {}
  Latest(const Latest&) = delete;
  Latest& operator=(const Latest&) = delete;

  // Writer: the slot to fill; it stays the writer's until published.
  T& draft() { return slots_[writing_]; }
  // Writer: the draft becomes the latest value, and the writer gets the slot
  // the reader is not holding as its next draft. The next draft holds an
  // older value: fill it whole.
  void publish() {
    const std::uint32_t old =
        shared_.exchange(static_cast<std::uint32_t>(writing_) | fresh, std::memory_order_acq_rel);
    writing_ = old & index;
  }

  // Reader: the latest value when one was published since the last take,
  // else null. The value stays valid until the next take.
  const T* take() {
    if ((shared_.load(std::memory_order_relaxed) & fresh) == 0) return nullptr;
    const std::uint32_t old =
        shared_.exchange(static_cast<std::uint32_t>(reading_), std::memory_order_acq_rel);
    reading_ = old & index;
    return &slots_[reading_];
  }

 private:
  static constexpr std::uint32_t index = 3;
  static constexpr std::uint32_t fresh = 4;

  std::unique_ptr<T[]> slots_;
  std::size_t writing_ = 0;               // the writer's slot
  std::size_t reading_ = 1;               // the reader's slot
  std::atomic<std::uint32_t> shared_{2};  // the slot between them, and whether it is fresh
};

}  // namespace realtime
