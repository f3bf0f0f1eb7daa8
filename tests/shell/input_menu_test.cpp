// The "Options" menu: the input-select commands with their check marks and
// input formats, and the two commands that open the sound-card dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <chrono>
#include <tuple>

#include "audio/Soundcardselection.h"
#include "audio/standin_device.h"
#include "audio/state.h"
#include "engine/state.h"
#include "shell/Zoduvov.h"
#include "tests/shell/test_application.h"

using namespace std::chrono_literals;

namespace {

// input_select, in_channels, in_block_align, in_avg_bytes, in_buffer_bytes,
// position_limit.
using Format = std::tuple<int, int, int, int, int, int>;
// The check marks of Mic, Left Channel and Right Channel.
using Checks = std::array<bool, 3>;

class OptionsMenu : public ::testing::Test {
 protected:
  OptionsMenu() {
    test_application();
    audio::wave_system = &device;
    form.StartTimer->stop();
    SoundCardSelect = new TSoundCardSelect(&form);
    SoundCardSelect->settle_time = 0ms;
    SoundCardSelect->start_cycle = [this] { ++cycle_starts; };
  }
  ~OptionsMenu() override { SoundCardSelect = nullptr; }

  static Format input_format() {
    return {audio::input_select, audio::in_channels,     audio::in_block_align,
            audio::in_avg_bytes, audio::in_buffer_bytes, engine::position_limit};
  }
  Checks checks() const {
    return {form.MicInput->isChecked(), form.LeftInput->isChecked(), form.RightInput->isChecked()};
  }

  audio::StandinSystem device;
  ReportRecorder recorder;
  TZForm form;
  int cycle_starts = 0;
};

}  // namespace

TEST_F(OptionsMenu, InputSelectSetsTheFormatAndTheCheckMarks) {
  EXPECT_EQ(checks(), (Checks{true, false, false}));
  QElapsedTimer clock;
  clock.start();
  form.LeftInput->trigger();
  EXPECT_GE(clock.elapsed(), 50);
  EXPECT_EQ(input_format(), (Format{2, 2, 4, 44100, 4096, 2048}));
  EXPECT_EQ(checks(), (Checks{false, true, false}));
  form.RightInput->trigger();
  EXPECT_EQ(input_format(), (Format{3, 2, 4, 44100, 4096, 2048}));
  EXPECT_EQ(checks(), (Checks{false, false, true}));

  engine::block_size = 256;
  engine::fft_size = 512;
  audio::in_sample_rate = 8000;
  form.MicInput->trigger();
  EXPECT_EQ(input_format(), (Format{1, 1, 2, 22050, 2048, 1024}));
  EXPECT_EQ(engine::block_size, 512);
  EXPECT_EQ(engine::fft_size, 1024);
  EXPECT_EQ(audio::in_sample_rate, 11025);
  form.MicInput->trigger();  // choosing the checked item again keeps it checked
  EXPECT_EQ(checks(), (Checks{true, false, false}));
}

TEST_F(OptionsMenu, SoundCardCommandsOpenTheDialogForTheirDirection) {
  form.InputSoundCard->trigger();
  ASSERT_TRUE(SoundCardSelect->isVisible());
  EXPECT_FALSE(SoundCardSelect->isModal());
  EXPECT_EQ(SoundCardSelect->list_mode, 0);
  EXPECT_EQ(SoundCardSelect->windowTitle(), "Input Sound Card");
  // Asked for the other direction while it is open, it lists again.
  form.OutputSoundCard->trigger();
  EXPECT_EQ(audio::select_output, 1);
  EXPECT_EQ(SoundCardSelect->list_mode, 1);
  EXPECT_EQ(SoundCardSelect->windowTitle(), "Output Sound Card");
  EXPECT_EQ(cycle_starts, 2);
}

TEST_F(OptionsMenu, SelectInsideARunningCycleLeavesTheCycleRunning) {
  SoundCardSelect->settle_time = 300ms;
  SoundCardSelect->start_cycle = [this] { form.StartBtnClick(); };
  form.show();
  form.StartTimer->start();
  bool selected_while_running = false;
  QTimer::singleShot(400, &form, [&] {
    form.OutputSoundCard->trigger();
    SoundCardSelect->SelectBtn->click();
    selected_while_running = engine::cycle_stopped == 0;
  });
  QTimer::singleShot(1400, &form, [&] {
    EXPECT_EQ(engine::cycle_stopped, 0);
    form.Quit1Click();
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(selected_while_running);
  // One cycle throughout; the device test opened the output once more, and
  // quitting with the dialog open tested nothing again.
  EXPECT_EQ(device.input_opens(), 1);
  EXPECT_EQ(device.output_opens(), 2);
  EXPECT_TRUE(recorder.reports.empty());
}
