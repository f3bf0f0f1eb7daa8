#include "realtime/controls.h"

#include "engine/noise_filters.h"

namespace realtime {
namespace {

// The switches, designs and output stage that the window's chain and the
// controls both hold under the same names, from one to the other.
template <typename From, typename To>
void copy_switches(const From& from, To& to) {
  const auto stage = [](const auto& source, auto& target) {
    target.on = source.on;
    target.filter = source.filter;
  };
  stage(from.nf1, to.nf1);
  stage(from.nf2, to.nf2);
  stage(from.var_notch, to.var_notch);
  stage(from.bp, to.bp);
  stage(from.var_bp, to.var_bp);
  to.noise_blanker_on = from.noise_blanker_on;
  to.median_on = from.median_on;
  to.lms_on = from.lms_on;
  to.auto_notch_on = from.auto_notch_on;
  to.noise_reduction_on = from.noise_reduction_on;
  to.bypass_on = from.bypass_on;
  to.signal_gain = from.signal_gain;
}

}  // namespace

void read_chain(const engine::FilterChain& chain, ChainControls& into) {
  copy_switches(chain, into);
  into.noise_blanker_level = chain.noise_blanker.level();
  into.noise_reduction_strength = chain.noise_reduction.strength();
  into.low_latency = chain.low_latency();
}

void apply_chain(const ChainControls& controls, ChainControls& seen, engine::FilterChain& chain) {
  if (controls.noise_blanker_restarts != seen.noise_blanker_restarts) chain.noise_blanker.reset();
  if (controls.lms_restarts != seen.lms_restarts) {
    engine::lms_reset(chain.lms.weights, chain.lms.taps, chain.lms.power);
  }
  if (controls.auto_notch_restarts != seen.auto_notch_restarts) chain.auto_notch.reset();
  if (controls.noise_reduction_restarts != seen.noise_reduction_restarts)
    chain.noise_reduction.reset();
  seen.noise_blanker_restarts = controls.noise_blanker_restarts;
  seen.lms_restarts = controls.lms_restarts;
  seen.auto_notch_restarts = controls.auto_notch_restarts;
  seen.noise_reduction_restarts = controls.noise_reduction_restarts;

  copy_switches(controls, chain);
  chain.noise_blanker.set_level(controls.noise_blanker_level);
  if (chain.noise_reduction.strength() != controls.noise_reduction_strength) {
    chain.noise_reduction.set_strength(controls.noise_reduction_strength);
  }
}

}  // namespace realtime
