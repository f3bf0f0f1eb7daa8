// Builds the main window: its controls, their start values and handlers.
//
// The client area is laid out on a 576 x 350 grid and drawn at 5/4 of it,
// 720 x 438 pixels, so that the 513 x 197 display picture fits the display
// panel with one logical pixel per drawing unit. View -> Waterfall opens a
// strip of the same width under the display and moves everything below it
// down; the window grows by the strip as far as the screen's free area
// lets it and shrinks back to the same size.
// The window's size sets the layout: the display takes what the window has
// beyond its start size, the waterfall strip first (up to its 200 rows),
// the groups right of the display move right, those under it move down, the
// filter tabs stay centred between the audio and input groups. A window
// lower than it starts takes the strip down to 60 rows, then the display
// (never lower than the screen group beside it); one narrower than it
// starts takes the display's width, and the input group moves up beside
// the screen group to leave the audio group and the filter tabs the row
// under the pointer line. No group changes its size.

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string_view>
#include <vector>

#include "design/controls.h"
#include "design/presets.h"
#include "display/mapping.h"
#include "display/waterfall.h"
#include "engine/gain.h"
#include "engine/noise_blanker.h"
#include "engine/noise_reduction.h"
#include "shell/Zoduvov.h"
#include "shell/filter_tabs.h"
#include "shell/paint_box.h"
#include "shell/toolkit.h"

namespace {

constexpr int client_width = 720;
constexpr int client_height = 438;
// The waterfall strip, 2 pixels under the display, and the fewest rows it
// shows in a window too low for all of them.
constexpr int strip_gap = 2;
constexpr int fewest_strip_rows = 60;
// Where the controls below the display stand without the waterfall.
constexpr int top_band_height = 252;
constexpr int text_panel_y = 206;
constexpr int ref_bar_y = 232;
constexpr int bottom_band_y = 276;
// The display panel and the columns around it at the start size.
constexpr int base_panel_width = 527;
constexpr QSize display_size{520, 200};
constexpr int screen_group_x = 626;
constexpr int pointer_group_width = 716;
constexpr int tabs_group_x = 108;
constexpr int input_group_x = 614;
constexpr int ref_label_x = 110;
constexpr int ref_hz_x = 322;
constexpr int hi_label_x = 426;
// In a window narrower than at the start: how much more width the display
// gives up to the input group beside the screen group, and the narrowest
// client, where the reference's caption and value still fit between the
// span's edge frequencies.
constexpr int input_column = 106;
constexpr int narrowest_client = 636;
// How far right of its place the reference's value may stand before it
// runs into the top frequency.
constexpr int ref_room = 80;
// The display panel's white border right of and under the picture.
constexpr QSize picture_margin{7, 3};

const QColor navy{0, 0, 128};
const QColor silver{192, 192, 192};

QFont sans_font(int pixels, QFont::Weight weight = QFont::Normal) {
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return font;
}

void fill(QWidget* widget, const QColor& background) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QGroupBox* group(QWidget* parent, const QString& caption, const QRect& at = {}) {
  auto* box = new QGroupBox(caption, parent);
  box->setFont(sans_font(15, QFont::DemiBold));
  shell::set_font_color(box, shell::group_caption_color);
  if (at.isValid()) box->setGeometry(at);
  return box;
}

QFrame* panel(QWidget* parent, const QRect& at, const QColor& background) {
  auto* frame = new QFrame(parent);
  frame->setGeometry(at);
  fill(frame, background);
  shell::set_font_color(frame, Qt::black);
  return frame;
}

QPushButton* button(QWidget* parent, const QString& caption,
                    const QColor& colour = shell::idle_color) {
  auto* b = new QPushButton(caption, parent);
  // Reached with Tab, not taken by a click: a button clicked with the mouse
  // leaves Space to Pause.
  b->setFocusPolicy(Qt::TabFocus);
  b->setFont(sans_font(15));
  shell::set_font_color(b, colour);
  return b;
}

QLabel* label(QWidget* parent, const QString& text,
              const QColor& colour = shell::group_caption_color,
              Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* l = new QLabel(text, parent);
  l->setFont(sans_font(13));
  l->setAlignment(alignment);
  shell::set_font_color(l, colour);
  return l;
}

QSlider* track_bar(QWidget* parent, int min, int max, int position) {
  auto* bar = new QSlider(Qt::Horizontal, parent);
  bar->setRange(min, max);
  bar->setValue(position);
  bar->setTickPosition(QSlider::TicksBelow);
  // The style draws the ticks a shade darker than the window colour, which
  // would vanish on navy.
  QPalette palette = bar->palette();
  palette.setColor(QPalette::Window, silver);
  bar->setPalette(palette);
  return bar;
}

QScrollBar* scroll_bar(QWidget* parent, int min, int max, int position) {
  auto* bar = new QScrollBar(Qt::Horizontal, parent);
  bar->setRange(min, max);
  bar->setValue(position);
  return bar;
}

// A filter's Q bar, at position 20.
QSlider* q_bar(QWidget* parent) {
  return track_bar(parent, design::q_position_min, design::q_position_max, 20);
}

// One of the variable filters' edge bars.
QScrollBar* edge_bar(QWidget* parent, int position) {
  return scroll_bar(parent, design::edge_position_min, design::edge_position_max, position);
}

QComboBox* combo(QWidget* parent, const QStringList& items) {
  auto* box = new QComboBox(parent);
  box->setFocusPolicy(Qt::TabFocus);  // as the buttons
  box->setFont(sans_font(13));
  box->addItems(items);
  shell::set_font_color(box, Qt::black);
  return box;
}

QLineEdit* memo(QWidget* parent, const QString& text) {
  auto* edit = new QLineEdit(text, parent);
  edit->setFont(sans_font(13));
  edit->setReadOnly(true);
  edit->setAlignment(Qt::AlignCenter);
  shell::set_font_color(edit, Qt::black);
  return edit;
}

// Places a yellow caption with the control right under it; both share the
// control's x and width.
template <typename Control>
Control* captioned(const QString& caption, Control* control, const QRect& at) {
  QLabel* over = label(control->parentWidget(), caption);
  over->setGeometry(at.x(), at.y() - 20, at.width(), 18);
  control->setGeometry(at);
  return control;
}

// The four columns of a filter tab: display, enable, width and Q.
constexpr int tab_row = 38;
constexpr int tab_height = 28;
constexpr int noise_second_row = tab_row + tab_height + 4;
const QRect display_column{8, tab_row, 80, tab_height};
const QRect enable_column{100, tab_row, 90, tab_height};
const QRect width_column{202, tab_row, 150, tab_height};
const QRect q_column{364, tab_row, 116, tab_height};

QWidget* filter_tab(QTabWidget* tabs, const QString& caption) {
  auto* page = new QWidget;
  tabs->addTab(page, caption);
  return page;
}

// The items of a width box, item i for index i of the designer's table.
QStringList items(std::span<const std::string_view> texts) {
  QStringList list;
  for (const std::string_view text : texts) {
    list.append(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
  return list;
}

QFileDialog* wave_dialog(QWidget* parent, const QString& caption, QFileDialog::AcceptMode mode) {
  auto* dialog = new QFileDialog(parent, caption);
  dialog->setAcceptMode(mode);
  if (mode == QFileDialog::AcceptOpen) dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setDefaultSuffix(QStringLiteral("wav"));
  dialog->setNameFilter(QStringLiteral("Wave Files (*.wav)"));
  return dialog;
}

}  // namespace

void TZForm::create_controls() {
  setWindowTitle(QStringLiteral("Tonewell"));
  // The icon the desktop's menu shows, in the sizes installed there.
  QIcon icon;
  for (const int size : {48, 128, 256})
    icon.addFile(QStringLiteral(":/icons/tonewell-%1.png").arg(size));
  setWindowIcon(icon);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(sans_font(13));

  auto* client = new QWidget(this);
  fill(client, navy);
  shell::set_font_color(client, shell::group_caption_color);
  client->setMinimumSize(client_width, client_height);
  setCentralWidget(client);

  create_transport(client);
  create_display(client);
  create_screen_group(client);
  create_pointer_line(client);
  create_audio_group(client);
  create_filter_tabs(client);
  create_input_group(client);
  create_hidden_controls();
  connect_twins();
  create_menus();
  create_timers();
  window_size = sizeHint();
  client->setMinimumSize(narrowest_client, client_height);
  setMinimumSize(window_size - QSize(client_width - narrowest_client, 0));
  resize(window_size.boundedTo(room()));
  centre_on_screen();
}

void TZForm::create_transport(QWidget* client) {
  GroupBox1 = group(client, "File", {0, 0, 90, top_band_height});
  RecordBtn = button(GroupBox1, "Record");
  PlayBtn = button(GroupBox1, "Play");
  StopBtn = button(GroupBox1, "Stop", shell::engaged_color);
  PauseBtn = button(GroupBox1, "Pause");
  RecordBtn->setGeometry(8, 40, 74, 32);
  PlayBtn->setGeometry(8, 92, 74, 32);
  StopBtn->setGeometry(8, 144, 74, 32);
  PauseBtn->setGeometry(8, 196, 74, 32);
  RecordBtn->setToolTip("Record the processed audio to the file chosen with Save Wave");
  PlayBtn->setToolTip("Play the file chosen with Open Wave through the filters");
  StopBtn->setToolTip("Stop recording or playing");
  PauseBtn->setToolTip("Pause or resume recording or playing");
  connect(RecordBtn, &QPushButton::clicked, this, &TZForm::RecordBtnClick);
  connect(PlayBtn, &QPushButton::clicked, this, &TZForm::PlayBtnClick);
  connect(StopBtn, &QPushButton::clicked, this, &TZForm::StopBtnClick);
  connect(PauseBtn, &QPushButton::clicked, this, &TZForm::PauseBtnClick);
  // Space pauses too, once however long it is held (see event()).
  auto* pause_key = new QShortcut(QKeySequence(Qt::Key_Space), this);
  pause_key->setAutoRepeat(false);
  connect(pause_key, &QShortcut::activated, this, &TZForm::PauseBtnClick);
}

// The display with its frequency captions and the reference scroll bar.
void TZForm::create_display(QWidget* client) {
  BasePanel = panel(client, {94, 0, base_panel_width, top_band_height}, silver);
  BasePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  DisplayPanel = panel(BasePanel, {{3, 4}, display_size}, Qt::white);
  SpectrumBox = new PaintBox(DisplayPanel);
  SpectrumBox->setGeometry(DisplayPanel->rect());
  SpectrumBox->setToolTip("Drag a filter line to tune it");
  SpectrumBox->on_mouse_move = [this](Qt::MouseButtons buttons, int x, int y) {
    SpectrumBoxMouseMove(buttons, x, y);
  };
  SpectrumBox->on_mouse_up = [this](Qt::MouseButton which, int x, int y) {
    SpectrumBoxMouseUp(which, x, y);
  };
  SpectrumBox->on_leave = [this] { PictureMouseLeave(); };
  SpectrumBox->setMouseTracking(true);
  // The display has the focus at start and takes it back when clicked, and
  // leaves Space to Pause.
  SpectrumBox->setFocusPolicy(Qt::ClickFocus);
  SpectrumBox->setFocus();
  WaterfallPanel =
      panel(BasePanel, {3, text_panel_y, display_size.width(), display::waterfall_rows}, Qt::white);
  WaterfallPanel->hide();
  WaterfallBox = new PaintBox(WaterfallPanel);
  WaterfallBox->setGeometry(WaterfallPanel->rect());
  WaterfallBox->on_mouse_move = [this](Qt::MouseButtons, int x, int) { WaterfallBoxMouseMove(x); };
  WaterfallBox->on_leave = [this] { PictureMouseLeave(); };
  WaterfallBox->setMouseTracking(true);
  TextPanel = panel(BasePanel, {3, text_panel_y, display_size.width(), 24}, Qt::white);
  LoFreqLabel = label(TextPanel, "10 Hz", shell::idle_color);
  LoFreqLabel->setGeometry(4, 0, 90, 24);
  RefLabel =
      label(TextPanel, "Reference Frequency = ", Qt::black, Qt::AlignRight | Qt::AlignVCenter);
  RefLabel->setGeometry(ref_label_x, 0, 210, 24);
  RefFreqLabel = label(TextPanel, "512", shell::engaged_color);
  RefFreqLabel->setGeometry(ref_hz_x, 0, 90, 24);
  HiFreqLabel = label(TextPanel, "5512 Hz", shell::idle_color, Qt::AlignRight | Qt::AlignVCenter);
  HiFreqLabel->setGeometry(hi_label_x, 0, 90, 24);
  RefScrollBar = scroll_bar(BasePanel, 1, 512, 255);
  RefScrollBar->setPageStep(2);
  RefScrollBar->setGeometry(3, ref_bar_y, 521, 17);
  RefScrollBar->setToolTip("Move the reference line");
  connect(RefScrollBar, &QScrollBar::valueChanged, this, &TZForm::RefScrollBarChange);
}

// What the display shows.
void TZForm::create_screen_group(QWidget* client) {
  GroupBox2 = group(client, "Screen", {screen_group_x, 0, 90, top_band_height});
  SpectrumWidthBtn = captioned("Width", button(GroupBox2, "Full"), {8, 44, 74, 28});
  SpectrumTypeBtn = captioned("Type", button(GroupBox2, "Line"), {8, 100, 74, 28});
  DataBtn = captioned("Data", button(GroupBox2, "Filter", shell::engaged_color), {8, 156, 74, 28});
  DisplayBtn = captioned("Display", button(GroupBox2, "Freq"), {8, 212, 74, 28});
  SpectrumWidthBtn->setToolTip("Show the full, half or quarter of the frequency range");
  SpectrumTypeBtn->setToolTip("Draw the spectrum as a line or as bars");
  DataBtn->setToolTip("Show the filtered or the raw signal");
  DisplayBtn->setToolTip("Show the spectrum or the waveform");
  connect(SpectrumWidthBtn, &QPushButton::clicked, this, &TZForm::SpectrumWidthBtnClick);
  connect(SpectrumTypeBtn, &QPushButton::clicked, this, &TZForm::SpectrumTypeBtnClick);
  connect(DataBtn, &QPushButton::clicked, this, &TZForm::DataBtnClick);
  connect(DisplayBtn, &QPushButton::clicked, this, &TZForm::DisplayBtnClick);
}

// The pointer's reading and the devices' state.
void TZForm::create_pointer_line(QWidget* client) {
  GroupBox9 = group(client, "", {0, top_band_height, pointer_group_width, 24});
  PointerLabel = label(GroupBox9, "");
  PointerLabel->setGeometry(8, 3, 700, 18);
  StatusLabel = label(GroupBox9, "");
  StatusLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  StatusLabel->setGeometry(8, 3, 700, 18);
}

// Bypass and the system volume control.
void TZForm::create_audio_group(QWidget* client) {
  GroupBox3 = group(client, "Audio", {0, bottom_band_y, 105, 155});
  BypassBtn = captioned("Bypass", button(GroupBox3, "Off"), {10, 46, 85, 30});
  BitBtn1 = captioned("Volume", button(GroupBox3, "Volume"), {10, 106, 85, 30});
  BypassBtn->setToolTip("Pass the signal through unfiltered");
  BitBtn1->setToolTip("Open the system volume control");
  connect(BypassBtn, &QPushButton::clicked, this, &TZForm::BypassBtnClick);
  connect(BitBtn1, &QPushButton::clicked, this, &TZForm::BitBtn1Click);
}

// The filter tabs: one for each filter from its row, then the noise filters
// and the reference line.
void TZForm::create_filter_tabs(QWidget* client) {
  GroupBox8 = group(client, "", {tabs_group_x, bottom_band_y, 504, 151});
  FilterControl = new QTabWidget(GroupBox8);
  FilterControl->setGeometry(14, 16, 488, 122);
  FilterControl->setDocumentMode(true);
  FilterControl->tabBar()->setFont(sans_font(13));
  FilterControl->tabBar()->setDrawBase(false);
  FilterControl->tabBar()->setStyleSheet(
      "QTabBar::tab { background: silver; color: black; padding: 3px 10px; margin-right: 2px;"
      " border: 2px outset #e8e8e8; }"
      "QTabBar::tab:selected { background: #a8a8a8; border-style: inset; }");

  // Tab walks the tabs as they are laid out: from the tab bar into the page
  // shown, its controls from left to right (Tab skips the hidden pages).
  std::vector<QWidget*> order{FilterControl->tabBar()};
  for (const shell::FilterBinding* filter : shell::filter_tabs) add_filter_tab(*filter, order);
  create_noise_tab(order);
  RefTab = filter_tab(FilterControl, "Ref.");
  DisplayRefBtn =
      captioned("Reference Display", button(RefTab, "Off"), {8, tab_row, 140, tab_height});
  DisplayRefBtn->setToolTip("Show this filter's lines on the display");
  order.push_back(DisplayRefBtn);
  for (std::size_t next = 1; next < order.size(); ++next) {
    QWidget::setTabOrder(order[next - 1], order[next]);
  }

  FilterControl->setCurrentWidget(NoiseTab);
}

void TZForm::add_filter_tab(const shell::FilterBinding& filter, std::vector<QWidget*>& order) {
  QWidget* page = this->*filter.page = filter_tab(FilterControl, filter.caption);
  QPushButton* lines = this->*filter.lines->button =
                           captioned("Display", button(page, "Off"), display_column);
  QPushButton* enable = this->*filter.enable =
                            captioned("Filter Enable", button(page, "Off"), enable_column);
  QWidget* widths = nullptr;
  if (filter.width_list != nullptr) {
    widths = this->*filter.width_list =
                 captioned("Filter Width", combo(page, items(filter.widths)), width_column);
  } else {
    widths = this->*filter.width_memo =
                 captioned("Filter Width", memo(page, "1000 Hz"), width_column);
    widths->setToolTip(filter.width_tip);
  }
  QSlider* q = this->*filter.q_bar = captioned("Filter Quality (Q)", q_bar(page), q_column);
  lines->setToolTip("Show this filter's lines on the display");
  enable->setToolTip("Switch this filter on or off");
  q->setToolTip("Set how deep the filter cuts outside its band");
  connect(q, &QSlider::valueChanged, this, filter.q_change);
  order.insert(order.end(), {lines, enable, widths, q});
}

void TZForm::create_noise_tab(std::vector<QWidget*>& order) {
  NoiseTab = filter_tab(FilterControl, "Noise");
  LMSFilterBtn2 = captioned("LMS Filter", button(NoiseTab, "OFF"), {8, tab_row, 84, tab_height});
  MedianFltrBtn2 =
      captioned("Median Filter", button(NoiseTab, "OFF"), {100, tab_row, 90, tab_height});
  AutoNotchBtn = captioned("Auto Notch", button(NoiseTab, "OFF"), {198, tab_row, 84, tab_height});
  NoiseReductionBtn =
      captioned("Noise Reduction", button(NoiseTab, "OFF"), {290, tab_row, 106, tab_height});
  NoiseReductionBar = captioned(
      "Strength",
      track_bar(NoiseTab, 1, engine::noise_reduction_strongest, engine::noise_reduction_start),
      {404, tab_row, 76, tab_height});
  NoiseReductionBar->setPageStep(1);
  // The noise blanker, first of the filters, in a row of its own under
  // the others, its captions beside its controls.
  label(NoiseTab, "Noise Blanker")->setGeometry(8, noise_second_row, 91, tab_height - 4);
  NoiseBlankerBtn = button(NoiseTab, "OFF");
  NoiseBlankerBtn->setGeometry(100, noise_second_row, 90, tab_height - 4);
  label(NoiseTab, "Threshold")->setGeometry(198, noise_second_row, 84, tab_height - 4);
  NoiseBlankerBar = track_bar(NoiseTab, engine::noise_blanker_lowest, engine::noise_blanker_highest,
                              engine::noise_blanker_start);
  NoiseBlankerBar->setGeometry(290, noise_second_row, 190, tab_height - 4);
  NoiseBlankerBar->setPageStep(1);
  NoiseBlankerBtn->setToolTip(
      "Find clicks and crackle and put in their place what the sound predicts");
  NoiseBlankerBar->setToolTip("Set how far a click must stand out: lower blanks more");
  LMSFilterBtn2->setToolTip("Enable the LMS noise filter");
  MedianFltrBtn2->setToolTip("Enable a Median Noise Filter");
  AutoNotchBtn->setToolTip("Find steady tones and notch them out");
  NoiseReductionBtn->setToolTip("Enable the noise reduction");
  NoiseReductionBar->setToolTip("Set how strongly the noise reduction works");
  connect(LMSFilterBtn2, &QPushButton::clicked, this, &TZForm::LMSFilterBtn2Click);
  connect(MedianFltrBtn2, &QPushButton::clicked, this, &TZForm::MedianFltrBtn2Click);
  connect(AutoNotchBtn, &QPushButton::clicked, this, &TZForm::AutoNotchBtnClick);
  connect(NoiseReductionBtn, &QPushButton::clicked, this, &TZForm::NoiseReductionBtnClick);
  connect(NoiseReductionBar, &QSlider::valueChanged, this, &TZForm::NoiseReductionBarChange);
  connect(NoiseBlankerBtn, &QPushButton::clicked, this, &TZForm::NoiseBlankerBtnClick);
  connect(NoiseBlankerBar, &QSlider::valueChanged, this, &TZForm::NoiseBlankerBarChange);
  order.insert(order.end(), {LMSFilterBtn2, MedianFltrBtn2, AutoNotchBtn, NoiseReductionBtn,
                             NoiseReductionBar, NoiseBlankerBtn, NoiseBlankerBar});
}

// Input level.
void TZForm::create_input_group(QWidget* client) {
  GroupBox4 = group(client, "Input", {input_group_x, bottom_band_y, 104, 155});
  SignalGainBar = captioned(
      "Rx Gain", track_bar(GroupBox4, engine::fine_position_min, engine::fine_position_max, 25),
      {8, 46, 88, 30});
  RxCoarseTrackBar = captioned(
      "Coarse", track_bar(GroupBox4, engine::coarse_position_min, engine::coarse_position_max, 5),
      {8, 106, 88, 30});
  SignalGainBar->setTickInterval(10);
  RxCoarseTrackBar->setPageStep(1);
  SignalGainBar->setToolTip("Set the Fine Input Signal Level");
  RxCoarseTrackBar->setToolTip("Set the Coarse Input Signal Level");
  connect(SignalGainBar, &QSlider::valueChanged, this, &TZForm::SignalGainBarChange);
  connect(RxCoarseTrackBar, &QSlider::valueChanged, this, &TZForm::RxCoarseTrackBarChange);
}

// Controls that are never shown: they hold filter positions and states
// and still fire their handlers when set from code.
void TZForm::create_hidden_controls() {
  HiddenControls = new QWidget(this);
  HiddenControls->hide();
  auto* hidden = new QGridLayout(HiddenControls);

  Label35 = label(HiddenControls, "Bytes Recorded_a =  ");
  bytes_recorded_aa = label(HiddenControls, "0 ");
  Label36 = label(HiddenControls, "Bytes Recorded_b =  ");
  bytes_recorded_bb = label(HiddenControls, "0 ");
  Label37 = label(HiddenControls, "byte_position_a = ");
  byte_position_a = label(HiddenControls, "0 ");
  Label43 = label(HiddenControls, "byte_position_b = ");
  byte_position_b = label(HiddenControls, "0 ");
  hidden->addWidget(Label35, 0, 0);
  hidden->addWidget(bytes_recorded_aa, 0, 1);
  hidden->addWidget(Label36, 1, 0);
  hidden->addWidget(bytes_recorded_bb, 1, 1);
  hidden->addWidget(Label37, 2, 0);
  hidden->addWidget(byte_position_a, 2, 1);
  hidden->addWidget(Label43, 3, 0);
  hidden->addWidget(byte_position_b, 3, 1);

  const auto hidden_group = [&](const QString& caption, std::initializer_list<QWidget*> inside,
                                int row, int column) {
    QGroupBox* box = group(HiddenControls, caption);
    auto* rows = new QHBoxLayout(box);
    for (QWidget* widget : inside) rows->addWidget(widget);
    hidden->addWidget(box, row, column);
    return box;
  };
  BPComboBox = combo(HiddenControls, items(design::bp_preset_texts));
  BandPassBtn = button(HiddenControls, "Off");
  BandPass = hidden_group("BandPass Filter", {BPComboBox, BandPassBtn}, 4, 0);
  NF1ComboBox = combo(HiddenControls, items(design::nf1_width_texts));
  NF1Btn = button(HiddenControls, "Off");
  NotchFilter1 = hidden_group("Notch Filter 1", {NF1ComboBox, NF1Btn}, 4, 1);
  NF2ComboBox = combo(HiddenControls, items(design::nf2_width_texts));
  NF2Btn = button(HiddenControls, "Off");
  NotchFilter2 = hidden_group("Notch Filter 2", {NF2ComboBox, NF2Btn}, 5, 0);
  VarFltrBtn = button(HiddenControls, "Off");
  VarFilterMemo2 = memo(HiddenControls, "1000 Hz");
  GroupBox7 = hidden_group("Variable Filter", {VarFltrBtn, VarFilterMemo2}, 5, 1);
  QTrackBar10 = q_bar(HiddenControls);
  GroupBox5 =
      hidden_group("Bandpass Filter Q",
                   {label(HiddenControls, "Min"), QTrackBar10, label(HiddenControls, "Max")}, 6, 0);
  LMSFilterBtn = button(HiddenControls, "OFF");
  MedianFltrBtn = button(HiddenControls, "OFF");
  NoiseFilters = hidden_group("Noise Filters", {LMSFilterBtn, MedianFltrBtn}, 6, 1);
  MedianFltrBtn->setToolTip("Enable a Median Noise Filter");
  GroupBox6 = group(HiddenControls, "Display Filter Lines");
  auto* line_boxes = new QHBoxLayout(GroupBox6);
  for (const shell::LineSwitch* lines : shell::line_switches) {
    line_boxes->addWidget(this->*lines->box = new QCheckBox(lines->caption));
  }
  hidden->addWidget(GroupBox6, 7, 0);

  StartBtn = button(HiddenControls, "Start");
  StopCycleBtn = button(HiddenControls, "StopCycle");
  Lo_BP_Freq_ScrollBar = edge_bar(HiddenControls, 100);
  Hi_BP_Freq_ScrollBar = edge_bar(HiddenControls, 400);
  Lo_Notch_Freq_ScrollBar = edge_bar(HiddenControls, 100);
  Hi_Notch_Freq_ScrollBar = edge_bar(HiddenControls, 400);
  int row = 8;
  for (QWidget* loose : std::initializer_list<QWidget*>{
           StartBtn, StopCycleBtn, Lo_BP_Freq_ScrollBar, Hi_BP_Freq_ScrollBar,
           Lo_Notch_Freq_ScrollBar, Hi_Notch_Freq_ScrollBar})
    hidden->addWidget(loose, row++, 0);

  connect(QTrackBar10, &QSlider::valueChanged, this, &TZForm::QTrackBar10Change);
  connect(LMSFilterBtn, &QPushButton::clicked, this, &TZForm::LMSFilterBtnClick);
  connect(MedianFltrBtn, &QPushButton::clicked, this, &TZForm::MedianFltrBtnClick);
  connect(StartBtn, &QPushButton::clicked, this, &TZForm::StartBtnClick);
  connect(StopCycleBtn, &QPushButton::clicked, this, &TZForm::StopCycleBtnClick);
  connect(Lo_BP_Freq_ScrollBar, &QScrollBar::valueChanged, this,
          &TZForm::Lo_BP_Freq_ScrollBarChange);
  connect(Hi_BP_Freq_ScrollBar, &QScrollBar::valueChanged, this,
          &TZForm::Hi_BP_Freq_ScrollBarChange);
  connect(Lo_Notch_Freq_ScrollBar, &QScrollBar::valueChanged, this,
          &TZForm::Lo_Notch_Freq_ScrollBarChange);
  connect(Hi_Notch_Freq_ScrollBar, &QScrollBar::valueChanged, this,
          &TZForm::Hi_Notch_Freq_ScrollBarChange);
}

void TZForm::connect_twins() {
  for (const shell::FilterBinding* filter : shell::filter_tabs) {
    for (QPushButton* TZForm::*enable : {filter->enable, filter->hidden_enable}) {
      if (enable != nullptr) {
        connect(this->*enable, &QPushButton::clicked, this, filter->enable_click);
      }
    }
  }
  for (const shell::WidthList& list : shell::width_lists) {
    connect(this->*list.box, &QComboBox::activated, this, list.change);
  }
  for (const shell::LineSwitch* lines : shell::line_switches) {
    connect(this->*lines->button, &QPushButton::clicked, this, lines->button_click);
    connect(this->*lines->box, &QCheckBox::clicked, this, lines->box_click);
  }
}

// Main menu, each title and command with its Alt key.
void TZForm::create_menus() {
  File1 = menuBar()->addMenu("&File");
  LoadWave = File1->addAction("&Open Wave", this, &TZForm::LoadWaveClick);
  SaveWave = File1->addAction("&Save Wave", this, &TZForm::SaveWaveClick);
  N1 = File1->addSeparator();
  Quit1 = File1->addAction("&Quit", this, &TZForm::Quit1Click);
  Options1 = menuBar()->addMenu("&Options");
  SoundCard1 = Options1->addMenu("&Sound Card");
  InputSoundCard = SoundCard1->addAction("&Input Sound Card", this, &TZForm::InputSoundCardClick);
  OutputSoundCard =
      SoundCard1->addAction("&Output Sound Card", this, &TZForm::OutputSoundCardClick);
  InputSelect1 = Options1->addMenu("&Input Select");
  MicInput = InputSelect1->addAction("&Mic", this, &TZForm::MicInputClick);
  Left1 = InputSelect1->addMenu("&Line");
  LeftInput = Left1->addAction("&Left Channel", this, &TZForm::LeftInputClick);
  RightInput = Left1->addAction("&Right Channel", this, &TZForm::RightInputClick);
  for (QAction* input : {MicInput, LeftInput, RightInput}) input->setCheckable(true);
  LowLatency1 = Options1->addAction("Low &Latency");
  LowLatency1->setCheckable(true);
  connect(LowLatency1, &QAction::toggled, this, &TZForm::LowLatency1Click);
  View1 = menuBar()->addMenu("&View");
  Waterfall1 = View1->addAction("&Waterfall");
  FilterResponse1 = View1->addAction("&Filter Response");
  for (QAction* check : {Waterfall1, FilterResponse1}) check->setCheckable(true);
  connect(Waterfall1, &QAction::toggled, this, &TZForm::Waterfall1Click);
  Help1 = menuBar()->addMenu("&Help");
  HelpMenu1 = Help1->addAction("&Help Menu", this, &TZForm::HelpMenu1Click);
  // The desktop's usual keys for the file commands, Quit and help.
  LoadWave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  SaveWave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  Quit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  HelpMenu1->setShortcut(QKeySequence(Qt::Key_F1));
  About1 = Help1->addAction("&About", this, &TZForm::About1Click);
}

// Timers of the processing cycle: StartTimer starts it once the message
// loop runs.
void TZForm::create_timers() {
  StartTimer = new QTimer(this);
  StartTimer->setInterval(50);
  connect(StartTimer, &QTimer::timeout, this, &TZForm::StartTimerTimer);
  StartTimer->start();
  // AudioTimer looks, a few times a pass, at what the audio thread left.
  AudioTimer = new QTimer(this);
  AudioTimer->setInterval(40);
  connect(AudioTimer, &QTimer::timeout, this, &TZForm::AudioTimerTimer);
  WakeTimer = new QTimer(this);
  WakeTimer->setSingleShot(true);
  dispatcher = QAbstractEventDispatcher::instance(thread());
}

QFileDialog* TZForm::open_wave_dialog() {
  if (OpenWaveDialog == nullptr) {
    OpenWaveDialog = wave_dialog(this, "Open Wave", QFileDialog::AcceptOpen);
    connect(OpenWaveDialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { open_wave(path.toStdString()); });
  }
  return OpenWaveDialog;
}

QFileDialog* TZForm::save_wave_dialog() {
  if (SaveWaveDialog == nullptr) {
    SaveWaveDialog = wave_dialog(this, "Save Wave", QFileDialog::AcceptSave);
    connect(SaveWaveDialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { save_wave(path.toStdString()); });
  }
  return SaveWaveDialog;
}

QSize TZForm::room() const {
  const QScreen* on = screen();
  if (on == nullptr) return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  return on->availableGeometry().size() - (frameGeometry().size() - size());
}

void TZForm::centre_on_screen() {
  if (const QScreen* on = screen()) move(on->availableGeometry().center() - rect().center());
  keep_on_screen();
}

void TZForm::keep_on_screen() {
  const QScreen* on = screen();
  if (on == nullptr) return;
  const QRect free = on->availableGeometry();
  const QRect frame = frameGeometry();
  const auto inside = [](int at, int length, int first, int last) {
    return std::max(first, std::min(at, last + 1 - length));
  };
  move(inside(frame.x(), frame.width(), free.left(), free.right()),
       inside(frame.y(), frame.height(), free.top(), free.bottom()));
}

void TZForm::lay_out_display() {
  // Beyond the start size: the strip takes the height first, up to its full
  // rows; below it, the strip keeps its fewest rows and the display gives up
  // the rest.
  QSize extra = size() - window_size;
  const bool strip_on = Waterfall1->isChecked();
  const int rows =
      strip_on ? std::clamp(extra.height() - strip_gap, fewest_strip_rows, display::waterfall_rows)
               : display::waterfall_rows;
  const int shift = strip_on ? rows + strip_gap : 0;
  const bool narrow = extra.width() < 0;
  const int wide = narrow ? extra.width() - input_column : extra.width();
  const int high = extra.height() - shift;
  WaterfallPanel->setVisible(strip_on);
  const int column_height = top_band_height + shift + high;
  GroupBox1->resize(GroupBox1->width(), column_height);
  BasePanel->resize(base_panel_width + wide, column_height);
  GroupBox2->setGeometry(screen_group_x + wide, 0, GroupBox2->width(), column_height);
  DisplayPanel->resize(display_size + QSize(wide, high));
  SpectrumBox->setGeometry(DisplayPanel->rect());
  WaterfallPanel->setGeometry(3, text_panel_y + high, display_size.width() + wide, rows);
  WaterfallBox->setGeometry(WaterfallPanel->rect());
  TextPanel->setGeometry(3, text_panel_y + shift + high, display_size.width() + wide,
                         TextPanel->height());
  const int ref_shift = std::min(wide / 2, wide + ref_room);
  RefLabel->move(ref_label_x + ref_shift, 0);
  RefFreqLabel->move(ref_hz_x + ref_shift, 0);
  HiFreqLabel->move(hi_label_x + wide, 0);
  RefScrollBar->setGeometry(3, ref_bar_y + shift + high, display_size.width() + 1 + wide,
                            RefScrollBar->height());
  GroupBox9->setGeometry(0, column_height, pointer_group_width + extra.width(),
                         GroupBox9->height());
  // The pointer's reading on the left half, the devices' state on the right.
  PointerLabel->resize((GroupBox9->width() - 16) / 2, PointerLabel->height());
  StatusLabel->setGeometry(8 + PointerLabel->width(), 3,
                           GroupBox9->width() - 16 - PointerLabel->width(), StatusLabel->height());
  const int bottom_band = bottom_band_y + shift + high;
  GroupBox3->move(0, bottom_band);
  GroupBox8->move(tabs_group_x + (narrow ? extra.width() + input_column : wide) / 2, bottom_band);
  GroupBox4->move(input_group_x + extra.width(), narrow ? 0 : bottom_band);
  fit_pictures();
}

void TZForm::show_waterfall_strip() {
  // Switched on, the window grows by the full strip as far as the screen's
  // free area lets it; switched off, it gives back what it grew by, no more
  // than the strip as it stood.
  const int strip = WaterfallPanel->height() + strip_gap;
  if (Waterfall1->isChecked()) {
    const int grown = std::min(height() + display::waterfall_rows + strip_gap, room().height());
    strip_growth = std::max(0, grown - height());
  } else {
    strip_growth = std::min(strip_growth, strip);
  }
  resize(width(), height() + (Waterfall1->isChecked() ? strip_growth : -strip_growth));
  lay_out_display();
  keep_on_screen();
}

void TZForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  lay_out_display();
}

void TZForm::fit_pictures() {
  const qreal scale = devicePixelRatioF();
  const auto device = [scale](int logical) {
    return static_cast<int>(std::lround((logical - 1) * scale)) + 1;
  };
  const QSize picture = DisplayPanel->size() - picture_margin;
  const int width = device(picture.width());
  const int height = device(picture.height());
  const int rows = static_cast<int>(std::lround(WaterfallPanel->height() * scale));
  if (!spectrum_bitmap.isNull() && width == view.picture_width && height == view.picture_height &&
      rows == waterfall_bitmap.height() && scale == picture_scale) {
    return;
  }
  view.picture_width = width;
  view.picture_height = height;
  picture_scale = scale;
  spectrum_bitmap = QImage(width, height, QImage::Format_RGB32);
  spectrum_bitmap.fill(Qt::white);
  SpectrumBox->draw(spectrum_bitmap, scale);
  waterfall_bitmap = QImage(width, rows, QImage::Format_RGB32);
  waterfall.draw(waterfall_bitmap, view.spectrum_width, width);
  WaterfallBox->draw(waterfall_bitmap, scale);
}

int TZForm::pointer_column(int X) const {
  return display::pixel_unit(static_cast<int>(std::lround(X * picture_scale)), 512,
                             view.picture_width);
}
