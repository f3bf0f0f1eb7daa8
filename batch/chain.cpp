#include "batch/chain.h"

#include <algorithm>
#include <cmath>

#include "audio/state.h"
#include "design/controls.h"
#include "design/presets.h"
#include "design/state.h"
#include "design/windows.h"
#include "engine/cycle.h"
#include "engine/gain.h"
#include "engine/noise_filters.h"
#include "engine/state.h"
#include "files/state.h"

namespace batch {
namespace {

// A list item, or -1 (no item) for an index the list does not have.
std::int32_t list_item(std::int32_t index, std::size_t items) {
  return index >= 0 && static_cast<std::size_t>(index) < items ? index : -1;
}

std::int32_t q_bar(std::int32_t position) {
  return std::clamp(position, design::q_position_min, design::q_position_max);
}

std::int32_t edge_bar(std::int32_t position) {
  return std::clamp(position, design::edge_position_min, design::edge_position_max);
}

// Where a variable filter's two edge bars settle when both are placed and
// their handlers run, lower first.
struct EdgeBars {
  std::int32_t lo;
  std::int32_t hi;
};
EdgeBars settle(std::int32_t lo, std::int32_t hi) {
  lo = design::lower_edge_kept_below(edge_bar(lo), edge_bar(hi));
  hi = design::upper_edge_kept_above(lo, edge_bar(hi));
  return {lo, hi};
}

// The gain of the two gain bars, each held within its range.
void set_gain(std::int32_t fine, std::int32_t coarse) {
  engine::coarse_gain = engine::coarse_step(std::clamp(coarse, engine::coarse_position_min,
                                                       engine::coarse_position_max))
                            ->coarse_gain;
  engine::signal_gain = engine::fine_gain(
      std::clamp(fine, engine::fine_position_min, engine::fine_position_max), engine::coarse_gain);
}

// The tuning of a settings file, as the window's settings reader applies it.
void apply_settings(const files::Settings& s) {
  design::bp_center = files::usable_centre(s.bp_center);
  design::nf1_center = files::usable_centre(s.nf1_center);
  design::nf2_center = files::usable_centre(s.nf2_center);
  design::bp_width_index = list_item(s.bp_width_index, design::bp_preset_texts.size());
  design::design_bandpass_at_centre();
  design::nf1_width_index = list_item(s.nf1_width_index, design::nf1_width_texts.size());
  design::design_nf1_at_centre();
  design::nf2_width_index = list_item(s.nf2_width_index, design::nf2_width_texts.size());
  design::design_nf2_at_centre();

  set_gain(files::restored_gain_position(s), s.rx_coarse_position);
  design::set_bp_q(q_bar(s.bp_q_position));

  design::set_var_bp_q(q_bar(s.var_bp_q_position));
  const EdgeBars var_bp = settle(s.var_bp_lo_bin, s.var_bp_hi_bin);
  design::design_var_bandpass_at(var_bp.lo, var_bp.hi);
  design::set_nf1_q(q_bar(s.nf1_q_position));
  design::set_nf2_q(q_bar(s.nf2_q_position));
  design::set_var_notch_q(q_bar(s.var_notch_q_position));
  const EdgeBars var_notch = settle(s.var_notch_lo_bin, s.var_notch_hi_bin);
  design::design_var_notch_at(var_notch.lo, var_notch.hi);
}

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
void apply_options(const Options& o) {
  if (given(o, Filter::bp)) design::set_bp_q(q_given(o, Filter::bp));
  if (given(o, Filter::nf1)) design::set_nf1_q(q_given(o, Filter::nf1));
  if (given(o, Filter::nf2)) design::set_nf2_q(q_given(o, Filter::nf2));
  if (given(o, Filter::var_bp)) design::set_var_bp_q(q_given(o, Filter::var_bp));
  if (given(o, Filter::var_nf)) design::set_var_notch_q(q_given(o, Filter::var_nf));

  if (o.bandpass) {
    design::bp_width_index = o.bandpass->preset;
    if (o.bandpass->hz) design::bp_center = centre_column(*o.bandpass->hz);
    design::design_bandpass_at_centre();
  }
  if (o.notch1) {
    design::nf1_width_index = o.notch1->width;
    design::nf1_center = centre_column(o.notch1->hz);
    design::design_nf1_at_centre();
  }
  if (o.notch2) {
    design::nf2_width_index = o.notch2->width;
    design::nf2_center = centre_column(o.notch2->hz);
    design::design_nf2_at_centre();
  }
  const EdgeBars var_bp = o.var_bandpass ? settle(edge_position(o.var_bandpass->lo_hz),
                                                  edge_position(o.var_bandpass->hi_hz))
                                         : EdgeBars{design::var_bp_lo_bin, design::var_bp_hi_bin};
  design::design_var_bandpass_at(var_bp.lo, var_bp.hi);
  const EdgeBars var_notch =
      o.var_notch ? settle(edge_position(o.var_notch->lo_hz), edge_position(o.var_notch->hi_hz))
                  : EdgeBars{design::var_notch_lo_bin, design::var_notch_hi_bin};
  design::design_var_notch_at(var_notch.lo, var_notch.hi);

  if (o.gain) {
    set_gain(o.gain->fine, o.gain->coarse);
  } else if (!o.settings) {
    set_gain(Gain{}.fine, Gain{}.coarse);
  }
}

}  // namespace

float centre_column(double hz) { return static_cast<float>(hz * 1024.0 / 11025.0); }

std::int32_t edge_position(double hz) {
  return edge_bar(static_cast<std::int32_t>(std::lround(hz * 1024.0 / 11025.0)));
}

void set_up_chain(const files::Settings& base, const Options& options) {
  engine::block_size = 512;
  engine::fft_size = 2 * engine::block_size;
  design::fill_rectangular_window(design::cycle_window, engine::fft_size);

  apply_settings(base);
  apply_options(options);

  design::bp_filter_on = switched_on(options, Filter::bp, options.bandpass.has_value());
  design::var_bp_filter_on = switched_on(options, Filter::var_bp, options.var_bandpass.has_value());
  design::nf1_filter_on = switched_on(options, Filter::nf1, options.notch1.has_value());
  design::nf2_filter_on = switched_on(options, Filter::nf2, options.notch2.has_value());
  design::var_notch_filter_on = switched_on(options, Filter::var_nf, options.var_notch.has_value());
  engine::median_filter_on = options.median ? 1 : 0;
  engine::lms_filter_on = options.lms ? 1 : 0;
  engine::lms_reset(engine::lms_weights, engine::lms_taps, engine::lms_power);
  engine::bypass_on = options.bypass ? 1 : 0;
  files::pause_on = 0;
  audio::input_select = 1;
  engine::start_passes();
}

}  // namespace batch
