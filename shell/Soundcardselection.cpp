#include "shell/Soundcardselection.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

namespace {

// Laid out like the main window: a 564 x 107 client area drawn at 5/4.
constexpr int client_width = 705;
constexpr int client_height = 134;

const QColor navy{0, 0, 128};
const QColor yellow{255, 255, 0};

QFont sized_font(const char* family, int pixels) {
  QFont f(QString::fromLatin1(family));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  return f;
}

void colour(QWidget* widget, QPalette::ColorRole role, const QColor& value) {
  QPalette palette = widget->palette();
  palette.setColor(role, value);
  widget->setPalette(palette);
}

}  // namespace

TSoundCardSelect::TSoundCardSelect(QWidget* owner, audio::DevicePair& devices)
    : QDialog(owner), devices_(devices) {
  setWindowTitle(QStringLiteral("Sound Card"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(sized_font("Tahoma", 13));
  colour(this, QPalette::Window, navy);
  setAutoFillBackground(true);
  setFixedSize(client_width, client_height);

  auto* caption = new QLabel(QStringLiteral("Device"), this);
  caption->setGeometry(24, 28, 60, 31);
  colour(caption, QPalette::WindowText, yellow);

  SoundCardManf = new QLabel(this);
  SoundCardManf->setGeometry(89, 28, 518, 31);
  SoundCardManf->setFont(sized_font("Arial", 16));
  SoundCardManf->setIndent(6);
  colour(SoundCardManf, QPalette::Window, Qt::white);
  colour(SoundCardManf, QPalette::WindowText, Qt::black);
  SoundCardManf->setAutoFillBackground(true);

  WaveUpDown = new QSpinBox(this);
  WaveUpDown->setGeometry(617, 28, 64, 31);
  WaveUpDown->setRange(0, 5);
  WaveUpDown->setAlignment(Qt::AlignCenter);
  // A typed number counts once it is complete, not digit by digit.
  WaveUpDown->setKeyboardTracking(false);
  WaveUpDown->setToolTip(QStringLiteral("Step through the devices by number"));
  connect(WaveUpDown, &QSpinBox::valueChanged, this, &TSoundCardSelect::WaveUpDownClick);

  SelectBtn = new QPushButton(QStringLiteral("Select"), this);
  SelectBtn->setGeometry(581, 80, 100, 31);
  SelectBtn->setToolTip(
      QStringLiteral("Test this device and use it from the next start of the audio"));
  connect(SelectBtn, &QPushButton::clicked, this, &TSoundCardSelect::SelectBtnClick);
}

void TSoundCardSelect::FormShow() {
  list_devices(select_output);
  shown_position = WaveUpDown->value();
}

void TSoundCardSelect::WaveUpDownClick() {
  clamp_position();
  list_devices(list_mode);
}

void TSoundCardSelect::SelectBtnClick() {
  apply_choice();
  list_devices(list_mode);
}

void TSoundCardSelect::FormClose() {
  apply_choice();
  hide();
}

void TSoundCardSelect::show_for_selection() {
  if (isVisible()) {
    FormShow();
  } else {
    show();
  }
  raise();
  activateWindow();
}

void TSoundCardSelect::showEvent(QShowEvent* event) {
  // A spontaneous show (the owner restored from minimised) is no new showing.
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TSoundCardSelect::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TSoundCardSelect::reject() { close(); }

// Counts the devices of both directions, shows the name of the device under
// the up-down if `direction` has one there, then starts the cycle once the
// settle time has passed, with the dialog and the cycle running meanwhile.
void TSoundCardSelect::list_devices(std::int32_t direction) {
  in_device_count = devices_.system().input_count();
  out_device_count = devices_.system().output_count();
  const int position = WaveUpDown->value();
  if (direction == 0) {
    if (position < in_device_count) show_name(devices_.system().input_name(position));
  } else if (position < out_device_count) {
    show_name(devices_.system().output_name(position));
  }
  list_mode = direction;
  setWindowTitle(direction == 0 ? QStringLiteral("Input Sound Card")
                                : QStringLiteral("Output Sound Card"));
  QTimer::singleShot(settle_time, this, [this] {
    if (start_cycle) start_cycle();
  });
}

// With no device at all this asks for -1, which the up-down keeps at 0.
void TSoundCardSelect::clamp_position() {
  const std::int32_t count = list_mode == 0 ? in_device_count : out_device_count;
  if (WaveUpDown->value() >= count) set_position(count - 1);
}

// Stores the device number for list_mode's direction and tests the device.
// A refused device gives way to the one shown when the dialog opened. The
// test closes what it opened, so the cycle's own device is never touched:
// the choice takes effect when the cycle next opens its devices.
void TSoundCardSelect::apply_choice() {
  clamp_position();
  const bool input = list_mode == 0;
  std::int32_t& device_id = input ? devices_.input_device_id : devices_.output_device_id;
  device_id = WaveUpDown->value();
  devices_.reports.release_all();
  const bool refused = input ? devices_.query_wave_in() : devices_.query_wave_out();
  if (refused && WaveUpDown->value() != shown_position) {
    set_position(shown_position);
    device_id = WaveUpDown->value();
  }
}

void TSoundCardSelect::set_position(int position) {
  const QSignalBlocker quiet(WaveUpDown);
  WaveUpDown->setValue(position);
}

// A name too long for the label ends in an ellipsis; its tooltip holds all
// of it.
void TSoundCardSelect::show_name(const std::string& name) {
  const QString full = QString::fromStdString(name);
  const int room = SoundCardManf->contentsRect().width() - SoundCardManf->indent();
  SoundCardManf->setText(SoundCardManf->fontMetrics().elidedText(full, Qt::ElideRight, room));
  SoundCardManf->setToolTip(full);
}
