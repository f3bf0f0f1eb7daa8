// Real-time scheduling of a thread, checked against what the kernel reports
// afterwards, whichever way this machine grants it.
#include "audio/priority.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace audio {
namespace {

// What the calling thread has after make_realtime(10). Plain data, so that a
// child process can send it through a pipe.
struct Measured {
  PriorityKind kind;
  int granted;
  int policy;
  int priority;
  rlimit rttime;
  std::chrono::steady_clock::duration took;
  char note[512];
};

Measured make_realtime_and_measure() {
  Measured measured{};
  const auto start = std::chrono::steady_clock::now();
  const PriorityOutcome outcome = make_realtime(10);
  measured.took = std::chrono::steady_clock::now() - start;
  measured.kind = outcome.kind;
  measured.granted = outcome.priority;
  measured.policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  sched_param parameters{};
  sched_getparam(0, &parameters);
  measured.priority = parameters.sched_priority;
  getrlimit(RLIMIT_RTTIME, &measured.rttime);
  std::strncpy(measured.note, outcome.note.c_str(), sizeof measured.note - 1);
  return measured;
}

// The thread is at the scheduling the outcome names, and a real-time one is
// bounded by RLIMIT_RTTIME with SIGXCPU before SIGKILL.
void expect_as_reported(const Measured& measured) {
  const std::string note = measured.note;
  if (measured.kind == PriorityKind::normal) {
    EXPECT_EQ(measured.policy, SCHED_OTHER);
    EXPECT_EQ(note.rfind("tonewell: the audio thread runs at normal priority: ", 0), 0u) << note;
    EXPECT_EQ(note.find('\n'), std::string::npos) << note;
    return;
  }
  EXPECT_EQ(measured.policy, SCHED_FIFO);
  EXPECT_EQ(measured.priority, measured.granted);
  EXPECT_TRUE(note.empty()) << note;
  EXPECT_LE(measured.rttime.rlim_max, rttime_ceiling_us);
  EXPECT_LT(measured.rttime.rlim_cur, measured.rttime.rlim_max);
}

TEST(MakeRealtime, GivesTheCallingThreadWhatTheMachineAllows) {
  Measured measured{};
  std::thread([&] { measured = make_realtime_and_measure(); }).join();
  expect_as_reported(measured);
  if (measured.kind == PriorityKind::fifo) {
    EXPECT_EQ(measured.priority, 10);
  }
  // Only the calling thread changes.
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
}

// Without CAP_SYS_NICE and with RLIMIT_RTPRIO 0 SCHED_FIFO is refused; rtkit
// grants it or the thread stays normal, within the D-Bus deadline either way.
TEST(MakeRealtime, UnprivilegedFallsThroughToRtkitOrNormal) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    const rlimit no_rtprio{0, 0};
    const gid_t nogroup = 65534;
    // Root leaves its capabilities behind as the unprivileged user.
    const bool dropped = setrlimit(RLIMIT_RTPRIO, &no_rtprio) == 0 &&
                         (geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(nogroup) == 0 &&
                                             setuid(65534) == 0));
    if (!dropped) _exit(2);
    const Measured measured = make_realtime_and_measure();
    _exit(write(channel[1], &measured, sizeof measured) == sizeof measured ? 0 : 3);
  }
  close(channel[1]);
  Measured measured{};
  const auto got = read(channel[0], &measured, sizeof measured);
  close(channel[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof measured));

  EXPECT_NE(measured.kind, PriorityKind::fifo);
  expect_as_reported(measured);
  EXPECT_LT(measured.took, std::chrono::seconds(1));
}

TEST(RttimeLimit, LowersToTheCeilingWithRoomForSigxcpuAndNeverRaises) {
  const struct {
    rlimit current;
    rlim_t ceiling;
    rlimit expected;
  } cases[] = {
      {{RLIM_INFINITY, RLIM_INFINITY}, rttime_ceiling_us, {200'000, 250'000}},
      {{RLIM_INFINITY, RLIM_INFINITY}, 200'000, {160'000, 200'000}},  // rtkit's default
      {{RLIM_INFINITY, 100'000}, rttime_ceiling_us, {80'000, 100'000}},
      {{50'000, 100'000}, rttime_ceiling_us, {50'000, 100'000}},
  };
  for (const auto& c : cases) {
    const rlimit limit = rttime_limit(c.current, c.ceiling);
    EXPECT_EQ(limit.rlim_cur, c.expected.rlim_cur) << c.current.rlim_max << " " << c.ceiling;
    EXPECT_EQ(limit.rlim_max, c.expected.rlim_max) << c.current.rlim_max << " " << c.ceiling;
  }
}

}  // namespace
}  // namespace audio
