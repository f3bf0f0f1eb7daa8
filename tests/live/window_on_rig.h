// The base of the tests that run the window in this process on the rig's
// sound cards: skipped without the rig, and the devices the window opened
// are closed after each test.
#pragma once

#include <gtest/gtest.h>

#include "audio/state.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "tests/live/rig.h"
#include "tests/shell/test_application.h"

class WindowOnRig : public ::testing::Test {
 protected:
  explicit WindowOnRig(audio::WaveSystem& cards) : cards_(cards) {}

  void SetUp() override {
    if (!live::rig_folder()) {
      GTEST_SKIP() << "No sound rig: run these tests through scripts/audio_rig (scripts/test does).";
    }
    audio::wave_system = &cards_;
  }
  void TearDown() override {
    audio::wave_in.reset();
    audio::wave_out.reset();
  }

  QApplication& app = test_application();

 private:
  audio::WaveSystem& cards_;
};
