#include "audio/rate_converter.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace audio {
namespace {

// Frames the resampler asks of the queue at a time during playback.
constexpr long pull_frames = 256;

// Copies `frames` frames from `from` (from_channels interleaved) to `to`
// (to_channels interleaved).
void map_channels(const float* from, int from_channels, float* to, int to_channels, long frames) {
  for (long i = 0; i < frames; ++i) {
    if (from_channels == to_channels) {
      for (int c = 0; c < to_channels; ++c) to[i * to_channels + c] = from[i * from_channels + c];
    } else if (from_channels == 1) {
      to[2 * i] = to[2 * i + 1] = from[i];
    } else {
      to[i] = from[2 * i];
    }
  }
}

// Signed 16-bit little-endian bytes from floats in -1..1, rounded and
// clipped.
void to_pcm(const float* samples, long count, std::uint8_t* bytes) {
  for (long i = 0; i < count; ++i) {
    const long value = std::lrint(std::clamp(samples[i] * 32768.0f, -32768.0f, 32767.0f));
    const auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    bytes[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(sample >> 8);
  }
}

void from_pcm(const std::uint8_t* bytes, long count, float* samples) {
  for (long i = 0; i < count; ++i) {
    const auto sample = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    samples[i] = static_cast<float>(sample) / 32768.0f;
  }
}

std::size_t values(long frames, int channels) {
  return static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels);
}

}  // namespace

Resampler::~Resampler() {
  if (state) src_delete(state);
}

CaptureConverter::CaptureConverter(int stream_channels, double stream_rate, int device_channels,
                                   double device_rate)
    : channels_(stream_channels),
      device_channels_(device_channels),
      ratio_(stream_rate / device_rate),
      mapped_(values(converter_chunk_frames, channels_)),
      resampled_(values(static_cast<long>(converter_chunk_frames * ratio_) + 64, channels_)),
      bytes_(2 * std::max(mapped_.size(), resampled_.size())) {
  if (ratio_ != 1.0) {
    int error = 0;
    resampler_.state = src_new(SRC_SINC_FASTEST, channels_, &error);
  }
}

bool CaptureConverter::ready() const { return ratio_ == 1.0 || resampler_.state != nullptr; }

std::span<const std::uint8_t> CaptureConverter::convert_piece(const float* input, long frames) {
  map_channels(input, device_channels_, mapped_.data(), channels_, frames);
  const float* samples = mapped_.data();
  long out_frames = frames;
  if (resampler_.state) {
    SRC_DATA data{};
    data.data_in = mapped_.data();
    data.data_out = resampled_.data();
    data.input_frames = frames;
    data.output_frames = static_cast<long>(resampled_.size()) / channels_;
    data.src_ratio = ratio_;
    src_process(resampler_.state, &data);
    samples = resampled_.data();
    out_frames = data.output_frames_gen;
  }
  const std::size_t count = values(out_frames, channels_);
  to_pcm(samples, static_cast<long>(count), bytes_.data());
  return std::span(bytes_.data(), 2 * count);
}

PlaybackConverter::PlaybackConverter(BufferQueue& queue, int stream_channels, double stream_rate,
                                     int device_channels, double device_rate)
    : queue_(queue),
      channels_(stream_channels),
      device_channels_(device_channels),
      ratio_(device_rate / stream_rate),
      bytes_(2 * values(std::max(converter_chunk_frames, pull_frames), channels_)),
      samples_(values(std::max(converter_chunk_frames, pull_frames), channels_)),
      resampled_(values(converter_chunk_frames, channels_)) {
  if (ratio_ != 1.0) {
    int error = 0;
    resampler_.state =
        src_callback_new(&PlaybackConverter::pull, SRC_SINC_FASTEST, channels_, &error, this);
  }
}

bool PlaybackConverter::ready() const { return ratio_ == 1.0 || resampler_.state != nullptr; }

void PlaybackConverter::fill(float* output, long frames) {
  while (frames > 0) {
    const long count = std::min(frames, converter_chunk_frames);
    const float* samples = nullptr;
    if (resampler_.state) {
      const long made = src_callback_read(resampler_.state, ratio_, count, resampled_.data());
      std::fill(
          resampled_.begin() + static_cast<std::ptrdiff_t>(values(std::max(made, 0L), channels_)),
          resampled_.begin() + static_cast<std::ptrdiff_t>(values(count, channels_)), 0.0f);
      samples = resampled_.data();
    } else {
      samples = take(count);
    }
    map_channels(samples, channels_, output, device_channels_, count);
    output += values(count, device_channels_);
    frames -= count;
  }
}

float* PlaybackConverter::take(long frames) {
  const std::size_t wanted = 2 * values(frames, channels_);
  const std::size_t got = queue_.play(bytes_.data(), wanted);
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got),
            bytes_.begin() + static_cast<std::ptrdiff_t>(wanted), std::uint8_t{0});
  from_pcm(bytes_.data(), static_cast<long>(values(frames, channels_)), samples_.data());
  return samples_.data();
}

long PlaybackConverter::pull(void* self, float** data) {
  *data = static_cast<PlaybackConverter*>(self)->take(pull_frames);
  return pull_frames;
}

}  // namespace audio
