// Program entry: the application object, the main window, then the sound-card
// dialog, and the message loop until the main window closes.
#include <QApplication>
#include <exception>

#include "audio/portaudio_device.h"
#include "shell/Soundcardselection.h"
#include "shell/Zoduvov.h"
#include "shell/termination.h"
#include "shell/toolkit.h"

int main(int argc, char** argv) {
  shell::Application app(argc, argv);
  shell::Application::setStyle("Fusion");
  audio::PortAudioSystem sound_cards;
  try {
    ZForm = new TZForm(sound_cards);
    SoundCardSelect = new TSoundCardSelect(ZForm, ZForm->devices);
    SoundCardSelect->start_cycle = [] { ZForm->StartBtnClick(); };
    shell::quit_on_termination_signals(ZForm, [] { ZForm->Quit1Click(); });
    ZForm->show();
    app.exec();
  } catch (...) {
    shell::show_exception(std::current_exception());
  }
  // The window's streams close before the sound system they belong to.
  delete ZForm;
  ZForm = nullptr;
  return 0;
}
