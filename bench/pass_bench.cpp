// The sample stages of a pass with every filter off: unpack, output stage and
// packing of 1024 samples; and a low-latency pass of 128 samples with every
// filter on.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "design/designers.h"
#include "engine/filter_chain.h"
#include "engine/pass.h"

namespace {

void BM_PassWithFiltersOff(benchmark::State& state) {
  std::array<std::uint8_t, 2048> in{};
  std::array<std::uint8_t, 2048> out{};
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 37);
  engine::FilterChain chain;
  chain.signal_gain = 2.5f;
  for (auto _ : state) {
    chain.process(in, 1, out, false);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PassWithFiltersOff);

// Unpacking, smoothing, LMS, the automatic notch, the noise reduction, the
// five stages in minimum phase, the output stage and packing of 128 samples
// of noise, with every filter on.
void BM_LowLatencyPassEveryFilterOn(benchmark::State& state) {
  engine::FilterChain chain;
  design::design_bandpass({0.0181405f, 0.2721088f}, 0.0f, chain.bp.filter);
  design::design_notch({0.0375f, 0.0425f}, 0.0f, chain.nf1.filter);
  design::design_notch({0.05f, 0.06f}, 0.0f, chain.nf2.filter);
  design::design_bandpass({0.01f, 0.3f}, 0.0f, chain.var_bp.filter);
  design::design_notch({0.1f, 0.11f}, 0.0f, chain.var_notch.filter);
  chain.median_on = chain.lms_on = 1;
  chain.auto_notch_on = chain.noise_reduction_on = 1;
  chain.nf1.on = chain.nf2.on = chain.var_notch.on = 1;
  chain.bp.on = chain.var_bp.on = 1;
  chain.start_passes();
  chain.set_low_latency(true);
  std::mt19937 engine(3);
  std::uniform_int_distribution<std::int32_t> uniform(-12000, 12000);
  std::array<std::array<std::uint8_t, 2 * engine::low_latency_pass>, 64> in{};
  for (auto& pass : in) {
    std::array<std::int32_t, engine::low_latency_pass> samples{};
    for (std::int32_t& s : samples) s = uniform(engine);
    engine::pack_output_block(samples, pass);
  }
  std::array<std::uint8_t, 2 * engine::low_latency_pass> out{};
  std::size_t p = 0;
  for (auto _ : state) {
    chain.process(in[p++ % in.size()], 1, out, false);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LowLatencyPassEveryFilterOn);

}  // namespace
