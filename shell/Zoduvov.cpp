#include "shell/Zoduvov.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "audio/Soundcardselection.h"
#include "audio/state.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "design/controls.h"
#include "design/designers.h"
#include "design/presets.h"
#include "design/state.h"
#include "design/windows.h"
#include "display/drag.h"
#include "display/mapping.h"
#include "display/state.h"
#include "engine/gain.h"
#include "engine/noise_filters.h"
#include "engine/state.h"
#include "files/state.h"
#include "files/transport.h"
#include "shell/commands.h"
#include "shell/paint_box.h"
#include "shell/state.h"
#include "shell/toolkit.h"

namespace {

// A path in the working directory.
std::string in_working_directory(const char* name) {
  return (std::filesystem::current_path() / name).string();
}

// Designs a variable filter from the positions of its two bars and shows
// the width in the filter's memo.
void design_from_bars(const QScrollBar* lo_bar, const QScrollBar* hi_bar,
                      void (*design_at)(std::int32_t, std::int32_t), QLineEdit* memo) {
  const std::int32_t lo = lo_bar->value();
  const std::int32_t hi = hi_bar->value();
  design_at(lo, hi);
  memo->setText(QString::number(design::var_width_hz(lo, hi)) + " Hz");
}

// Moves a bar to where the edge rule lets it settle, when that is elsewhere
// (which runs its handler again, nested).
void settle(QScrollBar* bar, std::int32_t position) {
  if (bar->value() != position) bar->setValue(position);
}

// Gives a two-state button its caption and colour: red when engaged.
void show_state(QPushButton* button, bool engaged, const char* on, const char* off) {
  button->setText(engaged ? on : off);
  shell::set_font_color(button, engaged ? shell::engaged_color : shell::idle_color);
}

// Switches a filter stage: its flag 0 becomes 1, anything else 0, and every
// given copy of its button shows "ON" in red or "OFF" in blue.
void toggle_stage(std::int32_t& flag, std::initializer_list<QPushButton*> buttons) {
  flag = flag == 0 ? 1 : 0;
  for (QPushButton* button : buttons) show_state(button, flag == 1, "ON", "OFF");
}

// Shows or hides a group of filter lines: the flag 0 becomes 1, anything
// else 0; the tab button shows "On" in red or "Off" in blue and the check
// box follows.
void toggle_lines(std::uint8_t& flag, QPushButton* button, QCheckBox* box) {
  flag = flag == 0 ? 1 : 0;
  show_state(button, flag == 1, "On", "Off");
  box->setChecked(flag == 1);
}

}  // namespace

TZForm::TZForm() {
  audio::wave_host = this;
  create_controls();
  FormCreate();
}

TZForm::~TZForm() {
  FormDestroy();
  if (audio::wave_host == this) audio::wave_host = nullptr;
}

void TZForm::FormCreate() {
  audio::in_data_a = std::make_unique<std::uint8_t[]>(audio::audio_block_bytes);
  audio::in_data_b = std::make_unique<std::uint8_t[]>(audio::audio_block_bytes);
  audio::out_data_a = std::make_unique<std::uint8_t[]>(audio::audio_block_bytes);
  audio::out_data_b = std::make_unique<std::uint8_t[]>(audio::audio_block_bytes);

  engine::block_size = 512;
  audio::in_sample_rate = 11025;
  audio::in_channels = 1;
  audio::in_block_align = 2;
  audio::in_bits = 16;
  audio::bytes_per_sample = 2;
  audio::in_avg_bytes = audio::in_sample_rate * audio::bytes_per_sample * audio::in_channels;
  audio::in_buffer_bytes =
      static_cast<std::uint16_t>(engine::block_size * audio::bytes_per_sample * audio::in_channels * 2);
  engine::fft_size = 2 * engine::block_size;

  audio::out_sample_rate = 11025;
  audio::out_channels = 1;
  audio::out_block_align = 2;
  audio::out_bits = 16;
  audio::out_avg_bytes = audio::out_sample_rate * audio::bytes_per_sample * audio::out_channels;
  audio::out_buffer_bytes =
      static_cast<std::uint16_t>(engine::block_size * audio::bytes_per_sample * audio::out_channels * 2);

  engine::cycle_stopped = 1;
  engine::lms_filter_on = 0;
  engine::work_offset = 0;

  engine::coarse_gain = 1.0f;
  engine::signal_gain = 1.0f;
  engine::gain_position_time = SignalGainBar->value();
  engine::gain_position_freq = SignalGainBar->value();
  display::time_gain = SignalGainBar->value();
  display::spectrum_height = 197;

  display::display_mode = 1;
  display::display_filtered = 1;
  display::spectrum_bars = 0;
  display::spectrum_width = 1;
  engine::bypass_on = 0;

  // Every Q handler maps a position p to the level (25 - p) x 0.01; the
  // bandpass starts by the same rule.
  design::bp_q_position = 20;
  QTrackBar->setValue(design::bp_q_position);
  design::bp_q_level = static_cast<float>(25 - QTrackBar->value()) * 0.01f;

  files::record_on = 0;
  files::play_on = 0;
  files::pause_on = 0;
  files::transport_idle = 1;
  files::record_byte_count = 0;
  files::record_file_open = 0;
  files::play_file_open = 0;
  engine::source_mode = 1;
  engine::wave_timeout = 0;
  display::ref_line_on = 0;

  display::ref_position = RefScrollBar->value();
  design::var_bp_lo_bin = Lo_BP_Freq_ScrollBar->value();
  design::var_bp_hi_bin = Hi_BP_Freq_ScrollBar->value();
  design::var_notch_lo_bin = Lo_Notch_Freq_ScrollBar->value();
  design::var_notch_hi_bin = Hi_Notch_Freq_ScrollBar->value();
  design::var_bp_q_position = QTrackBar2->value();
  design::nf1_q_position = QTrackBar3->value();
  design::nf2_q_position = QTrackBar4->value();
  design::var_notch_q_position = QTrackBar5->value();
  engine::rx_coarse_position = RxCoarseTrackBar->value();

  display::release_lines();
  display::db_scale = 1.0f;
  display::db_offset = 1.0f;
  audio::input_select = 1;
  MicInput->setChecked(true);
  design::bp_center = 0.035f;
  design::nf1_center = 0.035f;
  design::nf2_center = 0.035f;

  // The bandpass and the notches start designed around 413 to 469 Hz; their
  // edge variables stay 0 until a preset or width is chosen.
  design::design_bandpass(engine::block_size, design::bp_taps, 0.0375f, 0.0425f);
  design::design_nf1(engine::block_size, 0.0375f, 0.0425f);
  design::design_nf2(engine::block_size, 0.0375f, 0.0425f);

  spectrum_bitmap = QImage(DisplayPanel->width(), display::spectrum_height, QImage::Format_RGB32);
  spectrum_bitmap.fill(Qt::white);

  shell::help_path = in_working_directory("DarizureDero.chm");
  shell::settings_path = in_working_directory("ZOduvov.cfg");
  read_settings(shell::settings_path);

  design::fill_rectangular_window(design::cycle_window, engine::fft_size);
  design::fill_blackman_harris_window(design::display_window, engine::fft_size);
}

void TZForm::FormDestroy() {
  write_settings(shell::settings_path);
  // A recording in progress keeps everything recorded, as Stop would.
  files::finish_record_file();
  files::close_play_file();
  audio::in_data_a.reset();
  audio::in_data_b.reset();
  audio::out_data_a.reset();
  audio::out_data_b.reset();
}

void TZForm::request_quit() {
  quit_requested = true;
  engine::cycle_stopped = 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  // The application closes its open windows as it terminates; an open
  // sound-card dialog would take that for the user closing it and apply
  // its choice.
  if (SoundCardSelect != nullptr) SoundCardSelect->hide();
  QCoreApplication::quit();
}

void TZForm::Quit1Click() { request_quit(); }

void TZForm::FormClose() { request_quit(); }

void TZForm::closeEvent(QCloseEvent* event) {
  // Closing the window after Quit (the application closes its windows as it
  // terminates) must not ask again.
  if (!quit_requested) FormClose();
  event->accept();
}

// The processing cycle.

void TZForm::StartTimerTimer() {
  StartTimer->stop();
  StartBtnClick();
  StopCycleBtnClick();
  StartTimer->start();
}

void TZForm::StartBtnClick() { engine::run_cycle(*this); }

void TZForm::StopCycleBtnClick() { engine::stop_cycle(); }

void TZForm::TimeoutTimerTimer() {
  engine::wave_timeout = 1;
  TimeoutTimer->stop();
}

void TZForm::BypassBtnClick() {
  engine::bypass_on = engine::bypass_on == 1 ? 0 : 1;
  show_state(BypassBtn, engine::bypass_on == 1, "On", "Off");
}

void TZForm::process_messages() { shell::process_messages(); }

void TZForm::report(std::string_view caption, std::string_view text) {
  shell::show_report(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TZForm::enable_timeout_timer(bool enabled) {
  if (enabled) {
    TimeoutTimer->start();
  } else {
    TimeoutTimer->stop();
  }
}

void TZForm::show_diagnostic(engine::Diagnostic label, std::uint32_t value) {
  QLabel* const labels[] = {bytes_recorded_aa, bytes_recorded_bb, byte_position_a, byte_position_b};
  labels[static_cast<int>(label)]->setText(QString::number(value));
}

void TZForm::stop_transport() { StopBtnClick(); }

void TZForm::update_display() {
  display::draw_pass(spectrum_bitmap, engine::out_samples, engine::raw_samples,
                     display::filter_lines(line_positions()));
  SpectrumBox->draw(spectrum_bitmap);
}

display::LinePositions TZForm::line_positions() const {
  return {.bp_x = FrequencyBar->value(),
          .nf1_x = NF1_TrackBar->value(),
          .nf2_x = NF2_TrackBar->value(),
          .ref_bin = RefScrollBar->value(),
          .var_bp_lo_bin = Lo_BP_Freq_ScrollBar->value(),
          .var_bp_hi_bin = Hi_BP_Freq_ScrollBar->value(),
          .var_notch_lo_bin = Lo_Notch_Freq_ScrollBar->value(),
          .var_notch_hi_bin = Hi_Notch_Freq_ScrollBar->value()};
}

// Gain.

void TZForm::RxCoarseTrackBarChange() {
  const std::int32_t c = RxCoarseTrackBar->value();
  engine::rx_coarse_position = c;
  if (const auto step = engine::coarse_step(c)) {
    engine::coarse_gain = step->coarse_gain;
    display::db_scale = step->db_scale;
    display::db_offset = step->db_offset;
  }
  SignalGainBarChange();
}

void TZForm::SignalGainBarChange() {
  const std::int32_t p = SignalGainBar->value();
  engine::signal_gain = engine::fine_gain(p, engine::coarse_gain);
  if (display::display_mode == 2) {
    engine::gain_position_time = p;
    display::time_gain = p;
  } else {
    engine::gain_position_freq = p;
    display::spectrum_gain = static_cast<float>(p * p);
  }
}

// Noise filters. The visible buttons on the Noise tab update both copies;
// the older hidden buttons only their own.

void TZForm::LMSFilterBtn2Click() { toggle_lms({LMSFilterBtn, LMSFilterBtn2}); }

void TZForm::LMSFilterBtnClick() { toggle_lms({LMSFilterBtn}); }

void TZForm::toggle_lms(std::initializer_list<QPushButton*> buttons) {
  // Switched on, adaptation starts again from nothing.
  if (engine::lms_filter_on == 0) {
    engine::lms_reset(engine::lms_weights, engine::lms_taps, engine::lms_power);
  }
  toggle_stage(engine::lms_filter_on, buttons);
}

void TZForm::MedianFltrBtn2Click() {
  toggle_stage(engine::median_filter_on, {MedianFltrBtn, MedianFltrBtn2});
}

void TZForm::MedianFltrBtnClick() { toggle_stage(engine::median_filter_on, {MedianFltrBtn}); }

// The transform-domain filters' switches. Both copies of a button fire the
// same handler, which relabels both. Nothing is designed here: every
// control change keeps the designs current whether a stage is on or off.

void TZForm::BandPassBtnClick() {
  toggle_stage(design::bp_filter_on, {BandPassBtn, BandPassBtn2});
}

void TZForm::NF1BtnClick() { toggle_stage(design::nf1_filter_on, {NF1Btn, NF1Btn2}); }

void TZForm::NF2BtnClick() { toggle_stage(design::nf2_filter_on, {NF2Btn, NF2Btn2}); }

void TZForm::VarFltrBtnClick() {
  toggle_stage(design::var_bp_filter_on, {VarFltrBtn, VarFltrBtn2});
}

void TZForm::VarNF2BtnClick() { toggle_stage(design::var_notch_filter_on, {VarNF2Btn}); }

// Width lists. Each box drives the filter with its own item; the two boxes
// of a pair are not kept in step.

void TZForm::BPComboBox2Change() {
  design::bp_width_index = BPComboBox2->currentIndex();
  design::design_bandpass_at_centre();
}

void TZForm::BPComboBoxChange() {
  design::bp_width_index = BPComboBox->currentIndex();
  design::design_bandpass_at_centre();
}

void TZForm::NF1ComboBox2Change() {
  design::nf1_width_index = NF1ComboBox2->currentIndex();
  design::design_nf1_at_centre();
}

void TZForm::NF1ComboBoxChange() {
  design::nf1_width_index = NF1ComboBox->currentIndex();
  design::design_nf1_at_centre();
}

void TZForm::NF2ComboBox2Change() {
  design::nf2_width_index = NF2ComboBox2->currentIndex();
  design::design_nf2_at_centre();
}

void TZForm::NF2ComboBoxChange() {
  design::nf2_width_index = NF2ComboBox->currentIndex();
  design::design_nf2_at_centre();
}

// Q bars: each stores its position, sets its filter's level and designs the
// filter again with its current edges. The variable filters design through
// their lower edge bar's handler, which also rewrites the width memo.

void TZForm::QTrackBarChange() { design::set_bp_q(QTrackBar->value()); }

void TZForm::QTrackBar2Change() {
  design::set_var_bp_q(QTrackBar2->value());
  Lo_BP_Freq_ScrollBarChange();
}

void TZForm::QTrackBar3Change() { design::set_nf1_q(QTrackBar3->value()); }

void TZForm::QTrackBar4Change() { design::set_nf2_q(QTrackBar4->value()); }

void TZForm::QTrackBar5Change() {
  design::set_var_notch_q(QTrackBar5->value());
  Lo_Notch_Freq_ScrollBarChange();
}

// The older bandpass Q bar: it takes the position of the BP1 tab's bar and
// designs both bandpass filters.
void TZForm::QTrackBar10Change() {
  QTrackBarChange();
  Lo_BP_Freq_ScrollBarChange();
}

// The variable filters' edges. Each change handler keeps the lower bar below
// the upper one by moving the bar that changed (which runs this handler
// again, nested), then designs from both positions and shows the width.

void TZForm::Lo_BP_Freq_ScrollBarChange() {
  settle(Lo_BP_Freq_ScrollBar, design::lower_edge_kept_below(Lo_BP_Freq_ScrollBar->value(),
                                                             Hi_BP_Freq_ScrollBar->value()));
  design_var_bandpass_from_bars();
}

void TZForm::Hi_BP_Freq_ScrollBarChange() {
  settle(Hi_BP_Freq_ScrollBar, design::upper_edge_kept_above(Lo_BP_Freq_ScrollBar->value(),
                                                             Hi_BP_Freq_ScrollBar->value()));
  design_var_bandpass_from_bars();
}

void TZForm::Lo_Notch_Freq_ScrollBarChange() {
  settle(Lo_Notch_Freq_ScrollBar, design::lower_edge_kept_below(Lo_Notch_Freq_ScrollBar->value(),
                                                                Hi_Notch_Freq_ScrollBar->value()));
  design_var_notch_from_bars();
}

void TZForm::Hi_Notch_Freq_ScrollBarChange() {
  settle(Hi_Notch_Freq_ScrollBar, design::upper_edge_kept_above(Lo_Notch_Freq_ScrollBar->value(),
                                                                Hi_Notch_Freq_ScrollBar->value()));
  design_var_notch_from_bars();
}

void TZForm::design_var_bandpass_from_bars() {
  design_from_bars(Lo_BP_Freq_ScrollBar, Hi_BP_Freq_ScrollBar, design::design_var_bandpass_at,
                   VarFilterMemo);
}

void TZForm::design_var_notch_from_bars() {
  design_from_bars(Lo_Notch_Freq_ScrollBar, Hi_Notch_Freq_ScrollBar, design::design_var_notch_at,
                   VarNotchFilterMemo);
}

// The sound-card dialog, modeless: the window and the cycle run on.

void TZForm::InputSoundCardClick() {
  audio::select_output = 0;
  SoundCardSelect->show_for_selection();
}

void TZForm::OutputSoundCardClick() {
  audio::select_output = 1;
  SoundCardSelect->show_for_selection();
}

// Input select. The values take effect when the cycle next opens the input,
// so a running cycle is ended: the start timer runs it again 50 ms later on
// the input reopened in the new format. (Carrying on would read the open
// mono stream as stereo, or the other way round, and play it garbled.) A
// pass always works on 1024 mono samples, taken from the chosen channel of a
// stereo input.

void TZForm::MicInputClick() {
  engine::block_size = 512;
  engine::fft_size = 2 * engine::block_size;
  audio::in_sample_rate = 11025;
  select_input(1, MicInput, 1);
}

void TZForm::LeftInputClick() { select_input(2, LeftInput, 2); }

void TZForm::RightInputClick() { select_input(3, RightInput, 2); }

void TZForm::select_input(std::int32_t input, QAction* item, std::uint16_t channels) {
  audio::input_select = input;
  for (QAction* action : {MicInput, LeftInput, RightInput}) action->setChecked(action == item);
  audio::in_channels = channels;
  audio::in_bits = 16;
  audio::bytes_per_sample = 2;
  audio::in_block_align = static_cast<std::uint16_t>(audio::bytes_per_sample * channels);
  audio::in_avg_bytes = audio::in_sample_rate * audio::bytes_per_sample * channels;
  audio::in_buffer_bytes =
      static_cast<std::uint16_t>(engine::block_size * audio::bytes_per_sample * channels * 2);
  engine::position_limit = audio::in_buffer_bytes / 2;
  engine::cycle_stopped = 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// What the display shows. Each button flips or cycles its setting and
// relabels itself; the next pass draws accordingly.

void TZForm::DisplayBtnClick() {
  display::display_mode = display::display_mode == 2 ? 1 : 2;
  show_state(DisplayBtn, display::display_mode == 2, "Time", "Freq");
  // The gain bar is shared by both views and remembers a position for each.
  SignalGainBar->setValue(display::display_mode == 1 ? engine::gain_position_freq
                                                     : engine::gain_position_time);
}

void TZForm::DataBtnClick() {
  display::display_filtered = display::display_filtered == 0 ? 1 : 0;
  show_state(DataBtn, display::display_filtered == 1, "Filter", "Raw");
}

void TZForm::SpectrumTypeBtnClick() {
  display::spectrum_bars = display::spectrum_bars == 0 ? 1 : 0;
  show_state(SpectrumTypeBtn, display::spectrum_bars == 1, "BAR", "LINE");
}

void TZForm::SpectrumWidthBtnClick() {
  const std::optional<int> span = display::next_span(display::spectrum_width);
  if (!span) return;
  display::spectrum_width = *span;
  SpectrumWidthBtn->setText(QString::fromLatin1(display::span_caption(*span)));
  HiFreqLabel->setText(QString::fromLatin1(display::span_top_frequency(*span)));
  // The centre lines move to their columns in the new span; the bars clamp
  // a centre beyond it to 512.
  FrequencyBar->setValue(display::centre_column(design::bp_center, *span));
  NF1_TrackBar->setValue(display::centre_column(design::nf1_center, *span));
  NF2_TrackBar->setValue(display::centre_column(design::nf2_center, *span));
}

// Filter lines shown or hidden: the check box and the tab button of each
// group do the same and both show the result.

void TZForm::BPFltrClick() { toggle_lines(display::bp_line_on, DisplayBPBtn, BPFltr); }

void TZForm::DisplayBPBtnClick() { BPFltrClick(); }

void TZForm::NF1FltrClick() { toggle_lines(display::nf1_line_on, DisplayNF1Btn, NF1Fltr); }

void TZForm::DisplayNF1BtnClick() { NF1FltrClick(); }

void TZForm::NF2FltrClick() { toggle_lines(display::nf2_line_on, DisplayNF2Btn, NF2Fltr); }

void TZForm::DisplayNF2BtnClick() { NF2FltrClick(); }

void TZForm::LoVarFltrClick() {
  toggle_lines(display::var_bp_lo_line_on, DisplayVarBPBtn, LoVarFltr);
  display::var_bp_hi_line_on = display::var_bp_lo_line_on;
}

void TZForm::DisplayVarBPBtnClick() { LoVarFltrClick(); }

void TZForm::VarNotchFltrClick() {
  toggle_lines(display::var_notch_line_on, DisplayVarNFBtn, VarNotchFltr);
  display::var_notch_lo_line_on = display::var_notch_line_on;
  display::var_notch_hi_line_on = display::var_notch_line_on;
}

void TZForm::DisplayVarNFBtnClick() { VarNotchFltrClick(); }

void TZForm::RefLineClick() { toggle_lines(display::ref_line_on, DisplayRefBtn, RefLine); }

void TZForm::DisplayRefBtnClick() { RefLineClick(); }

// The reference line moves only while it is shown; a hidden one snaps back.
void TZForm::RefScrollBarChange() {
  if (display::ref_line_on == 1) {
    display::ref_position = RefScrollBar->value();
    RefFreqLabel->setText(QString::number(display::reference_hz(display::ref_position)) + " Hz");
  } else {
    RefScrollBar->setValue(display::ref_position);
  }
}

// Dragging lines. With the left button down, the first line in order that
// the pointer catches follows it: the centre lines by their track bars
// (designed on release), the variable edges and the reference by their
// scroll bars, whose handlers act at once.
void TZForm::SpectrumBoxMouseMove(Qt::MouseButtons buttons, int X, int) {
  if (!buttons.testFlag(Qt::LeftButton)) return;
  const int span = display::spectrum_width;
  const display::LinePositions at = line_positions();
  const std::array<display::LineUnderPointer, display::drag_line_count> lines{{
      {at.bp_x, display::bp_line_on == 1},
      {at.nf1_x, display::nf1_line_on == 1},
      {at.nf2_x, display::nf2_line_on == 1},
      {display::bin_column(at.var_bp_lo_bin, span), display::var_bp_lo_line_on == 1},
      {display::bin_column(at.var_bp_hi_bin, span), display::var_bp_hi_line_on == 1},
      {display::bin_column(at.var_notch_lo_bin, span), display::var_notch_lo_line_on == 1},
      {display::bin_column(at.var_notch_hi_bin, span), display::var_notch_hi_line_on == 1},
      {display::bin_column(at.ref_bin, span), display::ref_line_on == 1},
  }};
  const std::optional<display::DragLine> caught = display::line_at(lines, X);
  if (!caught) return;
  const int bin = display::column_bin(X, span);
  switch (*caught) {
    case display::DragLine::bandpass:
      FrequencyBar->setValue(X);
      break;
    case display::DragLine::notch1:
      NF1_TrackBar->setValue(X);
      break;
    case display::DragLine::notch2:
      NF2_TrackBar->setValue(X);
      break;
    case display::DragLine::var_bp_lo:
      Lo_BP_Freq_ScrollBar->setValue(bin);
      break;
    case display::DragLine::var_bp_hi:
      Hi_BP_Freq_ScrollBar->setValue(bin);
      break;
    case display::DragLine::var_notch_lo:
      Lo_Notch_Freq_ScrollBar->setValue(bin);
      break;
    case display::DragLine::var_notch_hi:
      Hi_Notch_Freq_ScrollBar->setValue(bin);
      break;
    case display::DragLine::reference:
      RefScrollBar->setValue(bin);
      break;
  }
  display::hold_line(*caught);
}

// Any button released: a filter whose stored position equals X is designed
// at it, whether or not its line was dragged or is shown; then every line
// is free again.
void TZForm::SpectrumBoxMouseUp(Qt::MouseButton, int X, int) {
  const std::optional<float> centre = display::column_centre(X, display::spectrum_width);
  if (X == FrequencyBar->value()) {
    if (centre) design::bp_center = *centre;
    design::design_bandpass_at_centre();
  }
  if (X == NF1_TrackBar->value()) {
    if (centre) design::nf1_center = *centre;
    design::design_nf1_at_centre();
  }
  if (X == NF2_TrackBar->value()) {
    if (centre) design::nf2_center = *centre;
    design::design_nf2_at_centre();
  }
  if (X == Lo_BP_Freq_ScrollBar->value()) Lo_BP_Freq_ScrollBarChange();
  if (X == Hi_BP_Freq_ScrollBar->value()) Hi_BP_Freq_ScrollBarChange();
  if (X == Lo_Notch_Freq_ScrollBar->value()) Lo_Notch_Freq_ScrollBarChange();
  if (X == Hi_Notch_Freq_ScrollBar->value()) Hi_Notch_Freq_ScrollBarChange();
  display::release_lines();
}

// WAV files. The dialogs ask for a path; open_wave and save_wave do the
// rest, so that they can also be driven without a dialog.

void TZForm::LoadWaveClick() {
  files::close_play_file();
  if (OpenWaveDialog->exec() != QDialog::Accepted) return;
  open_wave(OpenWaveDialog->selectedFiles().value(0).toStdString());
}

void TZForm::open_wave(const std::string& path) {
  if (const auto refusal = files::open_play_file(path)) report(refusal->caption, refusal->text);
}

void TZForm::SaveWaveClick() {
  files::finish_record_file();
  files::record_byte_count = 0;
  if (SaveWaveDialog->exec() != QDialog::Accepted) return;
  save_wave(SaveWaveDialog->selectedFiles().value(0).toStdString());
}

void TZForm::save_wave(const std::string& path) {
  files::finish_record_file();
  if (!files::create_record_file(path)) report("File Error Message", "Could not open the Wave file");
}

// The transport. A button shows its state by its caption's colour alone:
// red engaged, blue not.

void TZForm::RecordBtnClick() {
  if (files::record_file_open != 1) {
    report("Record Error", "No input file has been specified");
    return;
  }
  if (files::record_on == 0) {
    files::record_on = 1;
    files::transport_idle = 0;
    shell::set_font_color(RecordBtn, shell::engaged_color);
    shell::set_font_color(StopBtn, shell::idle_color);
  } else {
    files::record_on = 0;
    shell::set_font_color(RecordBtn, shell::idle_color);
    StopBtnClick();
  }
}

void TZForm::PlayBtnClick() {
  if (files::play_file_open != 1) {
    report("Play Error", "No output file has been specified");
    return;
  }
  if (files::play_on == 0) {
    files::play_on = 1;
    files::transport_idle = 0;
    files::pause_on = 0;
    engine::source_mode = 2;
    shell::set_font_color(PlayBtn, shell::engaged_color);
    shell::set_font_color(StopBtn, shell::idle_color);
    // A running cycle takes up the file at its next pass, with capture
    // started again at once: it stays the cycle's clock, and a cycle left
    // waiting for a stopped input would time out and start over, losing a
    // block of what it records.
    if (engine::cycle_stopped == 0) {
      audio::reset_wave_in();
      audio::start_wave_in();
      audio::reset_wave_out();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    // Returns at once while a cycle runs.
    StartBtnClick();
  } else {
    files::play_on = 0;
    shell::set_font_color(PlayBtn, shell::idle_color);
    StopBtnClick();
  }
}

void TZForm::StopBtnClick() {
  if (files::transport_idle == 1) return;
  files::transport_idle = 1;
  files::record_on = 0;
  files::play_on = 0;
  files::pause_on = 0;
  engine::source_mode = 1;
  shell::set_font_color(StopBtn, shell::engaged_color);
  for (QPushButton* button : {PlayBtn, RecordBtn, PauseBtn}) {
    shell::set_font_color(button, shell::idle_color);
  }
  files::finish_record_file();
  files::close_play_file();
}

void TZForm::PauseBtnClick() {
  if (files::transport_idle == 1) return;
  files::pause_on = files::pause_on == 0 ? 1 : 0;
  shell::set_font_color(PauseBtn, files::pause_on == 1 ? shell::engaged_color : shell::idle_color);
}

// Menu commands and the volume button.

void TZForm::HelpMenu1Click() {
  const QString path = QString::fromStdString(shell::help_path);
  if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    shell::show_report(QStringLiteral("Tonewell"), QStringLiteral("Could not run the help application"));
  }
}

void TZForm::About1Click() {
  shell::show_report(QStringLiteral("About Tonewell"),
                     QStringLiteral("Tonewell receiver audio filter\n             Version 1.2"));
}

void TZForm::BitBtn1Click() {
  if (const std::optional<shell::Command> mixer = shell::volume_control()) {
    QProcess::startDetached(mixer->program, mixer->arguments);
  }
}
