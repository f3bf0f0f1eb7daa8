// The conversions between a wave stream's format (16-bit PCM bytes at the
// stream's rate and channel count) and a sound card's callback frames (floats
// in -1..1 at the card's rate and channel count). Channel counts 1 and 2: a
// mono source is doubled for two channels, a stereo source gives its left
// channel to one. Rates convert with libsamplerate's fastest sinc converter
// when they differ, and not at all when they match. Neither converter
// allocates after construction, so both run in an audio callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/buffer_queue.h"

struct SRC_STATE_tag;

namespace audio {

// Frames converted in one go; longer runs are converted in pieces.
inline constexpr long converter_chunk_frames = 4096;

// The resampler of one converter, or none.
class Resampler {
 public:
  Resampler() = default;
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;
  SRC_STATE_tag* state = nullptr;
};

// Capture: card frames in, stream bytes out.
class CaptureConverter {
 public:
  CaptureConverter(int stream_channels, double stream_rate, int device_channels,
                   double device_rate);

  // False when the resampler could not be made.
  bool ready() const;

  // Converts `frames` card frames and hands the resulting stream bytes to
  // `sink` (a callable taking std::span<const std::uint8_t>), piece by piece.
  template <typename Sink>
  void convert(const float* input, long frames, Sink&& sink) {
    while (frames > 0) {
      const long count = frames < converter_chunk_frames ? frames : converter_chunk_frames;
      sink(convert_piece(input, count));
      input += count * device_channels_;
      frames -= count;
    }
  }

 private:
  std::span<const std::uint8_t> convert_piece(const float* input, long frames);

  const int channels_;
  const int device_channels_;
  const double ratio_;  // stream rate / card rate
  std::vector<float> mapped_;
  std::vector<float> resampled_;
  std::vector<std::uint8_t> bytes_;
  Resampler resampler_;
};

// Playback: the buffers queued on a stream in, card frames out.
class PlaybackConverter {
 public:
  PlaybackConverter(BufferQueue& queue, int stream_channels, double stream_rate,
                    int device_channels, double device_rate);

  bool ready() const;

  // Fills `frames` card frames from the queued buffers, with silence where
  // the queue has run dry. Buffers played to their end are returned done.
  void fill(float* output, long frames);

 private:
  // The next `frames` stream frames of the queue as floats, padded with
  // silence.
  float* take(long frames);
  static long pull(void* self, float** data);

  BufferQueue& queue_;
  const int channels_;
  const int device_channels_;
  const double ratio_;  // card rate / stream rate
  std::vector<std::uint8_t> bytes_;
  std::vector<float> samples_;
  std::vector<float> resampled_;
  Resampler resampler_;
};

}  // namespace audio
