// Setting a filter chain up for a run of tonewell-filter, by the rules the
// window's controls follow.
#pragma once

#include <cstdint>

#include "batch/options.h"
#include "design/controls.h"
#include "engine/filter_chain.h"
#include "files/settings_format.h"

namespace batch {

// The full-span column of a frequency, the unit of the filters' centres:
// hz x 1024 / 11025.
float centre_column(double hz);

// The scroll position of a variable filter's edge: hz x 1024 / 11025
// rounded, held within 1..512.
std::int32_t edge_position(double hz);

// Sets `tuning` and `chain` up for a run from scratch: the tuning in `base`
// (a settings file's, or the start values), applied as the window applies a
// settings file; then what `options` changes; then the filters, noise
// filters and bypass `options` switch on (nothing else runs), and the state
// every run of passes starts from. Without --gain or --settings the gain is
// 10 x 0.1.
void set_up_chain(const files::Settings& base, const Options& options, design::Tuning& tuning,
                  engine::FilterChain& chain);

}  // namespace batch
