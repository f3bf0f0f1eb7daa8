#include "shell/termination.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "shell/toolkit.h"

namespace shell {
namespace {

// The signal handler's end of the pipe to the window thread.
int signal_writer = -1;

void on_signal(int) {
  const char byte = 1;
  // Nothing can be done from a signal handler if the write fails; the
  // notifier then simply does not fire.
  [[maybe_unused]] const ssize_t written = ::write(signal_writer, &byte, 1);
}

}  // namespace

void quit_on_termination_signals(QObject* owner, std::function<void()> quit) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
  signal_writer = ends[0];
  auto* notifier = new QSocketNotifier(ends[1], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner,
                   [notifier, reader = ends[1], quit] {
                     char byte;
                     [[maybe_unused]] const ssize_t read = ::read(reader, &byte, 1);
                     notifier->setEnabled(false);
                     ending_on_signal = true;
                     quit();
                   });

  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace shell
