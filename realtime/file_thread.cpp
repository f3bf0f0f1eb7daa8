#include "realtime/file_thread.h"

#include <chrono>

#include "engine/filter_chain.h"

namespace realtime {
namespace {

// How often the thread looks at its queues while a file is recorded or
// played and nothing wakes it: well within a pass, so the play stays read
// ahead. With neither, it sleeps until woken: what a pass hands over then
// belongs to no file, and the window drains it before it creates one.
constexpr auto round_period = std::chrono::milliseconds(20);

}  // namespace

FileThread::FileThread(files::Transport& transport)
    : transport_(transport), thread_([this] { run(); }) {}

FileThread::~FileThread() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  woken_.notify_one();
  thread_.join();
}

void FileThread::set_play(std::uint32_t play, bool reading, int channels) {
  if (play != play_) play_ended_ = false;
  play_ = play;
  reading_ = reading;
  channels_ = channels;
}

void FileThread::drain_records() { write_records(); }

void FileThread::wake() {
  {
    const std::lock_guard lock(mutex_);
    wake_ = true;
  }
  woken_.notify_one();
}

void FileThread::run() {
  std::unique_lock lock(mutex_);
  while (!ending_) {
    write_records();
    read_ahead();
    const auto woken = [this] { return wake_ || ending_; };
    if (transport_.record_file_open || reading_) {
      woken_.wait_for(lock, round_period, woken);
    } else {
      woken_.wait(lock, woken);
    }
    wake_ = false;
  }
  write_records();
}

void FileThread::write_records() {
  while (const RecordEntry* entry = records_.front()) {
    if (entry->kind == RecordEntry::Kind::end_of_play) {
      events_.push({FileEvent::Kind::stop_transport});
    } else if (transport_.record_file_open) {
      // A block the file cannot take has finished and closed it: the
      // blocks after it find no file open.
      const files::RecordOutcome outcome =
          transport_.append_record_block(std::span(entry->bytes).first(entry->length));
      if (outcome != files::RecordOutcome::appended) {
        events_.push({FileEvent::Kind::record_stopped, outcome});
      }
    }
    records_.release();
  }
}

void FileThread::read_ahead() {
  if (!reading_ || play_ended_ || !transport_.play_file_open) return;
  while (PlayEntry* entry = plays_.claim()) {
    entry->play = play_;
    entry->channels = static_cast<std::uint8_t>(channels_);
    if (transport_.play_bytes_left <= 0) {
      entry->kind = PlayEntry::Kind::end;
      plays_.publish();
      play_ended_ = true;
      return;
    }
    entry->kind = PlayEntry::Kind::block;
    const std::size_t bytes = static_cast<std::size_t>(engine::samples_per_buffer) * channels_ * 2u;
    transport_.read_play_pass(std::span(entry->bytes).first(bytes), channels_,
                              engine::samples_per_buffer);
    plays_.publish();
  }
}

}  // namespace realtime
