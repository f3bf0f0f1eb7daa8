#include "audio/standin_device.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "audio/buffer_queue.h"
#include "files/wave_format.h"

namespace audio {

struct StandinSystem::Shared {
  explicit Shared(DeviceClock& device_clock) : clock(device_clock) {}

  // Replaces the bytes of `bytes` by fed samples, little-endian, then by
  // silence once the feed is used up.
  void take_feed(std::vector<std::uint8_t>& bytes) {
    std::lock_guard lock(mutex);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      std::uint16_t sample = 0;
      if (!feed.empty()) {
        sample = static_cast<std::uint16_t>(feed.front());
        feed.pop_front();
      }
      bytes[i] = static_cast<std::uint8_t>(sample & 0xFF);
      bytes[i + 1] = static_cast<std::uint8_t>(sample >> 8);
    }
  }

  // Appends the little-endian samples of the first `count` bytes to `played`.
  // The caller holds `mutex`.
  void keep_played(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2) {
      const auto sample = static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8));
      played.push_back(static_cast<std::int16_t>(sample));
    }
  }

  DeviceClock& clock;
  std::mutex mutex;
  std::deque<std::int16_t> feed;
  std::vector<std::int16_t> played;
  std::atomic<bool> stalled{false};
};

namespace {

// The built-in device runs at the chain's own rate.
constexpr std::uint32_t device_rate = files::chain_rate;
constexpr auto tick_period = std::chrono::milliseconds(1);
constexpr const char* device_name = "Built-in silent device";

// True for 16-bit PCM at 11025 Hz, mono or stereo, with block_align and
// avg_bytes_per_sec to match.
bool format_supported(const WaveFormat& f) {
  return f.format_tag == 1 && f.bits_per_sample == 16 && f.samples_per_sec == device_rate &&
         (f.channels == 1 || f.channels == 2) && f.block_align == 2 * f.channels &&
         f.avg_bytes_per_sec == device_rate * f.block_align;
}

using TimePoint = DeviceClock::time_point;

// The byte count a stream has moved, against the device's clock at the
// device rate. Holding re-anchors the clock, so time spent held (stopped,
// stalled, idle) is never made up afterwards.
class Pace {
 public:
  Pace(std::uint16_t block_align, TimePoint now) : block_align_(block_align), anchor_time_(now) {}

  // Bytes due by `now` beyond those already moved; whole frames.
  std::size_t due(TimePoint now) const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - anchor_time_);
    const std::uint64_t frames =
        static_cast<std::uint64_t>(elapsed.count()) * device_rate / 1'000'000;
    return static_cast<std::size_t>(anchor_bytes_ + frames * block_align_ - moved_);
  }
  void moved(std::size_t bytes) { moved_ += bytes; }
  // Nothing more falls due for the time up to `now`.
  void hold(TimePoint now) {
    anchor_time_ = now;
    anchor_bytes_ = moved_;
  }
  // Back to zero bytes moved, counting from `now`.
  void restart(TimePoint now) {
    moved_ = 0;
    hold(now);
  }
  std::uint64_t moved_total() const { return moved_; }

 private:
  std::uint16_t block_align_;
  TimePoint anchor_time_;
  std::uint64_t anchor_bytes_ = 0;
  std::uint64_t moved_ = 0;
};

class StandinInStream : public WaveInStream {
 public:
  StandinInStream(std::shared_ptr<StandinSystem::Shared> shared, const WaveFormat& format)
      : shared_(std::move(shared)),
        pace_(format.block_align, shared_->clock.now()),
        ticking_(shared_->clock.every(tick_period, [this] { tick(); })) {}

  // Closing returns the buffers still queued, done.
  ~StandinInStream() override {
    ticking_.reset();
    queue_.return_all();
  }

  int prepare(WaveHeader& header) override { return queue_.prepare(header); }
  int unprepare(WaveHeader& header) override { return queue_.unprepare(header); }
  int add_buffer(WaveHeader& header) override { return queue_.add(header); }

  // Starting a running stream changes nothing.
  int start() override {
    std::lock_guard lock(mutex_);
    if (!running_) {
      running_ = true;
      pace_.restart(shared_->clock.now());
    }
    return wave_ok;
  }

  int reset() override {
    std::lock_guard lock(mutex_);
    running_ = false;
    pace_.restart(shared_->clock.now());
    queue_.return_all();
    return wave_ok;
  }

  int position(std::uint32_t& bytes) override {
    std::lock_guard lock(mutex_);
    bytes = static_cast<std::uint32_t>(pace_.moved_total());
    return wave_ok;
  }

  void set_completion_notice(std::function<void()> notice) override {
    queue_.set_notice(std::move(notice));
  }

 private:
  // Captures the frames due since the last tick; frames with no buffer
  // queued are counted and lost.
  void tick() {
    std::lock_guard lock(mutex_);
    const auto now = shared_->clock.now();
    if (!running_ || shared_->stalled.load()) {
      pace_.hold(now);
      return;
    }
    scratch_.resize(pace_.due(now));
    shared_->take_feed(scratch_);
    queue_.capture(scratch_.data(), scratch_.size());
    pace_.moved(scratch_.size());
  }

  std::shared_ptr<StandinSystem::Shared> shared_;
  BufferQueue queue_;
  std::mutex mutex_;  // guards running_, pace_ and scratch_
  bool running_ = false;
  Pace pace_;
  std::vector<std::uint8_t> scratch_;
  // Last: ticks only while every other member exists.
  std::unique_ptr<DeviceClock::Ticking> ticking_;
};

class StandinOutStream : public WaveOutStream {
 public:
  StandinOutStream(std::shared_ptr<StandinSystem::Shared> shared, const WaveFormat& format)
      : shared_(std::move(shared)),
        pace_(format.block_align, shared_->clock.now()),
        ticking_(shared_->clock.every(tick_period, [this] { tick(); })) {}

  // Closing returns the buffers still queued, done.
  ~StandinOutStream() override {
    ticking_.reset();
    queue_.return_all();
  }

  int prepare(WaveHeader& header) override { return queue_.prepare(header); }
  int unprepare(WaveHeader& header) override { return queue_.unprepare(header); }
  int write(WaveHeader& header) override { return queue_.add(header); }

  // Playback never pauses: a reset only empties the queue, and a buffer
  // written afterwards plays at once.
  int reset() override {
    std::lock_guard lock(mutex_);
    queue_.return_all();
    return wave_ok;
  }
  int restart() override { return wave_ok; }

  void set_completion_notice(std::function<void()> notice) override {
    queue_.set_notice(std::move(notice));
  }

 private:
  // Plays the frames due since the last tick. When the queue runs dry the
  // clock is held, so the next buffer written starts playing when it arrives.
  void tick() {
    std::lock_guard lock(mutex_);
    const auto now = shared_->clock.now();
    if (shared_->stalled.load()) {
      pace_.hold(now);
      return;
    }
    scratch_.resize(pace_.due(now));
    // A buffer is marked done under the same lock that adds its samples to
    // `played`: whoever sees it done finds all of it in take_played().
    std::lock_guard played_lock(shared_->mutex);
    const std::size_t played = queue_.play(scratch_.data(), scratch_.size());
    pace_.moved(played);
    if (played < scratch_.size()) pace_.hold(now);
    shared_->keep_played(scratch_.data(), played);
  }

  std::shared_ptr<StandinSystem::Shared> shared_;
  BufferQueue queue_;
  // Held by a tick and by reset, so the samples of a buffer returned by a
  // reset are all in take_played() once reset() has returned.
  std::mutex mutex_;
  Pace pace_;
  std::vector<std::uint8_t> scratch_;
  // Last: ticks only while every other member exists.
  std::unique_ptr<DeviceClock::Ticking> ticking_;
};

}  // namespace

StandinSystem::StandinSystem(DeviceClock& clock) : shared_(std::make_shared<Shared>(clock)) {}

StandinSystem::~StandinSystem() = default;

int StandinSystem::input_count() { return 1; }

int StandinSystem::output_count() { return 1; }

std::string StandinSystem::input_name(int device_id) { return device_id == 0 ? device_name : ""; }

std::string StandinSystem::output_name(int device_id) { return device_id == 0 ? device_name : ""; }

int StandinSystem::open_input(int device_id, const WaveFormat& format,
                              std::unique_ptr<WaveInStream>* stream) {
  if (device_id != 0) return wave_bad_device_id;
  if (!format_supported(format)) return wave_bad_format;
  if (stream != nullptr) {
    *stream = std::make_unique<StandinInStream>(shared_, format);
    ++input_opens_;
  }
  return wave_ok;
}

int StandinSystem::open_output(int device_id, const WaveFormat& format,
                               std::unique_ptr<WaveOutStream>* stream) {
  if (device_id != 0) return wave_bad_device_id;
  if (!format_supported(format)) return wave_bad_format;
  if (stream != nullptr) {
    *stream = std::make_unique<StandinOutStream>(shared_, format);
    ++output_opens_;
  }
  return wave_ok;
}

void StandinSystem::feed(std::span<const std::int16_t> interleaved) {
  std::lock_guard lock(shared_->mutex);
  shared_->feed.insert(shared_->feed.end(), interleaved.begin(), interleaved.end());
}

std::vector<std::int16_t> StandinSystem::take_played() {
  std::lock_guard lock(shared_->mutex);
  return std::exchange(shared_->played, {});
}

void StandinSystem::set_stalled(bool stalled) { shared_->stalled.store(stalled); }

int StandinSystem::input_opens() const { return input_opens_; }

int StandinSystem::output_opens() const { return output_opens_; }

}  // namespace audio
