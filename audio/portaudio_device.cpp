#include "audio/portaudio_device.h"

#include <fcntl.h>
#include <portaudio.h>
#include <samplerate.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/buffer_queue.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace audio {
namespace {

// A call into the sound libraries. What they print on stderr (ALSA's and
// JACK's probing of devices that are not there) is kept off the terminal,
// and in sanitizer builds what they allocate for the life of the process
// (configuration caches, plugin state) is not counted as our leak.
class LibraryCall {
 public:
  LibraryCall() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  ~LibraryCall() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
  }
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;

 private:
  int saved_;
};

// Frames a stream converts in one go; a callback asking for more is served
// in pieces.
constexpr long chunk_frames = 4096;

bool format_supported(const WaveFormat& f) {
  return f.format_tag == 1 && f.bits_per_sample == 16 && (f.channels == 1 || f.channels == 2) &&
         f.samples_per_sec > 0 && f.block_align == 2 * f.channels &&
         f.avg_bytes_per_sec == f.samples_per_sec * f.block_align;
}

// How a stream meets a device: the device's channel count and rate.
struct DeviceSetup {
  int channels;
  double rate;
};

PaStreamParameters parameters(int device, int channels, bool input) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  // Enough headroom for a desktop sound server; the cycle's double buffers
  // dominate the latency anyway.
  const double latency =
      std::max(input ? info->defaultLowInputLatency : info->defaultLowOutputLatency, 0.05);
  return PaStreamParameters{device, channels, paFloat32, latency, nullptr};
}

// The first of: the requested channels at the requested rate, the other
// channel count at that rate, then both at the device's default rate.
bool find_setup(int device, const WaveFormat& format, bool input, DeviceSetup& setup) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  const int wanted = format.channels;
  const int other = wanted == 1 ? 2 : 1;
  for (const double rate : {static_cast<double>(format.samples_per_sec), info->defaultSampleRate}) {
    for (const int channels : {wanted, other}) {
      const PaStreamParameters p = parameters(device, channels, input);
      if (Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, rate) ==
          paFormatIsSupported) {
        setup = {channels, rate};
        return true;
      }
    }
  }
  return false;
}

// Copies `frames` frames from `from` (from_channels interleaved) to `to`
// (to_channels interleaved): equal counts copy, mono doubles, stereo keeps
// its left channel.
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

// Opens a PortAudio callback stream on `device` for `client`, whose static
// `callback` it registers, and starts it. Returns the stream or null.
template <typename Client>
PaStream* open_started(int device, const DeviceSetup& setup, bool input, Client* client) {
  const PaStreamParameters p = parameters(device, setup.channels, input);
  PaStream* stream = nullptr;
  LibraryCall call;
  if (Pa_OpenStream(&stream, input ? &p : nullptr, input ? nullptr : &p, setup.rate,
                    paFramesPerBufferUnspecified, paClipOff, &Client::callback, client) != paNoError) {
    return nullptr;
  }
  if (Pa_StartStream(stream) != paNoError) {
    Pa_CloseStream(stream);
    return nullptr;
  }
  return stream;
}

void close_stream(PaStream* stream) {
  LibraryCall call;
  Pa_AbortStream(stream);
  Pa_CloseStream(stream);
}

// A resampler, or none when the device runs the stream's own rate.
struct Resampler {
  SRC_STATE* state = nullptr;
  ~Resampler() {
    if (state) src_delete(state);
  }
};

class PortAudioInStream : public WaveInStream {
 public:
  PortAudioInStream(const WaveFormat& format, const DeviceSetup& setup)
      : channels_(format.channels),
        device_channels_(setup.channels),
        ratio_(format.samples_per_sec / setup.rate),
        mapped_(static_cast<std::size_t>(chunk_frames * channels_)),
        resampled_(static_cast<std::size_t>((chunk_frames * ratio_ + 64) * channels_)),
        bytes_(resampled_.size() * 2 + mapped_.size() * 2) {}

  // Returns false when the device cannot be opened.
  bool open(int device, const DeviceSetup& setup) {
    if (ratio_ != 1.0) {
      int error = 0;
      resampler_.state = src_new(SRC_SINC_FASTEST, channels_, &error);
      if (!resampler_.state) return false;
    }
    stream_ = open_started(device, setup, true, this);
    return stream_ != nullptr;
  }

  ~PortAudioInStream() override {
    if (stream_) close_stream(stream_);
    queue_.return_all();
  }

  int prepare(WaveHeader& header) override { return queue_.prepare(header); }
  int unprepare(WaveHeader& header) override { return queue_.unprepare(header); }
  int add_buffer(WaveHeader& header) override { return queue_.add(header); }

  int start() override {
    if (!running_.load()) {
      position_.store(0);
      running_.store(true);
    }
    return wave_ok;
  }

  int reset() override {
    running_.store(false);
    position_.store(0);
    queue_.return_all();
    return wave_ok;
  }

  int position(std::uint32_t& bytes) override {
    bytes = position_.load();
    return wave_ok;
  }

  void wait_for_buffer(std::chrono::microseconds limit) override { queue_.wait(limit); }

  static int callback(const void* input, void*, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioInStream*>(self)->capture(static_cast<const float*>(input),
                                                   static_cast<long>(frames));
    return paContinue;
  }

 private:
  // Converts the device's frames to the stream's format and fills the queued
  // buffers while capture runs; the device keeps running while stopped, so
  // the resampler never sees a gap.
  void capture(const float* input, long frames) {
    while (frames > 0 && input) {
      const long count = std::min(frames, chunk_frames);
      map_channels(input, device_channels_, mapped_.data(), channels_, count);
      const float* samples = mapped_.data();
      long out_frames = count;
      if (resampler_.state) {
        SRC_DATA data{};
        data.data_in = mapped_.data();
        data.data_out = resampled_.data();
        data.input_frames = count;
        data.output_frames = static_cast<long>(resampled_.size()) / channels_;
        data.src_ratio = ratio_;
        src_process(resampler_.state, &data);
        samples = resampled_.data();
        out_frames = data.output_frames_gen;
      }
      const long values = out_frames * channels_;
      to_pcm(samples, values, bytes_.data());
      if (running_.load()) {
        queue_.capture(bytes_.data(), static_cast<std::size_t>(values * 2));
        position_.fetch_add(static_cast<std::uint32_t>(values * 2));
      }
      input += count * device_channels_;
      frames -= count;
    }
  }

  const int channels_;
  const int device_channels_;
  const double ratio_;  // stream rate / device rate
  BufferQueue queue_;
  std::atomic<bool> running_{false};
  std::atomic<std::uint32_t> position_{0};
  std::vector<float> mapped_;
  std::vector<float> resampled_;
  std::vector<std::uint8_t> bytes_;
  Resampler resampler_;
  PaStream* stream_ = nullptr;
};

class PortAudioOutStream : public WaveOutStream {
 public:
  PortAudioOutStream(const WaveFormat& format, const DeviceSetup& setup)
      : channels_(format.channels),
        device_channels_(setup.channels),
        ratio_(setup.rate / format.samples_per_sec),
        bytes_(static_cast<std::size_t>(chunk_frames * channels_ * 2)),
        samples_(static_cast<std::size_t>(chunk_frames * channels_)),
        resampled_(static_cast<std::size_t>(chunk_frames * channels_)) {}

  bool open(int device, const DeviceSetup& setup) {
    if (ratio_ != 1.0) {
      int error = 0;
      resampler_.state = src_callback_new(&PortAudioOutStream::pull, SRC_SINC_FASTEST, channels_,
                                          &error, this);
      if (!resampler_.state) return false;
    }
    stream_ = open_started(device, setup, false, this);
    return stream_ != nullptr;
  }

  ~PortAudioOutStream() override {
    if (stream_) close_stream(stream_);
    queue_.return_all();
  }

  int prepare(WaveHeader& header) override { return queue_.prepare(header); }
  int unprepare(WaveHeader& header) override { return queue_.unprepare(header); }
  int write(WaveHeader& header) override { return queue_.add(header); }

  // The device keeps playing silence when nothing is queued, so a reset only
  // returns the queued buffers and a restart has nothing to do.
  int reset() override {
    queue_.return_all();
    return wave_ok;
  }
  int restart() override { return wave_ok; }

  void wait_for_buffer(std::chrono::microseconds limit) override { queue_.wait(limit); }

  static int callback(const void*, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioOutStream*>(self)->play(static_cast<float*>(output),
                                                 static_cast<long>(frames));
    return paContinue;
  }

 private:
  // Fills `frames` device frames from the queued buffers, silence where the
  // queue has run dry.
  void play(float* output, long frames) {
    while (frames > 0) {
      const long count = std::min(frames, chunk_frames);
      const float* samples = resampled_.data();
      if (resampler_.state) {
        const long made = src_callback_read(resampler_.state, ratio_, count, resampled_.data());
        std::fill(resampled_.begin() + std::max(made, 0L) * channels_,
                  resampled_.begin() + count * channels_, 0.0f);
      } else {
        samples = take(count);
      }
      map_channels(samples, channels_, output, device_channels_, count);
      output += count * device_channels_;
      frames -= count;
    }
  }

  // The next `frames` frames of the queued buffers as floats, padded with
  // silence.
  const float* take(long frames) {
    const auto wanted = static_cast<std::size_t>(frames * channels_ * 2);
    const std::size_t got = queue_.play(bytes_.data(), wanted);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got),
              bytes_.begin() + static_cast<std::ptrdiff_t>(wanted), std::uint8_t{0});
    from_pcm(bytes_.data(), frames * channels_, samples_.data());
    return samples_.data();
  }

  // The resampler's supply of frames at the stream's rate.
  static long pull(void* self, float** data) {
    auto* stream = static_cast<PortAudioOutStream*>(self);
    constexpr long frames = 256;
    *data = const_cast<float*>(stream->take(frames));
    return frames;
  }

  const int channels_;
  const int device_channels_;
  const double ratio_;  // device rate / stream rate
  BufferQueue queue_;
  std::vector<std::uint8_t> bytes_;
  std::vector<float> samples_;
  std::vector<float> resampled_;
  Resampler resampler_;
  PaStream* stream_ = nullptr;
};

// The devices that can capture (input) or play, the default one first.
std::vector<int> list_devices(bool input) {
  std::vector<int> devices;
  const int preferred = input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  if (preferred != paNoDevice) devices.push_back(preferred);
  for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    const int channels = input ? info->maxInputChannels : info->maxOutputChannels;
    if (channels > 0 && i != preferred) devices.push_back(i);
  }
  return devices;
}

// Opens a stream of type Stream on the device listed as `device_id`, or only
// checks that it could be opened when `stream` is null.
template <typename Stream, typename Base>
int open_on(const std::vector<int>& devices, int device_id, const WaveFormat& format, bool input,
            std::unique_ptr<Base>* stream) {
  if (device_id < 0 || device_id >= static_cast<int>(devices.size())) return wave_bad_device_id;
  if (!format_supported(format)) return wave_bad_format;
  const int device = devices[static_cast<std::size_t>(device_id)];
  DeviceSetup setup{};
  {
    LibraryCall call;
    if (!find_setup(device, format, input, setup)) return wave_bad_format;
  }
  if (!stream) return wave_ok;
  auto opened = std::make_unique<Stream>(format, setup);
  if (!opened->open(device, setup)) return wave_error;
  *stream = std::move(opened);
  return wave_ok;
}

}  // namespace

PortAudioSystem::PortAudioSystem() {
  LibraryCall call;
  initialised_ = Pa_Initialize() == paNoError;
  if (initialised_) {
    inputs_ = list_devices(true);
    outputs_ = list_devices(false);
  }
}

PortAudioSystem::~PortAudioSystem() {
  if (initialised_) {
    LibraryCall call;
    Pa_Terminate();
  }
}

int PortAudioSystem::input_count() {
  return inputs_.empty() ? builtin_.input_count() : static_cast<int>(inputs_.size());
}

int PortAudioSystem::output_count() {
  return outputs_.empty() ? builtin_.output_count() : static_cast<int>(outputs_.size());
}

std::string PortAudioSystem::input_name(int device_id) {
  if (inputs_.empty()) return builtin_.input_name(device_id);
  if (device_id < 0 || device_id >= static_cast<int>(inputs_.size())) return {};
  return Pa_GetDeviceInfo(inputs_[static_cast<std::size_t>(device_id)])->name;
}

std::string PortAudioSystem::output_name(int device_id) {
  if (outputs_.empty()) return builtin_.output_name(device_id);
  if (device_id < 0 || device_id >= static_cast<int>(outputs_.size())) return {};
  return Pa_GetDeviceInfo(outputs_[static_cast<std::size_t>(device_id)])->name;
}

int PortAudioSystem::open_input(int device_id, const WaveFormat& format,
                                std::unique_ptr<WaveInStream>* stream) {
  if (inputs_.empty()) return builtin_.open_input(device_id, format, stream);
  return open_on<PortAudioInStream>(inputs_, device_id, format, true, stream);
}

int PortAudioSystem::open_output(int device_id, const WaveFormat& format,
                                 std::unique_ptr<WaveOutStream>* stream) {
  if (outputs_.empty()) return builtin_.open_output(device_id, format, stream);
  return open_on<PortAudioOutStream>(outputs_, device_id, format, false, stream);
}

}  // namespace audio
