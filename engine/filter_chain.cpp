#include "engine/filter_chain.h"

#include "engine/pass.h"

namespace engine {

void FilterChain::run_filters() {
  if (median_on == 1) median_smooth(raw_samples, work_samples);
  if (lms_on == 1) {
    lms_pass(work_samples, lms.input, lms.output, lms.weights, lms.taps, lms.power, lms.mu,
             lms.prev_input);
  }
  if (auto_notch_on == 1) auto_notch.process(work_samples);
  if (noise_reduction_on == 1) noise_reduction.process(work_samples);
  for (FilterStage* stage : {&nf1, &nf2, &var_notch, &bp, &var_bp}) {
    if (stage->on == 1) {
      apply_filter_stage(stage->filter.re, stage->filter.im, stage->overlap, work_samples,
                         stage_work);
    }
  }
}

void FilterChain::process(std::span<const std::uint8_t> captured, std::int32_t input_select,
                          std::span<std::uint8_t> packed, bool pause) {
  unpack_input_block(captured, input_select, work_samples, raw_samples);
  run_filters();
  output_stage(raw_samples, work_samples, bypass_on == 1, signal_gain, pause, out_samples);
  pack_output_block(out_samples, packed);
}

void FilterChain::start_passes() {
  lms.mu = lms_step_size;
  lms.prev_input = 0.0f;
}

void FilterChain::reset() {
  for (FilterStage* stage : {&nf1, &nf2, &var_notch, &bp, &var_bp}) stage->overlap.fill(0);
  lms_reset(lms.weights, lms.taps, lms.power);
  lms.prev_input = 0.0f;
  auto_notch.reset();
  noise_reduction.reset();
  raw_samples.fill(0);
  work_samples.fill(0);
  out_samples.fill(0);
}

}  // namespace engine
