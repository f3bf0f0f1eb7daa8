// View -> Waterfall and View -> Filter Response on the real window: the
// strip under the spectrum and the window's size, the response curve over
// the spectrum, and the pointer's readout.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <vector>

#include "display/mapping.h"
#include "display/response.h"
#include "shell/paint_box.h"
#include "tests/shell/test_application.h"
#include "tests/support/picture.h"

namespace {

constexpr int spectrum_rows = 197;

class ViewMenu : public StoppedWindow {
 protected:
  QImage grab() { return form.grab().toImage(); }

  // A cosine on bin `bin` as the pass's output, drawn `passes` times; the
  // spectrum shows it at its entry bin + 1.
  void play_tone(int bin, int passes) {
    for (int n = 0; n < 1024; ++n) {
      form.pass.out_samples[n] = static_cast<std::int32_t>(
          std::lround(2000 * std::cos(2 * std::numbers::pi * bin * n / 1024)));
    }
    for (int p = 0; p < passes; ++p) form.update_display();
  }

  // The picture's column whose line reaches highest (leftmost on a tie).
  int spectrum_peak() const {
    const QImage& picture = form.SpectrumBox->picture();
    int best_x = 0;
    int best_y = spectrum_rows;
    for (int x = 0; x <= 512; ++x) {
      for (int y = 0; y < best_y; ++y) {
        if (picture.pixel(x, y) == qRgb(0, 0, 0)) {
          best_x = x;
          best_y = y;
          break;
        }
      }
    }
    return best_x;
  }

  // The centre of the brightest columns of the waterfall's newest row.
  double waterfall_peak() const {
    return test_support::brightest_centre(form.WaterfallBox->picture(), 0);
  }

  void hover(PaintBox* box, int x) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, 50), box->mapToGlobal(QPointF(x, 50)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(box, &move);
  }
  void leave(PaintBox* box) {
    QEvent left(QEvent::Leave);
    QApplication::sendEvent(box, &left);
  }
};

// Screens of 1280 x 1024 and 1920 x 1080 at scales 1, 1.5 and 2, a process each as the platform
// takes its screen once: the window fits, the strip has 200 rows where they fit, else at least 60.
TEST_F(ViewMenu, TheWindowFitsTheScreenAndTheStripGivesWayFirst) {
  const QStringList screen = qEnvironmentVariable("TONEWELL_TEST_SCREEN").split(',');
  if (screen.size() != 3) {
    std::vector<std::unique_ptr<QProcess>> children;
    for (const QString each : {"1280,1024,96", "1920,1080,96", "1280,1024,144", "1920,1080,144",
                               "1280,1024,192", "1920,1080,192"}) {
      const QString config = "screen" + QString::number(children.size()) + ".json";
      std::ofstream(config.toStdString())
          << QString(R"({"screens":[{"width":%1,"height":%2,"logicalDpi":%3}]})")
                 .arg(each.section(',', 0, 0), each.section(',', 1, 1), each.section(',', 2))
                 .toStdString();
      auto& child = children.emplace_back(std::make_unique<QProcess>());
      child->setEnvironment(QProcess::systemEnvironment()
                            << "QT_QPA_PLATFORM=offscreen:configfile=" + config
                            << "TONEWELL_TEST_SCREEN=" + each);
      child->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=*.TheWindowFits*"});
    }
    for (const auto& child : children) {
      EXPECT_TRUE(child->waitForFinished(120'000) && child->exitCode() == 0)
          << child->environment().last().toStdString() << child->readAll().toStdString();
    }
    return;
  }
  const double scale = screen[2].toDouble() / 96;
  show();
  const QRect free = form.screen()->availableGeometry();
  ASSERT_EQ(free.size(), (QSizeF(screen[0].toInt(), screen[1].toInt()) / scale).toSize());
  EXPECT_TRUE(scale > 1 || form.size() == QSize(720, 438 + form.menuBar()->height()));
  const auto fits = [&] {
    EXPECT_TRUE(free.contains(form.frameGeometry()));
    const std::pair<QWidget*, QSize> groups[] = {
        {form.GroupBox1, {90, 252}},  {form.GroupBox2, {90, 252}},
        {form.GroupBox3, {105, 155}}, {form.GroupBox8, {504, 151}},
        {form.GroupBox4, {104, 155}}, {form.GroupBox9, {form.width() - 4, 24}}};
    for (const auto& [group, size] : groups) {
      EXPECT_EQ(group->size(), size.width() == 90 ? size.expandedTo(group->size()) : size);
      for (const auto& [other, unused] : groups)
        EXPECT_TRUE(group == other || !group->geometry().intersects(other->geometry()));
    }
    expect_nothing_clipped(form.centralWidget());
  };
  fits();
  const QImage untouched = grab();
  const QSize size = form.size();
  form.Waterfall1->trigger();
  QApplication::processEvents();
  fits();
  const QRect strip = form.WaterfallPanel->geometry();
  EXPECT_EQ(strip.topRight(), form.DisplayPanel->geometry().bottomRight() + QPoint(0, 3));
  EXPECT_EQ(form.WaterfallBox->picture().height(), std::lround(strip.height() * scale));
  const bool room = form.frameGeometry().height() < free.height();
  EXPECT_TRUE(!room || form.size() == size + QSize(0, 202));
  EXPECT_GE(strip.height(), room ? 200 : 60);
  form.Waterfall1->trigger();
  QApplication::processEvents();
  EXPECT_EQ(form.size(), size);
  EXPECT_EQ(grab(), untouched);
}

// Grown to 1440 x 900, the display takes the extra room and the groups
// beside and under it keep their distances to the window's edges; the
// drawing spreads its 513 columns over the wider picture, and the pointer
// works in columns, so lines are caught and dragged as at the start size.
TEST_F(ViewMenu, AGrownWindowGivesTheDisplayTheRoomAndDragsFollowTheColumns) {
  show();
  const QSize start = form.size();
  const QWidget* client = form.centralWidget();
  const auto from_edges = [&](const QWidget* w) {
    return QSize(client->width() - w->geometry().right(),
                 client->height() - w->geometry().bottom());
  };
  const QSize screen_group = from_edges(form.GroupBox2);
  const QSize input_group = from_edges(form.GroupBox4);
  const QSize audio_group = from_edges(form.GroupBox3);
  form.resize(1440, 900);
  QApplication::processEvents();
  ASSERT_EQ(form.size(), QSize(1440, 900));
  const QSize grown = form.size() - start;
  EXPECT_EQ(form.DisplayPanel->size(), QSize(520, 200) + grown);
  EXPECT_EQ(form.SpectrumBox->geometry(), form.DisplayPanel->rect());
  EXPECT_EQ(from_edges(form.GroupBox2).width(), screen_group.width());
  EXPECT_EQ(from_edges(form.GroupBox4), input_group);
  EXPECT_EQ(from_edges(form.GroupBox3).height(), audio_group.height());
  expect_nothing_clipped(client);

  const int width = 513 + grown.width();
  const auto pixel = [width](int column) { return display::unit_pixel(column, 512, width); };
  form.DisplayBPBtn->click();
  form.centre_columns.bp = 128;
  play_tone(40, 1);
  const QImage& picture = form.SpectrumBox->picture();
  ASSERT_EQ(picture.size(), QSize(width, 197 + grown.height()));
  EXPECT_EQ(picture.pixel(pixel(128), 10), qRgb(0, 0, 255));
  EXPECT_EQ(picture.pixel(pixel(128) - 1, 10), qRgb(255, 255, 255));
  EXPECT_EQ(picture.pixel(pixel(128) + 1, 10), qRgb(255, 255, 255));
  EXPECT_EQ(picture.pixel(width - 1, picture.height() - 1), qRgb(0, 0, 0)) << "the bottom row";

  drag(pixel(131), {});  // three columns away: out of reach
  EXPECT_EQ(form.centre_columns.bp, 128);
  press(pixel(130));
  move(pixel(130));
  EXPECT_EQ(form.centre_columns.bp, 130);
  release(glide(pixel(130), pixel(300)));
  EXPECT_EQ(form.centre_columns.bp, 300);
  EXPECT_EQ(form.tuning.bp.centre, 299.0f) << "designed at the column released on";
  play_tone(40, 1);
  EXPECT_EQ(form.SpectrumBox->picture().pixel(pixel(300), 10), qRgb(0, 0, 255));
  hover(form.SpectrumBox, pixel(93));
  EXPECT_TRUE(form.PointerLabel->text().startsWith(
      QString("Pointer: %1 Hz").arg(display::column_hz(93, 1))));

  // Taller than the screen, the window does not grow: the display lends the strip its rows.
  form.Waterfall1->trigger();
  QApplication::processEvents();
  EXPECT_EQ(form.size(), QSize(1440, 900));
  EXPECT_EQ(form.DisplayPanel->size(), QSize(520, 200 - 202) + grown);
  play_tone(40, 1);
  EXPECT_EQ(form.WaterfallBox->picture().size(), QSize(width, 200));
  form.Waterfall1->trigger();
  QApplication::processEvents();
  EXPECT_EQ(form.size(), QSize(1440, 900));
}

TEST_F(ViewMenu, AToneInTheWaterfallSitsUnderItsSpectrumPeakInEverySpan) {
  form.Waterfall1->trigger();
  form.RxCoarseTrackBar->setValue(3);
  for (int span = 1; span <= 4; span *= 2) {
    play_tone(60, 5);
    ASSERT_EQ(form.view.spectrum_width, span);
    EXPECT_EQ(spectrum_peak(), 61 * span);
    EXPECT_NEAR(waterfall_peak(), spectrum_peak(), 1.0) << "span " << span;
    form.SpectrumWidthBtn->click();
  }
}

TEST_F(ViewMenu, TheResponseCurveShowsNotchOnesDepthWhereItIsDesigned) {
  form.FilterResponse1->trigger();
  form.centre_columns.nf1 = 180;
  QTest::mouseRelease(form.SpectrumBox, Qt::LeftButton, {}, QPoint(180, 100));  // designed there
  form.NF1ComboBox2->setCurrentIndex(1);
  form.NF1ComboBox2->activated(1);
  form.NF1Btn2->click();
  const design::DesignedFilter& notch = form.chain.nf1.filter;
  const auto magnitude = [&](int j) { return std::hypot(notch.re[j], notch.im[j]); };
  int centre = 1;
  for (int j = 1; j < 512; ++j) centre = magnitude(j) < magnitude(centre) ? j : centre;
  ASSERT_NEAR(centre, 179, 4) << "the line's column less one";
  const float depth = 20.0f * std::log10(magnitude(centre));
  ASSERT_LT(depth, -15.0f);

  const auto curve_bottom = [&](int x) {
    const QImage& picture = form.SpectrumBox->picture();
    for (int y = spectrum_rows - 1; y >= 0; --y) {
      if (picture.pixel(x, y) == display::response_colour) return y;
    }
    return -1;
  };
  play_tone(40, 1);
  EXPECT_NEAR(curve_bottom(centre + 1),
              display::response_row(depth, form.view.db_scale, spectrum_rows), 1);
  EXPECT_EQ(curve_bottom(400), display::response_top_row) << "0 dB away from the notch";

  // A Q nearer Max cuts deeper, and the curve follows the new design.
  form.QTrackBar3->setValue(24);
  const float deeper = 20.0f * std::log10(magnitude(centre));
  ASSERT_LT(deeper, depth - 6.0f);
  play_tone(40, 1);
  EXPECT_NEAR(curve_bottom(centre + 1),
              display::response_row(deeper, form.view.db_scale, spectrum_rows), 1);

  // Off, or bypassed: flat at 0 dB.
  form.BypassBtn->click();
  play_tone(40, 1);
  EXPECT_EQ(curve_bottom(centre + 1), display::response_top_row);
  form.BypassBtn->click();
  form.NF1Btn2->click();
  play_tone(40, 1);
  EXPECT_EQ(curve_bottom(centre + 1), display::response_top_row);
}

TEST_F(ViewMenu, ThePointerShowsItsFrequencyAndLevelUntilItLeaves) {
  form.Waterfall1->trigger();
  play_tone(92, 40);
  form.DisplayRefBtn->click();  // the reference line moves with its bar
  form.RefScrollBar->setValue(93);
  const QString reference = form.RefFreqLabel->text();
  hover(form.SpectrumBox, 93);
  EXPECT_TRUE(form.PointerLabel->text().startsWith("Pointer: " + reference))
      << form.PointerLabel->text().toStdString();
  // The tone of amplitude 2000 stands 24.3 dB below full scale, whatever
  // the gain bars do to the line.
  const auto shown_db = [&] {
    return form.PointerLabel->text().section(", ", 1).section(" dBFS", 0, 0).toDouble();
  };
  EXPECT_NEAR(shown_db(), 20 * std::log10(2000.0 / 32767), 0.2);
  form.SignalGainBar->setValue(80);
  play_tone(92, 40);
  hover(form.SpectrumBox, 93);
  EXPECT_NEAR(shown_db(), 20 * std::log10(2000.0 / 32767), 0.2);
  leave(form.SpectrumBox);
  EXPECT_EQ(form.PointerLabel->text(), "");

  // Over the waterfall, the frequency alone, by the span's columns.
  form.SpectrumWidthBtn->click();
  hover(form.WaterfallBox, 186);
  EXPECT_EQ(form.PointerLabel->text(), "Pointer: " + reference);
  hover(form.WaterfallBox, 515);
  EXPECT_EQ(form.PointerLabel->text(), "");
  hover(form.WaterfallBox, 100);
  leave(form.WaterfallBox);
  EXPECT_EQ(form.PointerLabel->text(), "");
  // The scope trace has no frequency.
  form.DisplayBtn->click();
  hover(form.SpectrumBox, 100);
  EXPECT_EQ(form.PointerLabel->text(), "");
}

}  // namespace
