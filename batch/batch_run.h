// A batch of tonewell-filter: several inputs filtered into one folder, as
// many at a time as asked, each through a chain of its worker's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/stop_signals.h"
#include "batch/wave_filter.h"
#include "files/settings_format.h"

namespace batch {

// How far a batch has come.
struct BatchProgress {
  std::size_t files_done = 0;  // finished, well or not
  std::size_t files = 0;
  std::uint64_t written = 0;  // samples of all files
  std::uint64_t total = 0;    // of the files whose length is known
};

// What a batch tells as it goes; each is called by one worker at a time.
struct BatchHooks {
  std::function<void(const BatchProgress&)> progress;   // after passes and files
  std::function<void(const std::string& line)> failed;  // an input's failure
  Notice notice;
};

// Filters each of options.inputs into options.output_dir/<its base name>
// on `workers` threads (at least one, at most one per input), each with a
// chain set up by set_up_chain from `base` and `options` afresh for every
// file, so that each output is what a run on that file alone writes. A
// failed input (or one whose output output_refusal refuses) is reported and
// the others go on; a stop signal ends every run (each removes what it was
// writing). Returns the number of inputs that failed or were stopped.
std::size_t run_batch(const files::Settings& base, const Options& options, unsigned workers,
                      const StopSignals& stop, const BatchHooks& hooks);

// The line the batch's progress shows: "[####....]  42%  3 of 10 files".
std::string batch_progress_line(const BatchProgress& progress);

}  // namespace batch
