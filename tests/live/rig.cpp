#include "tests/live/rig.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace live {

namespace {

std::vector<std::string> raw_stream_options() {
  return {"--raw", "--format=s16le", "--rate=" + std::to_string(rate), "--channels=1"};
}

std::filesystem::path write_stream(const std::vector<std::int16_t>& samples,
                                   const std::filesystem::path& work_folder) {
  static int written = 0;
  const auto path = work_folder / ("stream" + std::to_string(++written) + ".raw");
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(samples.data()),
             static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t)));
  return path;
}

}  // namespace

std::optional<std::string> rig_folder() {
  const char* folder = std::getenv("TONEWELL_AUDIO_RIG");
  if (folder == nullptr || *folder == '\0') return std::nullopt;
  return std::string(folder);
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments,
             const std::filesystem::path& folder, const std::vector<std::string>& variables,
             const std::filesystem::path& stdin_file, int stdout_fd) {
  std::vector<std::string> argument_strings{program};
  argument_strings.insert(argument_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argument_strings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment_strings;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    environment_strings.emplace_back(*variable);
  }
  environment_strings.insert(environment_strings.end(), variables.begin(), variables.end());
  std::vector<char*> envp;
  for (std::string& variable : environment_strings) envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  if (!stdin_file.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, stdin_file.c_str(), O_RDONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (stdout_fd != -1) posix_spawn_file_actions_adddup2(&actions, stdout_fd, STDOUT_FILENO);
  const int error = posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
  }
}

Child::~Child() { stop(SIGKILL, std::chrono::milliseconds(2000)); }

bool Child::running() { return !wait_for(std::chrono::milliseconds(0)); }

std::optional<int> Child::wait_for(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

std::optional<int> Child::stop(int signal, std::chrono::milliseconds timeout) {
  if (status_) return status_;
  ::kill(pid_, signal);
  if (!wait_for(timeout)) {
    ::kill(pid_, SIGKILL);
    wait_for(std::chrono::milliseconds(5000));
  }
  return status_;
}

std::string output_of(const std::vector<std::string>& command) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return {};
  std::string output;
  {
    Child child(command.front(), {command.begin() + 1, command.end()}, {}, {}, {}, pipe_fds[1]);
    close(pipe_fds[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipe_fds[0]);
    const auto status = child.wait_for(std::chrono::milliseconds(10000));
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return {};
  }
  return output;
}

int stream_count(const std::string& kind) {
  std::istringstream lines(output_of({"pactl", "list", "short", kind}));
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) ++count;
  }
  return count;
}

Recorder::Recorder(const std::string& source, int latency_ms) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the recorder");
  std::vector<std::string> arguments{"-d", source,
                                     "--latency-msec=" + std::to_string(latency_ms)};
  const auto options = raw_stream_options();
  arguments.insert(arguments.end(), options.begin(), options.end());
  child_.emplace("parec", arguments, std::filesystem::path{}, std::vector<std::string>{},
                 std::filesystem::path{}, pipe_fds[1]);
  close(pipe_fds[1]);
  reader_ = std::thread([this, fd = pipe_fds[0]] { read_all(fd); });
}

Recorder::~Recorder() { stop(); }

void Recorder::read_all(int fd) {
  std::uint8_t buffer[8192];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), buffer, buffer + got);
    arrivals_.push_back({now, bytes_.size() / sizeof(std::int16_t)});
  }
  close(fd);
}

std::size_t Recorder::samples_so_far() {
  std::lock_guard lock(mutex_);
  return bytes_.size() / sizeof(std::int16_t);
}

std::vector<std::int16_t> Recorder::stop() {
  if (child_) child_->stop(SIGTERM, std::chrono::milliseconds(3000));
  if (reader_.joinable()) reader_.join();
  std::vector<std::int16_t> samples(bytes_.size() / sizeof(std::int16_t));
  std::memcpy(samples.data(), bytes_.data(), samples.size() * sizeof(std::int16_t));
  return samples;
}

Child start_playing(const std::vector<std::int16_t>& samples, const std::string& sink,
                    const std::filesystem::path& work_folder) {
  // Small fragments here too: a player asking for the server's default
  // latency makes the null sink render, and so the program capture, in
  // bursts of half a second.
  std::vector<std::string> arguments{"--playback", "-d", sink, "--latency-msec=10"};
  const auto options = raw_stream_options();
  arguments.insert(arguments.end(), options.begin(), options.end());
  return Child("pacat", arguments, {}, {}, write_stream(samples, work_folder));
}

bool play(const std::vector<std::int16_t>& samples, const std::string& sink,
          const std::filesystem::path& work_folder) {
  Child player = start_playing(samples, sink, work_folder);
  const auto playing = std::chrono::duration<double>(static_cast<double>(samples.size()) / rate);
  const auto status = player.wait_for(
      std::chrono::duration_cast<std::chrono::milliseconds>(playing) + std::chrono::seconds(10));
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

std::optional<std::chrono::duration<double>> cpu_time(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold spaces; the fields after it
  // are plain. utime and stime are fields 14 and 15, the 12th and 13th
  // after the name.
  const auto name_end = stat.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(name_end + 1));
  std::string field;
  for (int skipped = 0; skipped < 11; ++skipped) fields >> field;
  unsigned long long user = 0, system = 0;
  if (!(fields >> user >> system)) return std::nullopt;
  return std::chrono::duration<double>(static_cast<double>(user + system) /
                                       static_cast<double>(sysconf(_SC_CLK_TCK)));
}

}  // namespace live
