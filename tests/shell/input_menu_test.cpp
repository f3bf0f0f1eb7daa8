// The "Options" menu: the input-select commands with their check marks and
// input formats, and the two commands that open the sound-card dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <chrono>
#include <tuple>

#include "audio/device_pair.h"
#include "shell/Soundcardselection.h"
#include "tests/shell/test_application.h"

using namespace std::chrono_literals;

namespace {

// input_select, in_channels, in_block_align, in_avg_bytes, in_buffer_bytes.
using Format = std::tuple<int, int, int, int, int>;
// The check marks of Mic, Left Channel and Right Channel.
using Checks = std::array<bool, 3>;

class OptionsMenu : public StoppedWindow {
 protected:
  OptionsMenu() {
    SoundCardSelect = new TSoundCardSelect(&form, form.devices);
    SoundCardSelect->settle_time = 0ms;
    SoundCardSelect->start_cycle = [this] { ++cycle_starts; };
  }
  ~OptionsMenu() override { SoundCardSelect = nullptr; }

  Format input_format() const {
    const audio::DevicePair& d = form.devices;
    return {d.input_select, d.in_channels, d.in_block_align, d.in_avg_bytes, d.in_buffer_bytes};
  }
  Checks checks() const {
    return {form.MicInput->isChecked(), form.LeftInput->isChecked(), form.RightInput->isChecked()};
  }

  int cycle_starts = 0;
};

}  // namespace

TEST_F(OptionsMenu, InputSelectSetsTheFormatAndTheCheckMarks) {
  EXPECT_EQ(checks(), (Checks{true, false, false}));
  form.LeftInput->trigger();
  EXPECT_EQ(input_format(), (Format{2, 2, 4, 44100, 4096}));
  EXPECT_EQ(checks(), (Checks{false, true, false}));
  form.RightInput->trigger();
  EXPECT_EQ(input_format(), (Format{3, 2, 4, 44100, 4096}));
  EXPECT_EQ(checks(), (Checks{false, false, true}));

  form.devices.in_sample_rate = 8000;
  form.MicInput->trigger();
  EXPECT_EQ(input_format(), (Format{1, 1, 2, 22050, 2048}));
  EXPECT_EQ(form.devices.in_sample_rate, 11025);
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
  EXPECT_EQ(SoundCardSelect->select_output, 1);
  EXPECT_EQ(SoundCardSelect->list_mode, 1);
  EXPECT_EQ(SoundCardSelect->windowTitle(), "Output Sound Card");
  EXPECT_TRUE(QTest::qWaitFor([this] { return cycle_starts == 2; }, 2000));
}

TEST_F(OptionsMenu, SelectInsideARunningCycleLeavesTheCycleRunning) {
  SoundCardSelect->settle_time = 300ms;
  SoundCardSelect->start_cycle = [this] { form.StartBtnClick(); };
  form.show();
  form.StartTimer->start();
  // Once the cycle runs, the output is selected; a second later it still runs.
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, &form, [&] {
    if (!form.live.status().running) return;
    look.stop();
    form.OutputSoundCard->trigger();
    SoundCardSelect->SelectBtn->click();
    QTimer::singleShot(1000, &form, [&] {
      EXPECT_TRUE(form.live.status().running);
      form.Quit1Click();
    });
  });
  look.start(10);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  // One cycle throughout; the device test opened the output once more, and
  // quitting with the dialog open tested nothing again.
  EXPECT_EQ(device.input_opens(), 1);
  EXPECT_EQ(device.output_opens(), 2);
  EXPECT_TRUE(recorder.reports.empty());
}
