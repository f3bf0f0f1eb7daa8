// The cost of the filter chain: one transform pair, one design (both forms)
// and its minimum-phase form alone, one partitioned low-latency stage, one
// transform-domain stage (ours, and the same overlap-add stage on FFTW's
// single-precision real transforms as a yardstick when FFTW is available),
// the noise blanker, the automatic notch and the noise reduction over a
// pass, and a whole pass with every stage on.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "bench/every_filter.h"
#include "design/Rfft_ifft.h"
#include "design/designers.h"
#include "design/filter.h"
#include "design/minimum_phase.h"
#include "design/rounding.h"
#include "engine/block_filter.h"
#include "engine/filter_chain.h"
#include "engine/noise_blanker.h"
#include "engine/noise_filters.h"
#include "engine/partitioned_filter.h"
#include "engine/pass.h"

#ifdef TONEWELL_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

std::array<std::int32_t, 1024> noise_pass(unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<std::int32_t> uniform(-20000, 20000);
  std::array<std::int32_t, 1024> samples{};
  for (std::int32_t& s : samples) s = uniform(engine);
  return samples;
}

// Eight passes of a receiver's output: three carriers (700, 1500 and
// 2600 Hz) in noise, which the automatic notch takes out once it has found
// them and the noise reduction works on. Consecutive passes continue the
// carriers and bring new noise.
struct RadioPasses {
  std::array<std::array<std::int32_t, 1024>, 8> passes{};
  RadioPasses() {
    std::mt19937 engine(9);
    std::normal_distribution<double> noise(0.0, 1500.0);
    for (std::size_t p = 0; p < passes.size(); ++p) {
      for (std::size_t i = 0; i < 1024; ++i) {
        const double t = static_cast<double>(p * 1024 + i) / 11025.0;
        double v = noise(engine);
        for (const double hz : {700.0, 1500.0, 2600.0})
          v += 3000.0 * std::sin(2 * std::numbers::pi * hz * t);
        passes[p][i] = static_cast<std::int32_t>(v);
      }
    }
  }
};

void BM_TransformPair(benchmark::State& state) {
  std::array<float, 1025> data{};
  std::array<float, 513> re{};
  std::array<float, 513> im{};
  const auto samples = noise_pass(1);
  for (std::size_t i = 1; i <= 1024; ++i) data[i] = static_cast<float>(samples[i - 1]);
  for (auto _ : state) {
    design::real_fft(data, re, im, 1024);
    design::inverse_real_fft(data, re, im, 1024);
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TransformPair);

// The voice band of the first bandpass preset, at the Q bar's top position.
constexpr design::Edges voice_band{0.0181405f, 0.2721088f};

void BM_DesignBandpass(benchmark::State& state) {
  design::DesignedFilter bp;
  for (auto _ : state) {
    design::design_bandpass(voice_band, 0.0f, bp);
    benchmark::DoNotOptimize(bp.re.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DesignBandpass);

// The minimum-phase form alone, at the Q bar's start position.
void BM_DesignMinimumPhase(benchmark::State& state) {
  design::DesignedFilter bp;
  design::design_bandpass(voice_band, 0.05f, bp);
  design::MinimumPhase form;
  for (auto _ : state) {
    design::minimum_phase_from_taps(bp.taps, 0.05f, form);
    benchmark::DoNotOptimize(form.re.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DesignMinimumPhase);

// One minimum-phase stage over a low-latency pass of 128 samples.
void BM_PartitionedStage(benchmark::State& state) {
  design::DesignedFilter bp;
  design::design_bandpass(voice_band, 0.0f, bp);
  const auto noise = noise_pass(3);
  std::array<std::int32_t, engine::partitioned_pass> samples{};
  engine::PartitionedTail tail;
  engine::PartitionedWork work;
  std::size_t p = 0;
  for (auto _ : state) {
    std::copy_n(noise.begin() + (p++ % 8) * engine::partitioned_pass, samples.size(),
                samples.begin());
    engine::apply_partitioned_stage(bp.min_phase, tail, samples, work);
    benchmark::DoNotOptimize(samples.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PartitionedStage);

void BM_FilterStage(benchmark::State& state) {
  design::DesignedFilter bp;
  design::design_bandpass(voice_band, 0.0f, bp);
  auto samples = noise_pass(2);
  std::array<std::int32_t, 1024> overlap{};
  engine::StageWork work;
  for (auto _ : state) {
    engine::apply_filter_stage(bp.re, bp.im, overlap, samples, work);
    benchmark::DoNotOptimize(samples.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FilterStage);

#ifdef TONEWELL_HAVE_FFTW
// The same stage on FFTW: two zero-padded 512-sample segments, r2c, the
// product with the response, c2r, scaling, truncation and overlap-add.
void BM_FftwFilterStage(benchmark::State& state) {
  design::DesignedFilter bp;
  design::design_bandpass(voice_band, 0.0f, bp);
  float* real = fftwf_alloc_real(1024);
  fftwf_complex* spectrum = fftwf_alloc_complex(513);
  const fftwf_plan forward = fftwf_plan_dft_r2c_1d(1024, real, spectrum, FFTW_MEASURE);
  const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(1024, spectrum, real, FFTW_MEASURE);
  std::array<float, 513> resp_re{};
  std::array<float, 513> resp_im{};
  for (std::size_t k = 1; k < 512; ++k) {
    resp_re[k] = bp.re[k] / 1024.0f;
    resp_im[k] = bp.im[k] / 1024.0f;
  }
  resp_re[0] = bp.re[0] / 1024.0f;    // DC
  resp_re[512] = bp.im[0] / 1024.0f;  // Nyquist
  auto samples = noise_pass(2);
  std::array<std::int32_t, 1024> overlap{};
  std::array<std::int32_t, 1024> out_1{};
  std::array<std::int32_t, 1024> out_2{};
  const auto segment = [&](std::size_t start, std::array<std::int32_t, 1024>& out) {
    for (std::size_t j = 0; j < 512; ++j) real[j] = static_cast<float>(samples[start + j]);
    for (std::size_t j = 512; j < 1024; ++j) real[j] = 0.0f;
    fftwf_execute(forward);
    for (std::size_t k = 0; k <= 512; ++k) {
      const float s_re = spectrum[k][0];
      const float s_im = spectrum[k][1];
      spectrum[k][0] = s_re * resp_re[k] - s_im * resp_im[k];
      spectrum[k][1] = s_im * resp_re[k] + s_re * resp_im[k];
    }
    fftwf_execute(inverse);
    for (std::size_t j = 0; j < 1024; ++j) out[j] = design::truncate_to_int32(real[j]);
  };
  for (auto _ : state) {
    segment(0, out_1);
    segment(512, out_2);
    for (std::size_t j = 0; j < 512; ++j) overlap[j] += out_1[j];
    for (std::size_t j = 0; j < 512; ++j) overlap[512 + j] = out_1[512 + j] + out_2[j];
    samples = overlap;
    for (std::size_t j = 0; j < 512; ++j) overlap[j] = out_2[512 + j];
    for (std::size_t j = 512; j < 1024; ++j) overlap[j] = 0;
    benchmark::DoNotOptimize(samples.data());
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(forward);
  fftwf_destroy_plan(inverse);
  fftwf_free(spectrum);
  fftwf_free(real);
}
BENCHMARK(BM_FftwFilterStage);
#endif

// The LMS filter over one pass of noise, adaptation carried across passes.
void BM_LmsPass(benchmark::State& state) {
  const auto samples = noise_pass(4);
  std::array<std::int32_t, 1024> work{};
  engine::LmsState lms;
  engine::lms_reset(lms.weights, lms.taps, lms.power);
  float prev_input = 0.0f;
  for (auto _ : state) {
    work = samples;
    engine::lms_pass(work, lms.input, lms.output, lms.weights, lms.taps, lms.power,
                     engine::lms_step_size, prev_input);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LmsPass);

// The noise blanker over passes of the carriers in noise with 2 ms clicks
// at 15 a second, each some 15 dB over the signal: about one and a half
// replaced a pass.
void BM_NoiseBlankerPassWithClicks(benchmark::State& state) {
  RadioPasses radio;
  std::mt19937 engine(5);
  std::uniform_int_distribution<std::size_t> where(0, 1024 - 22);
  std::normal_distribution<double> click(0.0, 20000.0);
  for (std::size_t p = 0; p < radio.passes.size(); ++p) {
    for (int c = 0; c < 1 + static_cast<int>(p % 2); ++c) {
      const std::size_t at = where(engine);
      for (std::size_t i = 0; i < 22; ++i) {
        radio.passes[p][at + i] += static_cast<std::int32_t>(
            click(engine) * std::exp(-3.0 * static_cast<double>(i) / 22.0));
      }
    }
  }
  engine::NoiseBlanker blanker;
  std::size_t p = 0;
  for (auto _ : state) {
    auto work = radio.passes[p++ % 8];
    blanker.process(work);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NoiseBlankerPassWithClicks);

// The automatic notch over a pass with three carriers notched.
void BM_AutoNotchPass(benchmark::State& state) {
  const RadioPasses radio;
  engine::AutoNotch notch;
  for (int warm = 0; warm < 16; ++warm) {
    auto work = radio.passes[static_cast<std::size_t>(warm) % 8];
    notch.process(work);
  }
  std::size_t p = 0;
  for (auto _ : state) {
    auto work = radio.passes[p++ % 8];
    notch.process(work);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AutoNotchPass);

// The noise reduction at its start strength over a pass of noisy carriers.
void BM_NoiseReductionPass(benchmark::State& state) {
  const RadioPasses radio;
  engine::NoiseReduction reduction;
  std::size_t p = 0;
  for (auto _ : state) {
    auto work = radio.passes[p++ % 8];
    reduction.process(work);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NoiseReductionPass);

// Unpacking, smoothing, LMS, the automatic notch, the noise reduction, the
// five transform-domain stages, the output stage and packing: everything a
// pass does but the display.
void BM_WholePassEveryStageOn(benchmark::State& state) {
  engine::FilterChain chain;
  bench::switch_every_filter_on(chain);
  chain.lms.mu = engine::lms_step_size;
  chain.signal_gain = 2.5f;
  const RadioPasses radio;
  std::array<std::array<std::uint8_t, 2048>, 8> in{};
  for (std::size_t p = 0; p < in.size(); ++p) engine::pack_output_block(radio.passes[p], in[p]);
  std::array<std::uint8_t, 2048> out{};
  for (int warm = 0; warm < 16; ++warm) {
    chain.process(in[static_cast<std::size_t>(warm) % 8], 1, out, false);
  }
  std::size_t p = 0;
  for (auto _ : state) {
    chain.process(in[p++ % 8], 1, out, false);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_WholePassEveryStageOn);
const auto* const low_delay_bench = benchmark::RegisterBenchmark(
    "BM_NoiseReductionLowDelay1024Samples", [](benchmark::State& state) {
      const RadioPasses radio;
      engine::NoiseReduction reduction;
      reduction.set_low_delay(true);
      std::size_t p = 0;
      for (auto _ : state) {
        auto work = radio.passes[p++ % 8];
        for (std::size_t s = 0; s < work.size(); s += engine::noise_reduction_low_delay_hop)
          reduction.process(std::span(work).subspan(s, engine::noise_reduction_low_delay_hop));
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
      }
    });

}  // namespace
