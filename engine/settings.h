// What a settings file sets in the filter chain: the one routine by which the
// window and tonewell-filter both take the tuning up.
#pragma once

#include "design/controls.h"
#include "engine/filter_chain.h"
#include "files/settings_format.h"

namespace engine {

// apply_settings: the tuning in `settings` applied to the filter controls and
// the chain, in the order and by the rules the window's controls follow:
// the centres (a stored one no line can stand at falls back to the start
// centre), the presets and widths (an index the list lacks selects none)
// with their designs, the gain of the restored view, the Q bars (held within
// 0..25) with the designs they make, and each variable filter's edges
// settled lower first and designed. Switches, the noise filters and the
// display are left alone.
void apply_settings(const files::Settings& settings, design::Tuning& tuning, FilterChain& chain);

}  // namespace engine
