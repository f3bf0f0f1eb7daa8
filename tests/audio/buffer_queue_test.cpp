#include "audio/buffer_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/audio/buffer.h"
#include "tests/support/allocations.h"

using namespace audio;
using Bytes = std::vector<std::uint8_t>;

TEST(BufferQueue, AddAndUnprepareFollowPreparationAndQueueing) {
  BufferQueue queue;
  Buffer a(2);
  EXPECT_EQ(queue.add(a.header), wave_unprepared);
  EXPECT_EQ(queue.prepare(a.header), wave_ok);
  EXPECT_EQ(queue.prepare(a.header), wave_ok);
  a.header.bytes_recorded = 99;
  a.header.flags.fetch_or(header_done);
  EXPECT_EQ(queue.add(a.header), wave_ok);
  EXPECT_EQ(a.header.flags.load(), header_prepared | header_in_queue);
  EXPECT_EQ(a.recorded(), 0u);
  EXPECT_EQ(queue.add(a.header), wave_still_playing);
  EXPECT_EQ(queue.unprepare(a.header), wave_still_playing);

  const std::uint8_t bytes[2] = {1, 2};
  queue.capture(bytes, 2);
  EXPECT_EQ(a.header.flags.load(), header_prepared | header_done);
  EXPECT_EQ(queue.unprepare(a.header), wave_ok);
  EXPECT_EQ(a.header.flags.load(), header_done);
  EXPECT_EQ(queue.unprepare(a.header), wave_ok);
}

TEST(BufferQueue, CaptureFillsInOrderDropsOverflowAndReturnAllKeepsPartialCounts) {
  BufferQueue queue;
  int notices = 0;
  queue.set_notice([&notices] { ++notices; });
  Buffer a(4), b(4), c(4);
  for (Buffer* buf : {&a, &b}) enqueue(queue, *buf);
  const Bytes bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  queue.capture(bytes.data(), 3);
  EXPECT_FALSE(a.done());
  EXPECT_EQ(notices, 0);
  queue.capture(bytes.data() + 3, 7);  // the last two bytes find no buffer
  EXPECT_TRUE(a.done() && b.done());
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(a.bytes, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(b.bytes, (Bytes{5, 6, 7, 8}));
  EXPECT_EQ(b.recorded(), 4u);

  for (Buffer* buf : {&c, &a}) enqueue(queue, *buf);
  queue.capture(bytes.data(), 3);
  queue.return_all();
  EXPECT_TRUE(c.done() && a.done());
  EXPECT_EQ(notices, 4);
  queue.return_all();  // nothing queued, nothing returned
  EXPECT_EQ(notices, 4);
  EXPECT_EQ(c.recorded(), 3u);
  EXPECT_EQ(a.recorded(), 0u);
  EXPECT_EQ(a.header.flags.load() & header_in_queue, 0u);
}

TEST(BufferQueue, PlayDrainsInOrderAndTellsWhenTheQueueRanDry) {
  BufferQueue queue;
  Buffer a{1, 2, 3}, b{4, 5};
  for (Buffer* buf : {&a, &b}) enqueue(queue, *buf);
  std::vector<bool> b_done_at_notice;
  queue.set_notice([&] { b_done_at_notice.push_back(b.done()); });
  Bytes out(8);
  EXPECT_EQ(queue.play(out.data(), 2), 2u);
  EXPECT_FALSE(a.done());
  EXPECT_TRUE(b_done_at_notice.empty());
  EXPECT_EQ(queue.play(out.data() + 2, 6), 3u);
  EXPECT_TRUE(a.done() && b.done());
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 0, 0, 0}));
  // One notice per buffer, each after its own buffer was marked done.
  EXPECT_EQ(b_done_at_notice, (std::vector<bool>{false, true}));
}

TEST(BufferQueue, AReplacedOrClearedNoticeIsNoLongerCalled) {
  BufferQueue queue;
  int first = 0, second = 0;
  Buffer a(1), b(1), c(1);
  const std::uint8_t byte = 1;
  queue.set_notice([&first] { ++first; });
  enqueue(queue, a);
  queue.capture(&byte, 1);
  queue.set_notice([&second] { ++second; });
  enqueue(queue, b);
  queue.return_all();
  queue.set_notice({});
  enqueue(queue, c);
  queue.capture(&byte, 1);
  EXPECT_TRUE(c.done());
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

// A device thread captures into queues[0] and plays from queues[1] while this thread keeps five
// buffers on each (one more than fit) and returns all every other round. Every buffer comes back
// once, a captured one holds an unbroken run of the device's bytes and nothing past its count even
// after it came back, the buffers returned count the bytes played, and neither side allocates.
TEST(BufferQueue, DeviceAndProgramSidesRacingLoseNothingAndAllocateNothing) {
  std::array<BufferQueue, 2> queues;
  std::atomic<long> notices{0};
  for (BufferQueue& queue : queues) queue.set_notice([&notices] { ++notices; });
  std::atomic<bool> stop{false};
  std::uint64_t played = 0;
  std::thread device([&] {
    std::array<std::uint8_t, 7> chunk{};
    for (std::uint8_t next = 0; !stop.load();) {
      for (std::uint8_t& byte : chunk) byte = next = static_cast<std::uint8_t>((next + 1) % 251);
      queues[0].capture(chunk.data(), chunk.size());
      played += queues[1].play(chunk.data(), 5);
    }
  });
  std::array<Buffer, 10> buffers{Buffer(13), Buffer(11), Buffer(17), Buffer(9), Buffer(5),
                                 Buffer(13), Buffer(11), Buffer(17), Buffer(9), Buffer(5)};
  for (Buffer& buf : buffers) std::ranges::fill(buf.bytes, 0xFF);  // never captured
  std::array<bool, 10> queued{};
  long added = 0, refused = 0, returned = 0, faults = 0;
  std::uint64_t recorded_out = 0;
  const auto tend = [&](std::size_t i) {
    Buffer& buf = buffers[i];
    const bool capturing = i < 5;
    if (queued[i] && !buf.done()) return;
    const std::uint32_t recorded = buf.recorded();
    if (queued[i]) {
      queued[i] = false;
      ++returned;
      faults += (buf.header.flags.load() & header_in_queue) != 0 || recorded > buf.bytes.size();
      if (!capturing) recorded_out += recorded;
      for (std::uint32_t j = 1; capturing && j < recorded; ++j) {
        faults += buf.bytes[j] != (buf.bytes[j - 1] + 1) % 251;
      }
      return;
    }
    for (std::size_t j = recorded; j < buf.bytes.size(); ++j) faults += buf.bytes[j] != 0xFF;
    std::ranges::fill(buf.bytes, 0xFF);
    queues[i / 5].prepare(buf.header);
    queued[i] = queues[i / 5].add(buf.header) == wave_ok;
    ++(queued[i] ? added : refused);
  };
  const long allocations = test_support::allocations();
  // A third of a second of racing at least (some 200,000 buffers on an idle
  // machine), and on until over a thousand buffers went round however busy
  // the machine is (a minute at most).
  const auto start = std::chrono::steady_clock::now();
  const auto racing = [&] {
    const auto now = std::chrono::steady_clock::now();
    return (now < start + std::chrono::milliseconds(300) || added <= 1000 || refused == 0) &&
           now < start + std::chrono::minutes(1);
  };
  for (long round = 1; racing(); ++round) {
    for (std::size_t i = 0; i < buffers.size(); ++i) tend(i);
    if (round % 2 == 0) std::ranges::for_each(queues, &BufferQueue::return_all);
    std::this_thread::yield();
  }
  EXPECT_EQ(test_support::allocations(), allocations);
  stop.store(true);
  device.join();
  std::ranges::for_each(queues, &BufferQueue::return_all);
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    if (queued[i]) tend(i);
  }
  EXPECT_EQ(faults, 0);
  EXPECT_GT(added, 1000);
  EXPECT_GT(refused, 0);  // a fifth buffer finds no room, and is left unqueued
  EXPECT_EQ(returned, added);
  EXPECT_EQ(notices.load(), added);
  EXPECT_EQ(recorded_out, played);
}
