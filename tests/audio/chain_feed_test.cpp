#include "audio/chain_feed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/audio/buffer.h"
#include "tests/support/allocations.h"
#include "tests/support/wave_bytes.h"

namespace {

using test_support::Bytes;
using test_support::Samples;

// A sample's two bytes, little-endian.
void put(Bytes& bytes, std::int16_t sample) {
  test_support::append_u16(bytes, static_cast<std::uint16_t>(sample));
}

Samples samples_of(const Bytes& bytes) {
  Samples samples;
  for (std::size_t i = 0; i < bytes.size() / 2; ++i) samples.push_back(sample_at(bytes.data(), i));
  return samples;
}

// `frames` stereo frames at `rate`: a tone of amplitude 16384 at `left_hz`
// on the left, of 8192 at `right_hz` on the right.
Bytes stereo_bytes(std::size_t frames, double rate, double left_hz, double right_hz) {
  Bytes bytes;
  for (const float v : stereo_tones(static_cast<long>(frames), rate, left_hz, right_hz)) {
    put(bytes, static_cast<std::int16_t>(std::lround(v * 32768.0)));
  }
  return bytes;
}

// Everything the feed makes of `frames`, handed over `piece` frames at a
// time, and its finish.
Bytes feed(audio::ChainFeed& chain_feed, const Bytes& frames, std::size_t frame_bytes,
           std::size_t piece) {
  Bytes out;
  const auto sink = [&out](std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  };
  for (std::size_t at = 0; at < frames.size(); at += piece * frame_bytes) {
    const std::size_t count = std::min(piece * frame_bytes, frames.size() - at);
    chain_feed.add(std::span(frames).subspan(at, count), sink);
  }
  chain_feed.finish(sink);
  return out;
}

TEST(ChainFeed, AtTheChainsRateItPassesTheChosenChannelBitForBit) {
  const Samples left = {0, 1, -1, 32767, -32768, 1234, -4321};
  const Samples right = {-32768, 32767, 7, -7, 0, 99, -100};
  Bytes stereo, mono;
  for (std::size_t n = 0; n < left.size(); ++n) {
    put(stereo, left[n]);
    put(stereo, right[n]);
    put(mono, left[n]);
  }
  audio::ChainFeed left_feed(2, 11025, 0), right_feed(2, 11025, 1), mono_feed(1, 11025, 1);
  ASSERT_TRUE(left_feed.ready());
  EXPECT_EQ(left_feed.samples_for(123456789), 123456789u);
  EXPECT_EQ(samples_of(feed(left_feed, stereo, 4, 3)), left);
  EXPECT_EQ(samples_of(feed(right_feed, stereo, 4, 2)), right);
  // A mono file's one channel, whichever is asked for.
  EXPECT_EQ(samples_of(feed(mono_feed, mono, 2, 5)), left);
}

TEST(ChainFeed, OtherRatesGiveTheChosenToneAtItsFrequencyAndLevelInExactlyTheirLength) {
  struct Case {
    std::uint32_t rate;
    double seconds;
    int channel;
    double hz, other_hz;  // the chosen channel's tone, the other's
    double amplitude;     // of the chosen tone
  };
  for (const Case& c : {Case{44100, 1.0, 0, 1000, 3000, 16384}, Case{8000, 1.3, 1, 2500, 700, 8192},
                        Case{48000, 0.77, 0, 440, 1900, 16384}}) {
    SCOPED_TRACE(c.rate);
    const auto frames = static_cast<std::size_t>(c.rate * c.seconds) + 1;
    const Bytes input = c.channel == 0 ? stereo_bytes(frames, c.rate, c.hz, c.other_hz)
                                       : stereo_bytes(frames, c.rate, c.other_hz, c.hz);
    audio::ChainFeed chain_feed(2, c.rate, c.channel);
    ASSERT_TRUE(chain_feed.ready());
    const auto expected = static_cast<std::uint64_t>(std::llround(frames * 11025.0 / c.rate));
    EXPECT_EQ(chain_feed.samples_for(frames), expected);
    const Samples out = samples_of(feed(chain_feed, input, 4, frames));
    EXPECT_EQ(out.size(), expected);
    // Past the converter's delay and short of the silence it ends with.
    const Samples settled(out.begin() + 200, out.end() - 200);
    EXPECT_NEAR(amplitude_at(settled, c.hz, 11025), c.amplitude, 0.01 * c.amplitude);
    EXPECT_LT(amplitude_at(settled, c.other_hz, 11025), 10.0);
  }
}

TEST(ChainFeed, FramesGivenWholeOrInOddPiecesComeOutTheSame) {
  const std::size_t frames = 3 * 44100 + 17;
  const Bytes input = stereo_bytes(frames, 44100, 1234, 2345);
  audio::ChainFeed whole_feed(2, 44100, 1);
  const Bytes whole = feed(whole_feed, input, 4, frames);
  for (const std::size_t piece :
       {std::size_t{1}, std::size_t{7}, std::size_t{333}, std::size_t{4097}, std::size_t{16384}}) {
    SCOPED_TRACE(piece);
    audio::ChainFeed in_pieces(2, 44100, 1);
    EXPECT_EQ(feed(in_pieces, input, 4, piece), whole);
  }
}

TEST(ChainFeed, AddAndFinishDoNotAllocate) {
  const Bytes input = stereo_bytes(30000, 22050, 500, 600);
  for (const std::uint32_t rate : {11025u, 22050u}) {
    SCOPED_TRACE(rate);
    audio::ChainFeed chain_feed(2, rate, 0);
    Bytes out(2 * 30000);
    std::size_t filled = 0;
    const auto sink = [&](std::span<const std::uint8_t> bytes) {
      std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(filled));
      filled += bytes.size();
    };
    const long before = test_support::allocations();
    chain_feed.add(std::span(input).first(4 * 12345), sink);
    chain_feed.add(std::span(input).subspan(4 * 12345), sink);
    chain_feed.finish(sink);
    EXPECT_EQ(test_support::allocations(), before);
    EXPECT_EQ(filled, 2 * chain_feed.samples_for(30000));
  }
}

}  // namespace
