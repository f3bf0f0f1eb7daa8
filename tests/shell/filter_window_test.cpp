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
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "design/filter.h"
#include "shell/paint_box.h"
#include "shell/toolkit.h"
#include "tests/shell/test_application.h"

namespace {

using FilterWindow = StoppedWindow;

bool all_zero(const design::Response& response) {
  return std::all_of(response.begin(), response.end(), [](float v) { return v == 0.0f; });
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
  EXPECT_EQ(std::tuple(form.tuning.var_bp.edges.lo, form.tuning.var_bp.edges.hi,
                       form.tuning.var_bp.lo_bin, form.tuning.var_bp.hi_bin),
            std::tuple(100.0f / 1024, 400.0f / 1024, 100, 400));
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
  EXPECT_EQ(std::tuple(form.Lo_BP_Freq_ScrollBar->value(), form.Hi_BP_Freq_ScrollBar->value(),
                       form.tuning.var_bp.hi_bin, form.VarFilterMemo->text()),
            std::tuple(100, 101, 101, "10 Hz"));

  // Lower notch bar moved above the upper one: it lands one below it.
  form.Lo_Notch_Freq_ScrollBar->setValue(450);
  EXPECT_EQ(std::tuple(form.Lo_Notch_Freq_ScrollBar->value(), form.Hi_Notch_Freq_ScrollBar->value(),
                       form.tuning.var_notch.lo_bin, form.VarNotchFilterMemo->text()),
            std::tuple(399, 400, 399, "10 Hz"));

  // Restoring a band of 450..480 lower bar first yields 399..480.
  form.Hi_Notch_Freq_ScrollBar->setValue(480);
  EXPECT_EQ(std::tuple(form.tuning.var_notch.lo_bin, form.tuning.var_notch.hi_bin,
                       form.tuning.var_notch.edges.lo, form.tuning.var_notch.edges.hi,
                       form.VarNotchFilterMemo->text()),
            std::tuple(399, 480, 399.0f / 1024, 480.0f / 1024, "872 Hz"));

  // At the top the upper bar cannot move up: the lower one stays below it.
  form.Hi_BP_Freq_ScrollBar->setValue(512);
  form.Lo_BP_Freq_ScrollBar->setValue(512);
  EXPECT_EQ(form.Lo_BP_Freq_ScrollBar->value(), 511);
  EXPECT_EQ(form.Hi_BP_Freq_ScrollBar->value(), 512);
}

// Switched on, the LMS filter, the automatic notch and the noise reduction
// start again from nothing, through their restart counts; nothing else
// restarts, and no button touches what the LMS filter has learned.
TEST_F(FilterWindow, EachNoiseFilterButtonSwitchesItsFilterAndRestartsOnlyItsOwn) {
  form.chain.lms.weights.fill(0.25f);
  using Count = std::uint32_t TZForm::Restarts::*;
  const struct {
    QPushButton* button;
    QPushButton* twin;  // relabelled with it, if any
    const bool* on;
    Count restarted;  // nullptr: nothing restarts
  } buttons[] = {
      {form.LMSFilterBtn2, form.LMSFilterBtn, &form.chain.lms_on, &TZForm::Restarts::lms},
      {form.MedianFltrBtn2, form.MedianFltrBtn, &form.chain.median_on, nullptr},
      {form.AutoNotchBtn, nullptr, &form.chain.auto_notch_on, &TZForm::Restarts::auto_notch},
      {form.NoiseReductionBtn, nullptr, &form.chain.noise_reduction_on,
       &TZForm::Restarts::noise_reduction},
      {form.NoiseBlankerBtn, nullptr, &form.chain.noise_blanker_on,
       &TZForm::Restarts::noise_blanker},
  };
  const auto counts = [this] {
    return std::tuple(form.restarts.lms, form.restarts.auto_notch, form.restarts.noise_reduction,
                      form.restarts.noise_blanker);
  };
  for (const auto& b : buttons) {
    SCOPED_TRACE(&b - buttons);
    TZForm::Restarts expected = form.restarts;
    if (b.restarted != nullptr) ++(expected.*b.restarted);
    for (const bool on : {true, false}) {
      QTest::mouseClick(b.button, Qt::LeftButton);
      EXPECT_EQ(*b.on, on);
      for (const QPushButton* shown : {b.button, b.twin}) {
        if (shown == nullptr) continue;
        EXPECT_EQ(shown->text(), on ? "ON" : "OFF");
        EXPECT_EQ(shell::font_color(shown), on ? shell::engaged_color : shell::idle_color);
      }
      EXPECT_EQ(counts(), std::tuple(expected.lms, expected.auto_notch, expected.noise_reduction,
                                     expected.noise_blanker));
    }
  }
  // The hidden buttons relabel only themselves.
  form.LMSFilterBtnClick();
  form.MedianFltrBtnClick();
  EXPECT_TRUE(form.chain.lms_on && form.chain.median_on);
  EXPECT_EQ(form.restarts.lms, 2u);
  for (const auto& [hidden, twin] : {std::pair(form.LMSFilterBtn, form.LMSFilterBtn2),
                                     std::pair(form.MedianFltrBtn, form.MedianFltrBtn2)}) {
    EXPECT_EQ(hidden->text(), "ON");
    EXPECT_EQ(twin->text(), "OFF");
  }
  EXPECT_EQ(form.chain.lms.weights[0], 0.25f);
}

TEST_F(FilterWindow, TheAutomaticNotchsLinesShowOnlyWhileItIsOn) {
  QTest::mouseClick(form.AutoNotchBtn, Qt::LeftButton);
  // A pass that notched 1000 Hz, bin 92.9: an orange line at column 93 of
  // the full span, 1 pixel wide.
  form.pass.notched[0] = 1000.0f;
  form.pass.notched_count = 1;
  form.update_display();
  const QImage& shown = form.SpectrumBox->picture();
  EXPECT_EQ(shown.pixel(93, 10), qRgb(255, 140, 0));
  EXPECT_EQ(shown.pixel(92, 10), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(94, 10), qRgb(255, 255, 255));

  // Switched off, its line goes at once.
  QTest::mouseClick(form.AutoNotchBtn, Qt::LeftButton);
  form.update_display();
  EXPECT_EQ(form.SpectrumBox->picture().pixel(93, 10), qRgb(255, 255, 255));
}

TEST_F(FilterWindow, TheNoiseReductionsBarSetsTheStrengthAtOnce) {
  form.NoiseReductionBar->setValue(9);
  QTest::mouseClick(form.NoiseReductionBtn, Qt::LeftButton);
  EXPECT_EQ(form.chain.noise_reduction.strength(), 9);
  form.NoiseReductionBar->setValue(2);
  EXPECT_EQ(form.chain.noise_reduction.strength(), 2);
}

TEST_F(FilterWindow, GainBarsSetTheSignalGainAndTheDisplayScaling) {
  // A first start applies the bars' start positions: fine 25 x coarse 0.1.
  EXPECT_EQ(form.chain.signal_gain, 2.5f);

  form.RxCoarseTrackBar->setValue(6);
  EXPECT_EQ(std::tuple(form.gain.coarse_gain, form.chain.signal_gain, form.gain.rx_coarse_position,
                       form.view.db_scale, form.view.db_offset),
            std::tuple(1.0f, 25.0f, 6, 9.0f, 17.0f));

  form.SignalGainBar->setValue(10);
  EXPECT_EQ(
      std::tuple(form.chain.signal_gain, form.gain.gain_position_freq, form.view.spectrum_gain),
      std::tuple(10.0f, 10, 100.0f));

  form.RxCoarseTrackBar->setValue(5);
  EXPECT_EQ(form.chain.signal_gain, 10.0f * 0.1f);
}

}  // namespace
