#include "batch/chain.h"

#include <algorithm>
#include <cmath>

#include "engine/gain.h"
#include "engine/settings.h"
#include "files/wave_format.h"

namespace batch {
namespace {

bool given(const Options& options, Filter filter) {
  return options.q[static_cast<std::size_t>(filter)].has_value();
}

std::int32_t q_given(const Options& options, Filter filter) {
  return *options.q[static_cast<std::size_t>(filter)];
}

bool switched_on(const Options& options, Filter filter, bool tuned) {
  return tuned || options.on[static_cast<std::size_t>(filter)];
}

// What the options change, each through the control that sets it: the Q
// levels first, so that every filter is designed last with its final edges.
void apply_options(const Options& o, design::Tuning& t, engine::FilterChain& chain) {
  if (given(o, Filter::bp)) design::set_bandpass_q(t.bp, q_given(o, Filter::bp), chain.bp.filter);
  if (given(o, Filter::nf1)) design::set_notch_q(t.nf1, q_given(o, Filter::nf1), chain.nf1.filter);
  if (given(o, Filter::nf2)) design::set_notch_q(t.nf2, q_given(o, Filter::nf2), chain.nf2.filter);
  if (given(o, Filter::var_bp)) design::set_variable_q(t.var_bp, q_given(o, Filter::var_bp));
  if (given(o, Filter::var_nf)) design::set_variable_q(t.var_notch, q_given(o, Filter::var_nf));

  if (o.bandpass) {
    t.bp.width_index = o.bandpass->preset;
    if (o.bandpass->hz) t.bp.centre = centre_column(*o.bandpass->hz);
    design::design_bandpass_at_centre(t.bp, chain.bp.filter);
  }
  if (o.notch1) {
    t.nf1.width_index = o.notch1->width;
    t.nf1.centre = centre_column(o.notch1->hz);
    design::design_notch_at_centre(t.nf1, chain.nf1.filter);
  }
  if (o.notch2) {
    t.nf2.width_index = o.notch2->width;
    t.nf2.centre = centre_column(o.notch2->hz);
    design::design_notch_at_centre(t.nf2, chain.nf2.filter);
  }
  const design::EdgeBars var_bp =
      o.var_bandpass ? design::settle_edge_bars(edge_position(o.var_bandpass->lo_hz),
                                                edge_position(o.var_bandpass->hi_hz))
                     : design::EdgeBars{t.var_bp.lo_bin, t.var_bp.hi_bin};
  design::design_var_bandpass_at(t.var_bp, var_bp.lo, var_bp.hi, chain.var_bp.filter);
  const design::EdgeBars var_notch =
      o.var_notch ? design::settle_edge_bars(edge_position(o.var_notch->lo_hz),
                                             edge_position(o.var_notch->hi_hz))
                  : design::EdgeBars{t.var_notch.lo_bin, t.var_notch.hi_bin};
  design::design_var_notch_at(t.var_notch, var_notch.lo, var_notch.hi, chain.var_notch.filter);

  if (o.gain) {
    chain.signal_gain = engine::bars_gain(o.gain->fine, o.gain->coarse);
  } else if (!o.settings) {
    chain.signal_gain = engine::bars_gain(Gain{}.fine, Gain{}.coarse);
  }
}

}  // namespace

float centre_column(double hz) {
  return static_cast<float>(hz * files::chain_pass_samples / files::chain_rate);
}

std::int32_t edge_position(double hz) {
  return std::clamp(
      static_cast<std::int32_t>(std::lround(hz * files::chain_pass_samples / files::chain_rate)),
      design::edge_position_min, design::edge_position_max);
}

void set_up_chain(const files::Settings& base, const Options& options, design::Tuning& tuning,
                  engine::FilterChain& chain) {
  engine::apply_settings(base, tuning, chain);
  apply_options(options, tuning, chain);

  chain.bp.on = switched_on(options, Filter::bp, options.bandpass.has_value());
  chain.var_bp.on = switched_on(options, Filter::var_bp, options.var_bandpass.has_value());
  chain.nf1.on = switched_on(options, Filter::nf1, options.notch1.has_value());
  chain.nf2.on = switched_on(options, Filter::nf2, options.notch2.has_value());
  chain.var_notch.on = switched_on(options, Filter::var_nf, options.var_notch.has_value());
  chain.noise_blanker_on = options.noise_blanker.has_value();
  if (options.noise_blanker) chain.noise_blanker.set_level(*options.noise_blanker);
  chain.median_on = options.median;
  chain.lms_on = options.lms;
  chain.auto_notch_on = options.auto_notch;
  chain.noise_reduction_on = options.noise_reduction.has_value();
  if (options.noise_reduction) chain.noise_reduction.set_strength(*options.noise_reduction);
  chain.bypass_on = options.bypass;
  chain.set_low_latency(options.low_latency);
  chain.reset();
  chain.start_passes();
}

}  // namespace batch
