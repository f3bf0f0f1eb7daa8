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

TEST(BufferQueue, AddRefusesPastCapacityUntilABufferComesBack) {
  BufferQueue queue;
  // One byte each, holding its number.
  std::array<Buffer, BufferQueue::capacity + 1> buffers{Buffer{1}, Buffer{2}, Buffer{3}, Buffer{4},
                                                        Buffer{5}};
  for (Buffer& buf : buffers) queue.prepare(buf.header);
  for (std::size_t i = 0; i < BufferQueue::capacity; ++i) {
    EXPECT_EQ(queue.add(buffers[i].header), wave_ok);
  }
  Buffer& last = buffers.back();
  EXPECT_EQ(queue.add(last.header), wave_error);
  EXPECT_EQ(last.header.flags.load(), header_prepared);
  std::uint8_t out = 0;
  EXPECT_EQ(queue.play(&out, 1), 1u);
  EXPECT_EQ(queue.add(last.header), wave_ok);
  Bytes rest(8);
  EXPECT_EQ(queue.play(rest.data(), rest.size()), 4u);
  EXPECT_EQ(rest, (Bytes{2, 3, 4, 5, 0, 0, 0, 0}));
}

TEST(BufferQueue, CaptureFillsInOrderDropsOverflowAndReturnAllKeepsPartialCounts) {
  BufferQueue queue;
  int notices = 0;
  queue.set_notice([&notices] { ++notices; });
  Buffer a(4), b(4), c(4);
  for (Buffer* buf : {&a, &b}) {
    queue.prepare(buf->header);
    queue.add(buf->header);
  }
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

  for (Buffer* buf : {&c, &a}) {
    queue.prepare(buf->header);
    queue.add(buf->header);
  }
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
  for (Buffer* buf : {&a, &b}) {
    queue.prepare(buf->header);
    queue.add(buf->header);
  }
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
  queue.prepare(a.header);
  queue.add(a.header);
  queue.capture(&byte, 1);
  queue.set_notice([&second] { ++second; });
  queue.prepare(b.header);
  queue.add(b.header);
  queue.return_all();
  queue.set_notice({});
  queue.prepare(c.header);
  queue.add(c.header);
  queue.capture(&byte, 1);
  EXPECT_TRUE(c.done());
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}


TEST(BufferQueue, SteadyCyclesAllocateNothing) {
  BufferQueue in, out;
  int notices = 0;
  in.set_notice([&notices] { ++notices; });
  out.set_notice([&notices] { ++notices; });
  Buffer a(8), b(8), c(8), d(8);
  for (Buffer* buf : {&a, &b}) in.prepare(buf->header);
  for (Buffer* buf : {&c, &d}) out.prepare(buf->header);
  std::array<std::uint8_t, 16> bytes{};
  const long before = test_support::allocations();
  for (int i = 0; i < 100; ++i) {
    in.add(a.header);
    in.add(b.header);
    out.add(c.header);
    out.add(d.header);
    in.capture(bytes.data(), bytes.size());
    out.play(bytes.data(), 12);
    out.return_all();
  }
  EXPECT_EQ(test_support::allocations(), before);
  EXPECT_EQ(notices, 400);
}

// One buffer of the race below, on the program side.
struct Tended {
  static constexpr std::uint8_t untouched = 0xFF;  // the device captures 0..250
  explicit Tended(std::uint32_t length) : buffer(length) {
    std::fill(buffer.bytes.begin(), buffer.bytes.end(), untouched);
  }
  Buffer buffer;
  bool queued = false;
};

// The device thread captures into one queue and plays from another while
// this thread keeps both fed and now and then returns everything. Every
// buffer comes back exactly once, a captured buffer holds an unbroken run
// of the device's bytes, nothing lands in a buffer after it came back, and
// the returned buffers count exactly the bytes played.
TEST(BufferQueue, DeviceAndProgramSidesRacingLoseAndOverwriteNothing) {
  constexpr std::uint8_t untouched = Tended::untouched;
  BufferQueue in, out;
  std::atomic<long> notices{0};
  for (BufferQueue* queue : {&in, &out}) {
    queue->set_notice([&notices] { notices.fetch_add(1, std::memory_order_relaxed); });
  }
  std::atomic<bool> stop{false};
  std::uint64_t played = 0;
  std::thread device([&] {
    std::array<std::uint8_t, 7> chunk{};
    std::array<std::uint8_t, 5> sink{};
    std::uint8_t next = 0;
    while (!stop.load()) {
      for (std::uint8_t& byte : chunk) byte = next = static_cast<std::uint8_t>((next + 1) % 251);
      in.capture(chunk.data(), chunk.size());
      played += out.play(sink.data(), sink.size());
    }
  });

  std::array<Tended, 8> tended{Tended{13}, Tended{11}, Tended{17}, Tended{9},
                               Tended{13}, Tended{11}, Tended{17}, Tended{9}};
  long added = 0, returned = 0, faults = 0;
  std::uint64_t recorded_out = 0;
  // Takes a buffer back once done; re-adds an idle one after checking that
  // nothing was written past its count since it came back.
  const auto tend = [&](Tended& t, bool capturing) {
    Buffer& buf = t.buffer;
    BufferQueue& queue = capturing ? in : out;
    if (t.queued && !buf.done()) return;
    const std::uint32_t recorded = buf.recorded();
    if (t.queued) {
      t.queued = false;
      ++returned;
      faults += (buf.header.flags.load() & header_in_queue) != 0 || recorded > buf.bytes.size();
      if (!capturing) recorded_out += recorded;
      for (std::uint32_t i = 1; capturing && i < recorded; ++i) {
        faults += buf.bytes[i] != (buf.bytes[i - 1] + 1) % 251;
      }
      return;
    }
    for (std::size_t i = recorded; capturing && i < buf.bytes.size(); ++i) {
      faults += buf.bytes[i] != untouched;
    }
    std::fill(buf.bytes.begin(), buf.bytes.end(), untouched);
    queue.prepare(buf.header);
    faults += queue.add(buf.header) != wave_ok;
    t.queued = true;
    ++added;
  };
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (long round = 1; std::chrono::steady_clock::now() < until; ++round) {
    for (std::size_t i = 0; i < tended.size(); ++i) tend(tended[i], i < 4);
    if (round % 64 == 0) {
      in.return_all();
      out.return_all();
    }
    std::this_thread::yield();
  }
  stop.store(true);
  device.join();
  in.return_all();
  out.return_all();
  for (std::size_t i = 0; i < tended.size(); ++i) {
    if (tended[i].queued) tend(tended[i], i < 4);
  }

  EXPECT_EQ(faults, 0);
  EXPECT_GT(added, 1000);
  EXPECT_EQ(returned, added);
  EXPECT_EQ(notices.load(), added);
  EXPECT_EQ(recorded_out, played);
}
