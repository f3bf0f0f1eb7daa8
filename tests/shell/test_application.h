// The one application object of a shell test process, with reports recorded
// instead of shown.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <utility>
#include <vector>

#include "shell/toolkit.h"

// The application object the test program's main creates before any test
// runs and destroys after the last, while the rest of Qt is still alive.
inline shell::Application& test_application() {
  return *static_cast<shell::Application*>(QCoreApplication::instance());
}

// Every report shown while it lives, as (caption, text).
class ReportRecorder {
 public:
  ReportRecorder() {
    shell::report_sink = [this](const QString& caption, const QString& text) {
      reports.emplace_back(caption, text);
    };
  }
  ~ReportRecorder() { shell::report_sink = nullptr; }

  std::vector<std::pair<QString, QString>> reports;
};
