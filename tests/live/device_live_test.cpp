// The sound cards as the rig offers them, through the program's own window
// and dialog in this process: the dialog lists the rig's devices and keeps a
// choice, and a device number that does not exist is reported once while
// the cycle keeps restarting.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "audio/portaudio_device.h"
#include "shell/Soundcardselection.h"
#include "shell/Zoduvov.h"
#include "tests/live/rig.h"
#include "tests/live/window_on_rig.h"
#include "tests/shell/test_application.h"

namespace {

class LiveDevices : public WindowOnRig {
 protected:
  // The rig's sound cards, counting the cycle's attempts to open an output.
  struct Cards : audio::PortAudioSystem {
    int open_output(int device_id, const audio::WaveFormat& format,
                    std::unique_ptr<audio::WaveOutStream>* stream) override {
      if (stream) ++output_opens;
      return PortAudioSystem::open_output(device_id, format, stream);
    }
    int output_opens = 0;
  };

  Cards cards;
};

TEST_F(LiveDevices, TheDialogListsTheRigsDevicesAndKeepsAChoice) {
  ASSERT_GE(cards.output_count(), 2) << "the rig offers the default device and the sound server";
  TZForm form{cards};
  form.StartTimer->stop();
  // The formats the devices are tested with, as every cycle start sets them.
  form.devices.init_out_headers();
  form.devices.init_in_headers();
  ReportRecorder recorder;
  TSoundCardSelect dialog(&form, form.devices);
  dialog.settle_time = std::chrono::milliseconds(0);
  dialog.start_cycle = [] {};

  dialog.select_output = 1;
  dialog.show();
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.output_name(0));
  QTest::keyClick(dialog.WaveUpDown, Qt::Key_Up);
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.output_name(1));
  QTest::mouseClick(dialog.SelectBtn, Qt::LeftButton);
  EXPECT_EQ(form.devices.output_device_id, 1);
  EXPECT_EQ(dialog.WaveUpDown->value(), 1);
  EXPECT_TRUE(recorder.reports.empty());

  dialog.select_output = 0;
  dialog.hide();
  dialog.show();
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.input_name(1));
  dialog.close();
  EXPECT_EQ(form.devices.input_device_id, 1);
  EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(LiveDevices, AMissingOutputIsReportedOnceWhileTheCycleKeepsRestarting) {
  TZForm form{cards};
  ReportRecorder recorder;
  form.devices.output_device_id = 7;
  // Let the cycle start, fail its output and restart for three seconds.
  QTimer::singleShot(3000, &form, [&form] { form.Quit1Click(); });
  QCoreApplication::exec();

  const auto count = [&recorder](const char* text) {
    return std::count_if(recorder.reports.begin(), recorder.reports.end(),
                         [text](const auto& report) { return report.second == text; });
  };
  // Several cycles, but the first one's reports alone: each cycle ends by
  // closing the output it could not open.
  EXPECT_GE(cards.output_opens, 3);
  EXPECT_EQ(count("Could not handle the output WAVE format"), 1);
  EXPECT_EQ(count("Error Opening Output wave device"), 1);
  EXPECT_EQ(count("Error closing the output wave device"), 1);
  for (const auto& report : recorder.reports) EXPECT_EQ(report.first, "Wave Device Message");
  // The input side kept working: it opened every time without a report.
  EXPECT_EQ(count("Error Opening Input wave device"), 0);
}

}  // namespace
