// The filter switches, width lists and Q bars; the display buttons; the
// line toggles and the reference bar. Every paired control shows the same
// state as its twin.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <cmath>
#include <iterator>
#include <tuple>
#include <vector>

#include "design/filter.h"
#include "shell/toolkit.h"
#include "tests/shell/test_application.h"

namespace {

class Controls : public StoppedWindow {
 protected:
  // A user's choice of item `index` in a width list.
  static void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
};

// A button's caption and font colour as the user sees them.
void expect_button(const QPushButton* button, const char* caption, const QColor& colour) {
  EXPECT_EQ(button->text(), caption) << button->objectName().toStdString();
  EXPECT_EQ(shell::font_color(button), colour) << caption;
}

TEST_F(Controls, EveryEnableButtonSwitchesItsStageAndRelabelsBothCopies) {
  // The switch on each tab, its hidden twin (the variable notch has none)
  // and the stage's flag; either copy is pressed in turn.
  const std::tuple<QPushButton*, QPushButton*, bool*> switches[] = {
      {form.BandPassBtn2, form.BandPassBtn, &form.chain.bp.on},
      {form.NF1Btn2, form.NF1Btn, &form.chain.nf1.on},
      {form.NF2Btn2, form.NF2Btn, &form.chain.nf2.on},
      {form.VarFltrBtn2, form.VarFltrBtn, &form.chain.var_bp.on},
      {form.VarNF2Btn, form.VarNF2Btn, &form.chain.var_notch.on},
  };
  const design::Response bandpass = form.chain.bp.filter.re;
  for (std::size_t i = 0; i < std::size(switches); ++i) {
    const auto& [shown, twin, flag] = switches[i];
    for (QPushButton* pressed : {shown, twin}) {
      SCOPED_TRACE(::testing::Message() << "switch " << i << (pressed == twin ? ", twin" : ""));
      for (const bool on : {true, false}) {
        pressed->click();
        EXPECT_EQ(*flag, on);
        for (const QPushButton* copy : {shown, twin})
          expect_button(copy, on ? "ON" : "OFF", on ? shell::engaged_color : shell::idle_color);
      }
    }
  }
  // Nothing is designed by a switch.
  EXPECT_EQ(form.chain.bp.filter.re, bandpass);
}

TEST_F(Controls, WidthListsStoreTheirItemAndDesignAroundTheCentre) {
  form.tuning.bp.centre = 100.0f;
  choose(form.BPComboBox2, 5);  // CW, 150 Hz: +-75 Hz
  EXPECT_EQ(form.tuning.bp.width_index, 5);
  EXPECT_NEAR(form.tuning.bp.edges.lo * 11025.0f, 100.0f / 1024 * 11025 - 75, 0.01);
  EXPECT_NEAR(form.tuning.bp.edges.hi * 11025.0f, 100.0f / 1024 * 11025 + 75, 0.01);
  // Designed: bin 100 passes, bin 300 is down to the Q floor.
  EXPECT_GT(form.chain.bp.filter.re[100] * form.chain.bp.filter.re[100] +
                form.chain.bp.filter.im[100] * form.chain.bp.filter.im[100],
            0.8f);
  // The twin list keeps showing its own item.
  EXPECT_EQ(form.BPComboBox->currentIndex(), 0);

  choose(form.BPComboBox, 0);  // the hidden list drives the same filter
  EXPECT_EQ(form.tuning.bp.width_index, 0);
  EXPECT_NEAR(form.tuning.bp.edges.lo * 11025.0f, 200.0f, 0.01);
  EXPECT_NEAR(form.tuning.bp.edges.hi * 11025.0f, 3000.0f, 0.01);
  EXPECT_EQ(form.BPComboBox2->currentIndex(), 5);

  form.tuning.nf1.centre = 93.0f;  // 1001 Hz
  choose(form.NF1ComboBox2, 3);
  EXPECT_EQ(form.tuning.nf1.width_index, 3);
  EXPECT_NEAR((form.tuning.nf1.edges.hi - form.tuning.nf1.edges.lo) * 11025.0f, 100.0f, 0.01);
  EXPECT_LT(std::abs(form.chain.nf1.filter.re[93]), 0.06f);  // notched down to the Q floor

  form.tuning.nf2.centre = 200.0f;
  choose(form.NF2ComboBox, 1);
  EXPECT_EQ(form.tuning.nf2.width_index, 1);
  EXPECT_NEAR((form.tuning.nf2.edges.hi - form.tuning.nf2.edges.lo) * 11025.0f, 400.0f, 0.01);
  EXPECT_NEAR((form.tuning.nf2.edges.hi + form.tuning.nf2.edges.lo) / 2, 200.0f / 1024, 1e-6);
}

// The magnitude of a filter's response at a bin.
float magnitude(const design::DesignedFilter& filter, int bin) {
  return std::hypot(filter.re[bin], filter.im[bin]);
}

TEST_F(Controls, QBarsSetTheLevelByTheQRuleAndDesignAgain) {
  form.tuning.nf1.centre = 93.0f;  // 1001 Hz, as a released line leaves it
  choose(form.NF1ComboBox2, 0);
  form.QTrackBar3->setValue(25);
  EXPECT_EQ(form.tuning.nf1.q_position, 25);
  EXPECT_EQ(form.tuning.nf1.q_level, 0.0f);
  // Position 25 leaves the notch's own response: nothing at its centre.
  EXPECT_LT(magnitude(form.chain.nf1.filter, 93), 1e-4f);
  form.QTrackBar3->setValue(0);
  EXPECT_FLOAT_EQ(form.tuning.nf1.q_level, 0.25f);
  EXPECT_NEAR(magnitude(form.chain.nf1.filter, 93), 0.354f, 1e-3f);
  form.QTrackBar3->setValue(20);
  EXPECT_FLOAT_EQ(form.tuning.nf1.q_level, 0.05f);

  form.QTrackBar4->setValue(0);
  EXPECT_EQ(form.tuning.nf2.q_position, 0);
  EXPECT_FLOAT_EQ(form.tuning.nf2.q_level, 0.25f);

  choose(form.BPComboBox2, 0);
  form.QTrackBar->setValue(25);
  EXPECT_EQ(form.tuning.bp.q_position, 25);
  EXPECT_LT(magnitude(form.chain.bp.filter, 400), 1e-4f);
  form.QTrackBar->setValue(0);
  EXPECT_NEAR(magnitude(form.chain.bp.filter, 400), 0.354f, 1e-3f);
}

TEST_F(Controls, VariableFilterQBarsDesignThroughTheirEdgesAndRewriteTheMemo) {
  form.VarFilterMemo->setText("stale");
  form.QTrackBar2->setValue(5);
  EXPECT_EQ(form.tuning.var_bp.q_position, 5);
  EXPECT_FLOAT_EQ(form.tuning.var_bp.q_level, 0.2f);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");
  // Below the 100..400 band: the floor of 0.2 x sqrt(2).
  EXPECT_NEAR(magnitude(form.chain.var_bp.filter, 50), 0.283f, 1e-3f);

  form.VarNotchFilterMemo->setText("stale");
  form.QTrackBar5->setValue(25);
  EXPECT_EQ(form.tuning.var_notch.q_position, 25);
  EXPECT_EQ(form.tuning.var_notch.q_level, 0.0f);
  EXPECT_EQ(form.VarNotchFilterMemo->text(), "3229 Hz");
  EXPECT_NEAR(form.chain.var_notch.filter.re[250], 0.0f, 1e-4f);  // inside the notch
}

TEST_F(Controls, TheHiddenBandpassQBarReadsTheTabsBarAndDesignsBothBandpasses) {
  choose(form.BPComboBox2, 0);
  form.QTrackBar->blockSignals(true);
  form.QTrackBar->setValue(15);
  form.QTrackBar->blockSignals(false);
  form.chain.var_bp.filter.re.fill(0.0f);
  form.VarFilterMemo->setText("stale");

  form.QTrackBar10->setValue(3);
  EXPECT_EQ(form.tuning.bp.q_position, 15);
  EXPECT_FLOAT_EQ(form.tuning.bp.q_level, 0.1f);
  EXPECT_NEAR(magnitude(form.chain.bp.filter, 400), 0.141f, 1e-3f);
  EXPECT_NE(form.chain.var_bp.filter.re[50], 0.0f);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");
}

TEST_F(Controls, TheViewButtonSwitchesViewsAndTheGainBarFollows) {
  form.SignalGainBar->setValue(40);
  form.DisplayBtn->click();
  EXPECT_EQ(form.view.display_mode, 2);
  expect_button(form.DisplayBtn, "Time", shell::engaged_color);
  EXPECT_EQ(form.SignalGainBar->value(), 25);  // the time view's own position
  // In the time view the fine bar sets the trace's factor and the signal
  // gain, and leaves the spectrum's scaling.
  form.SignalGainBar->setValue(60);
  EXPECT_EQ(form.view.time_gain, 60);
  EXPECT_FLOAT_EQ(form.chain.signal_gain, 6.0f);
  EXPECT_EQ(form.view.spectrum_gain, 1600.0f);

  form.DisplayBtn->click();
  EXPECT_EQ(form.view.display_mode, 1);
  expect_button(form.DisplayBtn, "Freq", shell::idle_color);
  EXPECT_EQ(form.SignalGainBar->value(), 40);
  EXPECT_EQ(form.gain.gain_position_time, 60);
}

TEST_F(Controls, BypassSourceAndStyleButtonsFlipAndRelabel) {
  const struct {
    QPushButton* button;
    bool* flag;
    const char* on;
    const char* off;
  } buttons[] = {{form.BypassBtn, &form.chain.bypass_on, "On", "Off"},
                 {form.DataBtn, &form.view.display_filtered, "Filter", "Raw"},
                 {form.SpectrumTypeBtn, &form.view.spectrum_bars, "BAR", "LINE"}};
  for (const auto& b : buttons) {
    const bool start = *b.flag;
    for (const bool state : {!start, start}) {
      b.button->click();
      EXPECT_EQ(*b.flag, state);
      expect_button(b.button, state ? b.on : b.off,
                    state ? shell::engaged_color : shell::idle_color);
    }
  }
}

TEST_F(Controls, TheSpanButtonCyclesAndMovesTheCentreLines) {
  form.tuning.bp.centre = 199.0f;
  form.tuning.nf1.centre = 0.035f;
  form.tuning.nf2.centre = 99.5f;
  const struct {
    int span;
    const char* caption;
    const char* top;
    int bp_x, nf1_x, nf2_x;
  } steps[] = {
      {2, "Half", "2756 Hz", 400, 2, 200},
      {4, "Quarter", "1378 Hz", 512, 4, 400},  // 800 is beyond the span
      {1, "Full", "5512 Hz", 200, 1, 100},
  };
  for (const auto& step : steps) {
    form.SpectrumWidthBtn->click();
    EXPECT_EQ(form.view.spectrum_width, step.span);
    EXPECT_EQ(form.SpectrumWidthBtn->text(), step.caption);
    EXPECT_EQ(form.HiFreqLabel->text(), step.top);
    EXPECT_EQ(form.centre_columns.bp, step.bp_x) << step.caption;
    EXPECT_EQ(form.centre_columns.nf1, step.nf1_x) << step.caption;
    EXPECT_EQ(form.centre_columns.nf2, step.nf2_x) << step.caption;
  }
  // An unknown span code is left alone.
  form.view.spectrum_width = 3;
  form.SpectrumWidthBtn->click();
  EXPECT_EQ(form.view.spectrum_width, 3);
  EXPECT_EQ(form.HiFreqLabel->text(), "5512 Hz");
}

TEST_F(Controls, EachLineToggleAndItsTwinShowTheSameState) {
  // A tick box, the button on its tab, and the lines they show.
  const std::tuple<QCheckBox*, QPushButton*, std::vector<bool*>> pairs[] = {
      {form.BPFltr, form.DisplayBPBtn, {&form.view.bp_line_on}},
      {form.NF1Fltr, form.DisplayNF1Btn, {&form.view.nf1_line_on}},
      {form.NF2Fltr, form.DisplayNF2Btn, {&form.view.nf2_line_on}},
      {form.LoVarFltr,
       form.DisplayVarBPBtn,
       {&form.view.var_bp_lo_line_on, &form.view.var_bp_hi_line_on}},
      {form.VarNotchFltr,
       form.DisplayVarNFBtn,
       {&form.view.var_notch_line_on, &form.view.var_notch_lo_line_on,
        &form.view.var_notch_hi_line_on}},
      {form.RefLine, form.DisplayRefBtn, {&form.view.ref_line_on}},
  };
  for (const auto& [box, button, flags] : pairs) {
    SCOPED_TRACE(box->text().toStdString());
    box->click();
    for (const bool shown : {true, false, true}) {
      for (const bool* flag : flags) EXPECT_EQ(*flag, shown);
      expect_button(button, shown ? "On" : "Off", shown ? shell::engaged_color : shell::idle_color);
      EXPECT_EQ(box->isChecked(), shown);
      button->click();
    }
  }
}

TEST_F(Controls, TheReferenceBarMovesOnlyWhileItsLineIsShown) {
  form.RefScrollBar->setValue(300);
  EXPECT_EQ(form.RefScrollBar->value(), 255);
  EXPECT_EQ(form.RefFreqLabel->text(), "2745 Hz");

  form.DisplayRefBtn->click();
  form.RefScrollBar->setValue(300);
  EXPECT_EQ(form.view.ref_position, 300);
  EXPECT_EQ(form.RefFreqLabel->text(), "3229 Hz");
  form.RefScrollBar->setValue(512);
  EXPECT_EQ(form.RefFreqLabel->text(), "5512 Hz");

  form.DisplayRefBtn->click();
  form.RefScrollBar->setValue(10);
  EXPECT_EQ(form.RefScrollBar->value(), 512);
  EXPECT_EQ(form.RefFreqLabel->text(), "5512 Hz");
}

}  // namespace
