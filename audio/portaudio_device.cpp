#include "audio/portaudio_device.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "audio/buffer_queue.h"
#include "audio/rate_converter.h"

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

class PortAudioInStream : public WaveInStream {
 public:
  PortAudioInStream(const WaveFormat& format, const DeviceSetup& setup)
      : converter_(format.channels, format.samples_per_sec, setup.channels, setup.rate) {}

  // Returns false when the device cannot be opened.
  bool open(int device, const DeviceSetup& setup) {
    if (!converter_.ready()) return false;
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

  // The card keeps running while capture is stopped, so the converter never
  // sees a gap; only what arrives while capture runs fills buffers and moves
  // the position.
  static int callback(const void* input, void*, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    auto* stream = static_cast<PortAudioInStream*>(self);
    if (input) {
      stream->converter_.convert(static_cast<const float*>(input), static_cast<long>(frames),
                                 [stream](std::span<const std::uint8_t> bytes) {
                                   if (!stream->running_.load()) return;
                                   stream->queue_.capture(bytes.data(), bytes.size());
                                   stream->position_.fetch_add(
                                       static_cast<std::uint32_t>(bytes.size()));
                                 });
    }
    return paContinue;
  }

 private:
  BufferQueue queue_;
  std::atomic<bool> running_{false};
  std::atomic<std::uint32_t> position_{0};
  CaptureConverter converter_;
  PaStream* stream_ = nullptr;
};

class PortAudioOutStream : public WaveOutStream {
 public:
  PortAudioOutStream(const WaveFormat& format, const DeviceSetup& setup)
      : converter_(queue_, format.channels, format.samples_per_sec, setup.channels, setup.rate) {}

  bool open(int device, const DeviceSetup& setup) {
    if (!converter_.ready()) return false;
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

  // The card keeps playing silence when nothing is queued, so a reset only
  // returns the queued buffers and a restart has nothing to do.
  int reset() override {
    queue_.return_all();
    return wave_ok;
  }
  int restart() override { return wave_ok; }

  void wait_for_buffer(std::chrono::microseconds limit) override { queue_.wait(limit); }

  static int callback(const void*, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioOutStream*>(self)->converter_.fill(static_cast<float*>(output),
                                                            static_cast<long>(frames));
    return paContinue;
  }

 private:
  BufferQueue queue_;
  PlaybackConverter converter_;  // after queue_, which it reads
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

// PortAudio's name of the device listed as `device_id`; empty for a number
// not listed.
std::string device_name(const std::vector<int>& devices, int device_id) {
  if (device_id < 0 || device_id >= static_cast<int>(devices.size())) return {};
  return Pa_GetDeviceInfo(devices[static_cast<std::size_t>(device_id)])->name;
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
  if (Pa_Initialize() == paNoError) {
    inputs_ = list_devices(true);
    outputs_ = list_devices(false);
  }
}

int PortAudioSystem::input_count() {
  return inputs_.empty() ? builtin_.input_count() : static_cast<int>(inputs_.size());
}

int PortAudioSystem::output_count() {
  return outputs_.empty() ? builtin_.output_count() : static_cast<int>(outputs_.size());
}

std::string PortAudioSystem::input_name(int device_id) {
  return inputs_.empty() ? builtin_.input_name(device_id) : device_name(inputs_, device_id);
}

std::string PortAudioSystem::output_name(int device_id) {
  return outputs_.empty() ? builtin_.output_name(device_id) : device_name(outputs_, device_id);
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
