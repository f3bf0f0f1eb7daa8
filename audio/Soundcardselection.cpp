#include "audio/Soundcardselection.h"

TSoundCardSelect::TSoundCardSelect(QWidget* owner) : QDialog(owner) {
  setWindowTitle("Sound Card");
}
