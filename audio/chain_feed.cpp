#include "audio/chain_feed.h"

#include <cmath>

namespace audio {
namespace {

// Silence handed out at a time when the converter has nothing left.
constexpr std::size_t silence_samples = 1024;

}  // namespace

ChainFeed::ChainFeed(int channels, std::uint32_t rate, int channel)
    : channels_(channels),
      rate_(rate),
      offset_(channels == 2 && channel == 1 ? 2 : 0),
      converter_(1, files::chain_rate, 1, rate),
      samples_(piece_frames),
      bytes_(2 * piece_frames),
      silence_(2 * silence_samples) {}

bool ChainFeed::ready() const { return converter_.ready(); }

std::uint64_t ChainFeed::samples_for(std::uint64_t frames) const {
  if (rate_ == files::chain_rate) return frames;
  return static_cast<std::uint64_t>(
      std::llround(static_cast<double>(frames) * files::chain_rate / rate_));
}

void ChainFeed::take_channel(std::span<const std::uint8_t> frames) {
  const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels_);
  const std::size_t count = frames.size() / frame_bytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* bytes = frames.data() + i * frame_bytes + offset_;
    const auto sample = static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
    samples_[i] = static_cast<float>(sample) / 32768.0f;
  }
}

std::span<const std::uint8_t> ChainFeed::take_channel_bytes(std::span<const std::uint8_t> frames) {
  const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels_);
  const std::size_t count = frames.size() / frame_bytes;
  for (std::size_t i = 0; i < count; ++i) {
    bytes_[2 * i] = frames[i * frame_bytes + offset_];
    bytes_[2 * i + 1] = frames[i * frame_bytes + offset_ + 1];
  }
  return std::span(bytes_).first(2 * count);
}

}  // namespace audio
