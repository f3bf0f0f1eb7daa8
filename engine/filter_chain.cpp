#include "engine/filter_chain.h"

#include <algorithm>

#include "engine/pass.h"

namespace engine {

void FilterChain::run_filters() {
  const auto n = static_cast<std::size_t>(pass_samples());
  const std::span<std::int32_t> work = std::span(work_samples).last(n);
  std::span<const std::int32_t> smoothed_from = std::span(raw_samples).last(n);
  if (noise_blanker_on) {
    noise_blanker.process(work);
    // The smoother reads the blanked samples from an array of their own.
    if (median_on) {
      std::ranges::copy(work, blanked_samples.begin());
      smoothed_from = std::span(blanked_samples).first(n);
    }
  }
  if (median_on) mean_smooth3(smoothed_from, work);
  if (lms_on) {
    lms_pass(work, std::span(lms.input).first(n), std::span(lms.output).first(n), lms.weights,
             lms.taps, lms.power, lms.mu, lms.prev_input);
  }
  if (auto_notch_on) auto_notch.process(work);
  if (noise_reduction_on) noise_reduction.process(work);
  for (FilterStage* stage : {&nf1, &nf2, &var_notch, &bp, &var_bp}) {
    if (!stage->on) continue;
    if (low_latency_) {
      apply_partitioned_stage(stage->filter.min_phase, stage->partitioned, work, partitioned_work);
    } else {
      apply_filter_stage(stage->filter.re, stage->filter.im, stage->overlap, work, stage_work);
    }
  }
}

void FilterChain::process(std::span<const std::uint8_t> captured, std::int32_t input_select,
                          std::span<std::uint8_t> packed, bool pause) {
  const auto n = static_cast<std::size_t>(pass_samples());
  if (low_latency_) {
    for (auto* samples : {&raw_samples, &work_samples, &out_samples}) {
      std::copy(samples->begin() + n, samples->end(), samples->begin());
    }
  }
  const auto newest = [n](auto& samples) { return std::span(samples).last(n); };
  unpack_input_block(captured, input_select, newest(work_samples), newest(raw_samples));
  run_filters();
  output_stage(newest(raw_samples), newest(work_samples), bypass_on, signal_gain, pause,
               newest(out_samples));
  pack_output_block(newest(out_samples), packed);
}

void FilterChain::set_low_latency(bool on) {
  if (on == low_latency_) return;
  low_latency_ = on;
  noise_reduction.set_low_delay(on);
  clear_stage_tails();
}

void FilterChain::start_passes() {
  lms.mu = lms_step_size;
  lms.prev_input = 0.0f;
}

void FilterChain::clear_stage_tails() {
  for (FilterStage* stage : {&nf1, &nf2, &var_notch, &bp, &var_bp}) {
    stage->overlap.fill(0);
    stage->partitioned = PartitionedTail{};
  }
}

void FilterChain::reset() {
  clear_stage_tails();
  lms_reset(lms.weights, lms.taps, lms.power);
  lms.prev_input = 0.0f;
  noise_blanker.reset();
  auto_notch.reset();
  noise_reduction.reset();
  raw_samples.fill(0);
  work_samples.fill(0);
  out_samples.fill(0);
}

}  // namespace engine
