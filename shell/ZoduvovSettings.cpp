// The settings file as the main window reads and writes it. Reading drives
// every affected control and runs its handler, so the window, the filter
// designs and the display come up in the saved state through the paths a
// user's clicks take. An on/off value is set to the opposite of what it
// should end as, and the control's toggle handler flips it back.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <array>
#include <fstream>

#include "audio/state.h"
#include "design/state.h"
#include "display/mapping.h"
#include "display/state.h"
#include "engine/state.h"
#include "files/replace_file.h"
#include "files/state.h"
#include "shell/Zoduvov.h"

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

// The value a toggle handler turns into `stored`: a 0/other flag that the
// handler maps 0 -> 1, other -> 0.
template <typename T>
T before_toggle(T stored) {
  return stored == 0 ? T{1} : T{0};
}

// The same for a line flag, where only 1 means shown.
std::uint8_t line_before_toggle(std::uint8_t stored) { return stored == 1 ? 0 : 1; }

}  // namespace

files::Settings TZForm::current_settings() const {
  files::Settings s;
  s.spectrum_width = display::spectrum_width;
  s.bypass_on = engine::bypass_on;
  s.spectrum_bars = display::spectrum_bars;
  s.display_mode = display::display_mode;
  s.display_filtered = display::display_filtered;
  s.lms_filter_on = engine::lms_filter_on;
  s.median_filter_on = engine::median_filter_on;
  s.bp_line_on = display::bp_line_on;
  s.nf1_line_on = display::nf1_line_on;
  s.nf2_line_on = display::nf2_line_on;
  s.var_bp_lo_line_on = display::var_bp_lo_line_on;
  s.var_bp_hi_line_on = display::var_bp_hi_line_on;
  s.bp_center = design::bp_center;
  s.nf1_center = design::nf1_center;
  s.nf2_center = design::nf2_center;
  s.bp_width_index = design::bp_width_index;
  s.nf1_width_index = design::nf1_width_index;
  s.nf2_width_index = design::nf2_width_index;
  s.gain_position_time = engine::gain_position_time;
  s.gain_position_freq = engine::gain_position_freq;
  s.bp_q_position = design::bp_q_position;
  s.rx_coarse_position = engine::rx_coarse_position;
  s.settings_reserved = files::settings_reserved;
  s.ref_line_on = display::ref_line_on;
  s.ref_position = display::ref_position;
  s.var_bp_lo_bin = design::var_bp_lo_bin;
  s.var_bp_hi_bin = design::var_bp_hi_bin;
  s.var_bp_q_position = design::var_bp_q_position;
  s.nf1_q_position = design::nf1_q_position;
  s.nf2_q_position = design::nf2_q_position;
  s.var_notch_q_position = design::var_notch_q_position;
  s.var_notch_line_on = display::var_notch_line_on;
  s.var_notch_lo_bin = design::var_notch_lo_bin;
  s.var_notch_hi_bin = design::var_notch_hi_bin;
  s.input_device_id = audio::input_device_id;
  s.output_device_id = audio::output_device_id;
  s.input_select = audio::input_select;
  return s;
}

void TZForm::write_settings(const std::string& path) {
  // Written whole to a new file that then replaces the old one, so a crash
  // while saving leaves the previous settings. A failure is silent.
  files::replace_file(path, files::serialise_settings(current_settings()));
}

void TZForm::read_settings(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    // A first start: the file is made from the start values, which are then
    // applied like stored ones, so the filters match what the window shows.
    files::replace_file(path, files::serialise_settings(files::start_settings()));
    apply_settings(files::start_settings());
    return;
  }
  std::array<char, files::settings_size> bytes{};
  file.read(bytes.data(), bytes.size());
  const auto read = static_cast<std::size_t>(file.gcount());
  apply_settings(files::parse_settings(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), read), files::start_settings()));
}

void TZForm::apply_settings(const files::Settings& s) {
  // The span, first: the centre lines are placed in it. A code the width
  // button does not know is taken as the full span.
  const std::int32_t span = display::next_span(s.spectrum_width) ? s.spectrum_width : 1;
  display::spectrum_width = span == 1 ? 4 : span == 2 ? 1 : 2;
  SpectrumWidthBtnClick();

  engine::bypass_on = before_toggle(s.bypass_on);
  BypassBtnClick();
  display::spectrum_bars = before_toggle(s.spectrum_bars);
  SpectrumTypeBtnClick();
  display::display_mode = s.display_mode == 1 ? 2 : 1;
  DisplayBtnClick();
  display::display_filtered = before_toggle(s.display_filtered);
  DataBtnClick();
  // Through the visible buttons, which relabel both copies.
  engine::lms_filter_on = before_toggle(s.lms_filter_on);
  LMSFilterBtn2Click();
  engine::median_filter_on = before_toggle(s.median_filter_on);
  MedianFltrBtn2Click();

  display::bp_line_on = line_before_toggle(s.bp_line_on);
  BPFltrClick();
  display::nf1_line_on = line_before_toggle(s.nf1_line_on);
  NF1FltrClick();
  display::nf2_line_on = line_before_toggle(s.nf2_line_on);
  NF2FltrClick();
  display::var_bp_lo_line_on = line_before_toggle(s.var_bp_lo_line_on);
  display::var_bp_hi_line_on = line_before_toggle(s.var_bp_hi_line_on);
  LoVarFltrClick();

  // The centres, placed in the span, then the widths designed around them.
  design::bp_center = files::usable_centre(s.bp_center);
  design::nf1_center = files::usable_centre(s.nf1_center);
  design::nf2_center = files::usable_centre(s.nf2_center);
  FrequencyBar->setValue(display::centre_column(design::bp_center, display::spectrum_width));
  NF1_TrackBar->setValue(display::centre_column(design::nf1_center, display::spectrum_width));
  NF2_TrackBar->setValue(display::centre_column(design::nf2_center, display::spectrum_width));
  choose(BPComboBox2, s.bp_width_index);
  BPComboBox2Change();
  choose(NF1ComboBox2, s.nf1_width_index);
  NF1ComboBox2Change();
  choose(NF2ComboBox2, s.nf2_width_index);
  NF2ComboBox2Change();

  // The gain, once the view it belongs to is in place.
  engine::gain_position_time = s.gain_position_time;
  engine::gain_position_freq = s.gain_position_freq;
  display::time_gain = s.gain_position_time;
  display::spectrum_gain = static_cast<float>(s.gain_position_freq) *
                           static_cast<float>(s.gain_position_freq) * engine::coarse_gain;
  place(SignalGainBar, files::restored_gain_position(s));
  SignalGainBarChange();
  place(QTrackBar, s.bp_q_position);
  QTrackBarChange();
  place(RxCoarseTrackBar, s.rx_coarse_position);
  RxCoarseTrackBarChange();
  files::settings_reserved = s.settings_reserved;

  display::ref_line_on = line_before_toggle(s.ref_line_on);
  DisplayRefBtnClick();
  display::ref_position = s.ref_position;
  place(RefScrollBar, s.ref_position);
  RefFreqLabel->setText(QString::number(display::reference_hz(RefScrollBar->value())) + " Hz");
  RefScrollBarChange();

  // Both edge bars of a variable filter are placed before their handlers
  // run, so that the lower one is kept below the stored upper edge, not the
  // upper bar's old position.
  place(Lo_BP_Freq_ScrollBar, s.var_bp_lo_bin);
  place(Hi_BP_Freq_ScrollBar, s.var_bp_hi_bin);
  Lo_BP_Freq_ScrollBarChange();
  Hi_BP_Freq_ScrollBarChange();
  place(QTrackBar2, s.var_bp_q_position);
  QTrackBar2Change();
  place(QTrackBar3, s.nf1_q_position);
  QTrackBar3Change();
  place(QTrackBar4, s.nf2_q_position);
  QTrackBar4Change();
  place(QTrackBar5, s.var_notch_q_position);
  QTrackBar5Change();

  display::var_notch_line_on = line_before_toggle(s.var_notch_line_on);
  VarNotchFltrClick();
  place(Lo_Notch_Freq_ScrollBar, s.var_notch_lo_bin);
  place(Hi_Notch_Freq_ScrollBar, s.var_notch_hi_bin);
  Lo_Notch_Freq_ScrollBarChange();
  Hi_Notch_Freq_ScrollBarChange();

  // Taken up when the devices are next opened.
  audio::input_device_id = s.input_device_id;
  audio::output_device_id = s.output_device_id;

  audio::input_select = s.input_select;
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
