#include "audio/standin_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>

#include "tests/audio/buffer.h"
#include "tests/support/manual_clock.h"

using namespace audio;
using namespace std::chrono_literals;

namespace {

WaveFormat pcm(std::uint16_t channels) {
  const auto align = static_cast<std::uint16_t>(2 * channels);
  return WaveFormat{1, channels, 11025, 11025u * align, align, 16};
}

template <typename Stream>
void queue(Stream& stream, std::initializer_list<Buffer*> buffers) {
  for (Buffer* buffer : buffers) {
    stream.prepare(buffer->header);
    if constexpr (std::is_same_v<Stream, WaveInStream>) {
      stream.add_buffer(buffer->header);
    } else {
      stream.write(buffer->header);
    }
  }
}

// The built-in devices on a clock that the test moves on.
class Standin : public ::testing::Test {
 protected:
  // Moves the clock on until the buffer is done or a second has passed; the
  // time taken.
  DeviceClock::duration time_until_done(const Buffer& buffer) {
    const auto start = clock.now();
    clock.run_until(start + 1s, [&buffer] { return buffer.done(); });
    return clock.now() - start;
  }
  void pass(DeviceClock::duration time) {
    clock.run_until(clock.now() + time, [] { return false; });
  }

  support::ManualClock clock;
  StandinSystem system{clock};
};

}  // namespace

TEST_F(Standin, OpensDeviceZeroForItsFormatsOnly) {
  EXPECT_EQ(system.open_input(1, pcm(1), nullptr), wave_bad_device_id);
  EXPECT_EQ(system.open_output(-1, pcm(1), nullptr), wave_bad_device_id);
  EXPECT_EQ(system.open_input(0, pcm(2), nullptr), wave_ok);

  WaveFormat rate = pcm(1), align = pcm(2), average = pcm(1);
  rate.samples_per_sec = 8000;
  align.block_align = 2;
  average.avg_bytes_per_sec = 44100;
  for (const WaveFormat& f : {rate, align, average, WaveFormat{1, 1, 11025, 11025, 1, 8}, pcm(3)}) {
    EXPECT_EQ(system.open_input(0, f, nullptr), wave_bad_format);
    EXPECT_EQ(system.open_output(0, f, nullptr), wave_bad_format);
  }

  std::unique_ptr<WaveOutStream> out;
  EXPECT_EQ(system.open_output(0, rate, &out), wave_bad_format);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(system.open_output(0, pcm(1), &out), wave_ok);
  EXPECT_EQ(system.output_opens(), 1);
  EXPECT_EQ(system.input_opens(), 0);
}

TEST_F(Standin, MonoBufferFillsInOneBufferTimeAndPositionCountsLostFrames) {
  std::unique_ptr<WaveInStream> in;
  ASSERT_EQ(system.open_input(0, pcm(1), &in), wave_ok);
  Buffer a(2048);
  queue(*in, {&a});
  in->start();
  const auto took = time_until_done(a);
  EXPECT_GE(took, 80ms);
  EXPECT_LT(took, 150ms);
  EXPECT_EQ(a.recorded(), 2048u);

  pass(100ms);  // nothing queued now
  std::uint32_t position = 0;
  ASSERT_EQ(in->position(position), wave_ok);
  EXPECT_GT(position, 0.17 * 22050);
  EXPECT_LT(position, 0.30 * 22050);

  in->reset();
  in->start();
  in->position(position);
  EXPECT_LT(position, 0.05 * 22050);
}

TEST_F(Standin, StereoBuffersHoldFedFramesInOrderThenSilence) {
  std::vector<std::int16_t> frames;
  for (int i = 0; i < 1500; ++i) frames.insert(frames.end(), {std::int16_t(i), std::int16_t(-i)});
  system.feed(frames);
  std::unique_ptr<WaveInStream> in;
  ASSERT_EQ(system.open_input(0, pcm(2), &in), wave_ok);
  Buffer a(4096), b(4096);
  queue(*in, {&a, &b});
  in->start();
  time_until_done(b);
  ASSERT_TRUE(a.done() && b.done());
  EXPECT_EQ(sample_at(a.bytes.data(), 2 * 1023), 1023);
  EXPECT_EQ(sample_at(a.bytes.data(), 2 * 1023 + 1), -1023);
  EXPECT_EQ(sample_at(b.bytes.data(), 2 * 475), 1499);
  EXPECT_EQ(sample_at(b.bytes.data(), 2 * 475 + 1), -1499);
  EXPECT_EQ(sample_at(b.bytes.data(), 2 * 476), 0);
}

TEST_F(Standin, OutputPlaysFromWriteAndResetKeepsThePlayedPart) {
  std::unique_ptr<WaveOutStream> out;
  ASSERT_EQ(system.open_output(0, pcm(1), &out), wave_ok);
  pass(30ms);  // idle time is not made up later
  Buffer a(2048), b(8192);
  for (std::size_t i = 0; i < 1024; ++i) a.bytes[2 * i] = static_cast<std::uint8_t>(i);
  queue(*out, {&a, &b});
  const auto took = time_until_done(a);
  EXPECT_GE(took, 80ms);
  EXPECT_LT(took, 150ms);
  out->reset();
  EXPECT_TRUE(b.done());
  EXPECT_LT(b.recorded(), 8192u);

  const std::vector<std::int16_t> played = system.take_played();
  ASSERT_EQ(played.size(), (2048 + b.recorded()) / 2);
  EXPECT_EQ(played[255], 255);
  EXPECT_EQ(played[256], 0);
  EXPECT_TRUE(system.take_played().empty());
}

TEST_F(Standin, StalledDeviceCompletesNothingUntilResetOrResumed) {
  system.set_stalled(true);
  std::unique_ptr<WaveInStream> in;
  std::unique_ptr<WaveOutStream> out;
  ASSERT_EQ(system.open_input(0, pcm(1), &in), wave_ok);
  ASSERT_EQ(system.open_output(0, pcm(1), &out), wave_ok);
  Buffer in_a(2048), out_a(2048);
  queue(*in, {&in_a});
  queue(*out, {&out_a});
  in->start();
  pass(150ms);
  std::uint32_t position = 1;
  in->position(position);
  EXPECT_EQ(position, 0u);
  EXPECT_FALSE(in_a.done() || out_a.done());

  in->reset();
  EXPECT_TRUE(in_a.done());
  system.set_stalled(false);
  EXPECT_LT(time_until_done(out_a), 150ms);
}

// What the completion notices of one stream told: how many, and whether
// each came from the device's own thread.
struct Notices {
  void operator()() {
    std::lock_guard lock(mutex);
    from_device.push_back(std::this_thread::get_id() != program);
    told.notify_all();
  }
  // Waits up to a second for `count` notices in all.
  bool wait_for(std::size_t count) {
    std::unique_lock lock(mutex);
    return told.wait_for(lock, 1s, [&] { return from_device.size() >= count; });
  }
  std::vector<bool> seen() {
    std::lock_guard lock(mutex);
    return from_device;
  }

  const std::thread::id program = std::this_thread::get_id();
  std::mutex mutex;
  std::condition_variable told;
  std::vector<bool> from_device;
};

// On the steady clock, each stream ticking on a thread of its own.
TEST_F(Standin, EveryBufferReturnedDoneIsNoticedByCaptureReplayResetAndClose) {
  StandinSystem threaded;
  std::unique_ptr<WaveInStream> in;
  std::unique_ptr<WaveOutStream> out;
  ASSERT_EQ(threaded.open_input(0, pcm(1), &in), wave_ok);
  ASSERT_EQ(threaded.open_output(0, pcm(1), &out), wave_ok);
  Notices in_notices, out_notices;
  in->set_completion_notice([&in_notices] { in_notices(); });
  out->set_completion_notice([&out_notices] { out_notices(); });

  Buffer in_a(256), in_b(256), in_c(8192), out_a(256), out_b(8192), out_c(8192);
  queue(*in, {&in_a, &in_b, &in_c});
  queue(*out, {&out_a, &out_b, &out_c});
  in->start();
  ASSERT_TRUE(in_notices.wait_for(2));
  ASSERT_TRUE(out_notices.wait_for(1));
  EXPECT_TRUE(in_a.done() && in_b.done() && out_a.done());
  EXPECT_EQ(in_notices.seen(), (std::vector<bool>{true, true}));
  EXPECT_EQ(out_notices.seen(), (std::vector<bool>{true}));

  // A reset and a close return their buffers on the program's thread.
  in->reset();
  out.reset();
  EXPECT_TRUE(in_c.done() && out_b.done() && out_c.done());
  EXPECT_EQ(in_notices.seen(), (std::vector<bool>{true, true, false}));
  EXPECT_EQ(out_notices.seen(), (std::vector<bool>{true, false, false}));
}
