// Program entry: the application object, the main window, then the sound-card
// dialog, and the message loop until the main window closes.
#include <QApplication>
#include <exception>

#include "audio/Soundcardselection.h"
#include "audio/portaudio_device.h"
#include "audio/state.h"
#include "shell/Zoduvov.h"
#include "shell/termination.h"
#include "shell/toolkit.h"

int main(int argc, char** argv) {
  shell::Application app(argc, argv);
  shell::Application::setStyle("Fusion");
  audio::PortAudioSystem sound_cards;
  audio::wave_system = &sound_cards;
  try {
    ZForm = new TZForm;
    SoundCardSelect = new TSoundCardSelect(ZForm);
    SoundCardSelect->start_cycle = [] { ZForm->StartBtnClick(); };
    shell::quit_on_termination_signals(ZForm, [] { ZForm->Quit1Click(); });
    ZForm->show();
    app.exec();
  } catch (...) {
    shell::show_exception(std::current_exception());
  }
  delete ZForm;
  ZForm = nullptr;
  // Streams close before the sound system they belong to.
  audio::wave_in.reset();
  audio::wave_out.reset();
  return 0;
}
