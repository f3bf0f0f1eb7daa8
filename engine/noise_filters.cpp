#include "engine/noise_filters.h"

#include <algorithm>
#include <limits>

#include "engine/pass.h"

namespace engine {

void median_smooth(std::span<const std::int32_t> raw, std::span<std::int32_t> work) {
  const std::size_t last = raw.size() - 1;
  work[0] = (raw[0] + raw[1]) / 2;
  work[last] = (raw[last - 1] + raw[last]) / 2;
  for (std::size_t i = 1; i < last; ++i) work[i] = (raw[i - 1] + raw[i] + raw[i + 1]) / 3;
}

float lms_step(std::span<float> w, std::span<float> x, float& power, int order, float beta,
               float mu, float d, float x_in) {
  x[0] = x_in;
  float y = 0.0f;
  for (int k = 0; k <= order; ++k) y += w[k] * x[k];
  const float e = d - y;
  power = beta * (x[0] * x[0]) + (1.0f - beta) * power;
  const float g = mu * e / std::max(power, std::numeric_limits<float>::min());
  for (int k = 0; k <= order; ++k) w[k] += g * x[k];
  for (int k = order; k >= 1; --k) x[k] = x[k - 1];
  return y;
}

void lms_pass(std::span<std::int32_t> work, std::span<float> input, std::span<float> output,
              std::span<float> w, std::span<float> x, float& power, float mu, float& prev_input) {
  for (std::size_t i = 0; i < work.size(); ++i) input[i] = static_cast<float>(work[i]);
  for (std::size_t i = 0; i < work.size(); ++i) {
    output[i] = lms_step(w, x, power, lms_order, lms_beta, mu, input[i], prev_input);
    prev_input = input[i];
  }
  for (std::size_t i = 0; i < work.size(); ++i) {
    work[i] = truncate_to_int32(1.65 * static_cast<double>(output[i]));
  }
}

void lms_reset(std::span<float> w, std::span<float> x, float& power) {
  std::fill(x.begin(), x.end(), 0.0f);
  std::fill(w.begin(), w.end(), 0.0f);
  power = 2.0f;
}

}  // namespace engine
