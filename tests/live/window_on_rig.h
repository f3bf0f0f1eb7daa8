// The base of the tests that run the window in this process on the rig's
// sound cards: skipped without the rig.
#pragma once

#include <gtest/gtest.h>

#include "tests/live/rig.h"
#include "tests/shell/test_application.h"

class WindowOnRig : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!live::rig_folder()) {
      GTEST_SKIP()
          << "No sound rig: run these tests through scripts/audio_rig (scripts/test does).";
    }
  }

  QApplication& app = test_application();
};
