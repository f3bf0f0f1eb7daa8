// The window on the rig's devices with a radio's signal on its input: a CW
// tone, an interfering carrier and noise. With the bandpass and a notch on
// the carrier switched on, the live spectrum shows the tone standing high
// above the noise and the carrier gone. With TONEWELL_SCREENSHOT set, the
// window shows its waterfall and response curve as well and saves a picture
// of itself there (the README's screenshot).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "audio/portaudio_device.h"
#include "shell/Zoduvov.h"
#include "shell/paint_box.h"
#include "tests/live/rig.h"
#include "tests/live/window_on_rig.h"
#include "tests/shell/test_application.h"

namespace {

constexpr double tone_hz = 700.0;
constexpr double carrier_hz = 1800.0;
constexpr int seconds = 8;
// Long enough to fill the waterfall's 200 rows.
constexpr int screenshot_seconds = 22;

// The column of a frequency in the full span: bin = hz x 1024 / 11025.
int column_of(double hz) { return static_cast<int>(std::lround(hz * 1024.0 / live::rate)); }

std::vector<std::int16_t> radio_signal(int length_seconds) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 400.0);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(length_seconds * live::rate));
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double t = static_cast<double>(n) / live::rate;
    const double v = 2500.0 * std::sin(2 * M_PI * tone_hz * t) +
                     3000.0 * std::sin(2 * M_PI * carrier_hz * t) + noise(random);
    samples[n] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
  }
  return samples;
}

// Height in pixels of the spectrum at column x: from the bottom to the
// topmost black pixel.
int height_at(const QImage& picture, int x) {
  for (int y = 0; y < 196; ++y) {
    if (picture.pixel(x, y) == qRgb(0, 0, 0)) return 197 - y;
  }
  return 1;
}

class LiveDisplay : public WindowOnRig {
 protected:
  // Drags a line from one column to another in small steps.
  static void drag(QWidget* box, int from, int to) {
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(from, 100));
    for (int x = from; x != to; x += std::clamp(to - x, -8, 8)) {
      QTest::mouseMove(box, QPoint(x, 100));
    }
    QTest::mouseMove(box, QPoint(to, 100));
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(to, 100));
  }

  audio::PortAudioSystem cards;
};

TEST_F(LiveDisplay, TheToneStandsOutAndTheNotchedCarrierIsGone) {
  TZForm form{cards};
  form.show();
  // As a user sets it up: the display's level, the voice bandpass, notch 1
  // 200 Hz wide at full depth (Q at "Max") dragged onto the carrier, the
  // reference on the tone.
  form.RxCoarseTrackBarChange();
  form.BPComboBox2->setCurrentIndex(1);
  emit form.BPComboBox2->activated(1);
  form.BandPassBtn2->click();
  form.DisplayNF1Btn->click();
  form.NF1ComboBox2->setCurrentIndex(2);
  emit form.NF1ComboBox2->activated(2);
  form.QTrackBar3->setValue(25);
  drag(form.SpectrumBox, 1, column_of(carrier_hz));
  form.NF1Btn2->click();
  form.DisplayRefBtn->click();
  form.RefScrollBar->setValue(column_of(tone_hz));
  form.FilterControl->setCurrentWidget(form.NF1Tab);
  // The README's picture shows the waterfall and the response curve too.
  const char* screenshot = std::getenv("TONEWELL_SCREENSHOT");
  if (screenshot) {
    form.Waterfall1->trigger();
    form.FilterResponse1->trigger();
  }
  const int run_seconds = screenshot ? screenshot_seconds : seconds;

  std::filesystem::path folder = std::filesystem::temp_directory_path() / "tonewell-display-live";
  std::filesystem::create_directories(folder);
  live::Child player = live::start_playing(radio_signal(run_seconds), "radio_in", folder);
  QTimer::singleShot((run_seconds - 2) * 1000, &form, [&form] { form.Quit1Click(); });
  QCoreApplication::exec();

  const QImage picture = form.SpectrumBox->picture();
  if (screenshot) {
    EXPECT_TRUE(form.grab().save(QString::fromLocal8Bit(screenshot)));
  }

  // The noise floor inside the pass band, away from both signals.
  std::vector<int> floor;
  for (int x = column_of(300); x <= column_of(2300); ++x) {
    if (std::abs(x - column_of(tone_hz)) > 6 && std::abs(x - column_of(carrier_hz)) > 6) {
      floor.push_back(height_at(picture, x));
    }
  }
  std::nth_element(floor.begin(), floor.begin() + floor.size() / 2, floor.end());
  const int noise = floor[floor.size() / 2];
  int tone = 0;
  for (int x = column_of(tone_hz) - 2; x <= column_of(tone_hz) + 2; ++x) {
    tone = std::max(tone, height_at(picture, x));
  }
  // The notch's line covers the carrier's column and the one to its left.
  int carrier = 0;
  for (const int x : {column_of(carrier_hz) - 2, column_of(carrier_hz) + 1}) {
    carrier = std::max(carrier, height_at(picture, x));
  }
  std::cout << "Live figure: noise " << noise << " px, tone " << tone << " px, carrier " << carrier
            << " px" << std::endl;
  EXPECT_GT(noise, 20);
  EXPECT_GT(tone, noise + 40);
  EXPECT_LT(carrier, noise - 30);
  // Outside the bandpass the floor drops.
  EXPECT_LT(height_at(picture, column_of(4000)), noise - 10);
}

}  // namespace
