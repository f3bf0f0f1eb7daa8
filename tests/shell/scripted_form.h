// The main window under test: in a working folder of its own, and with a
// script run after every pass of its cycle.
#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <functional>

#include "shell/Zoduvov.h"

// The working directory of one test while it lives: a window reads its
// settings file there as it starts and writes it there as it ends, so each
// window starts from the start values, and no file of one test is found by
// the next.
class OwnFolder {
 public:
  OwnFolder() : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder_.path().toStdString());
  }
  ~OwnFolder() { std::filesystem::current_path(before_); }
  OwnFolder(const OwnFolder&) = delete;
  OwnFolder& operator=(const OwnFolder&) = delete;

 private:
  std::filesystem::path before_;
  QTemporaryDir folder_;
};

class ScriptedForm : public TZForm {
 public:
  using TZForm::TZForm;
  std::function<void(int pass)> after_pass;
  int passes = 0;
  void update_display() override {
    TZForm::update_display();
    if (after_pass) after_pass(++passes);
  }
};
