// The window's handlers over the filter design and the noise filters: the
// variable filters' edge bars and memos, the noise-filter buttons, the gain
// bars, and what start-up designs.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "design/state.h"
#include "display/state.h"
#include "engine/state.h"
#include "shell/Zoduvov.h"
#include "shell/toolkit.h"
#include "tests/shell/test_application.h"

namespace {

class FilterWindow : public ::testing::Test {
 protected:
  QApplication& app = test_application();  // before the window
  TZForm form;

  void SetUp() override { form.StartTimer->stop(); }
};

bool all_zero(const design::Response& response) {
  return std::all_of(response.begin(), response.end(), [](float v) { return v == 0.0f; });
}

TEST_F(FilterWindow, AFirstStartDesignsEveryFilterAsTheWindowShowsItAndFillsTheWindows) {
  // The bandpass as its list shows it, 200 Hz to 3.0 kHz.
  EXPECT_NEAR(design::bp_lo_edge * 11025, 200.0f, 0.01f);
  EXPECT_NEAR(design::bp_hi_edge * 11025, 3000.0f, 0.01f);
  // Both notches 1000 Hz wide around the start centre.
  EXPECT_NEAR(design::nf1_hi_edge * 11025, 0.035f / 1024 * 11025 + 500, 0.01f);
  EXPECT_EQ(design::nf1_taps, design::nf2_taps);
  EXPECT_EQ(design::nf1_resp_re, design::nf2_resp_re);
  // The bandpass carries its start Q-level of 0.05 as an offset on every
  // bin: far above the band its response is -0.05 - 0.05i.
  EXPECT_NEAR(design::bp_resp_re[300], -0.05f, 1e-4f);
  EXPECT_NEAR(design::bp_resp_im[300], -0.05f, 1e-4f);
  // The variable filters follow their bars, 100 to 400.
  EXPECT_FALSE(all_zero(design::var_bp_resp_re));
  EXPECT_FALSE(all_zero(design::var_notch_resp_re));
  EXPECT_EQ(design::var_bp_lo_edge, 100.0f / 1024);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");

  EXPECT_TRUE(std::all_of(design::cycle_window.begin(), design::cycle_window.end(),
                          [](float v) { return v == 1.0f; }));
  EXPECT_FLOAT_EQ(design::display_window[512], 1.0f);
  EXPECT_NEAR(design::display_window[0], 0.00006f, 1e-6f);
}

TEST_F(FilterWindow, MovingAnEdgeBarDesignsTheVariableBandpassAndShowsItsWidth) {
  form.Lo_BP_Freq_ScrollBar->setValue(101);
  form.Lo_BP_Freq_ScrollBar->setValue(100);
  EXPECT_NEAR(design::var_bp_lo_edge, 0.0976563, 1e-7);
  EXPECT_NEAR(design::var_bp_hi_edge, 0.3906250, 1e-7);
  EXPECT_EQ(design::var_bp_lo_bin, 100);
  EXPECT_EQ(design::var_bp_hi_bin, 400);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");
  EXPECT_FALSE(all_zero(design::var_bp_resp_re));
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
  EXPECT_EQ(design::var_bp_hi_bin, 101);

  // Lower notch bar moved above the upper one: it lands one below it.
  form.Lo_Notch_Freq_ScrollBar->setValue(450);
  EXPECT_EQ(form.Lo_Notch_Freq_ScrollBar->value(), 399);
  EXPECT_EQ(form.Hi_Notch_Freq_ScrollBar->value(), 400);
  EXPECT_EQ(design::var_notch_lo_bin, 399);
  EXPECT_EQ(form.VarNotchFilterMemo->text(), "10 Hz");

  // Restoring a band of 450..480 lower bar first yields 399..480.
  form.Hi_Notch_Freq_ScrollBar->setValue(480);
  EXPECT_EQ(design::var_notch_lo_bin, 399);
  EXPECT_EQ(design::var_notch_hi_bin, 480);
  EXPECT_EQ(design::var_notch_lo_edge, 399.0f / 1024);
  EXPECT_EQ(design::var_notch_hi_edge, 480.0f / 1024);
  EXPECT_EQ(form.VarNotchFilterMemo->text(), "872 Hz");

  // At the top the upper bar cannot move up: the lower one stays below it.
  form.Hi_BP_Freq_ScrollBar->setValue(512);
  form.Lo_BP_Freq_ScrollBar->setValue(512);
  EXPECT_EQ(form.Lo_BP_Freq_ScrollBar->value(), 511);
  EXPECT_EQ(form.Hi_BP_Freq_ScrollBar->value(), 512);
}

TEST_F(FilterWindow, TheLmsButtonsSwitchTheFilterAndRestartItsAdaptation) {
  engine::lms_weights.fill(0.25f);
  engine::lms_taps.fill(9.0f);
  engine::lms_power = 123.0f;

  QTest::mouseClick(form.LMSFilterBtn2, Qt::LeftButton);
  EXPECT_EQ(engine::lms_filter_on, 1);
  for (QPushButton* button : {form.LMSFilterBtn, form.LMSFilterBtn2}) {
    EXPECT_EQ(button->text(), "ON");
    EXPECT_EQ(shell::font_color(button), shell::engaged_color);
  }
  EXPECT_EQ(engine::lms_weights, decltype(engine::lms_weights){});
  EXPECT_EQ(engine::lms_taps, decltype(engine::lms_taps){});
  EXPECT_EQ(engine::lms_power, 2.0f);

  // Switching off keeps what was learned.
  engine::lms_weights.fill(0.5f);
  QTest::mouseClick(form.LMSFilterBtn2, Qt::LeftButton);
  EXPECT_EQ(engine::lms_filter_on, 0);
  for (QPushButton* button : {form.LMSFilterBtn, form.LMSFilterBtn2}) {
    EXPECT_EQ(button->text(), "OFF");
    EXPECT_EQ(shell::font_color(button), shell::idle_color);
  }
  EXPECT_EQ(engine::lms_weights[7], 0.5f);

  // The hidden button relabels only itself.
  form.LMSFilterBtnClick();
  EXPECT_EQ(engine::lms_filter_on, 1);
  EXPECT_EQ(form.LMSFilterBtn->text(), "ON");
  EXPECT_EQ(form.LMSFilterBtn2->text(), "OFF");
  EXPECT_EQ(engine::lms_weights[7], 0.0f);
}

TEST_F(FilterWindow, TheSmoothingButtonsSwitchTheFilterAndResetNothing) {
  engine::lms_weights.fill(0.25f);
  QTest::mouseClick(form.MedianFltrBtn2, Qt::LeftButton);
  EXPECT_EQ(engine::median_filter_on, 1);
  EXPECT_EQ(form.MedianFltrBtn->text(), "ON");
  EXPECT_EQ(form.MedianFltrBtn2->text(), "ON");
  EXPECT_EQ(shell::font_color(form.MedianFltrBtn2), shell::engaged_color);
  QTest::mouseClick(form.MedianFltrBtn2, Qt::LeftButton);
  EXPECT_EQ(engine::median_filter_on, 0);
  EXPECT_EQ(form.MedianFltrBtn2->text(), "OFF");
  EXPECT_EQ(shell::font_color(form.MedianFltrBtn), shell::idle_color);

  form.MedianFltrBtnClick();
  EXPECT_EQ(engine::median_filter_on, 1);
  EXPECT_EQ(form.MedianFltrBtn->text(), "ON");
  EXPECT_EQ(form.MedianFltrBtn2->text(), "OFF");
  EXPECT_EQ(engine::lms_weights[0], 0.25f);
}

TEST_F(FilterWindow, GainBarsSetTheSignalGainAndTheDisplayScaling) {
  // A first start applies the bars' start positions: fine 25 x coarse 0.1.
  EXPECT_EQ(engine::signal_gain, 2.5f);

  form.RxCoarseTrackBar->setValue(6);
  EXPECT_EQ(engine::coarse_gain, 1.0f);
  EXPECT_EQ(engine::signal_gain, 25.0f);
  EXPECT_EQ(engine::rx_coarse_position, 6);
  EXPECT_EQ(display::db_scale, 9.0f);
  EXPECT_EQ(display::db_offset, 17.0f);

  form.SignalGainBar->setValue(10);
  EXPECT_EQ(engine::signal_gain, 10.0f);
  EXPECT_EQ(engine::gain_position_freq, 10);
  EXPECT_EQ(display::spectrum_gain, 100.0f);

  form.RxCoarseTrackBar->setValue(5);
  EXPECT_EQ(engine::signal_gain, 10.0f * 0.1f);

  // In the time view the fine bar sets the trace's factor instead.
  display::display_mode = 2;
  form.SignalGainBar->setValue(40);
  EXPECT_EQ(display::time_gain, 40);
  EXPECT_EQ(engine::gain_position_time, 40);
  EXPECT_EQ(engine::gain_position_freq, 10);
  EXPECT_EQ(display::spectrum_gain, 100.0f);
  EXPECT_FLOAT_EQ(engine::signal_gain, 4.0f);
}

}  // namespace
