// A filter chain with every filter designed and on, for the benchmarks of
// whole passes.
#pragma once

#include "design/designers.h"
#include "engine/filter_chain.h"

namespace bench {

// The voice bandpass, notches at 440, 600 and 1160 Hz, a wide variable
// bandpass; the noise blanker, smoothing, LMS, the automatic notch and the
// noise reduction.
inline void switch_every_filter_on(engine::FilterChain& chain) {
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.0f, chain.bp.filter);
  design::design_notch({0.0375f, 0.0425f}, 0.0f, chain.nf1.filter);
  design::design_notch({0.05f, 0.06f}, 0.0f, chain.nf2.filter);
  design::design_bandpass({0.01f, 0.3f}, 0.0f, chain.var_bp.filter);
  design::design_notch({0.1f, 0.11f}, 0.0f, chain.var_notch.filter);
  chain.noise_blanker_on = chain.median_on = chain.lms_on = true;
  chain.auto_notch_on = chain.noise_reduction_on = true;
  chain.nf1.on = chain.nf2.on = chain.var_notch.on = true;
  chain.bp.on = chain.var_bp.on = true;
}

}  // namespace bench
