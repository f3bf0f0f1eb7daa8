// The samples a 16-bit PCM file gives the filter chain: one channel of its
// frames, converted to 11025 Hz (through CaptureConverter, libsamplerate's
// fastest sinc) when the file is at another rate, as mono 16-bit bytes.
// tonewell-filter and the window's playback both feed files to the chain
// through this one class, so that they give the chain the same samples.
// Allocates only when constructed: add and finish run on the processing
// cycle.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "audio/rate_converter.h"
#include "files/wave_format.h"

namespace audio {

class ChainFeed {
 public:
  // The rates a feed takes.
  static constexpr std::uint32_t lowest_rate = 1000;
  static constexpr std::uint32_t highest_rate = 768000;

  // channels 1 or 2; rate 1000..768000; channel 0 (left) or 1 (right; a
  // mono file's only channel either way).
  ChainFeed(int channels, std::uint32_t rate, int channel);

  // False when the converter could not be made.
  bool ready() const;

  // The samples at 11025 Hz that `frames` frames of the file give: frames
  // at 11025 Hz, else llround(frames x 11025 / rate).
  std::uint64_t samples_for(std::uint64_t frames) const;

  // Takes whole frames (a multiple of channels x 2 bytes) and hands the mono
  // 16-bit bytes they give to sink(std::span<const std::uint8_t>), in one
  // or more pieces, or none while the converter gathers its first input.
  template <typename Sink>
  void add(std::span<const std::uint8_t> frames, Sink&& sink) {
    const std::size_t frame_bytes = 2 * static_cast<std::size_t>(channels_);
    while (frames.size() >= frame_bytes) {
      const std::size_t count = std::min(frames.size() / frame_bytes, piece_frames);
      const auto piece = frames.first(count * frame_bytes);
      frames = frames.subspan(count * frame_bytes);
      frames_added_ += count;
      if (rate_ == files::chain_rate) {
        // At the chain's rate the channel's samples pass as they are.
        given_ += count;
        sink(take_channel_bytes(piece));
        continue;
      }
      take_channel(piece);
      converter_.convert(samples_.data(), static_cast<long>(count),
                         [this, &sink](std::span<const std::uint8_t> bytes) {
                           given_ += bytes.size() / 2;
                           sink(bytes);
                         });
    }
  }

  // After the last frames: the samples the converter still holds, brought
  // out with silence, then silence, so that exactly samples_for(frames
  // added) came out in all.
  template <typename Sink>
  void finish(Sink&& sink) {
    const std::uint64_t total = samples_for(frames_added_);
    std::fill(samples_.begin(), samples_.end(), 0.0f);
    for (int piece = 0; piece < flush_pieces && given_ < total; ++piece) {
      converter_.convert(samples_.data(), static_cast<long>(piece_frames),
                         [this, total, &sink](std::span<const std::uint8_t> bytes) {
                           const std::size_t count =
                               std::min<std::uint64_t>(bytes.size() / 2, total - given_);
                           given_ += count;
                           sink(bytes.first(2 * count));
                         });
    }
    while (given_ < total) {
      const std::size_t count = std::min<std::uint64_t>(silence_.size() / 2, total - given_);
      given_ += count;
      sink(std::span<const std::uint8_t>(silence_).first(2 * count));
    }
  }

 private:
  // Frames converted at a time.
  static constexpr std::size_t piece_frames = converter_chunk_frames;
  // Pieces of silence, at most, that bring out what the converter holds.
  static constexpr int flush_pieces = 64;

  // The chosen channel of `frames` as floats in -1..1, into samples_.
  void take_channel(std::span<const std::uint8_t> frames);
  // The chosen channel of `frames` as 16-bit bytes, into bytes_.
  std::span<const std::uint8_t> take_channel_bytes(std::span<const std::uint8_t> frames);

  const int channels_;
  const std::uint32_t rate_;
  const std::size_t offset_;  // bytes into a frame of the chosen channel
  CaptureConverter converter_;
  std::vector<float> samples_;
  std::vector<std::uint8_t> bytes_;
  std::vector<std::uint8_t> silence_;
  std::uint64_t frames_added_ = 0;
  std::uint64_t given_ = 0;  // samples handed to the sinks
};

}  // namespace audio
