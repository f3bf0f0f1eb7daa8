#include "audio/buffer_queue.h"

#include <gtest/gtest.h>

#include "tests/audio/buffer.h"

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

