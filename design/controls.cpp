#include "design/controls.h"

#include <algorithm>

#include "design/designers.h"
#include "design/presets.h"

namespace design {

void design_bandpass_at_centre(CentredControls& bp, DesignedFilter& filter) {
  bp_preset_edges(bp.width_index, bp.centre, bp.edges);
  design_bandpass(bp.edges, bp.q_level, filter);
}

void design_notch_at_centre(CentredControls& notch, DesignedFilter& filter) {
  notch_width_edges(notch.width_index, notch.centre, notch.edges);
  design_notch(notch.edges, notch.q_level, filter);
}

void set_bandpass_q(CentredControls& bp, std::int32_t position, DesignedFilter& filter) {
  bp.q_position = position;
  bp.q_level = q_level_for(position);
  design_bandpass(bp.edges, bp.q_level, filter);
}

void set_notch_q(CentredControls& notch, std::int32_t position, DesignedFilter& filter) {
  notch.q_position = position;
  notch.q_level = q_level_for(position);
  design_notch(notch.edges, notch.q_level, filter);
}

void set_variable_q(VariableControls& controls, std::int32_t position) {
  controls.q_position = position;
  controls.q_level = q_level_for(position);
}

std::int32_t lower_edge_kept_below(std::int32_t lo, std::int32_t hi) {
  return hi <= lo ? std::max(hi - 1, edge_position_min) : lo;
}

std::int32_t upper_edge_kept_above(std::int32_t lo, std::int32_t hi) {
  return lo >= hi ? std::min(lo + 1, edge_position_max) : hi;
}

EdgeBars settle_edge_bars(std::int32_t lo, std::int32_t hi) {
  const auto bar = [](std::int32_t position) {
    return std::clamp(position, edge_position_min, edge_position_max);
  };
  const std::int32_t settled_lo = lower_edge_kept_below(bar(lo), bar(hi));
  return {settled_lo, upper_edge_kept_above(settled_lo, bar(hi))};
}

namespace {

void keep_edges(VariableControls& controls, std::int32_t lo, std::int32_t hi) {
  controls.edges.hi = position_edge(hi);
  controls.edges.lo = position_edge(lo);
  controls.lo_bin = lo;
  controls.hi_bin = hi;
}

}  // namespace

void design_var_bandpass_at(VariableControls& controls, std::int32_t lo, std::int32_t hi,
                            DesignedFilter& filter) {
  keep_edges(controls, lo, hi);
  design_bandpass(controls.edges, controls.q_level, filter);
}

void design_var_notch_at(VariableControls& controls, std::int32_t lo, std::int32_t hi,
                         DesignedFilter& filter) {
  keep_edges(controls, lo, hi);
  design_notch(controls.edges, controls.q_level, filter);
}

}  // namespace design
