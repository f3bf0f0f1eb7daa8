#include "tests/live/rig.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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

// A child ends with the test: a test killed by its time limit leaves no
// busy process, player or program behind, nor a pipe held open.
void die_with_parent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }

// The threads that read the rig's clients run at real-time priority where
// allowed too: the times they take down are when the data came.
void read_promptly() {
  sched_param priority{};
  priority.sched_priority = 5;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
}

// A pipe whose write end a child gets; a large one, so that a real-time
// writer never waits for this process's reader.
std::pair<int, int> output_pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
  return {fds[0], fds[1]};
}

}  // namespace

std::optional<std::string> rig_folder() {
  const char* folder = std::getenv("TONEWELL_AUDIO_RIG");
  if (folder == nullptr || *folder == '\0') return std::nullopt;
  return std::string(folder);
}

std::optional<pid_t> server_pid() {
  const auto folder = rig_folder();
  if (!folder) return std::nullopt;
  std::ifstream file(*folder + "/daemon.pid");
  pid_t pid = 0;
  if (!(file >> pid) || pid <= 0) return std::nullopt;
  return pid;
}

Child::Child(const std::string& program, const std::vector<std::string>& arguments,
             const Spawn& spawn) {
  std::vector<std::string> argument_strings{program};
  argument_strings.insert(argument_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argument_strings) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment_strings;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    environment_strings.emplace_back(*variable);
  }
  environment_strings.insert(environment_strings.end(), spawn.variables.begin(),
                             spawn.variables.end());
  std::vector<char*> envp;
  for (std::string& variable : environment_strings) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const char* stdin_path = spawn.stdin_file.empty() ? "/dev/null" : spawn.stdin_file.c_str();

  // Between fork and exec only calls that are safe in the child of a
  // threaded process. Real-time priority is asked for and done without
  // where the system refuses it.
  pid_ = fork();
  if (pid_ == -1) throw std::runtime_error("cannot fork for " + program);
  if (pid_ > 0) return;
  die_with_parent();
  if (!spawn.folder.empty() && chdir(spawn.folder.c_str()) != 0) _exit(127);
  const int input = open(stdin_path, O_RDONLY);
  if (input == -1 || dup2(input, STDIN_FILENO) == -1) _exit(127);
  if (spawn.stdout_fd != -1 && dup2(spawn.stdout_fd, STDOUT_FILENO) == -1) _exit(127);
  if (spawn.stderr_fd != -1 && dup2(spawn.stderr_fd, STDERR_FILENO) == -1) _exit(127);
  if (spawn.rig_client) {
    sched_param priority{};
    priority.sched_priority = 10;
    sched_setscheduler(0, SCHED_FIFO, &priority);
  }
  execvpe(program.c_str(), argv.data(), envp.data());
  _exit(127);
}

Child::~Child() { stop(SIGKILL, std::chrono::milliseconds(2000)); }

bool Child::running() { return !wait_for(std::chrono::milliseconds(0)); }

std::optional<int> Child::wait_for(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!status_) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      break;
    }
    if (Clock::now() >= deadline) break;
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
  const auto [reader, writer] = output_pipe();
  std::string output;
  {
    Spawn spawn;
    spawn.stdout_fd = writer;
    Child child(command.front(), {command.begin() + 1, command.end()}, spawn);
    close(writer);
    char buffer[4096];
    ssize_t got;
    while ((got = read(reader, buffer, sizeof buffer)) > 0) {
      output.append(buffer, static_cast<std::size_t>(got));
    }
    close(reader);
    const auto status = child.wait_for(std::chrono::milliseconds(10000));
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return {};
  }
  return output;
}

bool succeeds(const std::vector<std::string>& command) {
  Child child(command.front(), {command.begin() + 1, command.end()});
  const auto status = child.wait_for(std::chrono::milliseconds(10000));
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

int stream_count(const std::string& kind) {
  std::istringstream lines(output_of({"pactl", "list", "short", kind}));
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) ++count;
  }
  return count;
}

LineReader::LineReader(const std::string& program, const std::vector<std::string>& arguments,
                       Spawn spawn, bool from_stderr) {
  const auto [reader, writer] = output_pipe();
  (from_stderr ? spawn.stderr_fd : spawn.stdout_fd) = writer;
  child_.emplace(program, arguments, spawn);
  close(writer);
  reader_ = std::thread([this, fd = reader] {
    read_promptly();
    std::string pending;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
      const auto now = Clock::now();
      pending.append(buffer, static_cast<std::size_t>(got));
      std::lock_guard lock(mutex_);
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        lines_.push_back({now, pending.substr(0, end)});
        pending.erase(0, end + 1);
      }
    }
    close(fd);
  });
}

LineReader::~LineReader() {
  child_->stop(SIGTERM, std::chrono::milliseconds(3000));
  reader_.join();
}

std::vector<Line> LineReader::lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool LineReader::wait_for_line(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    for (const Line& line : lines()) {
      if (line.text.find(text) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

namespace {

Spawn in_folder(const std::filesystem::path& folder) {
  Spawn spawn;
  spawn.folder = folder;
  spawn.variables = {"QT_QPA_PLATFORM=offscreen"};
  return spawn;
}

}  // namespace

Program::Program(const std::string& binary, const std::filesystem::path& folder)
    : output_(binary, {"--config", folder.string()}, in_folder(folder), true) {}

std::vector<std::string> Program::reports() {
  const std::string prefix = "tonewell: ";
  std::vector<std::string> reports;
  for (const Line& line : output_.lines()) {
    if (line.text.starts_with(prefix)) reports.push_back(line.text.substr(prefix.size()));
  }
  return reports;
}

int reports_of(const std::vector<std::string>& reports, const std::string& direction) {
  int count = 0;
  for (std::string report : reports) {
    for (char& c : report) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (report.find(direction) != std::string::npos) ++count;
  }
  return count;
}

StreamEvents::StreamEvents() : events_("pactl", {"subscribe"}, {}, false) {
  // The subscription is in place once the server has answered the client.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

int StreamEvents::openings(const std::string& kind, Clock::time_point since) {
  const auto lines = events_.lines();
  const auto event = [&kind](const std::string& text,
                             const char* what) -> std::optional<std::string> {
    const std::string head = std::string("Event '") + what + "' on " + kind + " #";
    if (!text.starts_with(head)) return std::nullopt;
    return text.substr(head.size());
  };
  int count = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto opened = event(lines[i].text, "new");
    if (!opened || lines[i].time < since) continue;
    auto closed_at = Clock::now();
    for (std::size_t j = i + 1; j < lines.size(); ++j) {
      if (event(lines[j].text, "remove") == opened) {
        closed_at = lines[j].time;
        break;
      }
    }
    if (closed_at - lines[i].time >= std::chrono::milliseconds(250)) ++count;
  }
  return count;
}

Recorder::Recorder(const std::string& source, int latency_ms) {
  const auto [reader, writer] = output_pipe();
  std::vector<std::string> arguments{"-d", source, "--latency-msec=" + std::to_string(latency_ms)};
  const auto options = raw_stream_options();
  arguments.insert(arguments.end(), options.begin(), options.end());
  Spawn spawn;
  spawn.stdout_fd = writer;
  spawn.rig_client = true;
  child_.emplace("parec", arguments, spawn);
  close(writer);
  reader_ = std::thread([this, fd = reader] { read_all(fd); });
}

Recorder::~Recorder() { stop(); }

double fresh_capture_seconds() {
  const auto start = Clock::now();
  Recorder probe("radio_in.monitor");
  while (probe.samples_so_far() == 0 && Clock::now() - start < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double client_round_trip_seconds() {
  const auto start = Clock::now();
  output_of({"pactl", "info"});
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double normal_share(std::chrono::milliseconds over) {
  const auto thread_cpu = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
  };
  const double cpu_before = thread_cpu();
  const auto start = Clock::now();
  while (Clock::now() - start < over) {
  }
  return (thread_cpu() - cpu_before) / std::chrono::duration<double>(Clock::now() - start).count();
}

void Recorder::read_all(int fd) {
  read_promptly();
  std::uint8_t buffer[8192];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) {
    const auto now = Clock::now();
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

std::vector<std::int16_t> Recorder::so_far() {
  std::lock_guard lock(mutex_);
  std::vector<std::int16_t> samples(bytes_.size() / sizeof(std::int16_t));
  if (!samples.empty())
    std::memcpy(samples.data(), bytes_.data(), samples.size() * sizeof(std::int16_t));
  return samples;
}

std::vector<std::int16_t> Recorder::stop() {
  if (child_) child_->stop(SIGTERM, std::chrono::milliseconds(3000));
  if (reader_.joinable()) reader_.join();
  return so_far();
}

std::optional<Clock::time_point> Recorder::arrival_of(std::size_t sample) const {
  for (const Arrival& arrival : arrivals_) {
    if (arrival.samples_so_far > sample) return arrival.time;
  }
  return std::nullopt;
}

Child start_playing(const std::vector<std::int16_t>& samples, const std::string& sink,
                    const std::filesystem::path& work_folder, std::optional<int> latency_ms) {
  // A player that asks for a short latency keeps the null sink rendering,
  // and so the program capturing, in short blocks; 40 ms lets a real-time
  // player keep ahead on a busy machine.
  std::vector<std::string> arguments{"--playback", "-d", sink};
  if (latency_ms) arguments.push_back("--latency-msec=" + std::to_string(*latency_ms));
  const auto options = raw_stream_options();
  arguments.insert(arguments.end(), options.begin(), options.end());
  Spawn spawn;
  spawn.stdin_file = write_stream(samples, work_folder);
  spawn.rig_client = true;
  return Child("pacat", arguments, spawn);
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

int runnable_tasks() {
  std::ifstream file("/proc/loadavg");
  double averages[3];
  int runnable = 0;
  file >> averages[0] >> averages[1] >> averages[2] >> runnable;
  return runnable;
}

int busy_elsewhere() {
  std::vector<int> counts;
  for (int i = 0; i < 25; ++i) {
    counts.push_back(runnable_tasks());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::nth_element(counts.begin(), counts.begin() + 12, counts.end());
  return std::max(0, counts[12] - 1);
}

Load::Load(int processes, int compilers) {
  const int wanted = processes - busy_elsewhere();
  for (int i = 0; i < wanted; ++i) {
    spinners_.push_back(
        std::make_unique<Child>("sh", std::vector<std::string>{"-c", "while :; do :; done"}));
  }
  // A build's work: the compiler the project is built with, on a source
  // with heavy headers, over and over.
  const std::string compile =
      "while :; do printf '#include <regex>\\n#include <iostream>\\nint main() { std::regex "
      "r(\"a+b\"); "
      "std::cout << std::regex_match(\"aab\", r); }\\n' | g++ -O2 -x c++ -c -o /dev/null -; done";
  // Each in a process group of its own, which goes whole.
  for (int i = 0; i < compilers; ++i) {
    compilers_.push_back(
        std::make_unique<Child>("setsid", std::vector<std::string>{"sh", "-c", compile}));
  }
}

Load::~Load() {
  for (const auto& compiler : compilers_) ::kill(-compiler->pid(), SIGKILL);
}

std::optional<std::string> module_of_sink(const std::string& sink) {
  std::istringstream lines(output_of({"pactl", "list", "short", "modules"}));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string index;
    words >> index;
    for (std::string word; words >> word;) {
      if (word == "sink_name=" + sink) return index;
    }
  }
  return std::nullopt;
}

bool return_players_to(const std::string& sink) {
  std::istringstream clients(output_of({"pactl", "list", "short", "clients"}));
  std::vector<std::string> players;
  for (std::string line; std::getline(clients, line);) {
    std::istringstream fields(line);
    std::string index, driver, name;
    if (fields >> index >> driver >> name && name == "pacat") players.push_back(index);
  }
  std::istringstream inputs(output_of({"pactl", "list", "short", "sink-inputs"}));
  bool moved = true;
  for (std::string line; std::getline(inputs, line);) {
    std::istringstream fields(line);
    std::string index, on_sink, client;
    if (fields >> index >> on_sink >> client &&
        std::find(players.begin(), players.end(), client) != players.end()) {
      moved = succeeds({"pactl", "move-sink-input", index, sink}) && moved;
    }
  }
  return moved;
}

}  // namespace live
