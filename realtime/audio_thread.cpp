#include "realtime/audio_thread.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "audio/priority.h"
#include "engine/noise_filters.h"

namespace realtime {
namespace {

// The wait between the end of a cycle (or the start) and the next cycle.
constexpr auto restart_delay = std::chrono::milliseconds(50);

// How long a phase's waits on the wave buffers last before they give up.
constexpr auto timeout_period = std::chrono::milliseconds(200);

// The thread's SCHED_FIFO priority: above the desktop's, below the sound
// server's own threads and the kernel's interrupt threads.
constexpr int audio_priority = 10;

// The thread's name, as tools and the tests see it.
constexpr char thread_name[] = "tonewell-audio";

enum StatusBit : std::uint32_t {
  status_running = 1,
  status_input_open = 2,
  status_output_open = 4,
  status_input_delivering = 8,
};

// Copies `text` into `into`, cut to fit and ended by a zero.
template <std::size_t N>
void copy_text(std::string_view text, std::array<char, N>& into) {
  const std::size_t count = std::min(text.size(), N - 1);
  std::copy_n(text.data(), count, into.data());
  into[count] = '\0';
}

timespec monotonic(AudioThread::Clock::time_point when) {
  // steady_clock is CLOCK_MONOTONIC.
  const auto since = when.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  return timespec{
      static_cast<std::time_t>(seconds.count()),
      static_cast<long>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
}

}  // namespace

AudioThread::AudioThread(audio::WaveSystem& system, files::Transport& transport)
    : files_(transport), devices_(system, *this), cycle_(*this, control_, devices_, chain_) {
  sem_init(&wakeups_, 0, 0);
}

AudioThread::~AudioThread() {
  stop();
  sem_destroy(&wakeups_);
}

void AudioThread::start() {
  if (thread_.joinable()) return;
  quit_.store(false);
  thread_ = std::thread([this] { run(); });
}

void AudioThread::stop() {
  if (!thread_.joinable()) return;
  quit_.store(true);
  wake();
  thread_.join();
}

void AudioThread::publish_controls() {
  controls_.publish();
  wake();
}

DeviceStatus AudioThread::status() const {
  const std::uint32_t bits = status_bits_.load();
  return DeviceStatus{.running = (bits & status_running) != 0,
                      .input_open = (bits & status_input_open) != 0,
                      .output_open = (bits & status_output_open) != 0,
                      .input_delivering = (bits & status_input_delivering) != 0,
                      .cycles = cycles_.load()};
}

std::string AudioThread::priority() const {
  return priority_known_.load() ? priority_ : std::string();
}

void AudioThread::run() {
  pthread_setname_np(pthread_self(), thread_name);
  const audio::PriorityOutcome outcome = audio::make_realtime(audio_priority);
  priority_ = audio::describe(outcome);
  if (!outcome.note.empty()) std::fprintf(stderr, "%s\n", outcome.note.c_str());
  priority_known_.store(true);
  while (!quit_.load()) {
    sleep_until(Clock::now() + restart_delay);
    if (quit_.load()) break;
    take_devices();
    cycles_.fetch_add(1);
    cycle_started_ = Clock::now();
    cycle_.run();
    cycle_.stop();
    status_bits_.store(0);
  }
}

// Before a cycle: what the controls published last say of the devices, and
// of everything else, taken now.
void AudioThread::take_devices() {
  process_messages();
  const DeviceControls& wanted = devices_seen_;
  devices_.input_device_id = wanted.input_device_id;
  devices_.output_device_id = wanted.output_device_id;
  devices_.input_select = wanted.input_select;
  if (devices_.in_channels != wanted.in_channels) devices_.set_input_channels(wanted.in_channels);
}

void AudioThread::sleep_until(Clock::time_point until) {
  const timespec due = monotonic(until);
  while (sem_clockwait(&wakeups_, CLOCK_MONOTONIC, &due) != 0 && errno == EINTR) {
  }
}

// Takes the latest controls and the timeout timer's due time: a change
// reaches the chain whole here, at a pass boundary; a change of devices ends
// the cycle; quitting ends it too.
void AudioThread::process_messages() {
  const Clock::time_point now = Clock::now();
  if (timer_armed_ && now >= timer_due_) {
    timer_armed_ = false;
    control_.timeout = 1;
  }
  if (quit_.load()) control_.stopped = 1;
  if ((!devices_.wave_in || !devices_.wave_out) && now - cycle_started_ >= reopen_period)
    control_.stopped = 1;
  const Controls* const latest = controls_.take();
  if (latest == nullptr) return;
  apply_chain(latest->chain, seen_chain_, chain_);
  low_latency_ = latest->chain.low_latency;
  if (latest->transport.recording != transport_.recording ||
      latest->transport.playing != transport_.playing ||
      latest->transport.paused != transport_.paused ||
      latest->transport.plays != transport_.plays) {
    transport_stopped_ = false;
  }
  if (latest->transport.plays != transport_.plays) play_started_ = false;
  // A recording the window ended has been finished without the part of a
  // record block gathered since.
  if (latest->transport.recording != transport_.recording) record_filled_ = 0;
  transport_ = latest->transport;
  const DeviceControls& wanted = latest->devices;
  if (wanted.changes != devices_seen_.changes) control_.stopped = 1;
  if (wanted.input_releases != devices_seen_.input_releases)
    devices_.reports.release(audio::Direction::input);
  if (wanted.output_releases != devices_seen_.output_releases) {
    devices_.reports.release(audio::Direction::output);
  }
  devices_seen_ = wanted;
}

void AudioThread::wait_for_messages(std::chrono::milliseconds limit) {
  Clock::time_point until = Clock::now() + limit;
  if (timer_armed_) until = std::min(until, timer_due_);
  sleep_until(until);
  process_messages();
}

void AudioThread::wake() { sem_post(&wakeups_); }

void AudioThread::report(std::string_view caption, std::string_view text) {
  Report* const entry = reports_.claim();
  if (entry == nullptr) return;
  copy_text(caption, entry->caption);
  copy_text(text, entry->text);
  reports_.publish();
}

void AudioThread::enable_timeout_timer(bool enabled) {
  timer_armed_ = enabled;
  if (enabled) timer_due_ = Clock::now() + timeout_period;
}

void AudioThread::show_diagnostic(Diagnostic label, std::uint32_t value) {
  const auto index = static_cast<std::size_t>(label);
  diagnostics_[index] = value;
  diagnostics_written_ = static_cast<std::uint8_t>(diagnostics_written_ | (1u << index));
}

// The display takes the last samples_per_buffer samples of a pass; in
// low-latency mode, of every eighth.
void AudioThread::update_display() {
  publish_status();
  if (record_end_owed_) stop_transport();
  samples_since_snapshot_ += chain_.pass_samples();
  if (samples_since_snapshot_ < engine::samples_per_buffer) return;
  samples_since_snapshot_ = 0;
  PassSnapshot* const snapshot = passes_.claim();
  if (snapshot == nullptr) {
    passes_dropped_.fetch_add(1);
  } else {
    snapshot->raw_samples = chain_.raw_samples;
    snapshot->out_samples = chain_.out_samples;
    const std::span<const float> notched =
        chain_.auto_notch_on ? chain_.auto_notch.notched() : std::span<const float>{};
    snapshot->notched_count =
        static_cast<std::uint8_t>(std::min(notched.size(), snapshot->notched.size()));
    std::copy_n(notched.begin(), snapshot->notched_count, snapshot->notched.begin());
    snapshot->diagnostics = diagnostics_;
    snapshot->diagnostics_written = diagnostics_written_;
    passes_.publish();
  }
  diagnostics_written_ = 0;
}

void AudioThread::publish_status() {
  std::uint32_t bits = status_running;
  if (devices_.wave_in) bits |= status_input_open;
  if (devices_.wave_out) bits |= status_output_open;
  // The input buffer this pass collected came in full.
  for (const Diagnostic collected : {Diagnostic::byte_position_a, Diagnostic::byte_position_b}) {
    const auto index = static_cast<std::size_t>(collected);
    if ((diagnostics_written_ & (1u << index)) != 0 &&
        diagnostics_[index] == devices_.in_buffer_bytes) {
      bits |= status_input_delivering;
    }
  }
  status_bits_.store(bits);
}

bool AudioThread::paused() const { return transport_.paused; }

bool AudioThread::recording() const { return transport_.recording && !transport_stopped_; }

bool AudioThread::low_latency() const { return low_latency_; }

void AudioThread::drop_stale_plays() {
  PlayQueue& plays = files_.plays();
  while (const PlayEntry* entry = plays.front()) {
    if (entry->play == transport_.plays) return;
    plays.release();
    play_taken_ = 0;
  }
}

// A play counts from its first block: until the file thread has brought it,
// the passes go on with the live input, so that the play starts whole.
// The filters that adapt start afresh on it, as tonewell-filter's do:
// whatever they learnt from the radio, or from the passes between the
// window's clicks and the first block, is not the file's.
bool AudioThread::playing() {
  if (!transport_.playing || transport_stopped_) return false;
  if (!play_started_) {
    drop_stale_plays();
    play_started_ = files_.plays().front() != nullptr;
    if (play_started_) {
      chain_.noise_blanker.reset();
      engine::lms_reset(chain_.lms.weights, chain_.lms.taps, chain_.lms.power);
      chain_.auto_notch.reset();
      chain_.noise_reduction.reset();
    }
  }
  return play_started_;
}

// A pass takes its frames from the front block; shorter passes take a block
// in parts. A pass longer than what is left of the front block (the mode
// changed in the middle of one) starts at the next.
CycleHost::PlayBlock AudioThread::take_play_block(std::span<std::uint8_t> captured, int channels) {
  drop_stale_plays();
  PlayQueue& plays = files_.plays();
  const int frames = chain_.pass_samples();
  if (play_taken_ + frames > engine::samples_per_buffer && plays.front() != nullptr) {
    plays.release();
    play_taken_ = 0;
  }
  const PlayEntry* const entry = plays.front();
  if (entry == nullptr) return PlayBlock::late;
  if (entry->kind == PlayEntry::Kind::end) {
    plays.release();
    play_taken_ = 0;
    return PlayBlock::ended;
  }
  const std::size_t first = static_cast<std::size_t>(play_taken_) * entry->channels * 2;
  if (entry->channels == channels) {
    std::copy_n(entry->bytes.begin() + static_cast<std::ptrdiff_t>(first),
                std::min(captured.size(), static_cast<std::size_t>(frames) * channels * 2),
                captured.begin());
  } else {
    // The input changed its channels during the play: a mono block fills
    // both channels, a stereo block gives its left.
    for (int frame = 0; frame < frames; ++frame) {
      for (int channel = 0; channel < channels; ++channel) {
        const std::size_t to = (static_cast<std::size_t>(frame) * channels + channel) * 2;
        const std::size_t from = first + static_cast<std::size_t>(frame) * entry->channels * 2;
        captured[to] = entry->bytes[from];
        captured[to + 1] = entry->bytes[from + 1];
      }
    }
  }
  play_taken_ += frames;
  if (play_taken_ == engine::samples_per_buffer) {
    plays.release();
    play_taken_ = 0;
  }
  return PlayBlock::filled;
}

// Sent blocks go to the file thread a whole record block at a time; the
// last, shorter one of a play goes with its end.
void AudioThread::record_block(std::span<const std::uint8_t> block) {
  while (!block.empty()) {
    RecordEntry* const entry = files_.records().claim();
    // A file thread six seconds behind loses blocks rather than hold the
    // passes.
    if (entry == nullptr) return;
    entry->kind = RecordEntry::Kind::block;
    const std::size_t count = std::min(block.size(), entry->bytes.size() - record_filled_);
    std::copy_n(block.begin(), count,
                entry->bytes.begin() + static_cast<std::ptrdiff_t>(record_filled_));
    block = block.subspan(count);
    record_filled_ += count;
    entry->length = static_cast<std::uint16_t>(record_filled_);
    if (record_filled_ < entry->bytes.size()) return;
    files_.records().publish();
    record_filled_ = 0;
  }
}

// The play data is used up: playing and recording end here; the window's
// Stop follows once the file thread has written the blocks before.
void AudioThread::stop_transport() {
  transport_stopped_ = true;
  if (record_filled_ > 0) {
    files_.records().publish();
    record_filled_ = 0;
  }
  RecordEntry* const entry = files_.records().claim();
  record_end_owed_ = entry == nullptr;
  if (entry == nullptr) return;
  entry->kind = RecordEntry::Kind::end_of_play;
  files_.records().publish();
}

}  // namespace realtime
