#include "batch/batch_run.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "batch/chain.h"
#include "batch/run.h"
#include "files/printable.h"

namespace batch {
namespace {

// The state the workers share, behind one lock.
class Tally {
 public:
  // The regular files' lengths count from the start, the others' once
  // their runs know them.
  Tally(const std::vector<std::string>& inputs, const BatchHooks& hooks)
      : hooks_(hooks), written_(inputs.size()), counted_(inputs.size()) {
    state_.files = inputs.size();
    for (std::size_t job = 0; job < inputs.size(); ++job) {
      const std::optional<std::uint64_t> samples = planned_samples(inputs[job]);
      state_.total += samples.value_or(0);
      counted_[job] = samples.has_value();
    }
  }

  void planned(std::size_t job, const RunPlan& plan) {
    const std::scoped_lock lock(mutex_);
    if (plan.known && !counted_[job]) state_.total += plan.output_samples;
    counted_[job] = true;
  }

  void progressed(std::size_t job, std::uint64_t written) {
    const std::scoped_lock lock(mutex_);
    state_.written += written - written_[job];
    written_[job] = written;
    if (hooks_.progress) hooks_.progress(state_);
  }

  void done(const std::optional<std::string>& failure, bool stopped) {
    const std::scoped_lock lock(mutex_);
    ++state_.files_done;
    if (failure) {
      ++failures_;
      if (!stopped && hooks_.failed) hooks_.failed(*failure);
    }
    if (hooks_.progress) hooks_.progress(state_);
  }

  void notice(const std::string& line) {
    const std::scoped_lock lock(mutex_);
    if (hooks_.notice) hooks_.notice(line);
  }

  std::size_t failures() const { return failures_; }

 private:
  const BatchHooks& hooks_;
  std::mutex mutex_;
  BatchProgress state_;
  std::vector<std::uint64_t> written_;  // by job
  std::vector<bool> counted_;           // by job: its length is in the total
  std::size_t failures_ = 0;
};

}  // namespace

std::size_t run_batch(const files::Settings& base, const Options& options, unsigned workers,
                      const StopSignals& stop, const BatchHooks& hooks) {
  const std::size_t files = options.inputs.size();
  Tally tally(options.inputs, hooks);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    const auto chain = std::make_unique<engine::FilterChain>();
    design::Tuning tuning;
    for (std::size_t job = next++; job < files; job = next++) {
      const std::string& input = options.inputs[job];
      const std::string output = *options.output_dir + "/" + std::string(base_name(input));
      const RunHooks run_hooks{
          [&tally, job](const RunPlan& plan) { tally.planned(job, plan); },
          [&tally, job](std::uint64_t written, std::uint64_t) { tally.progressed(job, written); },
          [&tally](const std::string& line) { tally.notice(line); }};
      std::optional<std::string> failure;
      if (stop.received() != 0) {
        failure = files::printable_name(input) + ": not filtered, stopped by a signal";
      } else if (auto refusal = output_refusal(input, output, options.in_place, options.force)) {
        failure = std::move(refusal);
      } else {
        set_up_chain(base, options, tuning, *chain);
        failure = filter_wave(*chain, input, output, options.channel, stop, run_hooks);
      }
      tally.done(failure, stop.received() != 0);
    }
  };
  const unsigned count = std::clamp<unsigned>(workers, 1, static_cast<unsigned>(files));
  std::vector<std::jthread> threads;
  for (unsigned i = 1; i < count; ++i) threads.emplace_back(work);
  work();
  threads.clear();
  return tally.failures();
}

std::string batch_progress_line(const BatchProgress& p) {
  return bar_and_percent(p.written, p.total) + "  " + std::to_string(p.files_done) + " of " +
         std::to_string(p.files) + " files";
}

}  // namespace batch
