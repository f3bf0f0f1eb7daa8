// The settings file as the main window reads and writes it. Reading sets
// every switch through the setter its click handler uses and places the
// bars and lists where the saved tuning stands, so the window, the filter
// designs and the display come up in the saved state. The file keeps a
// switch as 0 or 1: the reader and the writer convert here.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "audio/device_choice.h"
#include "audio/wave_call.h"
#include "display/mapping.h"
#include "engine/noise_blanker.h"
#include "engine/noise_reduction.h"
#include "engine/settings.h"
#include "files/printable.h"
#include "files/replace_file.h"
#include "shell/Zoduvov.h"
#include "shell/filter_tabs.h"

namespace {

// Moves a bar without its handler; the caller runs the handler once.
void place(QAbstractSlider* bar, std::int32_t position) {
  const bool blocked = bar->blockSignals(true);
  bar->setValue(position);
  bar->blockSignals(blocked);
}

// Chooses a list item without its handler.
void choose(QComboBox* box, std::int32_t index) {
  const bool blocked = box->blockSignals(true);
  box->setCurrentIndex(index);
  box->blockSignals(blocked);
}

// A switch as the file keeps it.
std::uint8_t zero_one(bool on) { return on ? 1 : 0; }

}  // namespace

files::Settings TZForm::current_settings() const {
  files::Settings s;
  s.spectrum_width = view.spectrum_width;
  s.bypass_on = zero_one(chain.bypass_on);
  s.spectrum_bars = zero_one(view.spectrum_bars);
  s.display_mode = view.display_mode;
  s.display_filtered = zero_one(view.display_filtered);
  s.lms_filter_on = zero_one(chain.lms_on);
  s.median_filter_on = zero_one(chain.median_on);
  for (const shell::LineSwitch* lines : shell::line_switches) {
    s.*lines->saved = zero_one(view.*lines->shown);
  }
  s.var_bp_hi_line_on = zero_one(view.var_bp_hi_line_on);
  s.bp_center = tuning.bp.centre;
  s.nf1_center = tuning.nf1.centre;
  s.nf2_center = tuning.nf2.centre;
  s.bp_width_index = tuning.bp.width_index;
  s.nf1_width_index = tuning.nf1.width_index;
  s.nf2_width_index = tuning.nf2.width_index;
  s.gain_position_time = gain.gain_position_time;
  s.gain_position_freq = gain.gain_position_freq;
  s.bp_q_position = tuning.bp.q_position;
  s.rx_coarse_position = gain.rx_coarse_position;
  s.settings_reserved = settings_reserved;
  s.ref_position = view.ref_position;
  s.var_bp_lo_bin = tuning.var_bp.lo_bin;
  s.var_bp_hi_bin = tuning.var_bp.hi_bin;
  s.var_bp_q_position = tuning.var_bp.q_position;
  s.nf1_q_position = tuning.nf1.q_position;
  s.nf2_q_position = tuning.nf2.q_position;
  s.var_notch_q_position = tuning.var_notch.q_position;
  s.var_notch_lo_bin = tuning.var_notch.lo_bin;
  s.var_notch_hi_bin = tuning.var_notch.hi_bin;
  s.input_device_id = devices.input_device_id;
  s.output_device_id = devices.output_device_id;
  s.input_select = devices.input_select;
  return s;
}

namespace {

// The program's own settings, beside the 124-byte file.
std::string ini_beside(const std::string& settings_path) {
  return (std::filesystem::path(settings_path).parent_path() / "tonewell.ini").string();
}

// The most of tonewell.ini that is read; a larger file is taken as damaged.
constexpr std::size_t largest_ini = 4 << 20;

// tonewell.ini through a private copy: the program reads and writes the
// file itself, a regular file only and never waiting on a FIFO or a
// device, while QSettings parses and formats the copy.
class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {
    const files::ReadFile read = files::read_regular(path_, largest_ini);
    standing_ = read.standing;
    const std::string copy = folder_.filePath("tonewell.ini").toStdString();
    std::ofstream(copy, std::ios::binary)
        .write(reinterpret_cast<const char*>(read.bytes.data()),
               read.longer ? 0 : static_cast<std::streamsize>(read.bytes.size()));
    // A file too large to be the program's reads as an empty one.
    settings_.emplace(QString::fromStdString(copy), QSettings::IniFormat);
  }

  QSettings& settings() { return *settings_; }
  files::Standing standing() const { return standing_; }
  std::string shown_name() const { return files::printable_name(path_); }

  // Writes the copy's bytes to the file; why not, when they could not be.
  std::optional<std::string> save() {
    settings_->sync();
    std::ifstream copy(settings_->fileName().toStdString(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(copy),
                                          std::istreambuf_iterator<char>()};
    const std::string not_saved = "The device choices, noise filters and view could not be saved";
    // A damaged old file is a format error, and is written over all the same.
    if (settings_->status() == QSettings::AccessError) return not_saved + " in " + shown_name();
    const files::SaveResult saved = files::save_file(path_, bytes);
    if (!saved.saved) return not_saved + ": " + saved.failure;
    return std::nullopt;
  }

 private:
  std::string path_;
  files::Standing standing_ = files::Standing::absent;
  QTemporaryDir folder_;
  std::optional<QSettings> settings_;
};

}  // namespace

std::optional<std::string> TZForm::write_settings(const std::string& path) {
  // Written whole to a new file that then replaces the old one, so a crash
  // while saving leaves the previous settings; in a folder that takes no new
  // file, over the old file itself. What was found at the start to be no
  // file for settings has been reported, and is left as it is.
  const files::SaveResult saved =
      settings_left_alone ? files::SaveResult{true, false, {}}
                          : files::save_file(path, files::serialise_settings(current_settings()));
  if (ini_left_alone) return saved.saved ? std::nullopt : std::optional(saved.failure);
  IniFile file(ini_beside(path));
  QSettings& ini = file.settings();
  ini.setValue("devices/input",
               QString::fromStdString(audio::device_name(devices.system(), audio::Direction::input,
                                                         devices.input_device_id)));
  ini.setValue("devices/output",
               QString::fromStdString(audio::device_name(devices.system(), audio::Direction::output,
                                                         devices.output_device_id)));
  ini.setValue("noise/noise_blanker", chain.noise_blanker_on ? NoiseBlankerBar->value() : 0);
  ini.setValue("noise/auto_notch", chain.auto_notch_on);
  ini.setValue("noise/noise_reduction", chain.noise_reduction_on ? NoiseReductionBar->value() : 0);
  ini.setValue("audio/low_latency", LowLatency1->isChecked());
  ini.setValue("view/waterfall", Waterfall1->isChecked());
  ini.setValue("view/response", FilterResponse1->isChecked());
  ini.setValue("view/width", width());
  ini.setValue("view/height", height());
  const std::optional<std::string> ini_failure = file.save();
  if (!saved.saved) return saved.failure;
  return ini_failure;
}

void TZForm::find_saved_devices(const QSettings& ini) {
  const auto settle = [&](audio::Direction direction, std::int32_t& device_id, const char* key,
                          const char* what) {
    // No device has a name of a kilobyte: a longer one is cut there.
    std::string name = ini.value(key).toString().toStdString();
    name.resize(std::min(name.size(), files::longest_shown_name));
    const audio::DeviceChoice choice =
        audio::find_device(devices.system(), direction, device_id, name);
    device_id = choice.device_id;
    if (choice.missing) {
      report(audio::wave_caption, std::string("The ") + what + " device \"" +
                                      files::printable_name(*choice.missing) +
                                      "\" is not present; the system's default device is used");
    }
  };
  settle(audio::Direction::input, devices.input_device_id, "devices/input", "input");
  settle(audio::Direction::output, devices.output_device_id, "devices/output", "output");
}

namespace {

// A true/false key of a readable file: false when missing or unreadable.
bool saved_flag(const QSettings& ini, const char* key) {
  return ini.status() == QSettings::NoError && ini.value(key).toString() == "true";
}

// A level key of a readable file, within lowest..highest: nothing when
// missing, unreadable, 0 (off) or anything else.
std::optional<int> saved_level(const QSettings& ini, const char* key, int lowest, int highest) {
  bool is_number = false;
  const int level = ini.value(key).toString().toInt(&is_number);
  if (ini.status() != QSettings::NoError || !is_number || level < lowest || level > highest) {
    return std::nullopt;
  }
  return level;
}

}  // namespace

void TZForm::restore_noise_filters(const QSettings& ini) {
  const std::optional<int> blanker = saved_level(
      ini, "noise/noise_blanker", engine::noise_blanker_lowest, engine::noise_blanker_highest);
  const std::optional<int> reduction =
      saved_level(ini, "noise/noise_reduction", 1, engine::noise_reduction_strongest);
  NoiseBlankerBar->setValue(blanker.value_or(engine::noise_blanker_start));
  NoiseReductionBar->setValue(reduction.value_or(engine::noise_reduction_start));
  set_noise_blanker(blanker.has_value());
  set_auto_notch(saved_flag(ini, "noise/auto_notch"));
  set_noise_reduction(reduction.has_value());
}

void TZForm::restore_view(const QSettings& ini) {
  LowLatency1->setChecked(saved_flag(ini, "audio/low_latency"));
  Waterfall1->setChecked(saved_flag(ini, "view/waterfall"));
  FilterResponse1->setChecked(saved_flag(ini, "view/response"));
}

void TZForm::restore_size(const QSettings& ini) {
  bool wide = false;
  bool high = false;
  const QSize saved(ini.value("view/width").toString().toInt(&wide),
                    ini.value("view/height").toString().toInt(&high));
  const QScreen* on = screen();
  if (ini.status() != QSettings::NoError || !wide || !high || on == nullptr) return;
  const QSize free = on->availableGeometry().size();
  if (saved != saved.expandedTo(minimumSize()) || saved != saved.boundedTo(free)) return;
  resize(saved);
  lay_out_display();
  centre_on_screen();
}

void TZForm::read_settings(const std::string& path) {
  const files::ReadFile read = files::read_regular(path, files::settings_size);
  const std::string shown = files::printable_name(path);
  files::UsableSettings usable{files::start_settings(), std::nullopt};
  if (read.standing == files::Standing::absent) {
    // A first start: the file is made from the start values, which are then
    // applied like stored ones, so the filters match what the window shows.
    files::save_file(path, files::serialise_settings(usable.settings));
  } else if (files::no_file(read.standing)) {
    settings_left_alone = true;
    report("File Error Message", shown + " " + files::standing_text(read.standing) +
                                     ": the start settings are used, and it is left as it is");
  } else {
    usable = files::usable_settings(read.bytes, files::start_settings());
    if (usable.problem) report("File Error Message", shown + " " + *usable.problem);
  }
  apply_settings(usable.settings);

  IniFile file(ini_beside(path));
  if (files::no_file(file.standing())) {
    ini_left_alone = true;
    report(
        "File Error Message",
        file.shown_name() + " " + files::standing_text(file.standing()) +
            ": the device choices, noise filters and view start as new, and it is left as it is");
  }
  const QSettings& ini = file.settings();
  find_saved_devices(ini);
  restore_noise_filters(ini);
  restore_view(ini);
  restore_size(ini);
}

void TZForm::apply_settings(const files::Settings& s) {
  // The span, first: the centre lines are placed in it. A code the width
  // button does not know is taken as the full span.
  set_span(display::next_span(s.spectrum_width) ? s.spectrum_width : 1);

  set_bypass(s.bypass_on != 0);
  set_spectrum_bars(s.spectrum_bars != 0);
  set_time_view(s.display_mode != 1);
  set_display_filtered(s.display_filtered != 0);
  // Both copies of the noise filters' buttons relabelled.
  set_lms(s.lms_filter_on != 0, {LMSFilterBtn, LMSFilterBtn2});
  set_median(s.median_filter_on != 0, {MedianFltrBtn, MedianFltrBtn2});
  // A line flag is shown when it is 1; the variable bandpass's upper edge
  // follows its lower one.
  for (const shell::LineSwitch* lines : shell::line_switches) {
    set_lines_shown(*lines, s.*lines->saved == 1);
  }

  // The gain bars' display scales, as they stood before the tuning: the
  // other view's spectrum scale keeps the coarse step the window had.
  gain.gain_position_time = s.gain_position_time;
  gain.gain_position_freq = s.gain_position_freq;
  view.time_gain = s.gain_position_time;
  view.spectrum_gain = static_cast<float>(s.gain_position_freq) *
                       static_cast<float>(s.gain_position_freq) * gain.coarse_gain;
  settings_reserved = s.settings_reserved;

  engine::apply_settings(s, tuning, chain);
  show_tuning(s);

  view.ref_position = s.ref_position;
  place(RefScrollBar, s.ref_position);
  RefFreqLabel->setText(QString::number(display::reference_hz(RefScrollBar->value())) + " Hz");
  RefScrollBarChange();

  // Taken up when the devices are next opened.
  devices.input_device_id = s.input_device_id;
  devices.output_device_id = s.output_device_id;

  devices.input_select = s.input_select;
  switch (s.input_select) {
    case 1:
      MicInputClick();
      break;
    case 2:
      LeftInputClick();
      break;
    case 3:
      RightInputClick();
      break;
    default:
      break;
  }
}

void TZForm::show_tuning(const files::Settings& s) {
  place_centre_lines();
  choose(BPComboBox2, tuning.bp.width_index);
  choose(NF1ComboBox2, tuning.nf1.width_index);
  choose(NF2ComboBox2, tuning.nf2.width_index);

  place(SignalGainBar, files::restored_gain_position(s));
  place(QTrackBar, tuning.bp.q_position);
  place(RxCoarseTrackBar, s.rx_coarse_position);
  // The coarse step, the display's scales and the fine position of the
  // view shown; the signal gain comes out as the tuning set it.
  RxCoarseTrackBarChange();

  place(QTrackBar2, tuning.var_bp.q_position);
  place(QTrackBar3, tuning.nf1.q_position);
  place(QTrackBar4, tuning.nf2.q_position);
  place(QTrackBar5, tuning.var_notch.q_position);
  place(Lo_BP_Freq_ScrollBar, tuning.var_bp.lo_bin);
  place(Hi_BP_Freq_ScrollBar, tuning.var_bp.hi_bin);
  place(Lo_Notch_Freq_ScrollBar, tuning.var_notch.lo_bin);
  place(Hi_Notch_Freq_ScrollBar, tuning.var_notch.hi_bin);
  show_width(VarFilterMemo, tuning.var_bp.lo_bin, tuning.var_bp.hi_bin);
  show_width(VarNotchFilterMemo, tuning.var_notch.lo_bin, tuning.var_notch.hi_bin);
}
