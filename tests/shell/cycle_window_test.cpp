// The main window running the processing cycle on the built-in device:
// start-up state, the start and timeout timers, bypass, Quit, termination
// signals and escaped exceptions.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "audio/standin_device.h"
#include "design/filter.h"
#include "shell/Zoduvov.h"
#include "shell/state.h"
#include "tests/shell/test_application.h"

namespace {

// The window, counting the passes that reach the display.
class CountingForm : public TZForm {
 public:
  using TZForm::TZForm;
  void update_display() override {
    ++passes;
    TZForm::update_display();
  }
  int passes = 0;
};

class WindowCycleTest : public ::testing::Test {
 protected:
  WindowCycleTest() { test_application(); }

  // Runs the message loop (and so the cycle the start timer starts) for `ms`
  // milliseconds, then looks at the window from inside the loop, then quits.
  static void run_then_quit(TZForm& form, int ms, const std::function<void()>& look) {
    form.show();
    QTimer::singleShot(ms, &form, [&form, look] {
      look();
      form.Quit1Click();
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
  }

  // Runs `then` inside the loop once `ready` holds, asked every `period` ms,
  // or after 5 s if it never does; the loop's pace is the machine's, not the
  // test's.
  static void once(TZForm& form, std::function<bool()> ready, std::function<void()> then,
                   int period = 20) {
    auto* poll = new QTimer(&form);
    QObject::connect(poll, &QTimer::timeout, &form,
                     [poll, ready = std::move(ready), then = std::move(then),
                      clock = QElapsedTimer()]() mutable {
                       if (!clock.isValid()) clock.start();
                       if (!ready() && clock.elapsed() < 5000) return;
                       poll->stop();
                       then();
                     });
    poll->start(period);
  }

  audio::StandinSystem device;
  ReportRecorder recorder;
};

// The saved start values are checked with the settings file, the gains and
// the bandpass's Q-level with the filter window; these are the rest.
TEST_F(WindowCycleTest, FormCreateGivesEveryVariableItsStartValue) {
  TZForm form{device};
  EXPECT_EQ(std::tuple(design::block_size, design::fft_size), std::tuple(512, 1024));
  const auto& d = form.devices;
  EXPECT_EQ(std::tuple(d.bytes_per_sample, d.in_sample_rate, d.in_channels, d.in_block_align,
                       d.in_bits, d.in_avg_bytes, d.in_buffer_bytes),
            std::tuple(2, 11025, 1, 2, 16, 22050, 2048));
  EXPECT_EQ(std::tuple(d.out_sample_rate, d.out_channels, d.out_block_align, d.out_bits,
                       d.out_avg_bytes, d.out_buffer_bytes),
            std::tuple(11025, 1, 2, 16, 22050, 2048));
  for (const auto* block : {&d.in_data_a, &d.in_data_b, &d.out_data_a, &d.out_data_b})
    EXPECT_NE(block->get(), nullptr);

  EXPECT_FALSE(form.live.running());
  EXPECT_EQ(std::tuple(form.StartTimer->interval(), form.StartTimer->isActive(),
                       form.StartTimer->isSingleShot(), form.AudioTimer->interval(),
                       form.AudioTimer->isActive()),
            std::tuple(50, true, false, 40, false));
  EXPECT_EQ(
      std::tuple(form.view.time_gain, form.view.spectrum_height, form.view.db_scale,
                 form.view.db_offset, form.view.grab_margin_left, form.view.grab_margin_right),
      std::tuple(25, 197, 8.0f, 15.0f, 3, 3));
  for (const bool grab :
       {form.view.bp_grab, form.view.nf1_grab, form.view.nf2_grab, form.view.var_bp_lo_grab,
        form.view.var_bp_hi_grab, form.view.var_notch_lo_grab, form.view.var_notch_hi_grab,
        form.view.ref_grab})
    EXPECT_TRUE(grab);
  // The cycle takes its input from the device, not from a play file.
  const auto& t = form.transport;
  EXPECT_EQ(std::tuple(t.record_on, t.play_on, t.pause_on, t.transport_idle, t.record_file_open,
                       t.play_file_open),
            std::tuple(false, false, false, true, false, false));
  EXPECT_EQ(shell::settings_path, (std::filesystem::current_path() / "ZOduvov.cfg").string());
}

TEST_F(WindowCycleTest, StartTimerStartsTheCycleWhichKeepsRunning) {
  CountingForm form{device};
  run_then_quit(form, 1200, [&] {
    // 50 ms to the start, about 200 ms for the first pass, then 92.9 ms a pass.
    EXPECT_TRUE(form.live.status().running);
    EXPECT_GE(form.passes, 7);
    EXPECT_LE(form.passes, 13);
    EXPECT_EQ(device.input_opens(), 1);
    EXPECT_FALSE(form.StartTimer->isActive());
  });
  EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(WindowCycleTest, AStalledDeviceEndsTheCycleWhichRestartsFiftyMillisecondsLater) {
  device.set_stalled(true);
  CountingForm form{device};
  form.no_input_after = std::chrono::milliseconds(300);
  // Each cycle: four phase-a passes that time out, each followed by a
  // phase-b pass that finds its buffers returned by the reset, then 50 ms
  // before the next cycle. The loop ends as the second cycle opens the
  // devices.
  QElapsedTimer clock;
  clock.start();
  qint64 reopened_after = -1;
  // The devices open each time: the line never says they failed.
  QStringList lines;
  once(
      form,
      [&] {
        if (!lines.contains(form.StatusLabel->text())) lines << form.StatusLabel->text();
        return device.input_opens() >= 2 && device.output_opens() >= 2;
      },
      [&] {
        reopened_after = clock.elapsed();
        // No input came through all of it.
        EXPECT_EQ(form.StatusLabel->text(), "No input: check the sound card and the input select");
        form.Quit1Click();
      },
      5);
  run_then_quit(form, 3000, [] {});
  EXPECT_EQ(device.input_opens(), 2);
  EXPECT_EQ(device.output_opens(), 2);
  EXPECT_GE(reopened_after, 4 * 200);
  EXPECT_LE(reopened_after, 4 * 200 + 50 + 400);
  EXPECT_GE(form.passes, 6);
  EXPECT_LE(form.passes, 7);
  EXPECT_FALSE(lines.contains("Output failed, retrying") ||
               lines.contains("Input failed, retrying"))
      << lines.join(" | ").toStdString();
}

TEST_F(WindowCycleTest, ChangingTheInputRestartsTheCycleOnTheInputInItsNewFormat) {
  // Stereo frames: the left channel a ramp, the right channel silence.
  std::vector<std::int16_t> frames;
  for (int i = 0; i < 40 * 1024; ++i) {
    frames.push_back(static_cast<std::int16_t>(i % 20000 - 10000));
    frames.push_back(0);
  }
  CountingForm form{device};
  form.SignalGainBar->setValue(10);  // unity gain: 10 x 0.1
  QTimer::singleShot(500, &form, [&form] { form.LeftInputClick(); });
  // Fed once the stereo input runs, which takes whole frames from the start.
  QTimer::singleShot(800, &form, [&] { device.feed(frames); });
  run_then_quit(form, 1700, [&] {
    EXPECT_TRUE(form.live.status().running);
    EXPECT_EQ(device.input_opens(), 2);
    EXPECT_EQ(form.devices.input_select, 2);
    // What the restarted cycle captures is the left channel, sample for sample.
    const std::vector<std::int16_t> played = device.take_played();
    ASSERT_GE(played.size(), 2048u);
    int ramp_steps = 0;
    for (std::size_t i = played.size() - 1023; i < played.size(); ++i) {
      if (played[i] - played[i - 1] == 1) ++ramp_steps;
    }
    EXPECT_GE(ramp_steps, 1020);
  });
  EXPECT_TRUE(recorder.reports.empty());
}

// Quit, and closing the window, during a pass: the pass under way ends
// within about one more pass, the cycle stops, the devices close and the
// loop ends.
TEST_F(WindowCycleTest,
       QuitOrClosingTheWindowDuringAPassStopsTheCycleClosesTheDevicesAndEndsTheLoop) {
  const struct {
    const char* name;
    void (*end)(TZForm&);
  } ways[] = {{"Quit", [](TZForm& form) { form.Quit1Click(); }},
              {"closing the window", [](TZForm& form) { form.close(); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    CountingForm form{device};
    form.show();
    int passes_at_end = -1;
    QElapsedTimer clock;
    once(
        form, [&] { return form.passes >= 3; },
        [&] {
          passes_at_end = form.passes;
          clock.start();
          way.end(form);
        });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_LT(clock.elapsed(), 300);
    EXPECT_GE(passes_at_end, 3);
    EXPECT_LE(form.passes, passes_at_end + 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.live.running());
    EXPECT_FALSE(form.live.status().input_open);
    EXPECT_FALSE(form.live.status().output_open);
  }
}

TEST_F(WindowCycleTest, AReportAndAFileDialogLeaveTheCycleRunningAndQuitEndsThemAll) {
  // A dialog cancelled during a recording leaves it recording.
  shell::report_sink = nullptr;  // real boxes
  CountingForm form{device};
  form.show();
  int passes_at_open = -1;
  std::uint64_t recorded_at_cancel = 0;
  std::uint64_t recorded = 0;
  QElapsedTimer since_quit;
  QTimer::singleShot(400, &form, [&] {
    form.RecordBtnClick();  // no record file: a report
    form.SaveWaveClick();
    passes_at_open = form.passes;
    // A second of passes at 92.9 ms each goes on under them.
    once(
        form, [&] { return form.passes - passes_at_open >= 10; },
        [&] {
          EXPECT_GE(form.passes - passes_at_open, 10);
          const QList<QMessageBox*> boxes = form.findChildren<QMessageBox*>();
          EXPECT_TRUE(boxes.size() == 1 && boxes[0]->isVisible() &&
                      boxes[0]->text() == "No output file has been specified");
          EXPECT_TRUE(form.SaveWaveDialog->isVisible());
          EXPECT_EQ(form.SaveWaveDialog->windowModality(), Qt::WindowModal);
          // The file chosen is taken up as the dialog closes.
          emit form.SaveWaveDialog->fileSelected(QDir::current().absoluteFilePath("chosen.wav"));
          EXPECT_TRUE(form.transport.record_file_open);
          form.RecordBtnClick();
          form.SaveWaveClick();
          form.SaveWaveDialog->reject();
          form.LoadWaveClick();
          form.OpenWaveDialog->reject();
          recorded_at_cancel = form.transport.record_byte_count;
          const auto enough = recorded_at_cancel + 4 * 2048;
          once(
              form, [&, enough] { return form.transport.record_byte_count >= enough; },
              [&, enough] {
                EXPECT_TRUE(form.transport.record_on);
                EXPECT_TRUE(form.transport.record_file_open);
                EXPECT_EQ(shell::font_color(form.RecordBtn), shell::engaged_color);
                EXPECT_GE(form.transport.record_byte_count, enough);
                recorded = form.transport.record_byte_count;
                since_quit.start();
                form.Quit1Click();
              });
        });
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_LT(since_quit.elapsed(), 300);
  EXPECT_GE(QFileInfo("chosen.wav").size(), static_cast<qint64>(44 + recorded));
}

// The built-in devices, with an output that fails to open until it works.
class ReturningOutput : public audio::StandinSystem {
 public:
  int open_output(int device_id, const audio::WaveFormat& format,
                  std::unique_ptr<audio::WaveOutStream>* stream) override {
    if (stream != nullptr && !working.load()) return audio::wave_error;
    return StandinSystem::open_output(device_id, format, stream);
  }
  std::atomic<bool> working{false};
};

TEST_F(WindowCycleTest,
       AnOutputThatFailsToOpenIsRetriedUntilItWorksWithOneReportAndTheStatusSaysSo) {
  ReturningOutput system;
  TZForm form{system};
  // The output works again once the status line says that it failed; the
  // loop ends once it sounds and the status line names the devices.
  QString failing;
  QElapsedTimer since_working;
  qint64 sound_after = -1;
  const auto listen = [&] {
    if (!system.working && form.StatusLabel->text() == "Output failed, retrying") {
      failing = form.StatusLabel->text();
      system.working = true;
      since_working.start();
    }
    if (sound_after < 0 && system.output_opens() > 0 && !system.take_played().empty())
      sound_after = since_working.elapsed();
    return sound_after >= 0 && form.StatusLabel->text().contains(QStringLiteral("\u2192"));
  };
  once(form, listen, [&] { form.Quit1Click(); });
  run_then_quit(form, 5000, [] {});
  EXPECT_EQ(failing, "Output failed, retrying");
  EXPECT_TRUE(form.StatusLabel->text().contains(QStringLiteral("\u2192")))
      << form.StatusLabel->text().toStdString();
  // Opened again every 2 s: sound within one period of the device's return.
  EXPECT_GE(sound_after, 0);
  EXPECT_LE(sound_after, 2500);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].first, "Wave Device Message");
}

TEST_F(WindowCycleTest, DiagnosticLabelsShowTheBytesCollected) {
  TZForm form{device};
  const auto both_full = [&form] {
    return form.byte_position_a->text() == "2048" && form.byte_position_b->text() == "2048";
  };
  once(form, both_full, [&] { form.Quit1Click(); });
  run_then_quit(form, 2000, [] {});
  EXPECT_TRUE(both_full()) << form.byte_position_a->text().toStdString() << " "
                           << form.byte_position_b->text().toStdString();
}

TEST_F(WindowCycleTest, AnExceptionEscapingAHandlerIsShownAndTheLoopGoesOn) {
  QTimer::singleShot(0, [] { throw std::runtime_error("the handler failed"); });
  QTimer::singleShot(1, [] { throw 42; });
  bool later_ran = false;
  QTimer::singleShot(20, [&] { later_ran = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return later_ran; }));
  ASSERT_EQ(recorder.reports.size(), 2u);
  EXPECT_EQ(recorder.reports[0], (std::pair<QString, QString>("Tonewell", "the handler failed")));
  EXPECT_EQ(recorder.reports[1], (std::pair<QString, QString>("Tonewell", "")));
}

// The program itself, on the offscreen platform in a folder of its own.
class ProgramTest : public ::testing::TestWithParam<int> {};

TEST_P(ProgramTest, TerminationSignalQuitsWithExitCodeZero) {
  QTemporaryDir folder;
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
  program.setProcessEnvironment(environment);
  program.setWorkingDirectory(folder.filePath("started-here"));
  ASSERT_TRUE(QDir(folder.path()).mkdir("started-here"));
  // A file given opens for playing as Open Wave does: this one is missing.
  program.start(TONEWELL_BINARY, {"missing.wav"});
  ASSERT_TRUE(program.waitForStarted(5000));
  // Once it has said so, the window is up; then the cycle runs a few passes.
  const QByteArray refused = "tonewell: File Open Error Message: Could not open the file\n";
  QByteArray said;
  program.setReadChannel(QProcess::StandardError);
  while (!said.contains(refused) && program.waitForReadyRead(20000))
    said += program.readAllStandardError();
  ASSERT_TRUE(said.contains(refused)) << said.toStdString();
  EXPECT_FALSE(program.waitForFinished(500));
  ::kill(static_cast<pid_t>(program.processId()), GetParam());
  ASSERT_TRUE(program.waitForFinished(3000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  // It saved its settings on the way out, in the user's settings folder,
  // and wrote nothing where it started nor any settings of the toolkit's.
  EXPECT_EQ(QFileInfo(folder.filePath("config/tonewell/ZOduvov.cfg")).size(), 124);
  EXPECT_TRUE(QFileInfo::exists(folder.filePath("config/tonewell/tonewell.ini")));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("config/QtProject.conf")));
  EXPECT_TRUE(QDir(folder.filePath("started-here")).isEmpty());
}

// --version and --help answer without a display, leave the folder as it
// was, and both programs give one version.
TEST(ProgramArguments, VersionAndHelpNeedNoDisplayAndTouchNoSettings) {
  QTemporaryDir folder;
  const auto run = [&folder](const QString& binary, const QString& argument) {
    QProcess program;
    program.setWorkingDirectory(folder.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    program.setProcessEnvironment(environment);
    program.start(binary, {argument});
    EXPECT_TRUE(program.waitForFinished(5000)) << argument.toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << argument.toStdString();
    return QString::fromUtf8(program.readAllStandardOutput());
  };
  const QString version = run(TONEWELL_BINARY, "--version");
  EXPECT_TRUE(version.startsWith("tonewell ")) << version.toStdString();
  EXPECT_EQ(run(TONEWELL_FILTER, "--version"), "tonewell-filter " + version.mid(9));
  EXPECT_TRUE(run(TONEWELL_BINARY, "--help").startsWith("Usage: tonewell "));
  EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& signal) {
                           return std::string(signal.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

}  // namespace
