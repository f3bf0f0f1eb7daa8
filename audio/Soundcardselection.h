// The sound-card selection dialog: picks the input or the output device.
#pragma once

#include <QDialog>

class TSoundCardSelect : public QDialog {
 public:
  explicit TSoundCardSelect(QWidget* owner);
};

// Created by the program entry after the main window, hidden until asked for.
inline TSoundCardSelect* SoundCardSelect = nullptr;
