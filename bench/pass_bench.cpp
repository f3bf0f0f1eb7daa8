// The sample stages of a pass with every filter off: unpack, output stage and
// packing of 1024 samples; and a low-latency pass of 128 samples with every
// filter on.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>

#include "bench/every_filter.h"
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
  bench::switch_every_filter_on(chain);
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
