#include "engine/settings.h"

#include <algorithm>
#include <cstddef>

#include "design/presets.h"
#include "engine/gain.h"

namespace engine {
namespace {

// A list item, or -1 (no item) for an index the list does not have.
std::int32_t list_item(std::int32_t index, std::size_t items) {
  return index >= 0 && static_cast<std::size_t>(index) < items ? index : -1;
}

std::int32_t q_bar(std::int32_t position) {
  return std::clamp(position, design::q_position_min, design::q_position_max);
}

}  // namespace

void apply_settings(const files::Settings& s, design::Tuning& t, FilterChain& chain) {
  t.bp.centre = files::usable_centre(s.bp_center);
  t.nf1.centre = files::usable_centre(s.nf1_center);
  t.nf2.centre = files::usable_centre(s.nf2_center);
  t.bp.width_index = list_item(s.bp_width_index, design::bp_preset_texts.size());
  design::design_bandpass_at_centre(t.bp, chain.bp.filter);
  t.nf1.width_index = list_item(s.nf1_width_index, design::nf1_width_texts.size());
  design::design_notch_at_centre(t.nf1, chain.nf1.filter);
  t.nf2.width_index = list_item(s.nf2_width_index, design::nf2_width_texts.size());
  design::design_notch_at_centre(t.nf2, chain.nf2.filter);

  chain.signal_gain = bars_gain(files::restored_gain_position(s), s.rx_coarse_position);
  design::set_bandpass_q(t.bp, q_bar(s.bp_q_position), chain.bp.filter);

  design::set_variable_q(t.var_bp, q_bar(s.var_bp_q_position));
  const design::EdgeBars var_bp = design::settle_edge_bars(s.var_bp_lo_bin, s.var_bp_hi_bin);
  design::design_var_bandpass_at(t.var_bp, var_bp.lo, var_bp.hi, chain.var_bp.filter);
  design::set_notch_q(t.nf1, q_bar(s.nf1_q_position), chain.nf1.filter);
  design::set_notch_q(t.nf2, q_bar(s.nf2_q_position), chain.nf2.filter);
  design::set_variable_q(t.var_notch, q_bar(s.var_notch_q_position));
  const design::EdgeBars var_notch =
      design::settle_edge_bars(s.var_notch_lo_bin, s.var_notch_hi_bin);
  design::design_var_notch_at(t.var_notch, var_notch.lo, var_notch.hi, chain.var_notch.filter);
}

}  // namespace engine
