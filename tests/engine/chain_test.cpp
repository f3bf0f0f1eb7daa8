// The filter chain as the cycle runs it, over the program-wide state, and the
// gain that follows it.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>

#include "design/state.h"
#include "engine/cycle.h"
#include "engine/gain.h"
#include "engine/pass.h"
#include "engine/state.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void fill_random(std::span<std::int32_t> samples, unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<std::int32_t> uniform(-30000, 30000);
  for (std::int32_t& s : samples) s = uniform(engine);
}

// Every response a unit gain with a small phase twist, so that every stage
// does work.
void give_every_stage_a_response() {
  for (auto* re : {&design::nf1_resp_re, &design::nf2_resp_re, &design::var_notch_resp_re,
                   &design::bp_resp_re, &design::var_bp_resp_re}) {
    re->fill(0.9f);
  }
  for (auto* im : {&design::nf1_resp_im, &design::nf2_resp_im, &design::var_notch_resp_im,
                   &design::bp_resp_im, &design::var_bp_resp_im}) {
    im->fill(0.1f);
  }
  design::cycle_window.fill(1.0f);
}

void switch_everything(std::int32_t on) {
  engine::median_filter_on = on;
  engine::lms_filter_on = on;
  design::nf1_filter_on = on;
  design::nf2_filter_on = on;
  design::var_notch_filter_on = on;
  design::bp_filter_on = on;
  design::var_bp_filter_on = on;
}

TEST(FilterChain, LeavesTheSamplesAloneWithEveryStageOff) {
  give_every_stage_a_response();
  switch_everything(0);
  fill_random(engine::work_samples, 1);
  engine::raw_samples = engine::work_samples;
  engine::raw_samples[5] = 0;
  const auto before = engine::work_samples;
  engine::run_filter_chain();
  EXPECT_EQ(engine::work_samples, before);
}

TEST(FilterChain, RunsEveryStageWithoutAllocating) {
  give_every_stage_a_response();
  switch_everything(1);
  engine::lms_mu = engine::lms_step_size;
  fill_random(engine::raw_samples, 2);
  engine::work_samples = engine::raw_samples;
  const long before = allocations.load();
  for (int pass = 0; pass < 3; ++pass) engine::run_filter_chain();
  EXPECT_EQ(allocations.load() - before, 0);
  // Every transform-domain stage left a tail for its next pass.
  for (const auto* overlap : {&engine::nf1_overlap, &engine::nf2_overlap, &engine::var_notch_overlap,
                              &engine::bp_overlap, &engine::var_bp_overlap}) {
    EXPECT_NE((*overlap)[0], 0);
  }
}

TEST(FilterChain, SmoothsTheRawSamplesFirst) {
  switch_everything(0);
  engine::median_filter_on = 1;
  engine::raw_samples.fill(0);
  engine::raw_samples[500] = 3000;
  engine::work_samples.fill(12345);
  engine::run_filter_chain();
  EXPECT_EQ(engine::work_samples[499], 1000);
  EXPECT_EQ(engine::work_samples[0], 0);
}

TEST(Gain, CoarseStepsSetTheDecadeAndTheDisplayScale) {
  struct Row {
    int position;
    float gain, scale, offset;
  };
  for (const Row row : {Row{1, 1e-5f, 4, 0}, Row{2, 1e-4f, 5, 3}, Row{3, 1e-3f, 6, 7},
                        Row{4, 0.01f, 7, 11}, Row{5, 0.1f, 8, 15}, Row{6, 1.0f, 9, 17},
                        Row{7, 10.0f, 10, 21}}) {
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
    std::array<std::int32_t, 1> in{sample};
    std::array<std::int32_t, 1> out{};
    engine::output_stage(in, in, false, gain, false, out);
    return out[0];
  };
  EXPECT_EQ(out_for(10, 6, 1000), 10000);
  EXPECT_EQ(out_for(25, 5, -3), -7);
  EXPECT_EQ(out_for(25, 5, 4), 10);
  EXPECT_EQ(out_for(100, 7, 33), 33000);
  EXPECT_EQ(engine::fine_gain(1, engine::coarse_step(1)->coarse_gain), 1e-5f);
  EXPECT_EQ(engine::fine_gain(100, engine::coarse_step(7)->coarse_gain), 1000.0f);
}

}  // namespace
