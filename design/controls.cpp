#include "design/controls.h"

#include <algorithm>

#include "design/designers.h"
#include "design/presets.h"
#include "design/state.h"
#include "engine/state.h"

namespace design {

void design_bandpass_at_centre() {
  bp_preset_edges(bp_width_index, bp_center);
  design_bandpass(engine::block_size, bp_taps, bp_lo_edge, bp_hi_edge);
}

void design_nf1_at_centre() {
  notch_width_edges(nf1_width_index, nf1_center, nf1_lo_edge, nf1_hi_edge);
  design_nf1(engine::block_size, nf1_lo_edge, nf1_hi_edge);
}

void design_nf2_at_centre() {
  notch_width_edges(nf2_width_index, nf2_center, nf2_lo_edge, nf2_hi_edge);
  design_nf2(engine::block_size, nf2_lo_edge, nf2_hi_edge);
}

void set_bp_q(std::int32_t position) {
  bp_q_position = position;
  bp_q_level = q_level_for(position);
  design_bandpass(engine::block_size, bp_taps, bp_lo_edge, bp_hi_edge);
}

void set_nf1_q(std::int32_t position) {
  nf1_q_position = position;
  nf1_q_level = q_level_for(position);
  design_nf1(engine::block_size, nf1_lo_edge, nf1_hi_edge);
}

void set_nf2_q(std::int32_t position) {
  nf2_q_position = position;
  nf2_q_level = q_level_for(position);
  design_nf2(engine::block_size, nf2_lo_edge, nf2_hi_edge);
}

void set_var_bp_q(std::int32_t position) {
  var_bp_q_position = position;
  var_bp_q_level = q_level_for(position);
}

void set_var_notch_q(std::int32_t position) {
  var_notch_q_position = position;
  var_notch_q_level = q_level_for(position);
}

std::int32_t lower_edge_kept_below(std::int32_t lo, std::int32_t hi) {
  return hi <= lo ? std::max(hi - 1, edge_position_min) : lo;
}

std::int32_t upper_edge_kept_above(std::int32_t lo, std::int32_t hi) {
  return lo >= hi ? std::min(lo + 1, edge_position_max) : hi;
}

namespace {

void design_variable(std::int32_t lo, std::int32_t hi, float& lo_edge, float& hi_edge,
                     std::int32_t& lo_bin, std::int32_t& hi_bin,
                     void (*designer)(int, float, float)) {
  hi_edge = position_edge(hi);
  lo_edge = position_edge(lo);
  lo_bin = lo;
  hi_bin = hi;
  designer(engine::block_size, lo_edge, hi_edge);
}

}  // namespace

void design_var_bandpass_at(std::int32_t lo, std::int32_t hi) {
  design_variable(lo, hi, var_bp_lo_edge, var_bp_hi_edge, var_bp_lo_bin, var_bp_hi_bin,
                  design_var_bandpass);
}

void design_var_notch_at(std::int32_t lo, std::int32_t hi) {
  design_variable(lo, hi, var_notch_lo_edge, var_notch_hi_edge, var_notch_lo_bin, var_notch_hi_bin,
                  design_var_notch);
}

}  // namespace design
