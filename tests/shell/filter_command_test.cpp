// tonewell-filter against the window: a file the window plays through its
// running cycle on the built-in device and records comes out of the
// program, run with the same settings and switches, sample for sample.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <numbers>
#include <string>

#include "audio/standin_device.h"
#include "batch/chain.h"
#include "files/settings_format.h"
#include "shell/Zoduvov.h"
#include "tests/shell/scripted_form.h"
#include "tests/shell/test_application.h"
#include "tests/support/fast_clock.h"
#include "tests/support/wave_bytes.h"

namespace {

using namespace test_support;

class FilterCommand : public ::testing::Test {
 protected:
  FilterCommand() { test_application(); }

  // The window starts on the settings `s`, switches filters on with
  // `switches`, then at its second pass records and plays "in.wav" to its
  // end: the filters that adapt have run on the live input since the start.
  // Returns what it recorded. The device runs four times as fast as a card
  // unless `in_real_time`.
  Samples recorded_by_window(const files::Settings& s, const std::function<void(TZForm&)>& switches,
                             bool in_real_time = false) {
    const auto bytes = files::serialise_settings(s);
    write_file("ZOduvov.cfg", Bytes(bytes.begin(), bytes.end()));
    audio::StandinSystem steady;
    ScriptedForm form{in_real_time ? steady : device};
    switches(form);
    form.save_wave("window.wav");
    form.open_wave("in.wav");
    form.after_pass = [&form](int pass) {
      if (pass == 2) {
        form.RecordBtnClick();
        form.PlayBtnClick();
      }
      if (pass > 2 && !form.transport.record_file_open) form.Quit1Click();
    };
    form.show();
    QTimer::singleShot(20000, &form, [&form] { form.Quit1Click(); });
    QCoreApplication::exec();
    return samples_after_header(read_file("window.wav"));
  }

  // Runs tonewell-filter on "in.wav" with `arguments`; what it wrote.
  static Samples filtered_by_program(const std::string& arguments) {
    const std::string command =
        std::string(TONEWELL_FILTER) + " " + arguments + " in.wav program.wav";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return samples_after_header(read_file("program.wav"));
  }

  // The window's recording is the blocks that were playing when it began
  // (silence), then the file's passes whole: the program's output must be
  // those passes, cut to the input's length.
  static void expect_same(const Samples& window, const Samples& program, std::size_t input,
                          std::size_t pass = 1024) {
    ASSERT_EQ(program.size(), input);
    const std::size_t blocks = (input + 1023) / 1024;
    ASSERT_GE(window.size(), blocks * 1024);
    const std::size_t lead = window.size() - blocks * 1024;
    EXPECT_EQ(lead % pass, 0u);
    EXPECT_TRUE(std::all_of(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(lead),
                            [](std::int16_t s) { return s == 0; }));
    std::size_t differing = 0;
    for (std::size_t n = 0; n < input; ++n) differing += window[lead + n] != program[n];
    EXPECT_EQ(differing, 0u) << "of " << input;
    EXPECT_GT(std::count(program.begin(), program.end(), std::int16_t{0}), 0);
  }

  support::FastClock clock{4};
  audio::StandinSystem device{clock};
  ReportRecorder recorder;
};

// `left` and `right` as stereo frames.
Samples stereo(const Samples& left, const Samples& right) {
  Samples frames;
  for (std::size_t n = 0; n < left.size(); ++n) frames.insert(frames.end(), {left[n], right[n]});
  return frames;
}

// `frames` stereo frames at `rate`: radio on the left, another tone on the
// right.
Samples stereo_radio(std::size_t frames, double rate) {
  return stereo(radio(frames, 2 * std::numbers::pi * 900 / rate),
                radio(frames, 2 * std::numbers::pi * 1700 / rate));
}

// The samples at 11025 Hz that `frames` frames at `rate` give.
std::size_t at_chain_rate(std::size_t frames, double rate) {
  return static_cast<std::size_t>(std::llround(static_cast<double>(frames) * 11025 / rate));
}

// A file at another rate reaches the chain through the same conversion in
// the window as in the program.
TEST_F(FilterCommand, AFileAt44100HzGivesWhatTheWindowRecords) {
  const std::size_t frames = 66150 + 11;
  write_file("in.wav", wave_file(shape_with([](WaveShape& w) {
                                   w.channels = 2;
                                   w.rate = 44100;
                                 }),
                                 stereo_radio(frames, 44100)));
  files::Settings s = files::start_settings();
  s.bp_width_index = 4;
  s.bp_center = batch::centre_column(900.0);
  s.nf1_width_index = 1;
  s.nf1_center = batch::centre_column(2000.0);
  const Samples window = recorded_by_window(s, [](TZForm& form) {
    for (QPushButton* on : {form.BandPassBtn2, form.NF1Btn2, form.LMSFilterBtn2}) on->click();
  });
  EXPECT_TRUE(recorder.reports.empty());
  const Samples program = filtered_by_program("--settings ZOduvov.cfg --on bp,nf1 --lms");
  expect_same(window, program, at_chain_rate(frames, 44100));
}

// The extensible layout of 16-bit PCM plays as the plain one: the window's
// recording of it is the program's output for the plain file.
TEST_F(FilterCommand, AnExtensible16BitFileAt48000HzPlaysAsThePlainOne) {
  const std::size_t frames = 48000;
  const WaveShape plain = shape_with([](WaveShape& w) {
    w.channels = 2;
    w.rate = 48000;
  });
  const Samples samples = stereo_radio(frames, 48000);
  WaveShape shape = plain;
  shape.sub_format = 1;
  write_file("in.wav", wave_file(shape, samples));
  files::Settings s = files::start_settings();
  s.bp_width_index = 4;
  s.bp_center = batch::centre_column(900.0);
  const Samples window = recorded_by_window(s, [](TZForm& form) { form.BandPassBtn2->click(); });
  EXPECT_TRUE(recorder.reports.empty());
  write_file("in.wav", wave_file(plain, samples));
  const Samples program = filtered_by_program("--settings ZOduvov.cfg --on bp");
  expect_same(window, program, at_chain_rate(frames, 48000));
}

class EveryFilter : public FilterCommand, public ::testing::WithParamInterface<bool> {};

// In either mode: the window's Low Latency and the program's --low-latency.
TEST_P(EveryFilter, ASettingsFileAndEveryFilterOnGiveWhatTheWindowRecords) {
  const bool low_latency = GetParam();
  const std::size_t count = 12 * 1024 + 300;
  // A tone in noise with a click every 1500 samples, for the blanker.
  Samples input = radio(count, 0.4);
  for (std::size_t at = 700; at + 20 < count; at += 1500) {
    for (std::size_t i = 0; i < 20; ++i) {
      input[at + i] = static_cast<std::int16_t>((i % 2 == 0 ? 20000 : -20000) / (1 + i / 4));
    }
  }
  write_file("in.wav", wave_file({}, input));
  files::Settings s = files::start_settings();
  s.bp_width_index = 3;  // CW, 400 Hz
  s.bp_center = batch::centre_column(700.0);
  s.nf1_width_index = 1;
  s.nf1_center = batch::centre_column(1800.0);
  s.nf2_width_index = 2;
  s.nf2_center = batch::centre_column(2500.0);
  s.var_bp_lo_bin = 30;
  s.var_bp_hi_bin = 300;
  s.var_notch_lo_bin = 200;
  s.var_notch_hi_bin = 220;
  s.bp_q_position = 25;
  s.var_bp_q_position = 22;
  s.nf1_q_position = 25;
  s.nf2_q_position = 18;
  s.var_notch_q_position = 24;
  s.gain_position_freq = 40;  // x 4
  const Samples window = recorded_by_window(
      s,
      [low_latency](TZForm& form) {
        form.LowLatency1->setChecked(low_latency);
        for (QPushButton* on : {form.BandPassBtn2, form.NF1Btn2, form.NF2Btn2, form.VarFltrBtn2,
                                form.VarNF2Btn, form.MedianFltrBtn2, form.LMSFilterBtn2,
                                form.AutoNotchBtn, form.NoiseReductionBtn, form.NoiseBlankerBtn})
          on->click();
        form.NoiseReductionBar->setValue(7);
        form.NoiseBlankerBar->setValue(3);
      },
      // Low latency's short passes with every filter on keep up with a card,
      // not with four under the sanitizers on a busy machine.
      low_latency);
  EXPECT_TRUE(recorder.reports.empty());
  const auto every_filter_but = [low_latency](const std::string& left_out) {
    std::string options =
        "--settings ZOduvov.cfg --on bp,var-bp,nf1,nf2,var-nf --median --lms --auto-notch "
        "--noise-reduction 7 --noise-blanker=3";
    options.erase(options.find(left_out), left_out.size());
    return filtered_by_program(options + (low_latency ? " --low-latency" : ""));
  };
  const Samples program = every_filter_but("");
  expect_same(window, program, count, low_latency ? 128 : 1024);
  // The automatic notch, the noise reduction and the blanker act on this
  // file.
  EXPECT_NE(every_filter_but(" --auto-notch"), program);
  EXPECT_NE(every_filter_but(" --noise-reduction 7"), program);
  EXPECT_NE(every_filter_but(" --noise-blanker=3"), program);
}

INSTANTIATE_TEST_SUITE_P(Modes, EveryFilter, ::testing::Bool());

TEST_F(FilterCommand, OptionsInHertzAndTheRightChannelGiveWhatTheWindowRecords) {
  const std::size_t count = 9 * 1024 + 1;
  write_file("in.wav", wave_file(shape_with([](WaveShape& w) { w.channels = 2; }),
                                 stereo(radio(count, 0.9), radio(count, 0.4))));
  // The window tuned as the options ask, on its right input.
  files::Settings s = files::start_settings();
  s.bp_width_index = 5;
  s.bp_center = batch::centre_column(650.0);
  s.nf1_width_index = 2;
  s.nf1_center = batch::centre_column(1500.0);
  s.var_notch_lo_bin = batch::edge_position(2000.0);
  s.var_notch_hi_bin = batch::edge_position(2400.0);
  s.nf1_q_position = 25;
  s.gain_position_freq = 15;
  s.rx_coarse_position = 6;  // x 15
  s.input_select = 3;
  const Samples window = recorded_by_window(s, [](TZForm& form) {
    for (QPushButton* on : {form.BandPassBtn2, form.NF1Btn2, form.VarNF2Btn}) on->click();
  });
  EXPECT_TRUE(recorder.reports.empty());
  const Samples program = filtered_by_program(
      "--channel right --bandpass 5,650 --notch1 1500,2 --q nf1=25 --var-notch 2000,2400 "
      "--gain 15,6");
  expect_same(window, program, count);
}

}  // namespace
