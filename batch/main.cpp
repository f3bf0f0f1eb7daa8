// tonewell-filter: the program's filter chain over a WAV file.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "batch/chain.h"
#include "batch/options.h"
#include "batch/run.h"
#include "batch/stop_signals.h"
#include "batch/wave_filter.h"

namespace {

// Inputs longer than this, in seconds of audio, show a progress bar.
constexpr double bar_after_seconds = 60.0;

void report(const std::string& message) {
  std::fprintf(stderr, "tonewell-filter: %s\n", message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
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

  files::Settings base = files::start_settings();
  if (options.settings) {
    auto read = batch::read_settings_file(*options.settings);
    if (const auto* error = std::get_if<std::string>(&read)) {
      report(*error);
      return 1;
    }
    base = std::get<files::Settings>(read);
  }
  const auto chain = std::make_unique<engine::FilterChain>();
  design::Tuning tuning;
  batch::set_up_chain(base, options, tuning, *chain);

  bool show_bar = false;
  std::uint64_t shown = ~std::uint64_t{0};
  const auto planned = [&](const batch::RunPlan& plan) {
    show_bar = !options.quiet && ::isatty(STDERR_FILENO) == 1 && plan.known &&
               plan.seconds > bar_after_seconds;
  };
  const auto progress = [&](std::uint64_t written, std::uint64_t total) {
    if (!show_bar) return;
    // Redrawn at each whole per mille.
    const std::uint64_t step = written * 1000 / total;
    if (step == shown) return;
    shown = step;
    std::fprintf(stderr, "\r%s", batch::progress_bar(written, total).c_str());
    if (written == total) std::fputc('\n', stderr);
  };
  if (const auto error = batch::filter_wave(*chain, options.input, options.output,
                                            options.channel, stop, {planned, progress, report})) {
    if (show_bar) std::fputc('\n', stderr);
    // Ended by a signal: the shell's status for it, without a message.
    if (const int signal = stop.received()) return 128 + signal;
    report(*error);
    return 1;
  }
  return 0;
}
