// WAV files and the transport through the window: Open Wave's checks, Save
// Wave's header, the four buttons, and recording and playing while the
// processing cycle runs on the built-in device.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "audio/standin_device.h"
#include "engine/filter_chain.h"
#include "engine/pass.h"
#include "files/wav.h"
#include "shell/Zoduvov.h"
#include "shell/toolkit.h"
#include "tests/shell/scripted_form.h"
#include "tests/shell/test_application.h"
#include "tests/support/fast_clock.h"
#include "tests/support/wave_bytes.h"

namespace {

using namespace test_support;

class Transport : public ::testing::Test {
 protected:
  Transport() { test_application(); }

  // Runs the message loop, and with it the cycle, until the script quits
  // (or ten seconds pass).
  static void run(ScriptedForm& form) {
    form.show();
    QTimer::singleShot(10000, &form, [&form] { form.Quit1Click(); });
    QCoreApplication::exec();
  }

  Reports& reports() { return recorder.reports; }

  audio::StandinSystem device;
  ReportRecorder recorder;
};

TEST_F(Transport, OpenWaveAcceptsWhatTheFilterToolAcceptsAndARefusalKeepsThePlay) {
  TZForm form{device};
  form.StartTimer->stop();
  const Samples block(1024, 5);
  const QString refused =
      "Wave parameters not compatible: found %1; accepts 16-bit PCM WAV, mono or stereo, at 1000 "
      "to 768000 Hz";
  const struct {
    const char* name;
    WaveShape shape;
    const char* caption;  // null: accepted
    QString text;
    std::int64_t bytes_left;  // of the play, the one before it when refused
  } cases[] = {
      {"plain.wav", {}, nullptr, "", 2048},
      {"fact.wav", shape_with([](WaveShape& w) {
         w.fmt_extra = 2;
         w.before = {{"fact", Bytes(4, 0)}};
       }),
       nullptr, "", 2048},
      {"list.wav", shape_with([](WaveShape& w) {
         w.before = {{"LIST", Bytes(37, 'x')}, {"cue ", Bytes(4, 1)}};
       }),
       nullptr, "", 2048},
      {"stereo.wav", shape_with([](WaveShape& w) { w.channels = 2; }), nullptr, "", 2048},
      // Converted: the samples at 11025 Hz its 1024 frames give.
      {"22050.wav", shape_with([](WaveShape& w) { w.rate = 22050; }), nullptr, "", 1024},
      {"24-bit.wav", shape_with([](WaveShape& w) { w.bits = 24; }), "File Open Error Message",
       refused.arg("24-bit PCM"), 1024},
      // Tags that are not PCM, though they claim 16 bits at 11025 Hz.
      {"float.wav", shape_with([](WaveShape& w) { w.format_tag = 3; }), "File Open Error Message",
       refused.arg("16-bit float"), 1024},
      {"mp3.wav", shape_with([](WaveShape& w) { w.format_tag = 0x55; }), "File Open Error Message",
       refused.arg("compressed audio (format tag 85)"), 1024},
      {"rifx.wav", shape_with([](WaveShape& w) { w.riff = "RIFX"; }), "File Error Message",
       "Not a RIFF file", 1024},
      // A size of 0 before a block of samples: the block is played, and said.
      {"sized 0.wav", shape_with([](WaveShape& w) { w.claimed = 0; }), "File Error Message",
       "sized 0.wav: the data chunk says 0 bytes; the 2048 bytes after it are used", 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reports().clear();
    form.open_wave(write_file(c.name, wave_file(c.shape, block)));
    EXPECT_TRUE(form.transport.play_file_open);
    EXPECT_EQ(form.transport.play_bytes_left, c.bytes_left);
    if (c.caption == nullptr) {
      EXPECT_TRUE(reports().empty());
      continue;
    }
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0].first, c.caption);
    EXPECT_EQ(reports()[0].second, c.text);
    // tonewell-filter refuses the same file, and says what the window says
    // of its format after the window's own words, or the same warning.
    QProcess filter;
    filter.start(TONEWELL_FILTER, {c.name, "out.wav"});
    ASSERT_TRUE(filter.waitForFinished());
    const QString said = QString::fromUtf8(filter.readAllStandardError()).section('\n', 0, 0);
    const QString window = reports()[0].second;
    EXPECT_EQ(filter.exitCode(), window.startsWith(c.name) ? 0 : 1);
    if (window.startsWith(c.name)) {
      EXPECT_EQ(said, "tonewell-filter: " + window);
    } else if (window.contains(": ")) {
      EXPECT_EQ(said, "tonewell-filter: " + QString(c.name) + ": " + window.section(": ", 1));
    }
  }
  reports().clear();
  form.open_wave("missing.wav");
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0].second, "Could not open the file");
}

TEST_F(Transport, ButtonsRefuseWithoutFilesAndStopFinishesARecording) {
  TZForm form{device};
  form.StartTimer->stop();
  form.RecordBtn->click();
  form.PlayBtn->click();
  EXPECT_EQ(reports(), (Reports{{"Record Error", "No output file has been specified"},
                                {"Play Error", "No input file has been specified"}}));
  EXPECT_EQ(shell::font_color(form.RecordBtn), shell::idle_color);
  form.PauseBtn->click();  // idle: nothing
  EXPECT_FALSE(form.transport.pause_on);

  // Save Wave twice: the first file is finished, empty, before the second.
  form.save_wave("first.wav");
  form.save_wave("second.wav");
  const Bytes first = read_file("first.wav");
  ASSERT_EQ(first.size(), 44u);
  EXPECT_EQ(u32_at(first, 4), 36u);
  EXPECT_EQ(u32_at(first, 40), 0u);

  form.RecordBtn->click();
  EXPECT_TRUE(form.transport.record_on);
  EXPECT_EQ(shell::font_color(form.RecordBtn), shell::engaged_color);
  EXPECT_EQ(shell::font_color(form.StopBtn), shell::idle_color);
  form.PauseBtn->click();
  EXPECT_EQ(shell::font_color(form.PauseBtn), shell::engaged_color);
  form.RecordBtn->click();  // Record again finishes the file: idle
  EXPECT_TRUE(form.transport.transport_idle);
  EXPECT_FALSE(form.transport.record_file_open);
  EXPECT_FALSE(form.transport.pause_on);
  EXPECT_EQ(shell::font_color(form.StopBtn), shell::engaged_color);
  EXPECT_EQ(shell::font_color(form.PauseBtn), shell::idle_color);

  // What Save Wave wrote and Stop finished opens for playing.
  reports().clear();
  form.open_wave("second.wav");
  EXPECT_TRUE(reports().empty());
  EXPECT_TRUE(form.transport.play_file_open);
}

TEST_F(Transport, RecordingWritesWholePassesEachOnceAndPauseWritesNone) {
  // Pass k carries block k of the input, every sample 10 k, through bypass
  // at unity gain.
  Samples numbered;
  for (int k = 1; k <= 200; ++k) {
    numbered.insert(numbered.end(), 1024, static_cast<std::int16_t>(10 * k));
  }
  device.feed(numbered);
  ScriptedForm form{device};
  form.BypassBtn->click();
  form.SignalGainBar->setValue(10);
  form.save_wave("ten.wav");
  // Pause goes off once a pass drawn shows it held (silence out), and the
  // recording stops seven passes later: however far the window lags the
  // cycle, the pause holds at least one pass.
  int resumed_at = 0;
  form.after_pass = [&](int pass) {
    const bool silent = std::all_of(form.pass.out_samples.begin(), form.pass.out_samples.end(),
                                    [](std::int32_t s) { return s == 0; });
    if (pass == 1) form.RecordBtnClick();
    if (pass == 4) form.PauseBtnClick();
    if (pass > 4 && resumed_at == 0 && silent) {
      form.PauseBtnClick();
      resumed_at = pass;
    }
    if (resumed_at > 0 && pass == resumed_at + 7) {
      form.StopBtnClick();
      form.Quit1Click();
    }
  };
  run(form);
  ASSERT_GT(resumed_at, 0);
  EXPECT_TRUE(reports().empty());
  const Bytes file = read_file("ten.wav");
  const Samples recorded = samples_after_header(file);
  ASSERT_EQ(recorded.size() % 1024, 0u);
  EXPECT_EQ(u32_at(file, 40), 2 * recorded.size());
  EXPECT_EQ(u32_at(file, 4), 36 + 2 * recorded.size());
  std::vector<int> blocks;
  for (auto at = recorded.begin(); at != recorded.end(); at += 1024) {
    EXPECT_TRUE(std::all_of(at, at + 1024, [&](std::int16_t s) { return s == *at; }));
    blocks.push_back(*at / 10);
  }
  // What the output was sent, pass by pass: blocks in order, each once; the
  // pause leaves out the passes it held, and the recording goes on with the
  // silence the last of them sent.
  const auto silence = std::find(blocks.begin(), blocks.end(), 0);
  ASSERT_NE(silence, blocks.end());
  ASSERT_NE(silence, blocks.begin());
  ASSERT_NE(silence + 1, blocks.end());
  EXPECT_GT(*(silence + 1), *(silence - 1) + 1);
  for (auto b = blocks.begin() + 1; b != blocks.end(); ++b) {
    if (b != silence && b != silence + 1) {
      EXPECT_EQ(*b, *(b - 1) + 1);
    }
  }
}

TEST_F(Transport, TheRecordingOfAPlayedFileIsTheChainsOutputForIt) {
  const Samples input = radio(12 * 1024, 0.37);
  const std::string path =
      write_file("radio.wav", wave_file(shape_with([](WaveShape& w) {
                                          w.before = {{"LIST", Bytes(21, 'i')}};
                                        }),
                                        input));
  // The file plays four times as fast as it would on a card.
  support::FastClock clock{4};
  audio::StandinSystem fast{clock};
  ScriptedForm form{fast};
  form.BandPassBtn2->click();
  form.NF1Btn2->click();
  form.save_wave("processed.wav");
  form.open_wave(path);
  form.after_pass = [&form](int pass) {
    if (pass == 2) {
      form.RecordBtnClick();
      form.PlayBtnClick();
    }
    // The end of the file stops both.
    if (pass > 2 && !form.transport.record_file_open) form.Quit1Click();
  };
  run(form);
  EXPECT_TRUE(reports().empty());
  EXPECT_TRUE(form.transport.transport_idle);

  // The same blocks through the window's chain from rest, gain and 16-bit
  // packing.
  engine::FilterChain& chain = form.chain;
  chain.reset();
  Samples expected;
  for (std::size_t at = 0; at < input.size(); at += 1024) {
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), 1024, chain.work_samples.begin());
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), 1024, chain.raw_samples.begin());
    chain.run_filters();
    engine::output_stage(chain.raw_samples, chain.work_samples, false, chain.signal_gain, false,
                         chain.out_samples);
    for (const std::int32_t s : chain.out_samples) expected.push_back(static_cast<std::int16_t>(s));
  }
  const Samples recorded = samples_after_header(read_file("processed.wav"));
  // Live silence before the file, then the file's blocks, each once.
  const auto first =
      std::find_if(recorded.begin(), recorded.end(), [](std::int16_t s) { return s != 0; });
  ASSERT_NE(first, recorded.end());
  const auto start = static_cast<std::size_t>(first - recorded.begin()) / 1024 * 1024;
  ASSERT_GE(recorded.size(), start + expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                         recorded.begin() + static_cast<std::ptrdiff_t>(start)));
  EXPECT_EQ(recorded.size(), start + expected.size());
}

TEST_F(Transport, PlayTwiceEndsPlaybackAndAThirdPlayHasNoFile) {
  ScriptedForm form{device};
  form.open_wave(write_file("long.wav", wave_file({}, radio(40 * 1024, 0.37))));
  form.after_pass = [&form](int pass) {
    if (pass == 2) form.PlayBtnClick();
    if (pass == 4) {
      EXPECT_TRUE(form.transport.play_on);
      form.PlayBtnClick();
      EXPECT_FALSE(form.transport.play_file_open);
      EXPECT_TRUE(form.transport.transport_idle);
      EXPECT_FALSE(form.transport.play_on);
      form.PlayBtnClick();
      form.Quit1Click();
    }
  };
  run(form);
  EXPECT_EQ(reports(), (Reports{{"Play Error", "No input file has been specified"}}));
}

TEST_F(Transport, AFileShorterThanItsHeaderSaysEndsAtItsRealEnd) {
  // Three blocks where the header claims a hundred, mono under a stereo
  // input: the file's samples reach the chain by the file's own layout.
  const Samples input = radio(3 * 1024, 0.37);
  ScriptedForm form{device};
  form.LeftInputClick();
  form.BypassBtn->click();
  form.SignalGainBar->setValue(10);  // unity gain: 10 x 0.1
  form.open_wave(write_file(
      "short.wav", wave_file(shape_with([](WaveShape& w) { w.claimed = 100 * 2048; }), input)));
  int ended_at = 0;
  form.after_pass = [&](int pass) {
    if (pass == 2) form.PlayBtnClick();
    if (pass > 2 && ended_at == 0 && !form.transport.play_file_open) ended_at = pass;
    if (ended_at > 0 && pass == ended_at + 2) form.Quit1Click();
  };
  run(form);
  ASSERT_EQ(reports().size(), 1u);
  EXPECT_EQ(reports()[0].second,
            "short.wav: the data chunk says 204800 bytes, but the file holds 6144; those are used");
  // The play takes three passes from the pass after Play; its end reaches
  // the window a pass or two later, through the file thread.
  EXPECT_GT(ended_at, 2);
  EXPECT_LE(ended_at, 2 + 6);
  EXPECT_FALSE(form.transport.play_on);
  const Samples played = device.take_played();
  const Samples middle(input.begin() + 1024, input.begin() + 2048);
  EXPECT_NE(std::search(played.begin(), played.end(), middle.begin(), middle.end()), played.end());
}

TEST_F(Transport, QuittingWhileRecordingKeepsTheRecording) {
  {
    ScriptedForm form{device};
    form.save_wave("quit.wav");
    form.after_pass = [&form](int pass) {
      if (pass == 1) form.RecordBtnClick();
      if (pass == 5) form.Quit1Click();
    };
    run(form);
  }
  const Bytes file = read_file("quit.wav");
  ASSERT_GT(file.size(), 44u);
  EXPECT_EQ(u32_at(file, 40), file.size() - 44);
  EXPECT_EQ(u32_at(file, 4), file.size() - 8);
}

}  // namespace

namespace {

TEST(KilledRecording, AProcessKilledTwoSecondsInLeavesAPlayableRecording) {
  test_application();
  QTemporaryDir folder;
  const QString path = folder.filePath("killed.wav");
  QProcess recorder;
  recorder.setWorkingDirectory(folder.path());
  recorder.start(RECORD_UNTIL_KILLED, {path});
  ASSERT_TRUE(recorder.waitForStarted());
  // Killed once the file holds three seconds of sound (or after 20 s): at
  // least two of them must be in its header.
  std::ignore = QTest::qWaitFor([&] { return QFileInfo(path).size() >= 44 + 3 * 22050; }, 20000);
  ::kill(static_cast<pid_t>(recorder.processId()), SIGKILL);
  ASSERT_TRUE(recorder.waitForFinished());
  EXPECT_EQ(recorder.exitStatus(), QProcess::CrashExit);

  QProcess soxi;
  soxi.start("soxi", {"-D", path});
  ASSERT_TRUE(soxi.waitForFinished()) << "soxi (from sox) is needed";
  EXPECT_EQ(soxi.exitCode(), 0) << soxi.readAllStandardError().toStdString();
  const double seconds = soxi.readAllStandardOutput().trimmed().toDouble();
  std::printf("Recorded before the kill: %.2f s\n", seconds);
  EXPECT_GE(seconds, 2.0);
}

}  // namespace
