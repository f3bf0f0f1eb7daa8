// Program entry: the application object, the main window, then the sound-card
// dialog, and the message loop until the main window closes.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <string_view>

#include "audio/portaudio_device.h"
#include "shell/Soundcardselection.h"
#include "shell/Zoduvov.h"
#include "shell/termination.h"
#include "shell/toolkit.h"

namespace {

constexpr std::string_view help_text =
    "Usage: tonewell [--version | --help]\n"
    "Filters the audio of a radio receiver in real time: it captures the sound\n"
    "card's input, runs it through the filters chosen in its window and plays\n"
    "the result. Its settings are kept in ZOduvov.cfg and tonewell.ini in the\n"
    "folder it starts from. tonewell-filter runs WAV files through the same\n"
    "filters.\n"
    "\n"
    "  --version  print the version and exit\n"
    "  --help     print this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before anything needs a display or reads the settings; any
  // other argument starts the window.
  if (argc > 1 && std::string_view(argv[1]) == "--version") {
    std::puts("tonewell " TONEWELL_VERSION);
    return 0;
  }
  if (argc > 1 && std::string_view(argv[1]) == "--help") {
    std::fwrite(help_text.data(), 1, help_text.size(), stdout);
    return 0;
  }
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
