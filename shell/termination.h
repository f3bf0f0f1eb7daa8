// SIGTERM and SIGINT act as the Quit command: the signal is passed to the
// window thread, which runs `quit` from its message loop (or from the pump of
// a running cycle).
#pragma once

#include <functional>

class QObject;

namespace shell {

void quit_on_termination_signals(QObject* owner, std::function<void()> quit);

}  // namespace shell
