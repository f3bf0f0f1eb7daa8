#include "batch/stop_signals.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace batch {

StopSignals::StopSignals() {
  sigemptyset(&held_);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {};
    if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
      sigaddset(&held_, signal);
    }
  }
  ::pthread_sigmask(SIG_BLOCK, &held_, nullptr);
  pending_fd_ = ::signalfd(-1, &held_, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals() {
  if (pending_fd_ >= 0) ::close(pending_fd_);
}

int StopSignals::received() const {
  sigset_t pending;
  if (::sigpending(&pending) != 0) return 0;
  for (const int signal : {SIGINT, SIGTERM}) {
    if (sigismember(&held_, signal) == 1 && sigismember(&pending, signal) == 1) return signal;
  }
  return 0;
}

StopSignals::Wait StopSignals::wait_for(int fd, short events, int timeout_ms) const {
  std::array<pollfd, 2> watched{{{fd, events, 0}, {pending_fd_, POLLIN, 0}}};
  const nfds_t count = pending_fd_ >= 0 ? 2 : 1;
  int ready = 0;
  do {
    ready = ::poll(watched.data(), count, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  if (received() != 0) return Wait::stopped;
  return ready == 0 ? Wait::timed_out : Wait::ready;
}

}  // namespace batch
