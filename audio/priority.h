// Real-time scheduling for the audio thread. Called once when the thread
// starts, never in its processing loop: it allocates and may wait briefly on
// the D-Bus system bus.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <string_view>

namespace audio {

enum class PriorityKind { fifo, rtkit, normal };

struct PriorityOutcome {
  PriorityKind kind = PriorityKind::normal;
  int priority = 0;  // the SCHED_FIFO priority granted; 0 at normal priority
  std::string note;  // one line for standard error when the thread stays normal
};

// Asks for SCHED_FIFO at `priority` (1..99) for the thread `thread` of this
// process (0: the calling thread): directly
// where RLIMIT_RTPRIO or CAP_SYS_NICE allows it, otherwise through rtkit on
// the system bus (at most its MaxRealtimePriority). Before either, lowers
// RLIMIT_RTTIME so that a thread that spins without blocking gets SIGXCPU and
// then SIGKILL instead of freezing the machine. When neither is granted the
// thread stays at normal priority and `note` says why.
PriorityOutcome make_realtime(int priority, pid_t thread = 0);

// Makes every thread of this process named `name` SCHED_FIFO at `priority`,
// as make_realtime does; those it cannot raise stay as they are.
void make_threads_realtime(std::string_view name, int priority);

// "SCHED_FIFO 10", "SCHED_FIFO 10 through rtkit" or "normal".
std::string describe(const PriorityOutcome& outcome);

// The RLIMIT_RTTIME to set given the current one and a ceiling for the hard
// limit: the hard limit at most `ceiling_us`, the soft one at most four fifths
// of the hard, so SIGXCPU comes before SIGKILL. Never raises either limit,
// which an unprivileged process could not undo.
rlimit rttime_limit(const rlimit& current, rlim_t ceiling_us);

// The ceiling for a thread made real-time directly: 250 ms of CPU without a
// blocking call, the soft limit 200 ms.
inline constexpr rlim_t rttime_ceiling_us = 250'000;

}  // namespace audio
