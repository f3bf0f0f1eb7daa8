// Filtering a WAV file through the program's chain, pass by pass, into a
// new WAV file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "batch/options.h"
#include "batch/stop_signals.h"
#include "engine/filter_chain.h"
#include "files/wav.h"

namespace batch {

// The lowest and highest input sample rates converted to 11025 Hz.
inline constexpr std::uint32_t lowest_rate = 1000;
inline constexpr std::uint32_t highest_rate = 768000;

// Why a format cannot be filtered, as "found ...; accepts ..." (one line,
// without the file's name), or nothing when it can: 16-bit PCM (format tag
// 1), 1 or 2 channels, block align 2 x channels, a rate from lowest_rate to
// highest_rate.
std::optional<std::string> format_refusal(const files::WaveFormat& format);

// How far a run has come: samples written of the total.
using Progress = std::function<void(std::uint64_t written, std::uint64_t total)>;

// What a run is about to do, known once the input's header is read.
struct RunPlan {
  std::uint64_t output_samples = 0;
  double seconds = 0.0;  // of audio
};

// What a run tells and asks as it goes.
struct RunHooks {
  std::function<void(const RunPlan&)> planned;  // before the first pass
  Progress progress;                            // after every pass
  const StopSignals* stop = nullptr;  // when given, a stop signal ends the run
};

// Filters `input` into `output` through `chain`, as set_up_chain left it:
// the chosen channel of the input, converted to 11025 Hz when it is at
// another rate, in passes of 1024 samples through the chain, the
// last padded with silence; the output is a mono 16-bit 11025 Hz WAV file
// with as many samples as the input has (at 11025 Hz). `output` is replaced
// only when complete; a run ended by a stop signal removes what it wrote.
// Returns the error, one line naming the file, or nothing on success.
std::optional<std::string> filter_wave(engine::FilterChain& chain, const std::string& input,
                                       const std::string& output, Channel channel,
                                       const RunHooks& hooks);

}  // namespace batch
