// The main window with a script run after every pass of its cycle.
#pragma once

#include <functional>

#include "shell/Zoduvov.h"

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
