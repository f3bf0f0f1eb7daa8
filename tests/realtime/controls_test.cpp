// The window's controls as the audio thread takes them: a filter whose
// restart count moved starts again from nothing, one switched off keeps what
// it learned, and the strength and designs arrive whole.
#include "realtime/controls.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/auto_notch.h"
#include "engine/noise_reduction.h"

namespace {

using Pass = std::array<std::int32_t, 1024>;

// Pass `pass` of a steady 1000 Hz tone of amplitude 3000 in noise of +-2000
// (the same noise for the same pass).
Pass radio_pass(int pass) {
  Pass samples{};
  std::uint32_t noise = 11u + static_cast<std::uint32_t>(pass);
  for (int i = 0; i < 1024; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(pass * 1024 + i) / 11025.0;
    samples[static_cast<std::size_t>(i)] =
        static_cast<std::int32_t>(3000.0 * std::sin(2 * std::numbers::pi * 1000.0 * t) +
                                  static_cast<int>(noise >> 20) - 2048);
  }
  return samples;
}

// What a filter makes of passes `from` .. `to` - 1 of the radio.
template <typename Filter>
std::vector<Pass> filtered(Filter& filter, int from, int to) {
  std::vector<Pass> out;
  for (int pass = from; pass < to; ++pass) {
    out.push_back(radio_pass(pass));
    filter.process(out.back());
  }
  return out;
}

TEST(Controls, AMovedRestartCountStartsItsFilterAfreshAndTheRestKeepWhatTheyLearned) {
  engine::FilterChain window;
  window.noise_reduction.set_strength(9);
  window.nf1.on = true;
  window.nf1.filter.re[7] = 0.5f;
  window.signal_gain = 3.0f;
  realtime::ChainControls controls;
  realtime::read_chain(window, controls);

  engine::FilterChain live;
  realtime::ChainControls seen;
  // Taught while off.
  live.lms.weights.fill(0.25f);
  filtered(live.auto_notch, 0, 12);
  ASSERT_FALSE(live.auto_notch.notched().empty());
  filtered(live.noise_reduction, 0, 10);

  // Only the noise reduction and the automatic notch were switched on.
  controls.auto_notch_restarts = 1;
  controls.noise_reduction_restarts = 1;
  realtime::apply_chain(controls, seen, live);
  EXPECT_EQ(live.lms.weights[7], 0.25f);
  engine::AutoNotch fresh_notch;
  EXPECT_EQ(filtered(live.auto_notch, 12, 20), filtered(fresh_notch, 12, 20));
  engine::NoiseReduction fresh_reduction;
  fresh_reduction.set_strength(9);
  EXPECT_EQ(filtered(live.noise_reduction, 10, 16), filtered(fresh_reduction, 10, 16));
  EXPECT_TRUE(live.nf1.on);
  EXPECT_EQ(live.nf1.filter.re[7], 0.5f);
  EXPECT_EQ(live.signal_gain, 3.0f);

  // The same counts again restart nothing; the LMS's moving restarts it.
  const std::vector<float> found(live.auto_notch.notched().begin(),
                                 live.auto_notch.notched().end());
  controls.lms_restarts = 1;
  realtime::apply_chain(controls, seen, live);
  EXPECT_EQ(live.lms.weights, decltype(live.lms.weights){});
  EXPECT_EQ(live.lms.power, 2.0f);
  EXPECT_EQ(std::vector<float>(live.auto_notch.notched().begin(), live.auto_notch.notched().end()),
            found);
}

}  // namespace
