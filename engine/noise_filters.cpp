#include "engine/noise_filters.h"

#include <algorithm>
#include <array>
#include <limits>

#include "design/rounding.h"

namespace engine {

void mean_smooth3(std::span<const std::int32_t> raw, std::span<std::int32_t> work) {
  const std::size_t last = raw.size() - 1;
  work[0] = (raw[0] + raw[1]) / 2;
  work[last] = (raw[last - 1] + raw[last]) / 2;
  for (std::size_t i = 1; i < last; ++i) work[i] = (raw[i - 1] + raw[i] + raw[i + 1]) / 3;
}

namespace {

constexpr int lms_length = lms_order + 1;

// Steps the predictor through one stretch of the pass. history[0..order) holds
// the x_in of the steps before it, oldest first, and history[order + m] the
// x_in of step m, so that step m's delay line is history[m .. m + order]
// backwards. The weights are held reversed, reversed[j] = w[order - j], so
// that both run forward together.
void lms_stretch(std::span<const float> history, std::span<const float> desired,
                 std::span<float> predicted, std::array<float, lms_length>& reversed, float& power,
                 float mu) {
  for (std::size_t m = 0; m < desired.size(); ++m) {
    const float* const line = history.data() + m;
    std::array<float, lms_length> products;
    for (int j = 0; j < lms_length; ++j) products[j] = reversed[j] * line[j];
    // The sum starts at its first term rather than at 0 + that term: only
    // the sign of a zero prediction can differ, and neither the error
    // d - y (d is a whole number) nor the truncated output sees it.
    float y = products[lms_order];
    for (int j = lms_order - 1; j >= 0; --j) y += products[j];
    const float newest = line[lms_order];
    const float e = desired[m] - y;
    power = lms_beta * (newest * newest) + (1.0f - lms_beta) * power;
    const float g = mu * e / std::max(power, std::numeric_limits<float>::min());
    for (int j = 0; j < lms_length; ++j) reversed[j] += g * line[j];
    predicted[m] = y;
  }
}

}  // namespace

void lms_pass(std::span<std::int32_t> work, std::span<float> input, std::span<float> output,
              std::span<float> w, std::span<float> x, float& power, float mu, float& prev_input) {
  if (work.empty()) return;
  const std::size_t count = work.size();
  for (std::size_t i = 0; i < count; ++i) input[i] = static_cast<float>(work[i]);

  std::array<float, lms_length> reversed;
  for (int j = 0; j < lms_length; ++j) reversed[j] = w[lms_order - j];
  // The x_in of the steps before the pass: x[k] for k >= 1 is that of k
  // steps back.
  constexpr std::size_t stretch = 1024;
  std::array<float, lms_order + stretch> history;
  for (int j = 0; j < lms_order; ++j) history[j] = x[lms_order - j];
  for (std::size_t start = 0; start < count; start += stretch) {
    const std::size_t length = std::min(stretch, count - start);
    history[lms_order] = start == 0 ? prev_input : input[start - 1];
    for (std::size_t m = 1; m < length; ++m) history[lms_order + m] = input[start + m - 1];
    lms_stretch(std::span(history).first(lms_order + length), input.subspan(start, length),
                output.subspan(start, length), reversed, power, mu);
    std::copy_n(history.begin() + static_cast<std::ptrdiff_t>(length), lms_order, history.begin());
  }
  for (int j = 0; j < lms_length; ++j) w[lms_order - j] = reversed[j];
  // The delay line as the last step's shift left it: x[k] is the x_in of k - 1
  // steps back, and x[0] repeats x[1].
  for (int k = 1; k <= lms_order; ++k) x[k] = history[lms_order - k];
  x[0] = x[1];
  prev_input = input[count - 1];

  for (std::size_t i = 0; i < count; ++i) {
    work[i] = design::truncate_to_int32(1.65 * static_cast<double>(output[i]));
  }
}

void lms_reset(std::span<float> w, std::span<float> x, float& power) {
  std::fill(x.begin(), x.end(), 0.0f);
  std::fill(w.begin(), w.end(), 0.0f);
  power = 2.0f;
}

}  // namespace engine
