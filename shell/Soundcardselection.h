// The sound-card selection dialog: steps through the wave devices of one
// direction by number, shows the device's name, tests the chosen device
// against the program's format and keeps its number for the next time the
// processing cycle opens its devices.
#pragma once

#include <QDialog>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/device_pair.h"

class QLabel;
class QPushButton;
class QSpinBox;

class TSoundCardSelect : public QDialog {
 public:
  // The dialog choosing the devices of `devices`, which must outlive it.
  TSoundCardSelect(QWidget* owner, audio::DevicePair& devices);

  // Lists the devices of select_output's direction and remembers the
  // up-down's position as the fallback for a refused choice.
  void FormShow();
  // The up-down moved: clamp to the devices there are, list again.
  void WaveUpDownClick();
  // Applies the choice and lists again; the dialog stays open.
  void SelectBtnClick();
  // Applies the choice and hides the dialog.
  void FormClose();

  // Shows the dialog for select_output's direction. An open dialog lists
  // again, so that a choice never goes to the direction it was opened for
  // before.
  void show_for_selection();

  // The name of the device under the up-down.
  QLabel* SoundCardManf;
  // The device number, 0 to 5. The dialog's own moves of it (clamping,
  // falling back) run no handler.
  QSpinBox* WaveUpDown;
  QPushButton* SelectBtn;

  // The direction the next showing of the dialog chooses: 0 = input
  // device, 1 = output device. Set by the menu commands before they show
  // the dialog.
  std::int32_t select_output = 0;
  std::int32_t list_mode = 0;       // direction of the last listing: 0 input, 1 output
  std::int32_t shown_position = 0;  // up-down position when the dialog was last shown
  // Wave devices in each direction, counted afresh by every listing.
  std::int32_t in_device_count = 0;
  std::int32_t out_device_count = 0;

  // Starts the processing cycle unless one is running; set by the program
  // entry. A listing ends by setting it off.
  std::function<void()> start_cycle;

  // How long a listing waits before it starts the cycle, so that a device
  // that was just tested has come free before the cycle opens it.
  std::chrono::milliseconds settle_time{300};

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape closes the dialog as its window button does.
  void reject() override;

 private:
  void list_devices(std::int32_t direction);
  void clamp_position();
  void apply_choice();
  void set_position(int position);
  void show_name(const std::string& name);

  audio::DevicePair& devices_;
};

// Created by the program entry after the main window, hidden until asked for.
inline TSoundCardSelect* SoundCardSelect = nullptr;
