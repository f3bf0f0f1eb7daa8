#include "engine/noise_blanker.h"

#include <algorithm>
#include <cmath>

namespace engine {
namespace {

constexpr double error_memory = 1.0 / 512.0;
// The autocorrelation's exponential window: a time constant of 256 samples.
constexpr double fit_memory = 1.0 - 1.0 / 256.0;
constexpr double least_error_power = 1.0;  // a sixteen-bit step, squared
// What one sample may add to the error's power, in multiples of it: the level
// follows a voice that grows louder within a few milliseconds.
constexpr double winsor = 25.0;
// How far a click's error stands above the largest around it.
constexpr double context_ratio = 2.5;

}  // namespace

NoiseBlanker::NoiseBlanker() { reset(); }

void NoiseBlanker::set_level(int level) {
  level_ = std::clamp(level, noise_blanker_lowest, noise_blanker_highest);
  threshold_ = 3.0 + 2.0 * level_;
}

void NoiseBlanker::reset() {
  history_.fill(0.0);
  count_ = 0;
  a_.fill(0.0);
  a_[0] = 1.0;
  std::reverse_copy(a_.begin(), a_.end(), reversed_.begin());
  ab_.fill(0.0);
  ab_[0] = 1.0;
  correlation_.fill(0.0);
  error_power_ = least_error_power;
  until_fit_ = fit_every;
  in_burst_ = false;
  pending_count_ = 0;
  errors_.fill(0.0);
  bursts_.fill(0);
  replaced_ = 0;
}

void NoiseBlanker::process(std::span<std::int32_t> samples) {
  for (std::int32_t& sample : samples) {
    const std::int64_t n = count_++;
    put(n, sample);
    const double* recent = &history_[slot(n) + ring - order];
    double error = 0.0;
    for (std::size_t j = 0; j <= order; ++j) error += reversed_[j] * recent[j];
    error_at(n) = std::abs(error);
    in_burst_at(n) = 0;
    const double limit = threshold_ * threshold_ * error_power_;
    if (error * error > limit) {
      if (!in_burst_) {
        in_burst_ = true;
        burst_first_ = n;
        burst_peak_ = 0.0;
      }
      burst_last_ = n;
      burst_peak_ = std::max(burst_peak_, std::abs(error));
    } else if (in_burst_ && n - burst_last_ >= margin + order) {
      end_burst();
    }
    // The error's level follows the signal, not the clicks: a burst too long
    // for a click is signal and counts, limited as every sample is.
    if (in_burst_) in_burst_at(n) = 1;
    if (!in_burst_ || burst_last_ - burst_first_ + 1 + 2 * margin > most_span) {
      error_power_ +=
          error_memory * (std::min(error * error, winsor * error_power_) - error_power_);
      error_power_ = std::max(error_power_, least_error_power);
    }
    if (pending_count_ > 0 && pending_[0].first == n - noise_blanker_delay) decide();
    // The sample going out is final: it enters the model's autocorrelation.
    const double* gone = &history_[slot(n - noise_blanker_delay) + ring - order];
    for (std::size_t k = 0; k <= order; ++k) {
      correlation_[k] = fit_memory * correlation_[k] + gone[order] * gone[order - k];
    }
    if (--until_fit_ == 0) {
      until_fit_ = fit_every;
      fit();
    }
    sample = static_cast<std::int32_t>(at(n - noise_blanker_delay));
  }
}

void NoiseBlanker::end_burst() {
  in_burst_ = false;
  const Burst burst{burst_first_ - margin, burst_last_ + margin, burst_peak_};
  if (burst.last - burst.first + 1 <= most_span && pending_count_ < most_pending) {
    pending_[static_cast<std::size_t>(pending_count_++)] = burst;
  }
}

// A burst is a click when its error stands out of the error around it, the
// context_length samples before it and those after it that have come in,
// past the samples its own error spreads into: a voice's glottal pulses
// come one after another at much the same size, a click comes alone.
void NoiseBlanker::decide() {
  const Burst burst = pending_[0];
  std::copy(pending_.begin() + 1, pending_.begin() + pending_count_, pending_.begin());
  --pending_count_;
  double context = 0.0;
  const auto look = [&](std::int64_t from, std::int64_t to) {
    for (std::int64_t i = from; i <= to; ++i) {
      if (!in_burst_at(i)) context = std::max(context, error_at(i));
    }
  };
  look(burst.first - context_length, burst.first - 1);
  look(burst.last + order + 1, count_ - 1);
  if (burst.peak > context_ratio * context)
    replace(burst.first, static_cast<int>(burst.last - burst.first + 1));
}

// The model from the autocorrelation of the samples gone out, by the
// Levinson-Durbin recursion; then the error filter's own autocorrelation,
// the interpolation's matrix.
void NoiseBlanker::fit() {
  const std::array<double, order + 1>& r = correlation_;
  std::array<double, order + 1> a{};
  a[0] = 1.0;
  // A floor 40 dB under the window's power keeps the model stable on pure
  // tones and silence.
  double power = r[0] * 1.0001 + 1e-3;
  if (power <= 0.0) return;
  for (int m = 1; m <= order; ++m) {
    double acc = r[static_cast<std::size_t>(m)];
    for (int k = 1; k < m; ++k) {
      acc += a[static_cast<std::size_t>(k)] * r[static_cast<std::size_t>(m - k)];
    }
    const double reflection = -acc / power;
    std::array<double, order + 1> previous = a;
    for (int k = 1; k < m; ++k) {
      a[static_cast<std::size_t>(k)] += reflection * previous[static_cast<std::size_t>(m - k)];
    }
    a[static_cast<std::size_t>(m)] = reflection;
    power *= 1.0 - reflection * reflection;
  }
  a_ = a;
  std::reverse_copy(a_.begin(), a_.end(), reversed_.begin());
  for (int k = 0; k <= order; ++k) {
    double sum = 0.0;
    for (int j = 0; j + k <= order; ++j) {
      sum += a_[static_cast<std::size_t>(j)] * a_[static_cast<std::size_t>(j + k)];
    }
    ab_[static_cast<std::size_t>(k)] = sum;
  }
}

// Least-squares interpolation of samples first .. first + length - 1: the
// normal equations R u = -sum over known samples, R the Toeplitz matrix of
// the error filter's autocorrelation, banded to the order.
void NoiseBlanker::replace(std::int64_t first, int length) {
  const auto band = [this](int d) {
    d = std::abs(d);
    return d > order ? 0.0 : ab_[static_cast<std::size_t>(d)];
  };
  const auto l = [this](int i, int j) -> double& {
    return cholesky_[static_cast<std::size_t>(i * most_span + j)];
  };
  for (int i = 0; i < length; ++i) {
    double rhs = 0.0;
    for (int d = -order; d <= order; ++d) {
      const int j = i + d;
      if (j < 0 || j >= length) rhs -= band(d) * at(first + j);
    }
    solution_[static_cast<std::size_t>(i)] = rhs;
  }
  // Cholesky, R = L L^T, in the lower triangle; L keeps R's band.
  for (int i = 0; i < length; ++i) {
    const int first_in_band = std::max(0, i - order);
    for (int j = first_in_band; j <= i; ++j) {
      double sum = band(i - j);
      for (int k = first_in_band; k < j; ++k) sum -= l(i, k) * l(j, k);
      l(i, j) = i == j ? std::sqrt(sum) : sum / l(j, j);
    }
  }
  for (int i = 0; i < length; ++i) {
    double sum = solution_[static_cast<std::size_t>(i)];
    for (int k = std::max(0, i - order); k < i; ++k) {
      sum -= l(i, k) * solution_[static_cast<std::size_t>(k)];
    }
    solution_[static_cast<std::size_t>(i)] = sum / l(i, i);
  }
  for (int i = length - 1; i >= 0; --i) {
    double sum = solution_[static_cast<std::size_t>(i)];
    for (int k = i + 1; k < std::min(length, i + order + 1); ++k) {
      sum -= l(k, i) * solution_[static_cast<std::size_t>(k)];
    }
    solution_[static_cast<std::size_t>(i)] = sum / l(i, i);
  }
  for (int i = 0; i < length; ++i) {
    put(first + i,
        std::clamp(std::round(solution_[static_cast<std::size_t>(i)]), -32768.0, 32767.0));
  }
  replaced_ += static_cast<std::uint64_t>(length);
}

}  // namespace engine
