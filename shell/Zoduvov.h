// The main window: every control of the program, visible and hidden, its
// handlers, and the window services the processing cycle runs on.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/device_pair.h"
#include "design/controls.h"
#include "display/response.h"
#include "display/view.h"
#include "display/waterfall.h"
#include "engine/filter_chain.h"
#include "engine/gain.h"
#include "files/settings_format.h"
#include "files/transport.h"
#include "realtime/audio_thread.h"

class QAbstractEventDispatcher;
class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QSettings;
class QSlider;
class QTabWidget;
class QTimer;
class PaintBox;

namespace shell {
struct FilterBinding;
struct LineSwitch;
}  // namespace shell

class TZForm : public QMainWindow, public audio::WaveHost {
 public:
  // The window over the wave devices of `system`, which must outlive it,
  // with its settings files in `folder`.
  explicit TZForm(audio::WaveSystem& system,
                  std::filesystem::path folder = std::filesystem::current_path());
  ~TZForm() override;

  // Window events.
  void FormCreate();
  void FormDestroy();
  void FormClose();

  // Transport ("File" group).
  void RecordBtnClick();
  void PlayBtnClick();
  void StopBtnClick();
  void PauseBtnClick();

  // Display and its buttons ("Screen" group).
  void SpectrumBoxMouseMove(Qt::MouseButtons buttons, int X, int Y);
  void SpectrumBoxMouseUp(Qt::MouseButton button, int X, int Y);
  void RefScrollBarChange();
  void SpectrumWidthBtnClick();
  void SpectrumTypeBtnClick();
  void DataBtnClick();
  void DisplayBtnClick();
  // The pointer over the waterfall, and leaving either picture.
  void WaterfallBoxMouseMove(int X);
  void PictureMouseLeave();

  // "Audio" and "Input" groups.
  void BypassBtnClick();
  void BitBtn1Click();
  void SignalGainBarChange();
  void RxCoarseTrackBarChange();

  // Filter tabs and their hidden twins.
  void DisplayBPBtnClick();
  void BandPassBtnClick();
  void BPComboBox2Change();
  void BPComboBoxChange();
  void QTrackBarChange();
  void QTrackBar10Change();
  void DisplayVarBPBtnClick();
  void VarFltrBtnClick();
  void QTrackBar2Change();
  void DisplayNF1BtnClick();
  void NF1BtnClick();
  void NF1ComboBox2Change();
  void NF1ComboBoxChange();
  void QTrackBar3Change();
  void DisplayNF2BtnClick();
  void NF2BtnClick();
  void NF2ComboBox2Change();
  void NF2ComboBoxChange();
  void QTrackBar4Change();
  void DisplayVarNFBtnClick();
  void VarNF2BtnClick();
  void QTrackBar5Change();
  void LMSFilterBtn2Click();
  void LMSFilterBtnClick();
  void MedianFltrBtn2Click();
  void MedianFltrBtnClick();
  void NoiseBlankerBtnClick();
  void NoiseBlankerBarChange();
  void AutoNotchBtnClick();
  void NoiseReductionBtnClick();
  void NoiseReductionBarChange();
  void DisplayRefBtnClick();
  void Lo_BP_Freq_ScrollBarChange();
  void Hi_BP_Freq_ScrollBarChange();
  void Lo_Notch_Freq_ScrollBarChange();
  void Hi_Notch_Freq_ScrollBarChange();

  // "Display Filter Lines" check boxes.
  void NF1FltrClick();
  void NF2FltrClick();
  void BPFltrClick();
  void LoVarFltrClick();
  void VarNotchFltrClick();
  void RefLineClick();

  // The processing cycle, on the audio thread: started by the start timer,
  // ended (to start again 50 ms later on the devices chosen now) by
  // StopCycleBtnClick, followed by the audio timer.
  void StartBtnClick();
  void StopCycleBtnClick();
  void StartTimerTimer();
  void AudioTimerTimer();

  // Menu commands.
  void LoadWaveClick();
  void SaveWaveClick();
  void Quit1Click();
  void InputSoundCardClick();
  void OutputSoundCardClick();
  void MicInputClick();
  void LeftInputClick();
  void RightInputClick();
  void LowLatency1Click();
  void Waterfall1Click();
  void HelpMenu1Click();
  void About1Click();

  // The file commands without their dialogs: open `path` for playback, or
  // create it for recording, with the reports of the commands.
  void open_wave(const std::string& path);
  void save_wave(const std::string& path);

  // The settings file: read and applied through the switches' setters and
  // the bars' and lists' handlers (created from the current values when
  // missing), or written. The device
  // names are kept beside it, in the program's own settings file; reading
  // finds the saved devices by name. Writing returns why the settings could
  // not be saved, if they could not.
  void read_settings(const std::string& path);
  std::optional<std::string> write_settings(const std::string& path);

  // Window services of the device layer's queries (the sound-card dialog's
  // device tests).
  void process_messages() override;
  void wait_for_messages(std::chrono::milliseconds limit) override;
  void wake() override;
  void report(std::string_view caption, std::string_view text) override;

  // Draws `pass`, the pass the audio thread finished last.
  virtual void update_display();

  // Visible controls, top band.
  QGroupBox* GroupBox1;
  QPushButton* RecordBtn;
  QPushButton* PlayBtn;
  QPushButton* StopBtn;
  QPushButton* PauseBtn;
  QFrame* BasePanel;
  QFrame* DisplayPanel;
  PaintBox* SpectrumBox;
  // The waterfall, under the spectrum while View -> Waterfall is checked.
  QFrame* WaterfallPanel;
  PaintBox* WaterfallBox;
  QFrame* TextPanel;
  QLabel* LoFreqLabel;
  QLabel* HiFreqLabel;
  QLabel* RefLabel;
  QLabel* RefFreqLabel;
  QScrollBar* RefScrollBar;
  QGroupBox* GroupBox2;
  QPushButton* SpectrumWidthBtn;
  QPushButton* SpectrumTypeBtn;
  QPushButton* DataBtn;
  QPushButton* DisplayBtn;
  QGroupBox* GroupBox9;
  // The frequency (and on the spectrum the level) under the pointer.
  QLabel* PointerLabel;
  // The devices' state: their names and the latency, or what fails.
  QLabel* StatusLabel;

  // Visible controls, bottom band.
  QGroupBox* GroupBox3;
  QPushButton* BypassBtn;
  QPushButton* BitBtn1;
  QGroupBox* GroupBox8;
  QTabWidget* FilterControl;
  QWidget* BP1Tab;
  QPushButton* DisplayBPBtn;
  QPushButton* BandPassBtn2;
  QComboBox* BPComboBox2;
  QSlider* QTrackBar;
  QWidget* VarBPTab;
  QPushButton* DisplayVarBPBtn;
  QPushButton* VarFltrBtn2;
  QLineEdit* VarFilterMemo;
  QSlider* QTrackBar2;
  QWidget* NF1Tab;
  QPushButton* DisplayNF1Btn;
  QPushButton* NF1Btn2;
  QComboBox* NF1ComboBox2;
  QSlider* QTrackBar3;
  QWidget* NF2Tab;
  QPushButton* DisplayNF2Btn;
  QPushButton* NF2Btn2;
  QComboBox* NF2ComboBox2;
  QSlider* QTrackBar4;
  QWidget* VarNFTab;
  QPushButton* DisplayVarNFBtn;
  QPushButton* VarNF2Btn;
  QLineEdit* VarNotchFilterMemo;
  QSlider* QTrackBar5;
  QWidget* NoiseTab;
  QPushButton* LMSFilterBtn2;
  QPushButton* MedianFltrBtn2;
  QPushButton* AutoNotchBtn;
  QPushButton* NoiseReductionBtn;
  QSlider* NoiseReductionBar;
  QPushButton* NoiseBlankerBtn;
  QSlider* NoiseBlankerBar;
  QWidget* RefTab;
  QPushButton* DisplayRefBtn;
  QGroupBox* GroupBox4;
  QSlider* SignalGainBar;
  QSlider* RxCoarseTrackBar;

  // Controls outside the client area: real widgets, never shown, that keep
  // their values and fire their handlers when set from code.
  QWidget* HiddenControls;
  QLabel* Label35;
  QLabel* bytes_recorded_aa;
  QLabel* Label36;
  QLabel* bytes_recorded_bb;
  QLabel* Label37;
  QLabel* byte_position_a;
  QLabel* Label43;
  QLabel* byte_position_b;
  QGroupBox* BandPass;
  QComboBox* BPComboBox;
  QPushButton* BandPassBtn;
  QGroupBox* NotchFilter1;
  QComboBox* NF1ComboBox;
  QPushButton* NF1Btn;
  QGroupBox* NotchFilter2;
  QComboBox* NF2ComboBox;
  QPushButton* NF2Btn;
  QGroupBox* GroupBox7;
  QPushButton* VarFltrBtn;
  QLineEdit* VarFilterMemo2;
  QGroupBox* GroupBox5;
  QSlider* QTrackBar10;
  QGroupBox* NoiseFilters;
  QPushButton* LMSFilterBtn;
  QPushButton* MedianFltrBtn;
  QGroupBox* GroupBox6;
  QCheckBox* NF1Fltr;
  QCheckBox* NF2Fltr;
  QCheckBox* BPFltr;
  QCheckBox* LoVarFltr;
  QCheckBox* VarNotchFltr;
  QCheckBox* RefLine;
  QPushButton* StartBtn;
  QPushButton* StopCycleBtn;
  QScrollBar* Lo_BP_Freq_ScrollBar;
  QScrollBar* Hi_BP_Freq_ScrollBar;
  QScrollBar* Lo_Notch_Freq_ScrollBar;
  QScrollBar* Hi_Notch_Freq_ScrollBar;

  // Main menu.
  QMenu* File1;
  QAction* LoadWave;
  QAction* SaveWave;
  QAction* N1;
  QAction* Quit1;
  QMenu* Options1;
  QMenu* SoundCard1;
  QAction* InputSoundCard;
  QAction* OutputSoundCard;
  QMenu* InputSelect1;
  QAction* MicInput;
  QMenu* Left1;
  QAction* LeftInput;
  QAction* RightInput;
  QAction* LowLatency1;
  QMenu* View1;
  QAction* Waterfall1;
  QAction* FilterResponse1;
  QMenu* Help1;
  QAction* HelpMenu1;
  QAction* About1;

  // Non-visual components.
  QTimer* StartTimer;
  // Takes what the audio thread has left for the window: passes to draw,
  // reports, the file thread's requests, the devices' state.
  QTimer* AudioTimer;
  // Bounds a sleep of wait_for_messages; its timeout does nothing else.
  QTimer* WakeTimer;
  // Made at their first opening (they list a folder and load the style's
  // icons), then kept with the folder they were left in.
  QFileDialog* OpenWaveDialog = nullptr;
  QFileDialog* SaveWaveDialog = nullptr;

  // How long the status line waits for input before it says there is none.
  std::chrono::milliseconds no_input_after{2000};
  // The folder of ZOduvov.cfg and tonewell.ini.
  std::filesystem::path settings_folder;
  // What the window's controls drive, each owned here and passed to those
  // that work on it.
  audio::DevicePair devices;
  engine::FilterChain chain;
  design::Tuning tuning;
  engine::GainControls gain;
  files::Transport transport;
  display::View view;
  // The columns of the bandpass's and the notches' centre lines in the span
  // shown (1..512): placed at their filters' centres, moved by dragging.
  struct CentreColumns {
    int bp = 128;
    int nf1 = 1;
    int nf2 = 1;
  } centre_columns;
  // The sound: the audio thread, its file thread and their queues.
  realtime::AudioThread live;
  // The pass drawn by update_display.
  realtime::PassSnapshot pass;
  // Times each noise filter was switched on: the audio thread starts it
  // again from nothing at each.
  struct Restarts {
    std::uint32_t noise_blanker = 0;
    std::uint32_t lms = 0;
    std::uint32_t auto_notch = 0;
    std::uint32_t noise_reduction = 0;
  } restarts;
  // Kept from the settings file and written back unchanged (saved).
  std::int32_t settings_reserved = 0;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // The display takes what the window grows by.
  void resizeEvent(QResizeEvent* event) override;
  // Space is the window's key for Pause, except while the focused control
  // takes Space itself: a button presses, a list opens. Once shown, the
  // window fits its screen's free area.
  bool event(QEvent* event) override;

 private:
  // Builds every control with its caption, range, start value and handler,
  // a group at a time in the order they are stacked: the groups of the top
  // band, those of the bottom band, the hidden controls, the menus, the
  // timers and the file dialogs.
  void create_controls();
  void create_transport(QWidget* client);
  void create_display(QWidget* client);
  void create_screen_group(QWidget* client);
  void create_pointer_line(QWidget* client);
  void create_audio_group(QWidget* client);
  void create_filter_tabs(QWidget* client);
  // A filter's tab from its row, its controls appended to `order` as Tab
  // walks them.
  void add_filter_tab(const shell::FilterBinding& filter, std::vector<QWidget*>& order);
  void create_noise_tab(std::vector<QWidget*>& order);
  void create_input_group(QWidget* client);
  void create_hidden_controls();
  // The handlers of the controls both the tabs and the hidden controls have.
  void connect_twins();
  void create_menus();
  void create_timers();
  QFileDialog* open_wave_dialog();
  QFileDialog* save_wave_dialog();

  // Quit and FormClose: stop the cycle and end the application's loop.
  void request_quit();

  // The controls as the audio thread must have them, handed over when
  // they changed.
  void publish_controls();
  // What the file thread asks of the window, and the audio thread's
  // reports.
  void take_file_events();
  void take_reports();
  // The status line for the devices' state now.
  void show_status();
  // When input last arrived (or the window was made).
  std::chrono::steady_clock::time_point input_seen = std::chrono::steady_clock::now();

  // The switches, set as the click handlers and the settings reader set
  // them: each relabels its buttons (of the noise filters, the copies
  // given) and its check box.
  void set_bypass(bool on);
  void set_time_view(bool time);
  void set_display_filtered(bool filtered);
  void set_spectrum_bars(bool bars);
  // The display's span (1 full, 2 half, 4 quarter) and the centre lines
  // moved to their columns in it.
  void set_span(std::int32_t span);
  // The noise blanker, the LMS filter, the automatic notch and the noise
  // reduction start again from nothing when switched on from off.
  void set_lms(bool on, std::initializer_list<QPushButton*> buttons);
  void set_median(bool on, std::initializer_list<QPushButton*> buttons);
  void set_noise_blanker(bool on);
  void set_auto_notch(bool on);
  void set_noise_reduction(bool on);
  void set_filter_on(const shell::FilterBinding& filter, bool on);
  void set_lines_shown(const shell::LineSwitch& lines, bool shown);

  // A width list's item chosen: its filter designed for it.
  void choose_width(const QComboBox* box);

  // Input select: the input, the check mark on `item` alone, and the input
  // format for `channels`; the cycle is stopped.
  void select_input(std::int32_t input, QAction* item, std::uint16_t channels);

  // A variable filter's width, shown in its memo.
  static void show_width(QLineEdit* memo, std::int32_t lo, std::int32_t hi);

  // Design a variable filter from its two bars and show its width.
  void design_var_bandpass_from_bars();
  void design_var_notch_from_bars();

  // Where the filter lines stand now: the centre lines at their columns,
  // the variable filters' edges and the reference at their bins.
  display::LinePositions line_positions() const;
  // The centre lines at their filters' centres in the span shown.
  void place_centre_lines();

  // The settings as the program holds them now, and their application.
  files::Settings current_settings() const;
  void apply_settings(const files::Settings& settings);
  // The controls placed where the tuning of `settings` stands, the gain
  // bars' handlers run.
  void show_tuning(const files::Settings& settings);
  // The saved devices found by the names kept in the program's own settings.
  void find_saved_devices(const QSettings& ini);
  // The automatic notch and the noise reduction as the program's own
  // settings keep them: a filter is off, and the strength bar at its start,
  // when the file is missing or damaged or its value is not one the
  // controls offer.
  void restore_noise_filters(const QSettings& ini);
  // The View menu's two checks as the program's own settings keep them:
  // off when the file is missing or damaged or the value is not "true".
  void restore_view(const QSettings& ini);

  // The window's size as its own settings keep it, when it is at least the
  // smallest the window may be and fits the screen; else it stays as it is.
  void restore_size(const QSettings& ini);

  // The size the window may take on its screen: the screen's free area less
  // the window's frame, as far as the frame is known yet.
  QSize room() const;
  // The window in the middle of the screen's free area.
  void centre_on_screen();
  // The window moved into the screen's free area as far as it fits there.
  void keep_on_screen();
  // The window's controls placed for its size and the waterfall shown or
  // not, the strip and the display taking what the window has beyond its
  // start size, or giving up what it lacks.
  void lay_out_display();
  // View -> Waterfall: the window grows by the strip under the spectrum as
  // far as the screen lets it, or shrinks by the strip.
  void show_waterfall_strip();
  // The pictures sized for the display panel and the waterfall strip in
  // device pixels (the display's logical size less the border, times the
  // screen's pixel ratio, as unit_pixel spreads the drawing), made afresh
  // when either size changes.
  void fit_pictures();
  // The drawing's column under the pointer's logical x.
  int pointer_column(int X) const;
  // The pointer's frequency at column `column`, and its level on the
  // spectrum; nothing left of column 0, right of 512, or on the scope trace.
  void show_pointer(int column, bool on_spectrum);

  QImage spectrum_bitmap;  // the display draws here, then copies it to SpectrumBox
  display::Waterfall waterfall;
  QImage waterfall_bitmap;    // the waterfall's rows, copied to WaterfallBox
  qreal picture_scale = 1.0;  // device pixels per logical pixel of both pictures
  display::ResponseCurve response;
  QSize window_size;     // the start size, without the waterfall
  int strip_growth = 0;  // how much the window grew when the waterfall was switched on
  bool quit_requested = false;
  // Volume has said that it found no mixer: it says so once a run.
  bool no_mixer_reported = false;
  // The settings file and the program's own beside it were found to be no
  // regular file at the start (and said so then): they are left as they
  // are at the end.
  bool settings_left_alone = false;
  bool ini_left_alone = false;
  // The window thread's, which wake() may call from any thread.
  QAbstractEventDispatcher* dispatcher = nullptr;
  // Counts the audio thread follows: plays started or ended, device
  // changes.
  std::uint32_t plays = 0;
  std::uint32_t device_changes = 0;
  // The controls handed to the audio thread last.
  std::unique_ptr<realtime::Controls> published;
  // Audio timer ticks since the controls and the status were last looked at.
  int idle_ticks = 0;
  static constexpr int idle_ticks_per_look = 5;
};

// The main window, created by the program entry.
inline TZForm* ZForm = nullptr;
