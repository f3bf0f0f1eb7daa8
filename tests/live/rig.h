// The sound rig as the live tests use it: the program and the sound
// server's command-line clients as child processes, a recorder that reads a
// monitor source through a pipe, and a player.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/live/signal.h"

namespace live {

// Every stream of the tests: 16-bit mono at the program's rate.
inline constexpr int rate = 11025;

// The folder scripts/audio_rig made for its sound server, or nullopt when
// the tests run without the rig.
std::optional<std::string> rig_folder();

// A child process, ended and reaped when this goes.
class Child {
 public:
  // Starts program with arguments, in folder when one is given, with the
  // environment plus the variables given ("NAME=value"), standard input
  // from stdin_file when one is given and standard output into stdout_fd
  // when that is not -1.
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const std::filesystem::path& folder = {},
        const std::vector<std::string>& variables = {},
        const std::filesystem::path& stdin_file = {}, int stdout_fd = -1);
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

// Streams the sound server has open: lines of "pactl list short KIND" (KIND
// "sink-inputs" or "source-outputs").
int stream_count(const std::string& kind);

// Records a source with parec from construction until stop(). Small
// fragments (the default) make the arrival times follow the source closely;
// larger ones let the recording ride out a busy machine without losing
// samples of its own.
class Recorder {
 public:
  explicit Recorder(const std::string& source, int latency_ms = 10);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Samples received so far.
  std::size_t samples_so_far();
  // Ends the recording and returns it.
  std::vector<std::int16_t> stop();
  // When each read arrived; complete after stop().
  const std::vector<Arrival>& arrivals() const { return arrivals_; }

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

// Starts playing the samples into the sink and returns at once.
Child start_playing(const std::vector<std::int16_t>& samples, const std::string& sink,
                    const std::filesystem::path& work_folder);

// CPU time the process has used, user and system, from /proc/<pid>/stat.
std::optional<std::chrono::duration<double>> cpu_time(pid_t pid);

}  // namespace live
