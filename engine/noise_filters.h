// The two time-domain noise filters at the head of the filter chain: the
// three-sample smoother and the adaptive LMS line enhancer.
#pragma once

#include <cstdint>
#include <span>

namespace engine {

// mean_smooth3: work[i] = mean of raw[i-1], raw[i], raw[i+1] in integers,
// truncating toward zero; the two end samples take the mean of themselves and
// their one neighbour inside the pass. No delay, unit gain at 0 Hz, no state;
// neighbouring passes are not used. `raw` and `work` are equally long (>= 2)
// and distinct; |raw| must stay below 2^30 (16-bit samples do). The window
// calls this stage the median filter, after the name its users know.
void mean_smooth3(std::span<const std::int32_t> raw, std::span<std::int32_t> work);

// Order of the LMS predictor: it predicts each sample from the lms_order + 1
// samples before it.
inline constexpr int lms_order = 20;

// Smoothing factor of the LMS power estimate, per sample.
inline constexpr float lms_beta = 2.0e-6f;

// Step size of the LMS filter, set at every cycle start: (1e-7 x 2) x 1/21.
inline constexpr float lms_step_size = (1.0e-7f * 2.0f) * (1.0f / 21.0f);

// lms_pass: runs a normalised LMS predictor over `work` in place. With
// coefficients w[0..order] (order = lms_order) over the delay line
// x[0..order] (x[0] newest), each sample i takes one step:
//   - x_in, the previous sample (prev_input for the first, carried between
//     passes), shifts into x[0];
//   - the prediction y = sum w[k] x[k], single precision, k upward, is
//     output[i];
//   - the power estimate P = beta x[0]^2 + (1 - beta) P;
//   - w[k] += (mu e / P) x[k] with e = input[i] - y, input[i] = work[i] as
//     float;
//   - the delay line shifts by one (x[k] = x[k - 1] for k >= 1, so x[0] and
//     x[1] both hold x_in afterwards).
// Then work[i] = truncation of 1.65 x output[i] (double precision). A power
// estimate that has decayed to zero or a denormal (long digital silence)
// divides as the smallest normal float, so the weights stay finite; ordinary
// input never gets there. Gain about 1.65 on a converged tone, noise
// suppressed; converges slowly (mu about 1e-8); delay none. `input` and
// `output` are scratch as long as `work`; `w` has order + 1 entries, `x` at
// least order + 1 (entries past order are left alone). Allocates nothing.
void lms_pass(std::span<std::int32_t> work, std::span<float> input, std::span<float> output,
              std::span<float> w, std::span<float> x, float& power, float mu, float& prev_input);

// Restarts adaptation: clears the whole delay line and the coefficients and
// sets the power estimate back to 2.0.
void lms_reset(std::span<float> w, std::span<float> x, float& power);

}  // namespace engine
