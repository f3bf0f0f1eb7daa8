#include "audio/rate_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/audio/buffer.h"

namespace {

// Everything a capture converter makes of `input`, fed `piece` frames at a
// time, as samples.
std::vector<double> capture(audio::CaptureConverter& converter, const std::vector<float>& input,
                            int card_channels, long piece) {
  std::vector<double> out;
  const long frames = static_cast<long>(input.size()) / card_channels;
  for (long at = 0; at < frames; at += piece) {
    const long count = std::min(piece, frames - at);
    converter.convert(input.data() + at * card_channels, count,
                      [&out](std::span<const std::uint8_t> bytes) {
                        for (std::size_t i = 0; i < bytes.size() / 2; ++i) {
                          out.push_back(sample_at(bytes.data(), i));
                        }
                      });
  }
  return out;
}

TEST(CaptureConverter, Takes48kStereoDownTo11025MonoKeepingTheLeftTone) {
  const auto input = stereo_tones(48000, 48000.0, 1000.0, 3000.0);
  audio::CaptureConverter whole(1, 11025.0, 2, 48000.0);
  audio::CaptureConverter in_pieces(1, 11025.0, 2, 48000.0);
  ASSERT_TRUE(whole.ready());
  const std::vector<double> out = capture(whole, input, 2, 48000);
  const std::vector<double> pieces = capture(in_pieces, input, 2, 333);

  // One second in, one second out, less the converter's own delay.
  EXPECT_NEAR(static_cast<double>(out.size()), 11025.0, 100.0);
  // The way the card cuts its frames into callbacks changes nothing.
  EXPECT_EQ(pieces, out);
  const std::vector<double> settled(out.begin() + 1000, out.end());
  EXPECT_NEAR(amplitude_at(settled, 1000.0, 11025.0), 0.5 * 32768, 0.01 * 0.5 * 32768);
  EXPECT_LT(amplitude_at(settled, 3000.0, 11025.0), 10.0);
}

TEST(CaptureConverter, AtTheStreamsOwnRateCopiesSamplesExactly) {
  const std::vector<double> samples{0, 1, -1, 32767, -32768, 1234, -4321};
  std::vector<float> mono;
  for (const double v : samples) mono.push_back(static_cast<float>(v / 32768.0));
  audio::CaptureConverter same(1, 11025.0, 1, 11025.0);
  EXPECT_EQ(capture(same, mono, 1, 3), samples);

  // A mono card serves a stereo stream with both channels alike; floats
  // beyond full scale clip.
  audio::CaptureConverter doubled(2, 11025.0, 1, 11025.0);
  EXPECT_EQ(capture(doubled, {0.5f, 2.0f}, 1, 2),
            (std::vector<double>{16384, 16384, 32767, 32767}));
}

TEST(PlaybackConverter, Plays11025MonoOn44100StereoThenSilenceWhenDry) {
  audio::BufferQueue queue;
  Buffer buffer(2 * 11025);
  for (std::size_t i = 0; i < 11025; ++i) {
    const auto v = static_cast<std::int16_t>(std::lround(
        16000 * std::sin(2 * std::numbers::pi * 700.0 * static_cast<double>(i) / 11025)));
    buffer.bytes[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    buffer.bytes[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
  enqueue(queue, buffer);
  audio::PlaybackConverter converter(queue, 1, 11025.0, 2, 44100.0);
  ASSERT_TRUE(converter.ready());

  // Two seconds of card frames in callbacks of 441.
  std::vector<float> card(2 * 88200);
  for (long at = 0; at < 88200; at += 441) converter.fill(card.data() + 2 * at, 441);

  EXPECT_TRUE(buffer.done());
  std::vector<double> left, right;
  for (std::size_t i = 2000; i < 40000; ++i) {
    left.push_back(card[2 * i] * 32768.0);
    right.push_back(card[2 * i + 1] * 32768.0);
  }
  EXPECT_NEAR(amplitude_at(left, 700.0, 44100.0), 16000.0, 160.0);
  EXPECT_EQ(left, right);
  // Well after the buffer ran out, the card plays silence.
  for (std::size_t i = 2 * 50000; i < card.size(); ++i) ASSERT_EQ(card[i], 0.0f) << i;
}

TEST(PlaybackConverter, AtTheStreamsOwnRateHandsOverTheQueuedSamples) {
  audio::BufferQueue queue;
  Buffer buffer{0x00, 0x40, 0x00, 0xC0, 0xFF, 0x7F};  // 16384, -16384, 32767
  enqueue(queue, buffer);
  audio::PlaybackConverter converter(queue, 1, 11025.0, 1, 11025.0);
  std::vector<float> card(5, 1.0f);
  converter.fill(card.data(), 5);
  EXPECT_EQ(card, (std::vector<float>{0.5f, -0.5f, 32767.0f / 32768.0f, 0.0f, 0.0f}));
  EXPECT_TRUE(buffer.done());
}

}  // namespace
