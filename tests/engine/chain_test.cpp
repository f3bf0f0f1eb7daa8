// The filter chain as the cycle runs it, and the gain that follows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "design/designers.h"
#include "engine/filter_chain.h"
#include "engine/gain.h"
#include "engine/pass.h"
#include "tests/engine/signals.h"
#include "tests/support/allocations.h"

namespace {

using engine_test::fill_random;

// Every response a unit gain with a small phase twist, so that every stage
// does work.
void give_every_stage_a_response(engine::FilterChain& chain) {
  for (engine::FilterStage* stage :
       {&chain.nf1, &chain.nf2, &chain.var_notch, &chain.bp, &chain.var_bp}) {
    stage->filter.re.fill(0.9f);
    stage->filter.im.fill(0.1f);
  }
}

void switch_everything(engine::FilterChain& chain, std::int32_t on) {
  chain.median_on = on;
  chain.lms_on = on;
  chain.auto_notch_on = on;
  chain.noise_reduction_on = on;
  chain.nf1.on = on;
  chain.nf2.on = on;
  chain.var_notch.on = on;
  chain.bp.on = on;
  chain.var_bp.on = on;
}

TEST(FilterChain, LeavesTheSamplesAloneWithEveryStageOff) {
  engine::FilterChain chain;
  give_every_stage_a_response(chain);
  switch_everything(chain, 0);
  fill_random(chain.work_samples, 1);
  chain.raw_samples = chain.work_samples;
  chain.raw_samples[5] = 0;
  const auto before = chain.work_samples;
  chain.run_filters();
  EXPECT_EQ(chain.work_samples, before);
}

TEST(FilterChain, RunsEveryStageWithoutAllocating) {
  engine::FilterChain chain;
  give_every_stage_a_response(chain);
  switch_everything(chain, 1);
  chain.lms.mu = engine::lms_step_size;
  // Noise and a tone of 93 whole cycles a pass, which the automatic notch
  // finds and takes out from the seventh pass on.
  fill_random(chain.raw_samples, 2);
  for (std::size_t i = 0; i < chain.raw_samples.size(); ++i) {
    chain.raw_samples[i] =
        chain.raw_samples[i] / 8 +
        static_cast<std::int32_t>(
            8000 * std::sin(2 * std::numbers::pi * 93 * static_cast<double>(i) / 1024));
  }
  const long before = test_support::allocations();
  for (int pass = 0; pass < 12; ++pass) {
    chain.work_samples = chain.raw_samples;
    chain.run_filters();
  }
  EXPECT_EQ(test_support::allocations() - before, 0);
  EXPECT_FALSE(chain.auto_notch.notched().empty());
  // Every transform-domain stage left a tail for its next pass.
  for (const engine::FilterStage* stage :
       {&chain.nf1, &chain.nf2, &chain.var_notch, &chain.bp, &chain.var_bp}) {
    EXPECT_NE(stage->overlap[0], 0);
  }
}

TEST(FilterChain, SmoothsTheRawSamplesFirst) {
  engine::FilterChain chain;
  switch_everything(chain, 0);
  chain.median_on = true;
  chain.raw_samples.fill(0);
  chain.raw_samples[500] = 3000;
  chain.work_samples.fill(12345);
  chain.run_filters();
  EXPECT_EQ(chain.work_samples[499], 1000);
  EXPECT_EQ(chain.work_samples[0], 0);
}

TEST(Gain, CoarseStepsSetTheDecadeAndTheDisplayScale) {
  struct Row {
    int position;
    float gain, scale, offset;
  };
  for (const Row row :
       {Row{1, 1e-5f, 4, 0}, Row{2, 1e-4f, 5, 3}, Row{3, 1e-3f, 6, 7}, Row{4, 0.01f, 7, 11},
        Row{5, 0.1f, 8, 15}, Row{6, 1.0f, 9, 17}, Row{7, 10.0f, 10, 21}}) {
    const auto step = engine::coarse_step(row.position);
    ASSERT_TRUE(step.has_value()) << row.position;
    EXPECT_EQ(step->coarse_gain, row.gain) << row.position;
    EXPECT_EQ(step->db_scale, row.scale) << row.position;
    EXPECT_EQ(step->db_offset, row.offset) << row.position;
  }
  EXPECT_FALSE(engine::coarse_step(0).has_value());
  EXPECT_FALSE(engine::coarse_step(8).has_value());
}

TEST(Gain, ScalesOutputSamplesTruncatingTowardZero) {
  const auto out_for = [](int fine, int coarse, std::int32_t sample) {
    const float gain = engine::fine_gain(fine, engine::coarse_step(coarse)->coarse_gain);
    const std::array<std::int32_t, 1> raw{12345};  // not bypassed: the filtered sample counts
    std::array<std::int32_t, 1> in{sample};
    std::array<std::int32_t, 1> out{};
    engine::output_stage(raw, in, false, gain, false, out);
    return out[0];
  };
  EXPECT_EQ(out_for(10, 6, 1000), 10000);
  EXPECT_EQ(out_for(25, 5, -3), -7);
  EXPECT_EQ(out_for(25, 5, 3), 7);
  EXPECT_EQ(out_for(25, 5, 4), 10);
  EXPECT_EQ(out_for(100, 7, 33), 33000);
}

}  // namespace

namespace {

// Runs x through the chain in low-latency passes of 128 frames of mono
// 16-bit samples; returns the output samples.
std::vector<std::int32_t> run_low_latency(engine::FilterChain& chain,
                                          std::span<const std::int32_t> x) {
  std::vector<std::int32_t> y;
  std::array<std::uint8_t, 2 * engine::low_latency_pass> in{};
  std::array<std::uint8_t, 2 * engine::low_latency_pass> out{};
  for (std::size_t start = 0; start < x.size(); start += 128) {
    engine::pack_output_block(x.subspan(start, 128), in);
    chain.process(in, 1, out, false);
    for (std::size_t j = 0; j < 128; ++j)
      y.push_back(std::int16_t(out[2 * j] | out[2 * j + 1] << 8));
  }
  return y;
}

// With every filter off the input comes out whole, and the arrays hold the
// last 1024 samples; the bandpass switched on is then the convolution of
// what follows with its minimum-phase taps.
TEST(LowLatency, PassesInputWholeWithFiltersOffAndAStageIsItsTapsConvolution) {
  engine::FilterChain chain;
  switch_everything(chain, 0);
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.05f, chain.bp.filter);
  chain.set_low_latency(true);
  ASSERT_EQ(chain.pass_samples(), 128);
  std::array<std::int32_t, 20 * 128> x{};
  fill_random(x, 4);
  EXPECT_TRUE(std::ranges::equal(run_low_latency(chain, x), x));
  EXPECT_TRUE(std::equal(chain.raw_samples.begin(), chain.raw_samples.end(), x.end() - 1024));
  EXPECT_TRUE(std::equal(chain.out_samples.begin(), chain.out_samples.end(), x.end() - 1024));

  chain.bp.on = true;
  for (std::int32_t& v : x) v /= 3;
  const std::vector<std::int32_t> y = run_low_latency(chain, x);
  EXPECT_LT(engine_test::against_convolution(y, chain.bp.filter.min_phase.taps, x).worst, 2.0);
}

// Every filter on through mode changes every few passes stays bounded and
// allocates nothing; a change of mode clears the stages' tails of both forms
// and leaves the LMS adaptation alone.
TEST(LowLatency, SwitchingModesMidStreamClearsOnlyTheStageTails) {
  engine::FilterChain chain;
  for (engine::FilterStage* stage : {&chain.nf1, &chain.nf2, &chain.var_notch, &chain.var_bp}) {
    design::design_notch({0.08f, 0.09f}, 0.0f, stage->filter);
  }
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.05f, chain.bp.filter);
  switch_everything(chain, 1);
  chain.start_passes();
  std::array<std::int32_t, 1024> noise{};
  std::array<std::uint8_t, 2048> in{};
  std::array<std::uint8_t, 2048> out{};
  const long before = test_support::allocations();
  for (int pass = 0; pass < 60; ++pass) {
    if (pass % 7 == 0) {
      const auto weights = chain.lms.weights;
      chain.set_low_latency(!chain.low_latency());
      EXPECT_EQ(chain.lms.weights, weights);
    }
    fill_random(noise, 10 + pass);
    engine::pack_output_block(noise, in);
    chain.process(in, 1, out, false);
    for (const std::int32_t v : chain.out_samples) ASSERT_LT(std::abs(v), 200000) << pass;
  }
  EXPECT_EQ(test_support::allocations() - before, 0);

  // The bandpass alone: both forms' tails are full, and silence after a
  // change of mode comes out silent.
  switch_everything(chain, 0);
  chain.bp.on = true;
  chain.set_low_latency(false);
  chain.process(in, 1, out, false);
  chain.set_low_latency(true);
  chain.process(in, 1, out, false);
  for (const bool low : {false, true}) {
    chain.set_low_latency(low);
    out.fill(1);
    chain.process(std::array<std::uint8_t, 2048>{}, 1, out, false);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), 2 * chain.pass_samples()) << low;
  }
}

}  // namespace
