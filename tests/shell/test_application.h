// The one application object of a shell test process, with reports recorded
// instead of shown, and the window on the built-in device most tests use.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/standin_device.h"
#include "shell/Zoduvov.h"
#include "shell/paint_box.h"
#include "shell/toolkit.h"
#include "tests/support/wave_bytes.h"

// The application object the test program's main creates before any test
// runs and destroys after the last, while the rest of Qt is still alive.
inline shell::Application& test_application() {
  return *static_cast<shell::Application*>(QCoreApplication::instance());
}

// Reports as (caption, text).
using Reports = std::vector<std::pair<QString, QString>>;

// Every report shown while it lives.
class ReportRecorder {
 public:
  ReportRecorder() {
    shell::report_sink = [this](const QString& caption, const QString& text) {
      reports.emplace_back(caption, text);
    };
  }
  ~ReportRecorder() { shell::report_sink = nullptr; }

  Reports reports;
};

// A tone of `step` radians a sample in noise, `count` samples long.
inline test_support::Samples radio(std::size_t count, double step) {
  test_support::Samples s(count);
  std::uint32_t noise = 7;
  for (std::size_t n = 0; n < count; ++n) {
    noise = noise * 1664525u + 1013904223u;
    s[n] = static_cast<std::int16_t>(6000 * std::sin(step * static_cast<double>(n)) +
                                     static_cast<int>(noise >> 20) - 2048);
  }
  return s;
}

// The built-in input, and output devices listed under the given names, as a
// sound system numbers them; each works as the built-in device does, except
// the refused one. Records every output device opened with a stream.
class Cards : public audio::StandinSystem {
 public:
  int output_count() override { return static_cast<int>(names.size()); }
  std::string output_name(int id) override { return names.at(static_cast<std::size_t>(id)); }
  int open_output(int id, const audio::WaveFormat& format,
                  std::unique_ptr<audio::WaveOutStream>* stream) override {
    if (id < 0 || id >= output_count()) return audio::wave_bad_device_id;
    if (id == refused) return audio::wave_bad_format;
    if (stream != nullptr) opened.push_back(id);
    return StandinSystem::open_output(0, format, stream);
  }
  std::vector<std::string> names;
  int refused = -1;
  std::vector<int> opened;
};

// Every visible widget under `root` lies inside its parent.
inline void expect_nothing_clipped(const QWidget* root) {
  for (const QWidget* w : root->findChildren<QWidget*>())
    EXPECT_TRUE(!w->isVisible() || w->parentWidget()->rect().contains(w->geometry()))
        << w->metaObject()->className() << " at " << w->x() << "," << w->y();
}

// The window on the built-in device, its processing cycle never started.
class StoppedWindow : public ::testing::Test {
 protected:
  StoppedWindow() { form.StartTimer->stop(); }

  void show() {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  // Shown, and the active window, which takes the keys.
  void show_active() {
    show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  // The left button on the display at x, 100: pressed, moved to each point
  // of `path` in steps of at most 8 pixels as a hand would, released at the
  // end.
  void drag(int x, std::initializer_list<int> path) {
    press(x);
    move(x);
    for (const int to : path) x = glide(x, to);
    release(x);
  }
  int glide(int from, int to) {
    while (from != to) {
      from += std::clamp(to - from, -8, 8);
      move(from);
    }
    return to;
  }
  void press(int x) { QTest::mousePress(form.SpectrumBox, Qt::LeftButton, {}, QPoint(x, 100)); }
  void move(int x) { QTest::mouseMove(form.SpectrumBox, QPoint(x, 100)); }
  void release(int x) { QTest::mouseRelease(form.SpectrumBox, Qt::LeftButton, {}, QPoint(x, 100)); }

  QApplication& app = test_application();  // before the window
  ReportRecorder recorder;
  audio::StandinSystem device;
  TZForm form{device};
};
