// The settings file through the window: made at a first start, written at
// the end, read at the next start through the controls' own handlers, and
// whatever bytes it holds, the program comes up.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/standin_device.h"
#include "files/settings_format.h"
#include "shell/Zoduvov.h"
#include "shell/paint_box.h"
#include "shell/state.h"
#include "shell/toolkit.h"
#include "tests/files/hostile_targets.h"
#include "tests/shell/test_application.h"

namespace {

const char* const settings_file = "ZOduvov.cfg";

std::vector<std::uint8_t> file_bytes(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_bytes(const char* path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The captions of `widgets`, as shown.
QStringList captions(std::initializer_list<const QWidget*> widgets) {
  QStringList texts;
  for (const QWidget* w : widgets) texts << w->property("text").toString();
  return texts;
}

class Settings : public ::testing::Test {
 protected:
  QApplication& app = test_application();
  audio::StandinSystem device;

  // A window as the program makes it, reading the settings file.
  std::unique_ptr<TZForm> start() { return start(device); }
  static std::unique_ptr<TZForm> start(audio::WaveSystem& system) {
    auto form = std::make_unique<TZForm>(system);
    form->StartTimer->stop();
    return form;
  }

  // The start values as a first start writes them.
  files::Settings start_values() {
    std::filesystem::remove(settings_file);
    start();
    const std::vector<std::uint8_t> bytes = file_bytes(settings_file);
    return files::parse_settings(bytes, {});
  }
};

TEST_F(Settings, AFirstStartMakesA124ByteFileOfTheStartValues) {
  ASSERT_FALSE(std::filesystem::exists(settings_file));
  auto form = start();
  const std::vector<std::uint8_t> bytes = file_bytes(settings_file);
  ASSERT_EQ(bytes.size(), 124u);
  // The start values' bytes are the settings format's tests; applied, they
  // are what the window then holds.
  EXPECT_EQ(files::parse_settings(bytes, {}), files::start_settings());
  form->write_settings("now.cfg");
  EXPECT_EQ(files::parse_settings(file_bytes("now.cfg"), {}), files::start_settings());
}

TEST_F(Settings, WhatTheUserSetComesBackAtTheNextStart) {
  {
    auto form = start();
    form->SpectrumWidthBtn->click();  // half
    form->BypassBtn->click();
    form->SpectrumTypeBtn->click();
    form->DataBtn->click();
    form->LMSFilterBtn2->click();
    form->MedianFltrBtn2->click();
    form->SignalGainBar->setValue(40);
    form->DisplayBtn->click();  // the time view, with its own gain position
    form->SignalGainBar->setValue(60);
    form->RxCoarseTrackBar->setValue(6);
    form->DisplayBPBtn->click();
    form->DisplayRefBtn->click();
    form->RefScrollBar->setValue(300);
    form->tuning.bp.centre = 65.0f;
    form->BPComboBox2->setCurrentIndex(4);
    emit form->BPComboBox2->activated(4);
    form->NF1ComboBox2->setCurrentIndex(2);
    emit form->NF1ComboBox2->activated(2);
    form->QTrackBar3->setValue(7);
    form->Hi_BP_Freq_ScrollBar->setValue(300);
    form->Lo_BP_Freq_ScrollBar->setValue(120);
    form->DisplayVarNFBtn->click();
    form->LeftInputClick();
    form->AutoNotchBtn->click();
    form->NoiseReductionBar->setValue(8);
    form->NoiseReductionBtn->click();
  }
  auto form = start();
  EXPECT_EQ(captions({form->HiFreqLabel, form->BypassBtn, form->SpectrumTypeBtn,
                      form->LMSFilterBtn2, form->LMSFilterBtn, form->MedianFltrBtn2,
                      form->DisplayBtn, form->DisplayBPBtn, form->RefFreqLabel, form->VarFilterMemo,
                      form->AutoNotchBtn, form->NoiseReductionBtn}),
            (QStringList{"2756 Hz", "On", "BAR", "ON", "ON", "ON", "Time", "On", "3229 Hz",
                         "1937 Hz", "ON", "ON"}));
  EXPECT_EQ(std::tuple(form->view.spectrum_width, form->chain.bypass_on,
                       form->view.display_filtered, form->view.display_mode, form->view.time_gain,
                       form->gain.gain_position_freq, form->view.var_notch_lo_line_on,
                       form->centre_columns.bp, form->tuning.nf1.width_index,
                       form->devices.input_select, form->devices.in_buffer_bytes,
                       form->chain.auto_notch_on, form->chain.noise_reduction_on),
            std::tuple(2, true, false, 2, 60, 40, true, 132, 2, 2, 4096, true, true));
  EXPECT_EQ(std::tuple(form->SignalGainBar->value(), form->RxCoarseTrackBar->value(),
                       form->RefScrollBar->value(), form->BPComboBox2->currentIndex(),
                       form->QTrackBar3->value(), form->Lo_BP_Freq_ScrollBar->value(),
                       form->Hi_BP_Freq_ScrollBar->value(), form->NoiseReductionBar->value()),
            std::tuple(60, 6, 300, 4, 7, 120, 300, 8));
  EXPECT_EQ(std::tuple(form->BPFltr->isChecked(), form->LeftInput->isChecked(),
                       form->MicInput->isChecked(), form->tuning.bp.centre),
            std::tuple(true, true, false, 65.0f));
  EXPECT_FLOAT_EQ(form->chain.signal_gain, 60.0f);
  EXPECT_NEAR((form->tuning.bp.edges.lo + form->tuning.bp.edges.hi) / 2, 65.0f / 1024, 1e-6);
  EXPECT_FLOAT_EQ(form->tuning.nf1.q_level, 0.18f);
}

TEST_F(Settings, NoiseFiltersAndMenuChecksAreKeptInTonewellIniAndADamagedOneLeavesThemOff) {
  start();  // a first start, ended at once
  const std::vector<std::uint8_t> first_bytes = file_bytes(settings_file);
  const auto ini_values = [] {
    const QSettings ini("tonewell.ini", QSettings::IniFormat);
    QStringList values;
    for (const char* key : {"noise/auto_notch", "noise/noise_reduction", "noise/noise_blanker",
                            "view/waterfall", "view/response", "audio/low_latency"})
      values << ini.value(key).toString();
    return values;
  };
  EXPECT_EQ(ini_values(), (QStringList{"false", "0", "0", "false", "false", "false"}));
  QSize plain;
  {
    auto form = start();
    plain = form->size();
    form->NoiseReductionBar->setValue(3);
    form->NoiseReductionBtn->click();
    form->NoiseBlankerBar->setValue(4);
    form->NoiseBlankerBtn->click();
    form->Waterfall1->trigger();
    form->LowLatency1->trigger();
    EXPECT_TRUE(form->chain.low_latency());
  }
  EXPECT_EQ(ini_values(), (QStringList{"false", "3", "4", "true", "false", "true"}));
  EXPECT_EQ(file_bytes(settings_file), first_bytes) << "the 124 bytes stay as they are";
  {
    auto form = start();
    EXPECT_EQ(form->NoiseReductionBar->value(), 3);
    EXPECT_EQ(form->NoiseBlankerBar->value(), 4);
    EXPECT_TRUE(form->chain.noise_blanker_on);
    form->NoiseBlankerBtn->click();
    EXPECT_TRUE(form->Waterfall1->isChecked());
    EXPECT_FALSE(form->FilterResponse1->isChecked());
    EXPECT_TRUE(form->LowLatency1->isChecked());
    EXPECT_TRUE(form->chain.low_latency());
    EXPECT_EQ(form->size(), plain + QSize(0, 202)) << "the strip opens at the start";
    form->AutoNotchBtn->click();
    form->NoiseReductionBar->setValue(7);
    form->NoiseReductionBtn->click();  // off: its level is not kept
    form->Waterfall1->trigger();
    form->FilterResponse1->trigger();
    form->LowLatency1->trigger();
  }
  EXPECT_EQ(ini_values(), (QStringList{"true", "0", "0", "false", "true", "false"}));

  struct Case {
    const char* text;
    bool auto_notch;
    int level;  // 0: off
    bool waterfall;
    bool response;
    bool low_latency;
    int blanker;  // 0: off
  };
  const Case cases[] = {
      {"", true, 0, false, true, false, 0},  // what the last window wrote
      {"[noise]\nauto_notch=true\nnoise_reduction=6\nnoise_blanker=2\n[view]\nwaterfall=true\n"
       "response=true\n[audio]\nlow_latency=true\n",
       true, 6, true, true, true, 2},
      {"[noise]\nauto_notch=yes\nnoise_reduction=11\nnoise_blanker=11\n[view]\nwaterfall=1\n"
       "response=yes\n",
       false, 0, false, false, false, 0},
      {"[noise]\nauto_notch=true\nnoise_reduction=-2\n[view]\nresponse=true\n", true, 0, false,
       true, false, 0},
      {"[noise]\nauto_notch=1\nnoise_reduction=7 dB\n[audio]\nlow_latency=1\n", false, 0, false,
       false, false, 0},
      {"[view]\nwaterfall=true\n[noise]\nnoise_reduction=10\n", false, 10, true, false, false, 0},
      {"[noise\nauto_notch=true\nnoise_reduction=6\n[view\nwaterfall=true\nresponse=true\n", false,
       0, false, false, false, 0},
      {"\x01\xff\xfe[\x7fnoise]=\xff\x01\xff\xfe[\x7fview]=\xff", false, 0, false, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.text[0] != '\0') {
      std::ofstream ini("tonewell.ini", std::ios::binary | std::ios::trunc);
      ini << c.text;
    }
    auto form = start();
    EXPECT_EQ(std::tuple(form->chain.auto_notch_on, form->chain.noise_reduction_on,
                         form->NoiseReductionBar->value(), form->Waterfall1->isChecked(),
                         form->WaterfallPanel->isVisibleTo(form.get()),
                         form->FilterResponse1->isChecked(), form->LowLatency1->isChecked()),
              std::tuple(c.auto_notch, c.level > 0, c.level > 0 ? c.level : 5, c.waterfall,
                         c.waterfall, c.response, c.low_latency));
    EXPECT_EQ(captions({form->AutoNotchBtn, form->NoiseReductionBtn}),
              (QStringList{c.auto_notch ? "ON" : "OFF", c.level > 0 ? "ON" : "OFF"}));
    EXPECT_EQ(std::pair(form->chain.noise_blanker_on, form->NoiseBlankerBar->value()),
              std::pair(c.blanker > 0, c.blanker > 0 ? c.blanker : 5));
    EXPECT_EQ(form->size(), plain + QSize(0, c.waterfall ? 202 : 0));
  }

  // The window's size comes back when the window may take it on this screen.
  {
    auto form = start();
    form->resize(790, 580);
  }
  {
    const QSettings ini("tonewell.ini", QSettings::IniFormat);
    EXPECT_EQ(ini.value("view/width").toString(), "790");
    EXPECT_EQ(ini.value("view/height").toString(), "580");
  }
  EXPECT_EQ(start()->size(), QSize(790, 580));
  const QSize free = start()->screen()->availableGeometry().size();
  const std::pair<QString, QSize> sizes[] = {
      {"width=780\nheight=560", QSize(780, 560)},
      {QString("width=%1\nheight=%2").arg(free.width()).arg(free.height()), free},
      {QString("width=636\nheight=%1").arg(plain.height()), QSize(636, plain.height())},
      {"width=635\nheight=560", plain},
      {QString("width=780\nheight=%1").arg(plain.height() - 1), plain},
      {QString("width=%1\nheight=560").arg(free.width() + 1), plain},
      {"width=780", plain},
      {"width=wide\nheight=560", plain},
      {"waterfall=true\nwidth=780\nheight=560", QSize(780, 560)},
  };
  for (const auto& [keys, size] : sizes) {
    SCOPED_TRACE(keys.toStdString());
    {
      std::ofstream ini("tonewell.ini", std::ios::binary | std::ios::trunc);
      ini << "[view]\n" << keys.toStdString() << "\n";
    }
    EXPECT_EQ(start()->size(), size);
  }
}

TEST_F(Settings, StoredValuesNoControlOffersComeUpSafely) {
  files::Settings s = start_values();
  s.display_mode = 7;
  s.bp_line_on = 2;
  s.ref_line_on = 2;
  s.input_select = 2;
  s.var_bp_lo_bin = 480;
  s.var_bp_hi_bin = 450;
  s.var_notch_lo_bin = 450;
  s.var_notch_hi_bin = 480;
  s.spectrum_width = 0;
  s.bp_center = std::numeric_limits<float>::quiet_NaN();
  s.nf1_center = 1e30f;
  s.nf2_center = -3.0f;
  s.gain_position_time = 1'000'000'000;
  s.gain_position_freq = -1'000'000'000;
  s.bp_q_position = 99;
  s.rx_coarse_position = -4;
  s.nf1_width_index = 17;
  s.ref_position = 9999;
  write_bytes(settings_file, files::serialise_settings(s));

  auto form = start();
  EXPECT_EQ(captions({form->DisplayBtn, form->DisplayBPBtn, form->SpectrumWidthBtn}),
            (QStringList{"Time", "Off", "Full"}));
  EXPECT_EQ(std::tuple(form->view.display_mode, form->view.bp_line_on, form->view.ref_line_on,
                       form->devices.input_select, form->devices.in_buffer_bytes),
            std::tuple(2, false, false, 2, 4096));
  // Reversed edges: the lower one settles below the stored upper one. Edges
  // both above the upper bar's start position come up as stored.
  EXPECT_EQ(std::tuple(form->Lo_BP_Freq_ScrollBar->value(), form->Hi_BP_Freq_ScrollBar->value(),
                       form->Lo_Notch_Freq_ScrollBar->value(),
                       form->Hi_Notch_Freq_ScrollBar->value(), form->tuning.var_notch.edges.lo),
            std::tuple(449, 450, 450, 480, 450.0f / 1024.0f));
  // An unknown span is the full span; unusable centres are the start centre.
  EXPECT_EQ(std::tuple(form->view.spectrum_width, form->tuning.bp.centre, form->tuning.nf1.centre,
                       form->tuning.nf2.centre),
            std::tuple(1, 0.035f, 0.035f, 0.035f));
  // Positions are held within their bars.
  EXPECT_EQ(std::tuple(form->SignalGainBar->value(), form->view.time_gain, form->QTrackBar->value(),
                       form->RxCoarseTrackBar->value(), form->RefScrollBar->value(),
                       form->NF1ComboBox2->currentIndex()),
            std::tuple(100, 100, 25, 1, 512, -1));

  // The time view draws with it.
  form->update_display();
  EXPECT_EQ(form->SpectrumBox->picture().pixel(300, 196), qRgb(0, 0, 0));
}

TEST_F(Settings, ShortAndLongFilesAreReadAsFarAsTheyGo) {
  files::Settings s = start_values();
  s.spectrum_width = 4;
  s.bypass_on = 1;
  s.display_mode = 2;
  s.input_select = 3;
  const auto full = files::serialise_settings(s);

  // Only the span and the bypass flag are in the file.
  write_bytes(settings_file, std::span(full).first(5));
  auto form = start();
  EXPECT_EQ(std::tuple(form->view.spectrum_width, form->chain.bypass_on, form->view.display_mode,
                       form->devices.input_select),
            std::tuple(4, true, 1, 1));
  form.reset();

  std::vector<std::uint8_t> longer(full.begin(), full.end());
  longer.resize(300, 0xEE);
  write_bytes(settings_file, longer);
  form = start();
  EXPECT_EQ(std::tuple(form->view.display_mode, form->devices.input_select), std::tuple(2, 3));
  form.reset();  // it read the file, and saves 124 bytes
  EXPECT_EQ(file_bytes(settings_file).size(), 124u);
}

TEST_F(Settings, DevicesComeBackByNameAndAMissingOneGivesWayToTheDefaultWithOneReport) {
  ReportRecorder recorder;
  Cards cards;
  cards.names = {"Speakers", "Headphones"};
  start(cards)->devices.output_device_id = 1;
  QSettings ini("tonewell.ini", QSettings::IniFormat);
  EXPECT_EQ(ini.value("devices/output").toString(), "Headphones");
  EXPECT_EQ(ini.value("devices/input").toString(), "Built-in silent device");

  cards.names = {"Headphones", "Speakers"};  // renumbered
  EXPECT_EQ(start(cards)->devices.output_device_id, 0);
  EXPECT_TRUE(recorder.reports.empty());

  cards.names = {"Speakers"};  // unplugged
  EXPECT_EQ(start(cards)->devices.output_device_id, 0);
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].second,
            "The output device \"Headphones\" is not present; the system's default device is used");

  // Numbers from another machine, with no names beside them.
  std::filesystem::remove("tonewell.ini");
  files::Settings s = files::start_settings();
  s.input_device_id = 77;
  s.output_device_id = -3;
  write_bytes(settings_file, files::serialise_settings(s));
  recorder.reports.clear();
  const auto form = start(cards);
  EXPECT_EQ(form->devices.input_device_id, 0);
  EXPECT_EQ(form->devices.output_device_id, 0);
  ASSERT_EQ(recorder.reports.size(), 2u);
  EXPECT_TRUE(recorder.reports[0].second.contains("input device \"77\""));
  EXPECT_TRUE(recorder.reports[1].second.contains("output device \"-3\""));
}

TEST_F(Settings, SettingsThatCannotBeSavedAreReportedAsTheProgramEnds) {
  ReportRecorder recorder;
  auto form = start();
  shell::settings_path = (std::filesystem::current_path() / "gone" / settings_file).string();
  form.reset();
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].first, "File Error Message");
  EXPECT_TRUE(recorder.reports[0].second.contains("gone/ZOduvov.cfg"));
}

TEST_F(Settings, BothSettingsFilesAreWrittenOnlyWhereARegularFileMayBe) {
  using enum files::Standing;
  for (const std::string file : {settings_file, "tonewell.ini"}) {
    const bool binary = file == settings_file;
    // A fresh set for each, one of which takes the settings file's place.
    for (std::size_t i = 0;; ++i) {
      const std::string folder = file + std::to_string(i);
      std::filesystem::create_directory(folder);
      const std::vector<files_test::Hostile> targets = files_test::hostile_targets(folder);
      if (i == targets.size()) break;
      const files_test::Hostile& target = targets[i];
      SCOPED_TRACE(file + " as " + target.name);
      std::filesystem::remove_all(settings_file);
      std::filesystem::remove_all("tonewell.ini");
      // A link names its target from the folder it stands in.
      const bool link = std::filesystem::is_symlink(target.path);
      if (link) {
        std::filesystem::create_symlink(
            std::filesystem::read_symlink(target.path).string().insert(0, folder + "/"), file);
      } else {
        std::filesystem::rename(target.path, file);
      }
      const files_test::OnDisk before = files_test::on_disk(file);
      ReportRecorder recorder;
      start().reset();
      const std::size_t reports = recorder.reports.size();
      const files_test::OnDisk after = files_test::on_disk(file);
      if (target.standing == special || target.standing == read_only) {
        ASSERT_EQ(reports, 1u);
        EXPECT_TRUE(recorder.reports[0].second.contains(
            target.standing == special ? "is not a regular file" : "is read-only"));
        EXPECT_EQ(after, before);
      } else {
        EXPECT_EQ(reports, 0u);
        EXPECT_EQ(after.type, before.type);
        EXPECT_EQ(after.leads_to, std::filesystem::file_type::regular);
        EXPECT_EQ(after.bytes.size(), binary ? files::settings_size : after.bytes.size());
      }
    }
  }

  // Values the window cannot use are reported once, and saved as it used them.
  const auto start_bytes = files::serialise_settings(files::start_settings());
  std::vector<std::uint8_t> nine(start_bytes.begin(), start_bytes.end());
  nine[120] = 9;  // the input select
  for (const std::vector<std::uint8_t>& bytes : {nine, std::vector<std::uint8_t>(124)}) {
    write_bytes(settings_file, bytes);
    ReportRecorder recorder;
    EXPECT_EQ(start()->devices.input_select, 1);
    EXPECT_EQ(recorder.reports.size(), 1u);
    EXPECT_TRUE(std::ranges::equal(file_bytes(settings_file), start_bytes));
    start();
    EXPECT_EQ(recorder.reports.size(), 1u);
  }
}

}  // namespace
