// The sound rig as the live tests use it: the program and the sound
// server's command-line clients as child processes, a recorder that reads a
// monitor source through a pipe, a player, the server's stream events, and
// the busy processes the tests run beside the program.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/live/signal.h"

namespace live {

using Clock = std::chrono::steady_clock;

// Every stream of the tests: 16-bit mono at the program's rate.
inline constexpr int rate = 11025;

// The folder scripts/audio_rig made for its sound server, or nullopt when
// the tests run without the rig.
std::optional<std::string> rig_folder();

// The PID of the rig's sound server, from the file the rig keeps beside it.
std::optional<pid_t> server_pid();

// How a child process is started.
struct Spawn {
  std::filesystem::path folder;        // working folder; empty: this one
  std::vector<std::string> variables;  // "NAME=value", added to the environment
  std::filesystem::path stdin_file;    // empty: /dev/null
  int stdout_fd = -1;                  // -1: this process's
  int stderr_fd = -1;                  // -1: this process's
  // The rig's own clients (players, recorders) run at real-time priority
  // where the system allows it, so that a busy machine starves the program
  // under test, not the rig that judges it. Elsewhere they run as usual.
  bool rig_client = false;
};

// A child process, ended and reaped when this goes.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const Spawn& spawn = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Waits up to timeout for the exit; the exit status as waitpid tells it,
  // nullopt if still running.
  std::optional<int> wait_for(std::chrono::milliseconds timeout);
  // Sends the signal, waits up to timeout, then kills; the exit status.
  std::optional<int> stop(int signal, std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Runs a command to its end and returns its standard output; empty when it
// fails.
std::string output_of(const std::vector<std::string>& command);

// Runs a command to its end; whether it succeeded.
bool succeeds(const std::vector<std::string>& command);

// Streams the sound server has open: lines of "pactl list short KIND" (KIND
// "sink-inputs" or "source-outputs").
int stream_count(const std::string& kind);

// A line a child wrote, and when it arrived.
struct Line {
  Clock::time_point time;
  std::string text;
};

// Collects the lines a child writes to one of its outputs as they come.
class LineReader {
 public:
  // Starts the child with stdout (or, with from_stderr, stderr) into a pipe.
  LineReader(const std::string& program, const std::vector<std::string>& arguments, Spawn spawn,
             bool from_stderr);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  Child& child() { return *child_; }
  std::vector<Line> lines();
  // Waits up to timeout for a line that holds `text`; whether one came.
  bool wait_for_line(const std::string& text, std::chrono::milliseconds timeout);

 private:
  std::optional<Child> child_;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<Line> lines_;
};

// The program as a user runs it, in a folder that also holds its settings,
// its reports read from its standard error: every report box is also a line
// "tonewell: CAPTION: TEXT".
class Program {
 public:
  Program(const std::string& binary, const std::filesystem::path& folder);

  Child& child() { return output_.child(); }
  // The reports so far, "CAPTION: TEXT".
  std::vector<std::string> reports();

 private:
  LineReader output_;
};

// The reports whose text names the direction ("input" or "output", in any
// case).
int reports_of(const std::vector<std::string>& reports, const std::string& direction);

// The sound server's stream events ("pactl subscribe") from construction on.
class StreamEvents {
 public:
  StreamEvents();

  // Streams of `kind` ("sink-input" or "source-output") opened at or after
  // `since` that stayed open at least 250 ms: the devices a program opened.
  // A program's probes of a device open and close a stream within a few
  // milliseconds and are left out, with room for a late reader.
  int openings(const std::string& kind, Clock::time_point since = {});

 private:
  LineReader events_;
};

// Records a source with parec from construction until stop(), as a rig
// client. Small fragments make the arrival times follow the source closely.
class Recorder {
 public:
  explicit Recorder(const std::string& source, int latency_ms = 10);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Samples received so far, and a copy of them.
  std::size_t samples_so_far();
  std::vector<std::int16_t> so_far();
  // Ends the recording and returns it.
  std::vector<std::int16_t> stop();
  // When each read arrived; complete after stop().
  const std::vector<Arrival>& arrivals() const { return arrivals_; }
  // When the sample with this index arrived; nullopt past the end. Valid
  // after stop().
  std::optional<Clock::time_point> arrival_of(std::size_t sample) const;

 private:
  void read_all(int fd);

  std::optional<Child> child_;
  std::thread reader_;
  std::mutex mutex_;
  std::vector<std::uint8_t> bytes_;
  std::vector<Arrival> arrivals_;
};

// Plays the samples into the sink through pacat and returns once they have
// been played out; false when pacat fails. work_folder keeps the stream's
// file.
bool play(const std::vector<std::int16_t>& samples, const std::string& sink,
          const std::filesystem::path& work_folder);

// Starts playing the samples into the sink and returns at once. Without
// latency_ms the player asks for the server's default latency, and the sink
// then renders in bursts of up to two seconds.
Child start_playing(const std::vector<std::int16_t>& samples, const std::string& sink,
                    const std::filesystem::path& work_folder, std::optional<int> latency_ms = 40);

// The tone the program tests play, and what comes out with every filter
// off and the gain bars at their start positions (fine 25 x coarse 0.1).
constexpr double kGain = 2.5;
constexpr double kToneFrequency = 1000.0;
constexpr double kInputAmplitude = 4000.0;
constexpr std::size_t kWindow = rate / 100;  // 10 ms

// Prints a measured figure where the test log shows it and keeps it in the
// test's XML record.
inline void report(const std::string& name, double value, const std::string& unit) {
  ::testing::Test::RecordProperty(name, std::to_string(value));
  std::cout << "Live figure: " << name << " = " << value << " " << unit << std::endl;
}

// The share of a core the program may use for a limit set for the release
// build: a build under AddressSanitizer does the same work at a higher cost
// (measured at -O1: 1.3 times with every filter off, 1.8 with every
// filter on).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr double cpu_cost_factor = 2.0;
#else
inline constexpr double cpu_cost_factor = 1.0;
#endif

// What the rig itself achieves now, for the limits that are times: a busy
// machine slows the sound server and every client as much as the program.
//   A fresh capture client's first data: how long a parec on
// radio_in.monitor waits for its first samples (0.7 to 1 s on an idle rig).
double fresh_capture_seconds();
// A limit set for an idle rig, whose fresh capture clients wait up to a
// second for their first data, plus whatever the rig now waits beyond that.
inline double allowing_rig(double limit_s, double fresh_capture_s) {
  return limit_s + std::max(0.0, fresh_capture_s - 1.0);
}
//   A client's round trip: starting pactl, asking the server, and ending.
double client_round_trip_seconds();
//   The share of a core a thread at normal priority gets now: this thread
// spins for `over` and compares the CPU time it got with the time passed.
double normal_share(std::chrono::milliseconds over);
// A limit set for an idle machine on a program's own start-up, plus the wait
// a busy one adds to the `cpu_s` of work the program had done by then, when
// a thread at normal priority gets `share` of a core.
inline double allowing_machine(double limit_s, double cpu_s, double share) {
  return limit_s + cpu_s * (1.0 / std::max(share, 0.05) - 1.0);
}

// Tasks running or ready to run on the whole machine now, from
// /proc/loadavg: what the load average averages.
int runnable_tasks();

// CPU time the process has used, user and system, from /proc/<pid>/stat.
std::optional<std::chrono::duration<double>> cpu_time(pid_t pid);

// Tasks that keep running on the machine apart from the caller: the median
// of runnable_tasks() over a quarter of a second, less the one that reads.
int busy_elsewhere();

// A machine busier than it has cores, from construction until this goes:
// as many compilers as asked, compiling again and again, and CPU-bound
// processes at normal priority to make up `processes` with those that were
// already busy (busy_elsewhere()). A test then runs at the load it asks for
// whatever else the machine runs, and judges the program at that load.
class Load {
 public:
  explicit Load(int processes = 4, int compilers = 0);
  // The busy processes this started.
  int spinners() const { return static_cast<int>(spinners_.size()); }
  ~Load();
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;

 private:
  std::vector<std::unique_ptr<Child>> spinners_;
  std::vector<std::unique_ptr<Child>> compilers_;
};

// The index of the module that made the sink, from "pactl list short
// modules"; nullopt when there is none.
std::optional<std::string> module_of_sink(const std::string& sink);

// Moves the rig's players (pacat) to the sink: the server moves every
// stream on the old default sink to a new default, whatever sink the
// stream asked for. Whether every move succeeded.
bool return_players_to(const std::string& sink);

}  // namespace live
