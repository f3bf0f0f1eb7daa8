#include "realtime/controls.h"

#include "engine/noise_filters.h"

namespace realtime {
namespace {

void read_stage(const engine::FilterStage& stage, StageControls& into) {
  into.on = stage.on;
  into.filter = stage.filter;
}

void apply_stage(const StageControls& controls, engine::FilterStage& stage) {
  stage.on = controls.on;
  stage.filter = controls.filter;
}

}  // namespace

void read_chain(const engine::FilterChain& chain, ChainControls& into) {
  read_stage(chain.nf1, into.nf1);
  read_stage(chain.nf2, into.nf2);
  read_stage(chain.var_notch, into.var_notch);
  read_stage(chain.bp, into.bp);
  read_stage(chain.var_bp, into.var_bp);
  into.median_on = chain.median_on;
  into.lms_on = chain.lms_on;
  into.auto_notch_on = chain.auto_notch_on;
  into.noise_reduction_on = chain.noise_reduction_on;
  into.noise_reduction_strength = chain.noise_reduction.strength();
  into.bypass_on = chain.bypass_on;
  into.signal_gain = chain.signal_gain;
}

void apply_chain(const ChainControls& controls, ChainControls& seen, engine::FilterChain& chain) {
  if (controls.lms_restarts != seen.lms_restarts) {
    engine::lms_reset(chain.lms.weights, chain.lms.taps, chain.lms.power);
  }
  if (controls.auto_notch_restarts != seen.auto_notch_restarts) chain.auto_notch.reset();
  if (controls.noise_reduction_restarts != seen.noise_reduction_restarts) chain.noise_reduction.reset();
  seen.lms_restarts = controls.lms_restarts;
  seen.auto_notch_restarts = controls.auto_notch_restarts;
  seen.noise_reduction_restarts = controls.noise_reduction_restarts;

  apply_stage(controls.nf1, chain.nf1);
  apply_stage(controls.nf2, chain.nf2);
  apply_stage(controls.var_notch, chain.var_notch);
  apply_stage(controls.bp, chain.bp);
  apply_stage(controls.var_bp, chain.var_bp);
  chain.median_on = controls.median_on;
  chain.lms_on = controls.lms_on;
  chain.auto_notch_on = controls.auto_notch_on;
  chain.noise_reduction_on = controls.noise_reduction_on;
  if (chain.noise_reduction.strength() != controls.noise_reduction_strength) {
    chain.noise_reduction.set_strength(controls.noise_reduction_strength);
  }
  chain.bypass_on = controls.bypass_on;
  chain.signal_gain = controls.signal_gain;
}

}  // namespace realtime
