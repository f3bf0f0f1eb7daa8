// tonewell-filter: the program's filter chain over a WAV file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "batch/batch_run.h"
#include "batch/chain.h"
#include "batch/options.h"
#include "batch/run.h"
#include "batch/stop_signals.h"
#include "batch/wave_filter.h"
#include "files/printable.h"

namespace {

// Inputs longer than this, in seconds of audio, show a progress bar.
constexpr double bar_after_seconds = 60.0;

void report(const std::string& message) {
  std::fprintf(stderr, "tonewell-filter: %s\n", message.c_str());
}

// One INPUT into OUTPUT, with a bar for inputs over a minute.
int run_one(const files::Settings& base, const batch::Options& options,
            const batch::StopSignals& stop) {
  if (const auto refusal = batch::output_refusal(options.inputs[0], options.output,
                                                 options.in_place, options.force)) {
    report(*refusal);
    return 1;
  }
  const auto chain = std::make_unique<engine::FilterChain>();
  design::Tuning tuning;
  batch::set_up_chain(base, options, tuning, *chain);

  bool show_bar = false;
  batch::ProgressPace pace(batch::ProgressPace::Clock::now());
  const auto planned = [&](const batch::RunPlan& plan) {
    show_bar = !options.quiet && ::isatty(STDERR_FILENO) == 1 && plan.known &&
               plan.seconds > bar_after_seconds;
  };
  const auto progress = [&](std::uint64_t written, std::uint64_t total) {
    if (!show_bar) return;
    const auto now = batch::ProgressPace::Clock::now();
    if (!pace.due(now, written, total)) return;
    const auto left = pace.seconds_left(now, written, total);
    std::fprintf(stderr, "\r%s\x1b[K", batch::progress_bar(written, total, left).c_str());
    if (written == total) std::fputc('\n', stderr);
  };
  if (const auto error = batch::filter_wave(*chain, options.inputs[0], options.output,
                                            options.channel, stop, {planned, progress, report})) {
    if (show_bar) std::fputc('\n', stderr);
    // Ended by a signal: the shell's status for it, without a message.
    if (const int signal = stop.received()) return 128 + signal;
    report(*error);
    return 1;
  }
  return 0;
}

// Several inputs into a folder, one line of progress for them all on a
// terminal; each failure on a line of its own.
int run_batch(const files::Settings& base, const batch::Options& options,
              const batch::StopSignals& stop) {
  struct stat folder {};
  if (::stat(options.output_dir->c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    std::fputs(batch::usage_error_text(
                   {"-o " + files::printable_name(*options.output_dir) + ": not a folder"})
                   .c_str(),
               stderr);
    return 2;
  }
  const bool show_bar = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  batch::ProgressPace pace(batch::ProgressPace::Clock::now());
  bool shown = false;
  const auto clear_bar = [&] {
    if (shown) std::fputs("\r\x1b[K", stderr);
    shown = false;
  };
  const auto progress = [&](const batch::BatchProgress& p) {
    if (!show_bar) return;
    const auto now = batch::ProgressPace::Clock::now();
    if (!pace.due(now, p.files_done, p.files)) return;
    shown = true;
    const std::string line = batch::batch_progress_line(p) +
                             batch::time_left(pace.seconds_left(now, p.written, p.total));
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    if (p.files_done == p.files) std::fputc('\n', stderr);
  };
  const auto tell = [&](const std::string& line) {
    clear_bar();
    report(line);
  };
  const unsigned workers =
      options.jobs ? static_cast<unsigned>(*options.jobs) : std::thread::hardware_concurrency();
  const std::size_t failed = batch::run_batch(base, options, workers, stop, {progress, tell, tell});
  if (const int signal = stop.received()) {
    clear_bar();
    return 128 + signal;
  }
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any descriptor is opened, so that none takes a closed stream's.
  const batch::ClosedStreams closed = batch::occupy_closed_streams();
  const batch::StopSignals stop;
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const batch::Command command = batch::parse_command_line(arguments);
  if (std::holds_alternative<batch::ShowHelp>(command)) {
    std::fwrite(batch::usage_text.data(), 1, batch::usage_text.size(), stdout);
    return 0;
  }
  if (std::holds_alternative<batch::ShowVersion>(command)) {
    std::puts("tonewell-filter " TONEWELL_VERSION);
    return 0;
  }
  if (const auto* usage = std::get_if<batch::UsageError>(&command)) {
    std::fputs(batch::usage_error_text(*usage).c_str(), stderr);
    return 2;
  }
  const auto& options = std::get<batch::Options>(command);
  if (closed.input && options.inputs[0] == "-") {
    report("standard input is closed");
    return 1;
  }
  if (closed.output && options.output == "-") {
    report("standard output is closed");
    return 1;
  }

  files::Settings base = files::start_settings();
  if (options.settings) {
    auto read = batch::read_settings_file(*options.settings);
    if (const auto* error = std::get_if<std::string>(&read)) {
      report(*error);
      return 1;
    }
    base = std::get<files::Settings>(read);
  }
  return options.output_dir ? run_batch(base, options, stop) : run_one(base, options, stop);
}
