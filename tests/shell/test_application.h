// The one application object of a shell test process, with reports recorded
// instead of shown.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "shell/toolkit.h"

inline shell::Application& test_application() {
  static int argc = 1;
  static char name[] = "shell_tests";
  static char* argv[] = {name, nullptr};
  static shell::Application application(argc, argv);
  return application;
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
