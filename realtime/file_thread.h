// The thread that makes the transport's file calls for the audio thread: it
// appends the blocks the passes send to the record file and reads the play
// file ahead into blocks the passes take. The window's own transport calls
// (open, create, finish, close, the buttons' flags) take the same mutex;
// the audio thread never does, and never waits on this thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "files/transport.h"
#include "realtime/spsc.h"

namespace realtime {

// Bytes of a recorded block: 1024 16-bit mono samples, one pass or eight.
inline constexpr std::size_t record_block_bytes = 2048;
// Bytes of a play block: one pass of 16-bit frames, up to two channels.
inline constexpr std::size_t play_block_bytes = 4096;

// Blocks sent to the output for the record file, `length` bytes of them, or
// the sign that the play data is used up: the transport stops once the
// blocks before it are written.
struct RecordEntry {
  enum class Kind : std::uint8_t { block, end_of_play } kind = Kind::block;
  std::uint16_t length = record_block_bytes;
  std::array<std::uint8_t, record_block_bytes> bytes{};
};

// The play's next block in the layout of an input of `channels` channels,
// or the sign that the play data is used up; `play` numbers the play it
// belongs to.
struct PlayEntry {
  enum class Kind : std::uint8_t { block, end } kind = Kind::block;
  std::uint8_t channels = 1;
  std::uint32_t play = 0;
  std::array<std::uint8_t, play_block_bytes> bytes{};
};

// What the window must do for the file thread.
struct FileEvent {
  enum class Kind : std::uint8_t {
    stop_transport,  // the play data is used up and recorded: Stop
    record_stopped,  // a block could not be appended: Stop, with the report
  } kind = Kind::stop_transport;
  files::RecordOutcome outcome = files::RecordOutcome::appended;
};

// Blocks in flight each way: about six seconds of recording, and three
// quarters of a second of play read ahead.
using RecordQueue = SpscQueue<RecordEntry, 64>;
using PlayQueue = SpscQueue<PlayEntry, 8>;
using FileEvents = SpscQueue<FileEvent, 16>;

class FileThread {
 public:
  // Over the window's transport, which must outlive it. Starts the thread.
  explicit FileThread(files::Transport& transport);
  // Writes what is queued for the record file, then ends the thread.
  ~FileThread();
  FileThread(const FileThread&) = delete;
  FileThread& operator=(const FileThread&) = delete;

  // Held by the window around its own transport calls.
  std::mutex& mutex() { return mutex_; }

  // Window, holding mutex(): the play now wanted, numbered `play` (a new
  // number reads from the play file's current place), its blocks in the
  // layout of `channels` channels; nothing is read while `reading` is
  // false.
  void set_play(std::uint32_t play, bool reading, int channels);

  // Window, holding mutex(): writes what the audio thread has queued for
  // the record file now, as Stop and Quit do before they finish it.
  void drain_records();

  // Audio thread: the queues to and from this thread.
  RecordQueue& records() { return records_; }
  PlayQueue& plays() { return plays_; }
  // Window: what it must do, in order.
  FileEvents& events() { return events_; }

  // Wakes the thread to work now rather than at its next round.
  void wake();

 private:
  void run();
  // Holding mutex_.
  void write_records();
  void read_ahead();

  files::Transport& transport_;
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;
  bool ending_ = false;
  std::uint32_t play_ = 0;
  bool reading_ = false;
  int channels_ = 1;
  bool play_ended_ = false;  // the end of play_ has been queued
  RecordQueue records_;
  PlayQueue plays_;
  FileEvents events_;
  std::thread thread_;
};

}  // namespace realtime
