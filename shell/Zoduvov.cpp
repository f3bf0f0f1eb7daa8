#include "shell/Zoduvov.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "audio/chain_feed.h"
#include "audio/device_choice.h"
#include "design/designers.h"
#include "design/filter.h"
#include "design/presets.h"
#include "display/drag.h"
#include "display/mapping.h"
#include "engine/noise_filters.h"
#include "files/printable.h"
#include "shell/Soundcardselection.h"
#include "shell/commands.h"
#include "shell/filter_tabs.h"
#include "shell/paint_box.h"
#include "shell/state.h"
#include "shell/toolkit.h"

namespace {

// A path in the working directory.
// A centre line's column, held within the columns a line can stand at.
int held_column(int column) { return std::clamp(column, 1, 512); }

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

// Switches a stage: every given copy of its button shows "ON" in red or
// "OFF" in blue.
void switch_stage(bool& flag, bool on, std::initializer_list<QPushButton*> buttons) {
  flag = on;
  for (QPushButton* button : buttons) show_state(button, on, "ON", "OFF");
}

}  // namespace

TZForm::TZForm(audio::WaveSystem& system, std::filesystem::path folder)
    : settings_folder(std::move(folder)),
      devices(system, *this),
      live(system, transport),
      published(std::make_unique<realtime::Controls>()) {
  create_controls();
  FormCreate();
}

TZForm::~TZForm() {
  live.stop();
  FormDestroy();
}

void TZForm::FormCreate() {
  // The device pair, the chain (gain 1), the gain controls (coarse step 1),
  // the transport and the view start in their start state; what follows
  // comes from the controls.
  gain.gain_position_time = SignalGainBar->value();
  gain.gain_position_freq = SignalGainBar->value();
  view.time_gain = SignalGainBar->value();

  // Every Q handler maps a position p to the level (25 - p) x 0.01; the
  // bandpass starts by the same rule.
  tuning.bp.q_position = 20;
  QTrackBar->setValue(tuning.bp.q_position);
  tuning.bp.q_level = static_cast<float>(25 - QTrackBar->value()) * 0.01f;

  view.ref_position = RefScrollBar->value();
  tuning.var_bp.lo_bin = Lo_BP_Freq_ScrollBar->value();
  tuning.var_bp.hi_bin = Hi_BP_Freq_ScrollBar->value();
  tuning.var_notch.lo_bin = Lo_Notch_Freq_ScrollBar->value();
  tuning.var_notch.hi_bin = Hi_Notch_Freq_ScrollBar->value();
  tuning.var_bp.q_position = QTrackBar2->value();
  tuning.nf1.q_position = QTrackBar3->value();
  tuning.nf2.q_position = QTrackBar4->value();
  tuning.var_notch.q_position = QTrackBar5->value();
  gain.rx_coarse_position = RxCoarseTrackBar->value();
  NoiseReductionBarChange();
  NoiseBlankerBarChange();

  MicInput->setChecked(true);
  // The formats the sound-card dialog tests devices in; the audio thread
  // opens its own devices in the same.
  devices.init_in_headers();
  devices.init_out_headers();
  tuning.bp.centre = 0.035f;
  tuning.nf1.centre = 0.035f;
  tuning.nf2.centre = 0.035f;

  // The bandpass and the notches start designed around 413 to 469 Hz; their
  // edges stay 0 until a preset or width is chosen.
  const design::Edges start_band{0.0375f, 0.0425f};
  design::design_bandpass(start_band, tuning.bp.q_level, chain.bp.filter);
  design::design_notch(start_band, tuning.nf1.q_level, chain.nf1.filter);
  design::design_notch(start_band, tuning.nf2.q_level, chain.nf2.filter);

  lay_out_display();

  shell::settings_path = (settings_folder / "ZOduvov.cfg").string();
  read_settings(shell::settings_path);
}

void TZForm::FormDestroy() {
  // The settings folder is made on the first save; a folder that cannot be
  // made fails the save, which says so.
  std::error_code not_made;
  std::filesystem::create_directories(settings_folder, not_made);
  if (const std::optional<std::string> failure = write_settings(shell::settings_path)) {
    shell::show_final_report(QStringLiteral("File Error Message"),
                             QString::fromStdString(*failure));
  }
  // A recording in progress keeps everything recorded, as Stop would: the
  // blocks the passes have handed over first.
  const std::lock_guard files(live.files().mutex());
  live.files().drain_records();
  transport.finish_record_file();
  transport.close_play_file();
}

void TZForm::request_quit() {
  quit_requested = true;
  StartTimer->stop();
  AudioTimer->stop();
  live.stop();
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
}

void TZForm::StartBtnClick() {
  if (quit_requested) return;
  publish_controls();
  live.start();
  AudioTimer->start();
}

void TZForm::StopCycleBtnClick() {
  ++device_changes;
  publish_controls();
}

// Everything the audio thread and the file thread left for the window, in
// the order it happened, then the controls changed since the last look.
void TZForm::AudioTimerTimer() {
  take_reports();
  take_file_events();
  bool drawn = false;
  while (const realtime::PassSnapshot* done = live.passes().front()) {
    drawn = true;
    pass = *done;
    live.passes().release();
    QLabel* const labels[] = {bytes_recorded_aa, bytes_recorded_bb, byte_position_a,
                              byte_position_b};
    for (std::size_t label = 0; label < pass.diagnostics.size(); ++label) {
      if ((pass.diagnostics_written & (1u << label)) != 0) {
        labels[label]->setText(QString::number(pass.diagnostics[label]));
      }
    }
    update_display();
    if (quit_requested) return;
  }
  // The controls go over after each pass drawn, in time for the next pass,
  // and at least five times a second when no pass comes.
  if (!drawn && ++idle_ticks < idle_ticks_per_look) return;
  idle_ticks = 0;
  show_status();
  publish_controls();
}

void TZForm::publish_controls() {
  realtime::Controls next;
  realtime::read_chain(chain, next.chain);
  next.chain.noise_blanker_restarts = restarts.noise_blanker;
  next.chain.lms_restarts = restarts.lms;
  next.chain.auto_notch_restarts = restarts.auto_notch;
  next.chain.noise_reduction_restarts = restarts.noise_reduction;
  {
    const std::lock_guard files(live.files().mutex());
    next.transport =
        realtime::TransportControls{.recording = transport.record_on && transport.record_file_open,
                                    .playing = transport.play_on && transport.play_file_open,
                                    .paused = transport.pause_on,
                                    .plays = plays};
    live.files().set_play(plays, next.transport.playing, devices.in_channels);
  }
  next.devices = realtime::DeviceControls{
      .input_device_id = devices.input_device_id,
      .output_device_id = devices.output_device_id,
      .input_select = devices.input_select,
      .in_channels = devices.in_channels,
      .changes = device_changes,
      .input_releases = devices.reports.releases(audio::Direction::input),
      .output_releases = devices.reports.releases(audio::Direction::output)};
  // A device chosen anew is opened at once.
  const realtime::DeviceControls& before = published->devices;
  if (next.devices.input_device_id != before.input_device_id ||
      next.devices.output_device_id != before.output_device_id ||
      next.devices.input_select != before.input_select ||
      next.devices.in_channels != before.in_channels) {
    next.devices.changes = ++device_changes;
  }
  if (std::memcmp(&next, published.get(), sizeof next) == 0 && live.running()) return;
  *published = next;
  live.controls() = next;
  live.publish_controls();
  live.files().wake();
}

void TZForm::take_reports() {
  realtime::Report entry;
  while (live.reports().pop(entry)) report(entry.caption.data(), entry.text.data());
}

void TZForm::take_file_events() {
  realtime::FileEvent event;
  while (live.files().events().pop(event)) {
    StopBtnClick();
    if (event.kind == realtime::FileEvent::Kind::record_stopped) {
      const files::WaveReport stopped = files::record_report(event.outcome);
      report(stopped.caption, stopped.text);
    }
  }
}

void TZForm::show_status() {
  const realtime::DeviceStatus status = live.status();
  const auto now = std::chrono::steady_clock::now();
  if (status.running && status.input_delivering) input_seen = now;
  QString text;
  if (now - input_seen >= no_input_after && (!status.running || status.input_open)) {
    // Starting or running, no sound has come for a while: from a sound
    // system that answers nothing, a card that is silent, the wrong input.
    text = QStringLiteral("No input: check the sound card and the input select");
  } else if (!status.running) {
    // While a cycle after the first opens its devices, the line keeps what
    // the last one found.
    if (status.cycles > 1) return;
    text = QStringLiteral("Sound starting");
  } else if (!status.output_open) {
    text = QStringLiteral("Output failed, retrying");
  } else if (!status.input_open) {
    text = QStringLiteral("Input failed, retrying");
  } else if (!status.input_delivering) {
    text = QStringLiteral("No input");
  } else {
    // A pass to capture a block and a pass and a quarter to play it, and a
    // linear-phase stage's delay (half its kernel) when one is on.
    const bool stage_on =
        !chain.bypass_on && !chain.low_latency() &&
        (chain.bp.on || chain.var_bp.on || chain.nf1.on || chain.nf2.on || chain.var_notch.on);
    const int in_flight = chain.pass_samples() * 9 / 4 + (stage_on ? design::block_size / 2 : 0);
    const int latency_ms = in_flight * 1000 / static_cast<int>(files::chain_rate);
    text = QStringLiteral("%1 \u2192 %2, %3 ms")
               .arg(QString::fromStdString(audio::device_name(
                        devices.system(), audio::Direction::input, devices.input_device_id)),
                    QString::fromStdString(audio::device_name(
                        devices.system(), audio::Direction::output, devices.output_device_id)))
               .arg(latency_ms);
  }
  if (StatusLabel->text() != text) StatusLabel->setText(text);
}

void TZForm::BypassBtnClick() { set_bypass(!chain.bypass_on); }

void TZForm::set_bypass(bool on) {
  chain.bypass_on = on;
  show_state(BypassBtn, on, "On", "Off");
}

void TZForm::process_messages() { shell::process_messages(); }

void TZForm::wait_for_messages(std::chrono::milliseconds limit) {
  WakeTimer->start(limit);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  WakeTimer->stop();
}

void TZForm::wake() { dispatcher->wakeUp(); }

void TZForm::report(std::string_view caption, std::string_view text) {
  shell::show_report(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                     QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TZForm::update_display() {
  // The window may have moved to a screen of another pixel ratio.
  fit_pictures();
  const display::FiltersOn on{.bp = chain.bp.on,
                              .nf1 = chain.nf1.on,
                              .nf2 = chain.nf2.on,
                              .var_bp = chain.var_bp.on,
                              .var_notch = chain.var_notch.on};
  // The automatic notch's lines go as soon as it is switched off.
  const std::span<const float> notched =
      chain.auto_notch_on ? std::span<const float>(pass.notched).first(pass.notched_count)
                          : std::span<const float>{};
  display::PassExtras extras;
  if (Waterfall1->isChecked() || FilterResponse1->isChecked()) {
    // Bypassed, the chain passes the input as it came.
    const bool through = !chain.bypass_on;
    const std::array<display::StageResponse, display::response_stages> stages{{
        {through && on.bp, &chain.bp.filter},
        {through && on.var_bp, &chain.var_bp.filter},
        {through && on.nf1, &chain.nf1.filter},
        {through && on.nf2, &chain.nf2.filter},
        {through && on.var_notch, &chain.var_notch.filter},
    }};
    response.update(stages);
  }
  if (Waterfall1->isChecked()) {
    extras.waterfall = &waterfall;
    extras.waterfall_image = &waterfall_bitmap;
    extras.passband = &response.db();
  }
  if (FilterResponse1->isChecked()) extras.response = &response.db();
  display::draw_pass(view, spectrum_bitmap, pass.out_samples, pass.raw_samples,
                     display::filter_lines(view, line_positions(), on, notched), extras);
  SpectrumBox->draw(spectrum_bitmap, picture_scale);
  if (extras.waterfall != nullptr) WaterfallBox->draw(waterfall_bitmap, picture_scale);
}

// Passes of 128 samples through minimum-phase stages, or the 1024-sample
// passes through linear-phase ones: the audio thread changes between
// passes, on the open devices.
void TZForm::LowLatency1Click() {
  chain.set_low_latency(LowLatency1->isChecked());
  publish_controls();
}

// The waterfall starts afresh each time it is shown.
void TZForm::Waterfall1Click() {
  waterfall.clear();
  waterfall_bitmap.fill(display::waterfall_colour(0.0f));
  WaterfallBox->draw(waterfall_bitmap, picture_scale);
  show_waterfall_strip();
}

void TZForm::WaterfallBoxMouseMove(int X) { show_pointer(pointer_column(X), false); }

void TZForm::PictureMouseLeave() { PointerLabel->clear(); }

void TZForm::show_pointer(int X, bool on_spectrum) {
  if (X < 0 || X > 512 || (on_spectrum && view.display_mode != 1)) {
    PointerLabel->clear();
    return;
  }
  const int span = view.spectrum_width;
  QString text = QString("Pointer: %1 Hz").arg(display::column_hz(X, span));
  if (on_spectrum) {
    // Bin 0 is drawn with bin 1's level.
    const int bin = std::max(display::nearest_bin(X, span), 1);
    const float db = display::level_dbfs(view, bin);
    text += QString(", %1 dBFS").arg(static_cast<double>(db), 0, 'f', 1);
  }
  PointerLabel->setText(text);
}

display::LinePositions TZForm::line_positions() const {
  return {.bp_x = centre_columns.bp,
          .nf1_x = centre_columns.nf1,
          .nf2_x = centre_columns.nf2,
          .ref_bin = RefScrollBar->value(),
          .var_bp_lo_bin = tuning.var_bp.lo_bin,
          .var_bp_hi_bin = tuning.var_bp.hi_bin,
          .var_notch_lo_bin = tuning.var_notch.lo_bin,
          .var_notch_hi_bin = tuning.var_notch.hi_bin};
}

// Gain.

void TZForm::RxCoarseTrackBarChange() {
  const std::int32_t c = RxCoarseTrackBar->value();
  gain.rx_coarse_position = c;
  if (const auto step = engine::coarse_step(c)) {
    gain.coarse_gain = step->coarse_gain;
    view.db_scale = step->db_scale;
    view.db_offset = step->db_offset;
  }
  SignalGainBarChange();
}

void TZForm::SignalGainBarChange() {
  const std::int32_t p = SignalGainBar->value();
  chain.signal_gain = engine::fine_gain(p, gain.coarse_gain);
  if (view.display_mode == 2) {
    gain.gain_position_time = p;
    view.time_gain = p;
  } else {
    gain.gain_position_freq = p;
    view.spectrum_gain = static_cast<float>(p * p);
  }
}

// Noise filters. The visible buttons on the Noise tab update both copies;
// the older hidden buttons only their own.

void TZForm::LMSFilterBtn2Click() { set_lms(!chain.lms_on, {LMSFilterBtn, LMSFilterBtn2}); }

void TZForm::LMSFilterBtnClick() { set_lms(!chain.lms_on, {LMSFilterBtn}); }

void TZForm::set_lms(bool on, std::initializer_list<QPushButton*> buttons) {
  // Switched on, adaptation starts again from nothing.
  if (on && !chain.lms_on) ++restarts.lms;
  switch_stage(chain.lms_on, on, buttons);
}

void TZForm::MedianFltrBtn2Click() {
  set_median(!chain.median_on, {MedianFltrBtn, MedianFltrBtn2});
}

void TZForm::MedianFltrBtnClick() { set_median(!chain.median_on, {MedianFltrBtn}); }

void TZForm::set_median(bool on, std::initializer_list<QPushButton*> buttons) {
  switch_stage(chain.median_on, on, buttons);
}

// The noise blanker, the automatic notch and the noise reduction start again
// from nothing when switched on, so that they act on what comes next as
// tonewell-filter's do on a file.

void TZForm::NoiseBlankerBtnClick() { set_noise_blanker(!chain.noise_blanker_on); }

void TZForm::set_noise_blanker(bool on) {
  if (on && !chain.noise_blanker_on) ++restarts.noise_blanker;
  switch_stage(chain.noise_blanker_on, on, {NoiseBlankerBtn});
}

// The threshold acts at once, on or off.
void TZForm::NoiseBlankerBarChange() { chain.noise_blanker.set_level(NoiseBlankerBar->value()); }

void TZForm::AutoNotchBtnClick() { set_auto_notch(!chain.auto_notch_on); }

void TZForm::set_auto_notch(bool on) {
  if (on && !chain.auto_notch_on) ++restarts.auto_notch;
  switch_stage(chain.auto_notch_on, on, {AutoNotchBtn});
}

void TZForm::NoiseReductionBtnClick() { set_noise_reduction(!chain.noise_reduction_on); }

void TZForm::set_noise_reduction(bool on) {
  if (on && !chain.noise_reduction_on) ++restarts.noise_reduction;
  switch_stage(chain.noise_reduction_on, on, {NoiseReductionBtn});
}

// The strength acts at once, on or off.
void TZForm::NoiseReductionBarChange() {
  chain.noise_reduction.set_strength(NoiseReductionBar->value());
}

// The transform-domain filters' switches. Both copies of a button fire the
// same handler, which relabels both. Nothing is designed here: every
// control change keeps the designs current whether a stage is on or off.

void TZForm::set_filter_on(const shell::FilterBinding& filter, bool on) {
  bool& flag = (chain.*filter.stage).on;
  if (filter.hidden_enable == nullptr) {
    switch_stage(flag, on, {this->*filter.enable});
  } else {
    switch_stage(flag, on, {this->*filter.hidden_enable, this->*filter.enable});
  }
}

void TZForm::BandPassBtnClick() { set_filter_on(shell::bandpass, !chain.bp.on); }

void TZForm::NF1BtnClick() { set_filter_on(shell::notch1, !chain.nf1.on); }

void TZForm::NF2BtnClick() { set_filter_on(shell::notch2, !chain.nf2.on); }

void TZForm::VarFltrBtnClick() { set_filter_on(shell::var_bandpass, !chain.var_bp.on); }

void TZForm::VarNF2BtnClick() { set_filter_on(shell::var_notch, !chain.var_notch.on); }

// Width lists: each box drives its filter with its own item.

void TZForm::choose_width(const QComboBox* box) {
  for (const shell::WidthList& list : shell::width_lists) {
    if (this->*list.box != box) continue;
    design::CentredControls& controls = tuning.*list.controls;
    controls.width_index = box->currentIndex();
    list.design(controls, (chain.*list.stage).filter);
  }
}

void TZForm::BPComboBox2Change() { choose_width(BPComboBox2); }

void TZForm::BPComboBoxChange() { choose_width(BPComboBox); }

void TZForm::NF1ComboBox2Change() { choose_width(NF1ComboBox2); }

void TZForm::NF1ComboBoxChange() { choose_width(NF1ComboBox); }

void TZForm::NF2ComboBox2Change() { choose_width(NF2ComboBox2); }

void TZForm::NF2ComboBoxChange() { choose_width(NF2ComboBox); }

// Q bars: each stores its position, sets its filter's level and designs the
// filter again with its current edges. The variable filters design through
// their lower edge bar's handler, which also rewrites the width memo.

void TZForm::QTrackBarChange() {
  design::set_bandpass_q(tuning.bp, QTrackBar->value(), chain.bp.filter);
}

void TZForm::QTrackBar2Change() {
  design::set_variable_q(tuning.var_bp, QTrackBar2->value());
  Lo_BP_Freq_ScrollBarChange();
}

void TZForm::QTrackBar3Change() {
  design::set_notch_q(tuning.nf1, QTrackBar3->value(), chain.nf1.filter);
}

void TZForm::QTrackBar4Change() {
  design::set_notch_q(tuning.nf2, QTrackBar4->value(), chain.nf2.filter);
}

void TZForm::QTrackBar5Change() {
  design::set_variable_q(tuning.var_notch, QTrackBar5->value());
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

void TZForm::show_width(QLineEdit* memo, std::int32_t lo, std::int32_t hi) {
  memo->setText(QString::number(design::var_width_hz(lo, hi)) + " Hz");
}

void TZForm::design_var_bandpass_from_bars() {
  const std::int32_t lo = Lo_BP_Freq_ScrollBar->value();
  const std::int32_t hi = Hi_BP_Freq_ScrollBar->value();
  design::design_var_bandpass_at(tuning.var_bp, lo, hi, chain.var_bp.filter);
  show_width(VarFilterMemo, lo, hi);
}

void TZForm::design_var_notch_from_bars() {
  const std::int32_t lo = Lo_Notch_Freq_ScrollBar->value();
  const std::int32_t hi = Hi_Notch_Freq_ScrollBar->value();
  design::design_var_notch_at(tuning.var_notch, lo, hi, chain.var_notch.filter);
  show_width(VarNotchFilterMemo, lo, hi);
}

// The sound-card dialog, modeless: the window and the cycle run on.

void TZForm::InputSoundCardClick() {
  SoundCardSelect->select_output = 0;
  SoundCardSelect->show_for_selection();
}

void TZForm::OutputSoundCardClick() {
  SoundCardSelect->select_output = 1;
  SoundCardSelect->show_for_selection();
}

// Input select. The values take effect when the cycle next opens the input,
// so a running cycle is ended: the start timer runs it again 50 ms later on
// the input reopened in the new format. (Carrying on would read the open
// mono stream as stereo, or the other way round, and play it garbled.) A
// pass always works on 1024 mono samples, taken from the chosen channel of a
// stereo input.

void TZForm::MicInputClick() {
  devices.in_sample_rate = files::chain_rate;
  select_input(1, MicInput, 1);
}

void TZForm::LeftInputClick() { select_input(2, LeftInput, 2); }

void TZForm::RightInputClick() { select_input(3, RightInput, 2); }

void TZForm::select_input(std::int32_t input, QAction* item, std::uint16_t channels) {
  devices.input_select = input;
  for (QAction* action : {MicInput, LeftInput, RightInput}) action->setChecked(action == item);
  devices.set_input_channels(channels);
  // The sound-card dialog tests devices in these formats.
  devices.init_in_headers();
  devices.reports.release(audio::Direction::input);
}

// What the display shows. Each button flips or cycles its setting and
// relabels itself; the next pass draws accordingly.

void TZForm::DisplayBtnClick() { set_time_view(view.display_mode != 2); }

void TZForm::set_time_view(bool time) {
  view.display_mode = time ? 2 : 1;
  show_state(DisplayBtn, time, "Time", "Freq");
  // The gain bar is shared by both views and remembers a position for each.
  SignalGainBar->setValue(time ? gain.gain_position_time : gain.gain_position_freq);
}

void TZForm::DataBtnClick() { set_display_filtered(!view.display_filtered); }

void TZForm::set_display_filtered(bool filtered) {
  view.display_filtered = filtered;
  show_state(DataBtn, filtered, "Filter", "Raw");
}

void TZForm::SpectrumTypeBtnClick() { set_spectrum_bars(!view.spectrum_bars); }

void TZForm::set_spectrum_bars(bool bars) {
  view.spectrum_bars = bars;
  show_state(SpectrumTypeBtn, bars, "BAR", "LINE");
}

void TZForm::SpectrumWidthBtnClick() {
  if (const std::optional<int> span = display::next_span(view.spectrum_width)) set_span(*span);
}

void TZForm::set_span(std::int32_t span) {
  view.spectrum_width = span;
  SpectrumWidthBtn->setText(QString::fromLatin1(display::span_caption(span)));
  HiFreqLabel->setText(QString::fromLatin1(display::span_top_frequency(span)));
  place_centre_lines();
}

// A centre beyond the span shown stands at its last column.
void TZForm::place_centre_lines() {
  const auto column = [this](float centre) {
    return held_column(display::centre_column(centre, view.spectrum_width));
  };
  centre_columns = {column(tuning.bp.centre), column(tuning.nf1.centre), column(tuning.nf2.centre)};
}

// Filter lines shown or hidden: the check box and the tab button of each
// group do the same and both show the result.

void TZForm::set_lines_shown(const shell::LineSwitch& lines, bool shown) {
  view.*lines.shown = shown;
  for (bool display::View::*follower : lines.followers) {
    if (follower != nullptr) view.*follower = shown;
  }
  show_state(this->*lines.button, shown, "On", "Off");
  (this->*lines.box)->setChecked(shown);
}

void TZForm::BPFltrClick() { set_lines_shown(shell::bp_lines, !view.bp_line_on); }

void TZForm::DisplayBPBtnClick() { BPFltrClick(); }

void TZForm::NF1FltrClick() { set_lines_shown(shell::nf1_lines, !view.nf1_line_on); }

void TZForm::DisplayNF1BtnClick() { NF1FltrClick(); }

void TZForm::NF2FltrClick() { set_lines_shown(shell::nf2_lines, !view.nf2_line_on); }

void TZForm::DisplayNF2BtnClick() { NF2FltrClick(); }

void TZForm::LoVarFltrClick() { set_lines_shown(shell::var_bp_lines, !view.var_bp_lo_line_on); }

void TZForm::DisplayVarBPBtnClick() { LoVarFltrClick(); }

void TZForm::VarNotchFltrClick() {
  set_lines_shown(shell::var_notch_lines, !view.var_notch_line_on);
}

void TZForm::DisplayVarNFBtnClick() { VarNotchFltrClick(); }

void TZForm::RefLineClick() { set_lines_shown(shell::ref_lines, !view.ref_line_on); }

void TZForm::DisplayRefBtnClick() { RefLineClick(); }

// The reference line moves only while it is shown; a hidden one snaps back.
void TZForm::RefScrollBarChange() {
  if (view.ref_line_on) {
    view.ref_position = RefScrollBar->value();
    RefFreqLabel->setText(QString::number(display::reference_hz(view.ref_position)) + " Hz");
  } else {
    RefScrollBar->setValue(view.ref_position);
  }
}

// The readout follows the pointer. Dragging lines: with the left button
// down, the first line in order that the pointer catches follows it: the
// centre lines by their columns (designed on release), the variable edges
// and the reference by their scroll bars, whose handlers act at once.
// The pointer is taken at its column, so the catch margins cover the same
// share of the span at any size.
void TZForm::SpectrumBoxMouseMove(Qt::MouseButtons buttons, int pointer_x, int) {
  const int X = pointer_column(pointer_x);
  show_pointer(X, true);
  if (!buttons.testFlag(Qt::LeftButton)) return;
  const int span = view.spectrum_width;
  const display::LinePositions at = line_positions();
  const std::array<display::LineUnderPointer, display::drag_line_count> lines{{
      {at.bp_x, view.bp_line_on},
      {at.nf1_x, view.nf1_line_on},
      {at.nf2_x, view.nf2_line_on},
      {display::bin_column(at.var_bp_lo_bin, span), view.var_bp_lo_line_on},
      {display::bin_column(at.var_bp_hi_bin, span), view.var_bp_hi_line_on},
      {display::bin_column(at.var_notch_lo_bin, span), view.var_notch_lo_line_on},
      {display::bin_column(at.var_notch_hi_bin, span), view.var_notch_hi_line_on},
      {display::bin_column(at.ref_bin, span), view.ref_line_on},
  }};
  const std::optional<display::DragLine> caught = display::line_at(view, lines, X);
  if (!caught) return;
  const int bin = display::column_bin(X, span);
  switch (*caught) {
    case display::DragLine::bandpass:
      centre_columns.bp = held_column(X);
      break;
    case display::DragLine::notch1:
      centre_columns.nf1 = held_column(X);
      break;
    case display::DragLine::notch2:
      centre_columns.nf2 = held_column(X);
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
  display::hold_line(view, *caught);
}

// Any button released: a filter whose stored position equals the pointer's
// column X is designed at it, whether or not its line was dragged or is
// shown; then every line is free again.
void TZForm::SpectrumBoxMouseUp(Qt::MouseButton, int pointer_x, int) {
  const int X = pointer_column(pointer_x);
  const std::optional<float> centre = display::column_centre(X, view.spectrum_width);
  if (X == centre_columns.bp) {
    if (centre) tuning.bp.centre = *centre;
    design::design_bandpass_at_centre(tuning.bp, chain.bp.filter);
  }
  if (X == centre_columns.nf1) {
    if (centre) tuning.nf1.centre = *centre;
    design::design_notch_at_centre(tuning.nf1, chain.nf1.filter);
  }
  if (X == centre_columns.nf2) {
    if (centre) tuning.nf2.centre = *centre;
    design::design_notch_at_centre(tuning.nf2, chain.nf2.filter);
  }
  if (X == tuning.var_bp.lo_bin) Lo_BP_Freq_ScrollBarChange();
  if (X == tuning.var_bp.hi_bin) Hi_BP_Freq_ScrollBarChange();
  if (X == tuning.var_notch.lo_bin) Lo_Notch_Freq_ScrollBarChange();
  if (X == tuning.var_notch.hi_bin) Hi_Notch_Freq_ScrollBarChange();
  display::release_lines(view);
}

// WAV files. The dialogs ask for a path; open_wave and save_wave do the
// rest, so that they can also be driven without a dialog.

// The dialogs are window-modal and return at once: the cycle runs on while
// they are open, and a chosen file is taken up when they close. Until then
// (and for good when a dialog is cancelled, or the file chosen is refused)
// the files in use stay as they are: a play goes on, and so does a
// recording.
void TZForm::LoadWaveClick() { open_wave_dialog()->open(); }

void TZForm::open_wave(const std::string& path) {
  const std::lock_guard files(live.files().mutex());
  if (const auto refusal = transport.open_play_file(path)) {
    report(refusal->caption, refusal->text);
  } else if (transport.play_warning) {
    report("File Error Message", files::printable_name(path) + ": " + *transport.play_warning);
  }
}

void TZForm::SaveWaveClick() { save_wave_dialog()->open(); }

void TZForm::save_wave(const std::string& path) {
  const std::lock_guard files(live.files().mutex());
  live.files().drain_records();
  std::string why;
  if (!transport.create_record_file(path, &why)) {
    report("File Error Message",
           "Could not open the Wave file " + files::printable_name(path) + ": " + why);
  }
}

// The transport. A button shows its state by its caption's colour alone:
// red engaged, blue not.

void TZForm::RecordBtnClick() {
  if (!transport.record_file_open) {
    report("Record Error", "No output file has been specified");
    return;
  }
  if (!transport.record_on) {
    transport.record_on = true;
    transport.transport_idle = false;
    shell::set_font_color(RecordBtn, shell::engaged_color);
    shell::set_font_color(StopBtn, shell::idle_color);
  } else {
    transport.record_on = false;
    shell::set_font_color(RecordBtn, shell::idle_color);
    StopBtnClick();
  }
}

void TZForm::PlayBtnClick() {
  if (!transport.play_file_open) {
    report("Play Error", "No input file has been specified");
    return;
  }
  if (!transport.play_on) {
    transport.play_on = true;
    transport.transport_idle = false;
    transport.pause_on = false;
    shell::set_font_color(PlayBtn, shell::engaged_color);
    shell::set_font_color(StopBtn, shell::idle_color);
    // The passes take up the file from its first block on, once the file
    // thread has read it.
    ++plays;
    publish_controls();
  } else {
    transport.play_on = false;
    shell::set_font_color(PlayBtn, shell::idle_color);
    StopBtnClick();
  }
}

void TZForm::StopBtnClick() {
  if (transport.transport_idle) return;
  transport.transport_idle = true;
  transport.record_on = false;
  transport.play_on = false;
  transport.pause_on = false;
  shell::set_font_color(StopBtn, shell::engaged_color);
  for (QPushButton* button : {PlayBtn, RecordBtn, PauseBtn}) {
    shell::set_font_color(button, shell::idle_color);
  }
  ++plays;
  {
    // What the passes handed over before the stop is the recording's end.
    const std::lock_guard files(live.files().mutex());
    live.files().drain_records();
    transport.finish_record_file();
    transport.close_play_file();
  }
  publish_controls();
}

void TZForm::PauseBtnClick() {
  if (transport.transport_idle) return;
  transport.pause_on = !transport.pause_on;
  shell::set_font_color(PauseBtn, transport.pause_on ? shell::engaged_color : shell::idle_color);
}

bool TZForm::event(QEvent* event) {
  // The focused control is asked first whether it keeps a key that is some
  // shortcut's; unanswered, the question comes on to the window.
  if (event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::Key_Space)) {
    const QWidget* focused = QApplication::focusWidget();
    if (qobject_cast<const QAbstractButton*>(focused) || qobject_cast<const QComboBox*>(focused)) {
      event->accept();
      return true;
    }
  }
  const bool handled = QMainWindow::event(event);
  // Shown by the program, its frame now known, the window fits the screen.
  if (event->type() == QEvent::Show && !event->spontaneous()) {
    resize(size().boundedTo(room()));
    keep_on_screen();
  }
  return handled;
}

// Menu commands and the volume button.

void TZForm::HelpMenu1Click() {
  // A document no viewer opened is named, for the user to open by hand.
  QString unopened;
  for (const QString& path :
       shell::help_documents(QDir::currentPath(), QCoreApplication::applicationDirPath())) {
    if (!QFileInfo::exists(path)) continue;
    if (shell::open_url(QUrl::fromLocalFile(path))) return;
    if (unopened.isEmpty()) unopened = path;
  }
  QString text = QStringLiteral("Could not run the help application");
  if (!unopened.isEmpty()) text += QStringLiteral("\nThe manual is at ") + unopened;
  shell::show_report(QStringLiteral("Tonewell"), text);
}

void TZForm::About1Click() {
  shell::show_report(
      QStringLiteral("About Tonewell"),
      QStringLiteral("Tonewell receiver audio filter\n             Version " TONEWELL_VERSION
                     "\n\nFree software under the GNU General Public License, version 3 or "
                     "later (GPL-3.0-or-later), with no warranty."));
}

void TZForm::BitBtn1Click() {
  if (const std::optional<shell::Command> mixer = shell::volume_control()) {
    QProcess::startDetached(mixer->program, mixer->arguments);
    return;
  }
  if (no_mixer_reported) return;
  no_mixer_reported = true;
  shell::show_report(QStringLiteral("Tonewell"),
                     QStringLiteral("No volume control found: looked for pavucontrol, pwvucontrol "
                                    "and alsamixer (with x-terminal-emulator)."));
}
