#include "audio/portaudio_device.h"

#include <alsa/error.h>
#include <jack/jack.h>
#include <pa_linux_alsa.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <utility>

#include "audio/buffer_queue.h"
#include "audio/priority.h"
#include "audio/rate_converter.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace audio {
namespace {

// A call into the sound libraries. In sanitizer builds what they allocate
// for the life of the process (configuration caches, plugin state) is not
// counted as our leak.
class LibraryCall {
 public:
  LibraryCall() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
  }
  ~LibraryCall() {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
  }
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;
};

void drop_alsa_message(const char*, int, const char*, int, const char*, ...) {}
void drop_jack_message(const char*) {}

// ALSA and JACK print on stderr while PortAudio probes devices that are not
// there, and ALSA again at each underrun; none of it is for the user. Their
// message hooks are set once, before the first call, rather than stderr
// being taken from the whole process (and the program's own reports with
// it).
void quiet_sound_libraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(&drop_alsa_message);
    jack_set_error_function(&drop_jack_message);
    jack_set_info_function(&drop_jack_message);
  });
}

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

// How a stream moves its frames: the card's period each way, the least
// latency it asks for (in seconds), and how the capture reader looks for a
// period that is due: a look at most a tenth of a pass, since a period
// waits up to a look to be taken, and 48 ms of looks before it takes the
// source for idle. Left to the library, the sound server's plugin chose
// smaller periods, and the threads woke several times as often for the same
// audio.
//   For passes of 1024 samples: capture half a pass at 11025 Hz, playback a
// quarter, since the plugin's buffer holds three periods and every period
// buffered is heard that much later, and 20 ms, what a desktop sound server
// keeps up with at rest. For passes of 128: a pass and half of one, and
// 10 ms; every millisecond buffered is heard, at the cost of three times the
// CPU at rest.
struct Periods {
  unsigned long capture_frames;
  unsigned long playback_frames;
  double least_latency;
  std::chrono::microseconds look;
  int looks;
};

Periods periods_for(std::uint32_t buffer_frames) {
  if (buffer_frames >= 1024) return {512, 256, 0.02, std::chrono::milliseconds(3), 16};
  return {128, 64, 0.01, std::chrono::milliseconds(1), 48};
}

PaStreamParameters parameters(int device, int channels, bool input, double least_latency) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  // The device's low latency: the cycle's double buffers already give the
  // passes their slack, so the stream adds no more.
  const double latency =
      std::max(input ? info->defaultLowInputLatency : info->defaultLowOutputLatency, least_latency);
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
      const PaStreamParameters p =
          parameters(device, channels, input, periods_for(format.buffer_frames).least_latency);
      if (Pa_IsFormatSupported(input ? &p : nullptr, input ? nullptr : &p, rate) ==
          paFormatIsSupported) {
        setup = {channels, rate};
        return true;
      }
    }
  }
  return false;
}

// Opens a PortAudio stream on `device` for `core` and starts it: a callback
// stream when the core has a `callback`, a blocking one otherwise. Returns
// the stream or null.
template <typename Core>
PaStream* open_started(int device, const DeviceSetup& setup, const Periods& periods, bool input,
                       Core* core) {
  const PaStreamParameters p = parameters(device, setup.channels, input, periods.least_latency);
  PaStream* stream = nullptr;
  LibraryCall call;
  if (Pa_OpenStream(&stream, input ? &p : nullptr, input ? nullptr : &p, setup.rate,
                    input ? periods.capture_frames : periods.playback_frames, paClipOff,
                    Core::callback, core) != paNoError) {
    return nullptr;
  }
  // PortAudio's callback thread asks for real-time priority where the user
  // may have it, and runs as before where not.
  if (!input && Pa_GetHostApiInfo(Pa_GetDeviceInfo(device)->hostApi)->type == paALSA) {
    PaAlsa_EnableRealtimeScheduling(stream, 1);
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

using Clock = std::chrono::steady_clock;

// A device, direction and stream format: what a setup is found for.
struct SetupKey {
  bool input;
  int device;
  int channels;
  std::uint32_t rate;
  std::uint32_t buffer_frames;  // a stream that opened late goes to an open with buffers as long
  auto operator<=>(const SetupKey&) const = default;
};

// A query or an open handed to the device thread, from when it is asked for
// until its answer is taken (or, for a stream that opened late, closed).
struct Opening {
  SetupKey key;
  bool query;       // no stream wanted
  int waiters = 0;  // callers waiting for the answer now
  bool finished = false;
  int result = wave_error;
  Clock::time_point finished_at{};
  std::unique_ptr<WaveInStream> in{};  // the stream opened, for an open
  std::unique_ptr<WaveOutStream> out{};
};

template <typename Base>
std::unique_ptr<Base>& stream_of(Opening& opening) {
  if constexpr (std::is_same_v<Base, WaveInStream>) {
    return opening.in;
  } else {
    return opening.out;
  }
}

}  // namespace

class DeviceThread : public std::enable_shared_from_this<DeviceThread> {
 public:
  static std::shared_ptr<DeviceThread> start() {
    auto thread = std::make_shared<DeviceThread>();
    thread->thread_ = std::thread([thread] { thread->run(); });
    return thread;
  }

  // Runs `job` on the device thread after those posted before it; at once
  // on this thread when the device thread has ended.
  void post(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      if (!ended_) {
        jobs_.push_back(std::move(job));
        work_.notify_one();
        return;
      }
    }
    job();
  }

  // Answers a query (stream null) or opens a stream of type Stream, waiting
  // at most device_answer_limit for the device thread.
  template <typename Stream, typename Base>
  int open(int device, const WaveFormat& format, bool input, std::unique_ptr<Base>* stream);

  // Closes the streams kept, finishes the jobs posted, and ends; waits at
  // most `limit` for that, then leaves the thread to itself.
  void stop(std::chrono::milliseconds limit) {
    std::vector<std::shared_ptr<Opening>> kept;
    std::unique_lock lock(mutex_);
    kept.swap(openings_);
    lock.unlock();
    kept.clear();  // their streams post their closes
    lock.lock();
    stopping_ = true;
    work_.notify_one();
    const bool ended = stopped_.wait_for(lock, limit, [this] { return ended_; });
    lock.unlock();
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }

 private:
  // Runs the jobs in order and closes the late streams nobody took.
  void run() {
    std::unique_lock lock(mutex_);
    while (!(stopping_ && jobs_.empty())) {
      if (jobs_.empty()) {
        const auto expiry = first_expiry();
        if (expiry) {
          work_.wait_until(lock, *expiry);
        } else {
          work_.wait(lock);
        }
        std::vector<std::shared_ptr<Opening>> expired = take_expired();
        lock.unlock();
        expired.clear();  // their streams post their closes
        lock.lock();
        continue;
      }
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      job = nullptr;  // what it held goes on this thread
      lock.lock();
    }
    ended_ = true;
    stopped_.notify_all();
  }

  // When the first late stream kept is due to be closed. Caller holds mutex_.
  std::optional<Clock::time_point> first_expiry() const {
    std::optional<Clock::time_point> first;
    for (const auto& opening : openings_) {
      if (!opening->finished) continue;
      const auto expiry = opening->finished_at + late_stream_kept;
      if (!first || expiry < *first) first = expiry;
    }
    return first;
  }

  // The late streams kept past their time. Caller holds mutex_.
  std::vector<std::shared_ptr<Opening>> take_expired() {
    std::vector<std::shared_ptr<Opening>> expired;
    const auto now = Clock::now();
    std::erase_if(openings_, [&](const std::shared_ptr<Opening>& opening) {
      if (!opening->finished || opening->waiters > 0 ||
          opening->finished_at + late_stream_kept > now) {
        return false;
      }
      expired.push_back(opening);
      return true;
    });
    return expired;
  }

  // The device thread's part of an open or query.
  template <typename Stream, typename Base>
  void answer(Opening& opening, int device, const WaveFormat& format);

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable work_;      // a job posted or a stop asked
  std::condition_variable answered_;  // an opening finished
  std::condition_variable stopped_;   // the thread ended
  std::deque<std::function<void()>> jobs_;
  std::vector<std::shared_ptr<Opening>> openings_;  // under way, or finished and not taken
  std::map<SetupKey, DeviceSetup> setups_;
  bool stopping_ = false;
  bool ended_ = false;
};

namespace {

// The capture reader's SCHED_FIFO priority, the audio thread's.
constexpr int reader_priority = 10;

// What the sound server's client library names the threads of its streams.
constexpr std::string_view server_client_thread = "threaded-ml";

// How long the capture reader sleeps when the card has brought nothing for
// a while (a source that has yet to start, or has stopped).
constexpr auto capture_pause = std::chrono::milliseconds(40);

// What a capture stream's reader touches. It lives until the stream's close
// has returned, however long that takes.
//
// Capture is read by a thread of ours rather than a PortAudio callback: the
// sound server's ALSA plugin keeps its poll descriptor readable until the
// first captured data arrives (up to two seconds from an idle source), and
// PortAudio's callback thread spins on it for that long at a full core. The
// reader stands where PortAudio's audio thread would, calling only the read
// functions of its own stream.
//
// The card's periods arrive at a steady pace, so the reader sleeps through
// most of each and looks in short steps around when the next is due,
// moving its sleep so that a period waits at most a step to be taken: the
// passes then complete at an even pace, which the output's lead relies on.
// A source that brings nothing for a while is looked at every
// capture_pause.
struct CaptureCore {
  CaptureCore(const WaveFormat& format, const DeviceSetup& setup)
      : frames(static_cast<std::size_t>(converter_chunk_frames * setup.channels)),
        period_frames(periods_for(format.buffer_frames).capture_frames),
        look(periods_for(format.buffer_frames).look),
        looks_before_idle(periods_for(format.buffer_frames).looks),
        period(std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::duration<double>(static_cast<double>(period_frames) / setup.rate))),
        converter(format.channels, format.samples_per_sec, setup.channels, setup.rate) {}

  static constexpr PaStreamCallback* callback = nullptr;

  // On the device thread, once the stream has started.
  void started(PaStream* stream) {
    reader = std::jthread([this, stream](std::stop_token stop) {
      // The audio thread waits on what this thread brings in: it runs at
      // the same priority where that is allowed (the audio thread says so
      // when it is not).
      make_realtime(reader_priority);
      read(stream, stop);
    });
  }
  // On the device thread, before the stream is closed.
  void stopping() {
    reader.request_stop();
    reader.join();
  }

  // The card keeps running while capture is stopped, so the converter never
  // sees a gap; only what arrives while capture runs fills buffers and moves
  // the position.
  void read(PaStream* stream, const std::stop_token& stop) {
    // The sleep after a period is taken: shortened while a period turns out
    // to be waiting at the first look, lengthened while the looks before it
    // find nothing.
    auto sleep = period - 2 * look;
    int looks = 0;
    while (!stop.stop_requested()) {
      const long available = Pa_GetStreamReadAvailable(stream);
      if (available <= 0) {
        ++looks;
        if (looks <= looks_before_idle) {
          std::this_thread::sleep_for(look);
        } else {
          std::this_thread::sleep_for(capture_pause);
        }
        continue;
      }
      const long count = std::min(available, converter_chunk_frames);
      // An overflow still reads the frames asked for.
      const PaError error = Pa_ReadStream(stream, frames.data(), static_cast<unsigned long>(count));
      if (error != paNoError && error != paInputOverflowed) {
        std::this_thread::sleep_for(capture_pause);
        continue;
      }
      if (looks == 0) {
        sleep = std::max(decltype(sleep)::zero(), sleep - look);
      } else if (looks > 2 && looks <= looks_before_idle) {
        sleep = std::min(period, sleep + look);
      }
      looks = 0;
      converter.convert(frames.data(), count, [this](std::span<const std::uint8_t> bytes) {
        if (!running.load()) return;
        queue.capture(bytes.data(), bytes.size());
        position.fetch_add(static_cast<std::uint32_t>(bytes.size()));
      });
      // More than a period's frames waiting: the reader is behind, and takes
      // the rest at once.
      if (available <= static_cast<long>(period_frames)) std::this_thread::sleep_for(sleep);
    }
  }

  BufferQueue queue;
  std::atomic<bool> running{false};
  std::atomic<std::uint32_t> position{0};
  std::vector<float> frames;       // one read's card frames
  unsigned long period_frames;     // frames of the card's periods
  std::chrono::microseconds look;  // see Periods
  int looks_before_idle;
  std::chrono::microseconds period;  // the length of a period
  CaptureConverter converter;
  std::jthread reader;
};

// What the audio callback of a playback stream touches; it lives as long.
struct PlaybackCore {
  PlaybackCore(const WaveFormat& format, const DeviceSetup& setup)
      : converter(queue, format.channels, format.samples_per_sec, setup.channels, setup.rate) {}

  static int callback(const void*, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self) {
    static_cast<PlaybackCore*>(self)->converter.fill(static_cast<float*>(output),
                                                     static_cast<long>(frames));
    return paContinue;
  }
  void started(PaStream*) {}
  void stopping() {}

  BufferQueue queue;
  PlaybackConverter converter;  // after queue, which it reads
};

// A stream over its core. Opening runs on the device thread; destroying
// returns the queued buffers done at once, leaves the callback or reader an
// empty queue, and has the device thread close the stream.
template <typename Core, typename Base>
class PortAudioStream : public Base {
 public:
  PortAudioStream(std::shared_ptr<DeviceThread> thread, const WaveFormat& format,
                  const DeviceSetup& setup)
      : thread_(std::move(thread)),
        core_(std::make_shared<Core>(format, setup)),
        periods_(periods_for(format.buffer_frames)) {}

  ~PortAudioStream() override {
    core_->queue.return_all();
    core_->queue.set_notice({});
    if (stream_) {
      thread_->post([core = core_, stream = stream_] {
        core->stopping();
        close_stream(stream);
      });
    }
  }

  // Returns false when the device cannot be opened. On the device thread.
  bool open(int device, const DeviceSetup& setup, bool input) {
    if (!core_->converter.ready()) return false;
    stream_ = open_started(device, setup, periods_, input, core_.get());
    if (stream_) core_->started(stream_);
    return stream_ != nullptr;
  }

  int prepare(WaveHeader& header) override { return core_->queue.prepare(header); }
  int unprepare(WaveHeader& header) override { return core_->queue.unprepare(header); }
  void set_completion_notice(std::function<void()> notice) override {
    core_->queue.set_notice(std::move(notice));
  }

 protected:
  std::shared_ptr<DeviceThread> thread_;
  std::shared_ptr<Core> core_;
  Periods periods_;
  PaStream* stream_ = nullptr;
};

class PortAudioInStream : public PortAudioStream<CaptureCore, WaveInStream> {
 public:
  using PortAudioStream::PortAudioStream;

  int add_buffer(WaveHeader& header) override { return core_->queue.add(header); }

  int start() override {
    if (!core_->running.load()) {
      core_->position.store(0);
      core_->running.store(true);
    }
    return wave_ok;
  }

  int reset() override {
    core_->running.store(false);
    core_->position.store(0);
    core_->queue.return_all();
    return wave_ok;
  }

  int position(std::uint32_t& bytes) override {
    bytes = core_->position.load();
    return wave_ok;
  }
};

class PortAudioOutStream : public PortAudioStream<PlaybackCore, WaveOutStream> {
 public:
  using PortAudioStream::PortAudioStream;

  int write(WaveHeader& header) override { return core_->queue.add(header); }

  // The card keeps playing silence when nothing is queued, so a reset only
  // returns the queued buffers and a restart has nothing to do.
  int reset() override {
    core_->queue.return_all();
    return wave_ok;
  }
  int restart() override { return wave_ok; }
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

// The name listed as `device_id`; empty for a number not listed.
std::string listed_name(const std::vector<std::string>& names, int device_id) {
  if (device_id < 0 || device_id >= static_cast<int>(names.size())) return {};
  return names[static_cast<std::size_t>(device_id)];
}

std::vector<std::string> device_names(const std::vector<int>& devices) {
  std::vector<std::string> names;
  names.reserve(devices.size());
  for (const int device : devices) names.emplace_back(Pa_GetDeviceInfo(device)->name);
  return names;
}

// Checks the device number and format, then has the device thread answer.
template <typename Stream, typename Base>
int open_on(DeviceThread& thread, const std::vector<int>& devices, int device_id,
            const WaveFormat& format, bool input, std::unique_ptr<Base>* stream) {
  if (device_id < 0 || device_id >= static_cast<int>(devices.size())) return wave_bad_device_id;
  if (!format_supported(format)) return wave_bad_format;
  return thread.open<Stream>(devices[static_cast<std::size_t>(device_id)], format, input, stream);
}

}  // namespace

template <typename Stream, typename Base>
int DeviceThread::open(int device, const WaveFormat& format, bool input,
                       std::unique_ptr<Base>* stream) {
  const SetupKey key{input, device, format.channels, format.samples_per_sec, format.buffer_frames};
  const bool query = stream == nullptr;
  std::unique_lock lock(mutex_);
  if (query && setups_.contains(key)) return wave_ok;
  // A retry joins the query or open under way, or takes the stream it left.
  auto found = std::find_if(openings_.begin(), openings_.end(), [&](const auto& opening) {
    return opening->key == key && opening->query == query;
  });
  std::shared_ptr<Opening> opening;
  if (found != openings_.end()) {
    opening = *found;
  } else {
    opening = std::make_shared<Opening>(Opening{key, query});
    openings_.push_back(opening);
    jobs_.push_back(
        [this, opening, device, format] { answer<Stream, Base>(*opening, device, format); });
    work_.notify_one();
  }
  ++opening->waiters;
  answered_.wait_for(lock, device_answer_limit, [&] { return opening->finished; });
  --opening->waiters;
  if (!opening->finished) return wave_pending;
  std::erase(openings_, opening);
  if (query || opening->result != wave_ok) return opening->result;
  std::unique_ptr<Base>& opened = stream_of<Base>(*opening);
  if (!opened) return wave_error;  // another caller took it
  *stream = std::move(opened);
  return wave_ok;
}

template <typename Stream, typename Base>
void DeviceThread::answer(Opening& opening, int device, const WaveFormat& format) {
  std::optional<DeviceSetup> setup;
  bool stopping = false;
  {
    std::lock_guard lock(mutex_);
    stopping = stopping_;
    if (const auto known = setups_.find(opening.key); known != setups_.end()) {
      setup = known->second;
    }
  }
  int result = wave_error;
  std::unique_ptr<Base> opened;
  if (!stopping) {
    if (!setup) {
      LibraryCall call;
      if (DeviceSetup found{}; find_setup(device, format, opening.key.input, found)) {
        setup = found;
      }
    }
    result = setup ? wave_ok : wave_bad_format;
    if (setup && !opening.query) {
      auto made = std::make_unique<Stream>(shared_from_this(), format, *setup);
      if (made->open(device, *setup, opening.key.input)) {
        opened = std::move(made);
      } else {
        result = wave_error;
      }
    }
  }
  std::unique_ptr<Base> unwanted;
  bool opened_stream = false;
  {
    std::lock_guard lock(mutex_);
    if (setup) setups_.emplace(opening.key, *setup);
    opening.finished = true;
    opening.result = result;
    opening.finished_at = Clock::now();
    opened_stream = opened != nullptr;
    // Nobody waits: an answer or a failure is of no use later, a stream is
    // kept for the next open (unless the system is going).
    if (opening.waiters == 0 && (opening.query || !opened || stopping_)) {
      unwanted = std::move(opened);
      std::erase_if(openings_, [&](const auto& o) { return o.get() == &opening; });
    } else {
      stream_of<Base>(opening) = std::move(opened);
    }
  }
  answered_.notify_all();
  // The sound server's client threads move each stream's data between the
  // server and the plugin's buffers, which hold a few milliseconds: at
  // normal priority a busy machine starves them, and the stream loses
  // samples. They run at the reader's priority where that is allowed.
  if (opened_stream) make_threads_realtime(server_client_thread, reader_priority);
}

PortAudioSystem::PortAudioSystem() {
  {
    quiet_sound_libraries();
    LibraryCall call;
    if (Pa_Initialize() == paNoError) {
      inputs_ = list_devices(true);
      outputs_ = list_devices(false);
      input_names_ = device_names(inputs_);
      output_names_ = device_names(outputs_);
    }
  }
  thread_ = DeviceThread::start();
}

PortAudioSystem::~PortAudioSystem() { thread_->stop(device_exit_wait); }

int PortAudioSystem::input_count() {
  return inputs_.empty() ? builtin_.input_count() : static_cast<int>(inputs_.size());
}

int PortAudioSystem::output_count() {
  return outputs_.empty() ? builtin_.output_count() : static_cast<int>(outputs_.size());
}

std::string PortAudioSystem::input_name(int device_id) {
  return inputs_.empty() ? builtin_.input_name(device_id) : listed_name(input_names_, device_id);
}

std::string PortAudioSystem::output_name(int device_id) {
  return outputs_.empty() ? builtin_.output_name(device_id) : listed_name(output_names_, device_id);
}

int PortAudioSystem::open_input(int device_id, const WaveFormat& format,
                                std::unique_ptr<WaveInStream>* stream) {
  if (inputs_.empty()) return builtin_.open_input(device_id, format, stream);
  return open_on<PortAudioInStream>(*thread_, inputs_, device_id, format, true, stream);
}

int PortAudioSystem::open_output(int device_id, const WaveFormat& format,
                                 std::unique_ptr<WaveOutStream>* stream) {
  if (outputs_.empty()) return builtin_.open_output(device_id, format, stream);
  return open_on<PortAudioOutStream>(*thread_, outputs_, device_id, format, false, stream);
}

}  // namespace audio
