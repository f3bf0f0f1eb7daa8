// Filtering a WAV file through the program's chain, pass by pass, into a
// new WAV file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "batch/endpoints.h"
#include "batch/options.h"
#include "batch/stop_signals.h"
#include "engine/filter_chain.h"
#include "files/wav.h"

namespace batch {

// The samples a run on the regular file at `path` will write, read from its
// header; nothing for anything else, or a file that will be refused.
std::optional<std::uint64_t> planned_samples(const std::string& path);

// How far a run has come: samples written of the total.
using Progress = std::function<void(std::uint64_t written, std::uint64_t total)>;

// What a run is about to do, known once the input's header is read.
struct RunPlan {
  std::uint64_t output_samples = 0;
  double seconds = 0.0;  // of audio
  bool known = true;     // false: a stream that runs to its end, length unknown
};

// What a run tells and asks as it goes.
struct RunHooks {
  std::function<void(const RunPlan&)> planned;  // before the first pass
  Progress progress;                            // after every pass
  Notice notice;                                // a line while the run waits
};

// Filters `input` into `output` (either "-": the standard stream; see
// InputEnd and OutputEnd) through `chain`, as set_up_chain left it: the
// chosen channel of the input, converted to 11025 Hz when it is at another
// rate, in passes of 1024 samples through the chain, the last padded with
// silence; the output is a mono 16-bit 11025 Hz WAV file with as many
// samples as the input has (at 11025 Hz). Its header's sizes are written
// first from the input's; a stream that ends early is padded with silence to
// them. A stream whose header gives no size is read to its end: the header
// says "to the end" (0xFFFFFFFF) until the sizes are put in where the output
// can seek. A file is replaced only when complete. The header is written
// before the first pass, and the first write that fails ends the run; so
// does a stop signal, between passes or in a wait; what the run was writing
// is then removed. Returns the error, one line naming the file, or nothing
// on success.
std::optional<std::string> filter_wave(engine::FilterChain& chain, const std::string& input,
                                       const std::string& output, Channel channel,
                                       const StopSignals& stop, const RunHooks& hooks);

}  // namespace batch
