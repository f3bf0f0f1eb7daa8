// The sample stages of a pass with every filter off: unpack, output stage and
// packing of 1024 samples.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "engine/filter_chain.h"

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

}  // namespace
