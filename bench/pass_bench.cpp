// The sample stages of a pass with every filter off: unpack, output stage and
// packing of 1024 samples.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "engine/pass.h"

namespace {

void BM_PassWithFiltersOff(benchmark::State& state) {
  std::array<std::uint8_t, 2048> in{};
  std::array<std::uint8_t, 2048> out{};
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 37);
  std::array<std::int32_t, 1024> raw{};
  std::array<std::int32_t, 1024> work{};
  std::array<std::int32_t, 1024> samples{};
  for (auto _ : state) {
    engine::unpack_input_block(in, 1, work, raw);
    engine::output_stage(raw, work, false, 2.5f, false, samples);
    engine::pack_output_block(samples, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PassWithFiltersOff);

}  // namespace
