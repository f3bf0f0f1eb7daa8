// The window's handlers over the filter design and the noise filters: the
// variable filters' edge bars and memos, the noise-filter buttons and the
// noise reduction's strength bar, the automatic notch's lines, the gain
// bars, and what start-up designs.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "audio/standin_device.h"
#include "design/filter.h"
#include "engine/auto_notch.h"
#include "engine/noise_reduction.h"
#include "shell/Zoduvov.h"
#include "shell/paint_box.h"
#include "shell/toolkit.h"
#include "tests/shell/test_application.h"

namespace {

class FilterWindow : public ::testing::Test {
 protected:
  QApplication& app = test_application();  // before the window
  audio::StandinSystem device;
  TZForm form{device};

  void SetUp() override { form.StartTimer->stop(); }
};

bool all_zero(const design::Response& response) {
  return std::all_of(response.begin(), response.end(), [](float v) { return v == 0.0f; });
}

using Pass = std::array<std::int32_t, 1024>;

// Pass `pass` of a steady 1000 Hz tone of amplitude `tone` in noise of
// +-2000 (the same noise for the same pass).
Pass radio_pass(int pass, double tone = 3000.0) {
  Pass samples{};
  std::uint32_t noise = 11u + static_cast<std::uint32_t>(pass);
  for (int i = 0; i < 1024; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const double t = static_cast<double>(pass * 1024 + i) / 11025.0;
    samples[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(
        tone * std::sin(2 * std::numbers::pi * 1000.0 * t) + static_cast<int>(noise >> 20) - 2048);
  }
  return samples;
}

// What a filter makes of passes `from` .. `to` - 1 of the radio.
template <typename Filter>
std::vector<Pass> filtered(Filter& filter, int from, int to, double tone = 3000.0) {
  std::vector<Pass> out;
  for (int pass = from; pass < to; ++pass) {
    out.push_back(radio_pass(pass, tone));
    filter.process(out.back());
  }
  return out;
}

std::vector<float> notched(const engine::AutoNotch& filter) {
  return {filter.notched().begin(), filter.notched().end()};
}

TEST_F(FilterWindow, AFirstStartDesignsEveryFilterAsTheWindowShowsItAndFillsTheDisplayWindow) {
  // The bandpass as its list shows it, 200 Hz to 3.0 kHz.
  EXPECT_NEAR(form.tuning.bp.edges.lo * 11025, 200.0f, 0.01f);
  EXPECT_NEAR(form.tuning.bp.edges.hi * 11025, 3000.0f, 0.01f);
  // Both notches 1000 Hz wide around the start centre.
  EXPECT_NEAR(form.tuning.nf1.edges.hi * 11025, 0.035f / 1024 * 11025 + 500, 0.01f);
  EXPECT_EQ(form.chain.nf1.filter.taps, form.chain.nf2.filter.taps);
  EXPECT_EQ(form.chain.nf1.filter.re, form.chain.nf2.filter.re);
  // The bandpass's start Q-level of 0.05 lets the band far above it through
  // at 0.05 x sqrt(2).
  EXPECT_NEAR(std::hypot(form.chain.bp.filter.re[300], form.chain.bp.filter.im[300]), 0.0707f,
              1e-4f);
  // The variable filters follow their bars, 100 to 400.
  EXPECT_FALSE(all_zero(form.chain.var_bp.filter.re));
  EXPECT_FALSE(all_zero(form.chain.var_notch.filter.re));
  EXPECT_EQ(form.tuning.var_bp.edges.lo, 100.0f / 1024);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");

  EXPECT_FLOAT_EQ(form.view.display_window[512], 1.0f);
  EXPECT_NEAR(form.view.display_window[0], 0.00006f, 1e-6f);
}

TEST_F(FilterWindow, MovingAnEdgeBarDesignsTheVariableBandpassAndShowsItsWidth) {
  form.Lo_BP_Freq_ScrollBar->setValue(101);
  form.Lo_BP_Freq_ScrollBar->setValue(100);
  EXPECT_NEAR(form.tuning.var_bp.edges.lo, 0.0976563, 1e-7);
  EXPECT_NEAR(form.tuning.var_bp.edges.hi, 0.3906250, 1e-7);
  EXPECT_EQ(form.tuning.var_bp.lo_bin, 100);
  EXPECT_EQ(form.tuning.var_bp.hi_bin, 400);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");
  EXPECT_FALSE(all_zero(form.chain.var_bp.filter.re));
  // The hidden twin of the memo is never updated.
  EXPECT_EQ(form.VarFilterMemo2->text(), "1000 Hz");

  form.Lo_BP_Freq_ScrollBar->setValue(199);
  form.Hi_BP_Freq_ScrollBar->setValue(200);
  EXPECT_EQ(form.VarFilterMemo->text(), "10 Hz");
}

TEST_F(FilterWindow, TheBarThatCrossesTheOtherIsPutBack) {
  // Upper bar moved below the lower one: it lands one above it.
  form.Hi_BP_Freq_ScrollBar->setValue(90);
  EXPECT_EQ(form.Hi_BP_Freq_ScrollBar->value(), 101);
  EXPECT_EQ(form.Lo_BP_Freq_ScrollBar->value(), 100);
  EXPECT_EQ(form.VarFilterMemo->text(), "10 Hz");
  EXPECT_EQ(form.tuning.var_bp.hi_bin, 101);

  // Lower notch bar moved above the upper one: it lands one below it.
  form.Lo_Notch_Freq_ScrollBar->setValue(450);
  EXPECT_EQ(form.Lo_Notch_Freq_ScrollBar->value(), 399);
  EXPECT_EQ(form.Hi_Notch_Freq_ScrollBar->value(), 400);
  EXPECT_EQ(form.tuning.var_notch.lo_bin, 399);
  EXPECT_EQ(form.VarNotchFilterMemo->text(), "10 Hz");

  // Restoring a band of 450..480 lower bar first yields 399..480.
  form.Hi_Notch_Freq_ScrollBar->setValue(480);
  EXPECT_EQ(form.tuning.var_notch.lo_bin, 399);
  EXPECT_EQ(form.tuning.var_notch.hi_bin, 480);
  EXPECT_EQ(form.tuning.var_notch.edges.lo, 399.0f / 1024);
  EXPECT_EQ(form.tuning.var_notch.edges.hi, 480.0f / 1024);
  EXPECT_EQ(form.VarNotchFilterMemo->text(), "872 Hz");

  // At the top the upper bar cannot move up: the lower one stays below it.
  form.Hi_BP_Freq_ScrollBar->setValue(512);
  form.Lo_BP_Freq_ScrollBar->setValue(512);
  EXPECT_EQ(form.Lo_BP_Freq_ScrollBar->value(), 511);
  EXPECT_EQ(form.Hi_BP_Freq_ScrollBar->value(), 512);
}

TEST_F(FilterWindow, TheLmsButtonsSwitchTheFilterAndRestartItsAdaptation) {
  form.chain.lms.weights.fill(0.25f);
  form.chain.lms.taps.fill(9.0f);
  form.chain.lms.power = 123.0f;

  QTest::mouseClick(form.LMSFilterBtn2, Qt::LeftButton);
  EXPECT_EQ(form.chain.lms_on, 1);
  for (QPushButton* button : {form.LMSFilterBtn, form.LMSFilterBtn2}) {
    EXPECT_EQ(button->text(), "ON");
    EXPECT_EQ(shell::font_color(button), shell::engaged_color);
  }
  EXPECT_EQ(form.chain.lms.weights, decltype(form.chain.lms.weights){});
  EXPECT_EQ(form.chain.lms.taps, decltype(form.chain.lms.taps){});
  EXPECT_EQ(form.chain.lms.power, 2.0f);

  // Switching off keeps what was learned.
  form.chain.lms.weights.fill(0.5f);
  QTest::mouseClick(form.LMSFilterBtn2, Qt::LeftButton);
  EXPECT_EQ(form.chain.lms_on, 0);
  for (QPushButton* button : {form.LMSFilterBtn, form.LMSFilterBtn2}) {
    EXPECT_EQ(button->text(), "OFF");
    EXPECT_EQ(shell::font_color(button), shell::idle_color);
  }
  EXPECT_EQ(form.chain.lms.weights[7], 0.5f);

  // The hidden button relabels only itself.
  form.LMSFilterBtnClick();
  EXPECT_EQ(form.chain.lms_on, 1);
  EXPECT_EQ(form.LMSFilterBtn->text(), "ON");
  EXPECT_EQ(form.LMSFilterBtn2->text(), "OFF");
  EXPECT_EQ(form.chain.lms.weights[7], 0.0f);
}

TEST_F(FilterWindow, TheSmoothingButtonsSwitchTheFilterAndResetNothing) {
  form.chain.lms.weights.fill(0.25f);
  QTest::mouseClick(form.MedianFltrBtn2, Qt::LeftButton);
  EXPECT_EQ(form.chain.median_on, 1);
  EXPECT_EQ(form.MedianFltrBtn->text(), "ON");
  EXPECT_EQ(form.MedianFltrBtn2->text(), "ON");
  EXPECT_EQ(shell::font_color(form.MedianFltrBtn2), shell::engaged_color);
  QTest::mouseClick(form.MedianFltrBtn2, Qt::LeftButton);
  EXPECT_EQ(form.chain.median_on, 0);
  EXPECT_EQ(form.MedianFltrBtn2->text(), "OFF");
  EXPECT_EQ(shell::font_color(form.MedianFltrBtn), shell::idle_color);

  form.MedianFltrBtnClick();
  EXPECT_EQ(form.chain.median_on, 1);
  EXPECT_EQ(form.MedianFltrBtn->text(), "ON");
  EXPECT_EQ(form.MedianFltrBtn2->text(), "OFF");
  EXPECT_EQ(form.chain.lms.weights[0], 0.25f);
}

TEST_F(FilterWindow, TheAutoNotchButtonSwitchesTheNotchOnAfreshAndItsLinesShowWhileItIsOn) {
  // Taught the tone while off.
  filtered(form.chain.auto_notch, 0, 12);
  ASSERT_FALSE(notched(form.chain.auto_notch).empty());

  QTest::mouseClick(form.AutoNotchBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.auto_notch_on, 1);
  EXPECT_EQ(form.AutoNotchBtn->text(), "ON");
  EXPECT_EQ(shell::font_color(form.AutoNotchBtn), shell::engaged_color);
  EXPECT_TRUE(notched(form.chain.auto_notch).empty());
  engine::AutoNotch fresh;
  EXPECT_EQ(filtered(form.chain.auto_notch, 12, 20), filtered(fresh, 12, 20));

  // Its frequency, 1000 Hz, is bin 92.9: an orange line at column 93 of the
  // full span, 1 pixel wide.
  ASSERT_FALSE(notched(form.chain.auto_notch).empty());
  form.update_display();
  const QImage& shown = form.SpectrumBox->picture();
  EXPECT_EQ(shown.pixel(93, 10), qRgb(255, 140, 0));
  EXPECT_EQ(shown.pixel(92, 10), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(94, 10), qRgb(255, 255, 255));

  // Switched off, it keeps what it found, and its line goes.
  const std::vector<float> found = notched(form.chain.auto_notch);
  QTest::mouseClick(form.AutoNotchBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.auto_notch_on, 0);
  EXPECT_EQ(form.AutoNotchBtn->text(), "OFF");
  EXPECT_EQ(shell::font_color(form.AutoNotchBtn), shell::idle_color);
  EXPECT_EQ(notched(form.chain.auto_notch), found);
  form.update_display();
  EXPECT_EQ(form.SpectrumBox->picture().pixel(93, 10), qRgb(255, 255, 255));
}

TEST_F(FilterWindow, TheNoiseReductionButtonStartsItAfreshAndItsBarSetsTheStrengthAtOnce) {
  form.NoiseReductionBar->setValue(9);
  filtered(form.chain.noise_reduction, 0, 10, 0.0);  // taught the noise while off

  QTest::mouseClick(form.NoiseReductionBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.noise_reduction_on, 1);
  EXPECT_EQ(form.NoiseReductionBtn->text(), "ON");
  EXPECT_EQ(shell::font_color(form.NoiseReductionBtn), shell::engaged_color);
  // As one that has heard nothing, at the bar's strength; the bar moved
  // while it runs acts from the next pass.
  engine::NoiseReduction fresh;
  fresh.set_strength(9);
  EXPECT_EQ(filtered(form.chain.noise_reduction, 10, 16), filtered(fresh, 10, 16));
  form.NoiseReductionBar->setValue(2);
  fresh.set_strength(2);
  const std::vector<Pass> weak = filtered(form.chain.noise_reduction, 16, 20);
  EXPECT_EQ(weak, filtered(fresh, 16, 20));
  engine::NoiseReduction strong;
  strong.set_strength(9);
  filtered(strong, 10, 16);
  EXPECT_NE(weak, filtered(strong, 16, 20));

  QTest::mouseClick(form.NoiseReductionBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.noise_reduction_on, 0);
  EXPECT_EQ(form.NoiseReductionBtn->text(), "OFF");
  EXPECT_EQ(shell::font_color(form.NoiseReductionBtn), shell::idle_color);
}

TEST_F(FilterWindow, GainBarsSetTheSignalGainAndTheDisplayScaling) {
  // A first start applies the bars' start positions: fine 25 x coarse 0.1.
  EXPECT_EQ(form.chain.signal_gain, 2.5f);

  form.RxCoarseTrackBar->setValue(6);
  EXPECT_EQ(form.gain.coarse_gain, 1.0f);
  EXPECT_EQ(form.chain.signal_gain, 25.0f);
  EXPECT_EQ(form.gain.rx_coarse_position, 6);
  EXPECT_EQ(form.view.db_scale, 9.0f);
  EXPECT_EQ(form.view.db_offset, 17.0f);

  form.SignalGainBar->setValue(10);
  EXPECT_EQ(form.chain.signal_gain, 10.0f);
  EXPECT_EQ(form.gain.gain_position_freq, 10);
  EXPECT_EQ(form.view.spectrum_gain, 100.0f);

  form.RxCoarseTrackBar->setValue(5);
  EXPECT_EQ(form.chain.signal_gain, 10.0f * 0.1f);

  // In the time view the fine bar sets the trace's factor instead.
  form.view.display_mode = 2;
  form.SignalGainBar->setValue(40);
  EXPECT_EQ(form.view.time_gain, 40);
  EXPECT_EQ(form.gain.gain_position_time, 40);
  EXPECT_EQ(form.gain.gain_position_freq, 10);
  EXPECT_EQ(form.view.spectrum_gain, 100.0f);
  EXPECT_FLOAT_EQ(form.chain.signal_gain, 4.0f);
}

}  // namespace
