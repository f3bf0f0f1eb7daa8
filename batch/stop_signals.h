// SIGINT and SIGTERM end a run of tonewell-filter between two steps rather
// than wherever they arrive, so that the run unwinds and removes what it
// was writing: they are held blocked, looked for between passes, and let
// through to wake only the waits on a pipe or FIFO.
#pragma once

#include <signal.h>

namespace batch {

class StopSignals {
 public:
  // Blocks SIGINT and SIGTERM in the calling thread and in the threads it
  // starts afterwards; either that was ignored when the program started
  // stays ignored. Make it before starting any thread.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The stop signal that has arrived, or 0.
  int received() const;

  enum class Wait { ready, timed_out, stopped };
  // Waits until `fd` is ready for `events` (poll's), at most `timeout_ms`
  // (-1: no limit), and returns early when a stop signal arrives (which
  // stays pending, so received() still tells it).
  Wait wait_for(int fd, short events, int timeout_ms) const;

 private:
  sigset_t held_;
  // Readable while a held signal is pending; never read, so the signal
  // stays pending.
  int pending_fd_ = -1;
};

}  // namespace batch
