// Random signals and the direct convolution the engine's filter tests share.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>

namespace engine_test {

// Fills `samples` with uniform random values in -limit..limit.
inline void fill_random(std::span<std::int32_t> samples, unsigned seed,
                        std::int32_t limit = 30000) {
  std::mt19937 engine(seed);
  std::uniform_int_distribution<std::int32_t> uniform(-limit, limit);
  for (std::int32_t& s : samples) s = uniform(engine);
}

// The largest magnitude, and the largest step between neighbours, from
// sample `from` on.
inline std::int64_t peak(std::span<const std::int32_t> samples, std::size_t from = 0) {
  std::int64_t most = 0;
  for (std::size_t i = from; i < samples.size(); ++i)
    most = std::max(most, std::abs(std::int64_t{samples[i]}));
  return most;
}

inline std::int64_t largest_step(std::span<const std::int32_t> samples, std::size_t from = 0) {
  std::int64_t most = 0;
  for (std::size_t i = from + 1; i < samples.size(); ++i) {
    most = std::max(most, std::abs(std::int64_t{samples[i]} - samples[i - 1]));
  }
  return most;
}

// How far y strays from x convolved, in double, with the kernel time samples
// taps[0..511]: the largest and the rms difference.
struct Error {
  double worst = 0.0;
  double rms = 0.0;
};

inline Error against_convolution(std::span<const std::int32_t> y, std::span<const float> taps,
                                 std::span<const std::int32_t> x) {
  Error error;
  for (std::size_t n = 0; n < x.size(); ++n) {
    double expected = 0.0;
    for (std::size_t t = 0; t < 512 && t <= n; ++t) expected += taps[t] * double(x[n - t]);
    error.worst = std::max(error.worst, std::abs(y[n] - expected));
    error.rms += (y[n] - expected) * (y[n] - expected) / static_cast<double>(x.size());
  }
  error.rms = std::sqrt(error.rms);
  return error;
}

}  // namespace engine_test
