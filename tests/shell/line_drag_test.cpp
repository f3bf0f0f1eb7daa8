// Dragging filter lines with the mouse on the real display widget, and what
// the window draws after a pass.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "shell/paint_box.h"
#include "tests/shell/test_application.h"

namespace {

class LineDrag : public StoppedWindow {
 protected:
  void SetUp() override { form.centre_columns.bp = 128; }  // the bandpass line, clear of the others
};

TEST_F(LineDrag, ALineIsCaughtOnlyWithTheButtonDownWithinTwoPixelsAndFollowsWithinFortyNine) {
  form.DisplayBPBtn->click();  // the bandpass line, at 128
  form.SpectrumBox->setMouseTracking(true);
  move(128);
  move(129);
  EXPECT_EQ(form.centre_columns.bp, 128);
  EXPECT_EQ(form.view.grab_margin_left, 3);

  drag(131, {140});
  EXPECT_EQ(form.centre_columns.bp, 128);  // started 3 pixels away

  press(130);
  move(130);
  EXPECT_EQ(form.centre_columns.bp, 130);
  EXPECT_EQ(form.view.grab_margin_left, 50);
  move(179);
  EXPECT_EQ(form.centre_columns.bp, 179);
  move(228);  // 49 beyond the line: still in reach
  EXPECT_EQ(form.centre_columns.bp, 228);
  move(278);  // 50 beyond: the line waits
  EXPECT_EQ(form.centre_columns.bp, 228);
  move(250);
  EXPECT_EQ(form.centre_columns.bp, 250);
  release(250);
  EXPECT_EQ(form.view.grab_margin_left, 3);
  EXPECT_TRUE(form.view.bp_grab);
}

TEST_F(LineDrag, TheEarlierLineInOrderWinsAndHiddenLinesAreNotCaught) {
  form.DisplayRefBtn->click();
  form.RefScrollBar->setValue(129);
  form.DisplayBPBtn->click();
  drag(128, {160});
  EXPECT_EQ(form.centre_columns.bp, 160);
  EXPECT_EQ(form.RefScrollBar->value(), 129);

  form.DisplayBPBtn->click();  // hidden now: the reference line is next
  drag(160, {170});
  EXPECT_EQ(form.centre_columns.bp, 160);
  drag(129, {200});
  EXPECT_EQ(form.RefScrollBar->value(), 200);
  EXPECT_EQ(form.view.ref_position, 200);
  EXPECT_EQ(form.RefFreqLabel->text(), "2153 Hz");  // the reference acts while it moves
}

TEST_F(LineDrag, ReleasingACentreLineDesignsItsFilterThere) {
  form.DisplayNF1Btn->click();  // notch 1 at column 1
  form.NF1ComboBox2->setCurrentIndex(3);
  emit form.NF1ComboBox2->activated(3);
  drag(1, {94});
  EXPECT_EQ(form.centre_columns.nf1, 94);
  EXPECT_EQ(form.tuning.nf1.centre, 93.0f);
  EXPECT_NEAR((form.tuning.nf1.edges.lo + form.tuning.nf1.edges.hi) / 2, 93.0f / 1024, 1e-6);
  EXPECT_LT(std::abs(form.chain.nf1.filter.re[93]), 0.06f);
}

TEST_F(LineDrag, AReleaseAtAStoredPositionDesignsEvenAHiddenLinesFilter) {
  // Notch 2 sits hidden at column 1, centred at 0.035, and was never
  // dragged.
  press(1);
  release(1);
  EXPECT_EQ(form.tuning.nf2.centre, 0.0f);
  EXPECT_NEAR(form.tuning.nf2.edges.hi * 11025, 500.0f, 0.01f);

  // The variable edges compare their bin number with X.
  form.VarFilterMemo->setText("stale");
  press(100);
  release(100);
  EXPECT_EQ(form.VarFilterMemo->text(), "3229 Hz");
}

TEST_F(LineDrag, ReleasingTheBandpassAt200GivesItsCentreInEachSpan) {
  form.DisplayBPBtn->click();
  for (const float centre : {199.0f, 99.5f, 49.75f}) {
    if (centre != 199.0f) form.SpectrumWidthBtn->click();
    const int x = form.centre_columns.bp;
    drag(x, {200});
    EXPECT_EQ(form.tuning.bp.centre, centre) << "span " << form.view.spectrum_width;
  }
  // Designed around the centre with the chosen preset.
  EXPECT_NEAR(form.tuning.bp.edges.lo * 11025, 200.0f, 0.01f);  // preset 0 ignores the centre
  form.BPComboBox2->setCurrentIndex(6);
  emit form.BPComboBox2->activated(6);
  EXPECT_NEAR((form.tuning.bp.edges.lo + form.tuning.bp.edges.hi) / 2, 49.75f / 1024, 1e-6);
}

TEST_F(LineDrag, VariableEdgesMoveByBinInTheHalfSpanAndActAtOnce) {
  form.SpectrumWidthBtn->click();  // half: bin 100 is drawn at 200
  form.DisplayVarBPBtn->click();
  press(200);
  move(200);
  glide(200, 301);
  EXPECT_EQ(form.Lo_BP_Freq_ScrollBar->value(), 150);
  EXPECT_EQ(form.tuning.var_bp.edges.lo, 150.0f / 1024);  // designed while moving
  EXPECT_EQ(form.VarFilterMemo->text(), "2691 Hz");
  release(301);

  // Drawn at 300.
  form.update_display();
  EXPECT_EQ(form.SpectrumBox->picture().pixel(300, 50), qRgb(0, 128, 0));
  EXPECT_EQ(form.SpectrumBox->picture().pixel(301, 50), qRgb(255, 255, 255));
}

TEST_F(LineDrag, TheWindowDrawsThePassWithItsLinesAndRepaintsTheLastPicture) {
  form.DisplayBPBtn->click();
  form.NF1Btn2->click();  // the notch's filter on, its line hidden
  form.BandPassBtn2->click();
  form.update_display();
  const QImage& shown = form.SpectrumBox->picture();
  EXPECT_EQ(shown.pixel(128, 10), qRgb(0, 0, 255));
  EXPECT_EQ(shown.pixel(127, 10), qRgb(0, 0, 255));  // twice as thick: filter on
  EXPECT_EQ(shown.pixel(1, 10), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(300, 196), qRgb(0, 0, 0));  // the bottom line

  // Uncovering the box paints the same picture again.
  form.SpectrumBox->resize(520, 200);
  const QImage painted = form.SpectrumBox->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(painted.pixel(128, 10), qRgb(0, 0, 255));
  EXPECT_EQ(painted.pixel(300, 196), qRgb(0, 0, 0));
  EXPECT_EQ(painted.pixel(300, 50), shown.pixel(300, 50));
}

}  // namespace
