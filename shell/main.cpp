// Program entry: the command line, the application object, the main window,
// then the sound-card dialog, and the message loop until the main window
// closes.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <variant>

#include "audio/portaudio_device.h"
#include "shell/Soundcardselection.h"
#include "shell/Zoduvov.h"
#include "shell/start_options.h"
#include "shell/termination.h"
#include "shell/toolkit.h"

int main(int argc, char** argv) {
  // Answered before anything needs a display or reads the settings.
  auto read = shell::read_start_options({argv, static_cast<std::size_t>(argc)});
  if (const auto* answer = std::get_if<shell::Answer>(&read)) {
    std::fputs(answer->out.c_str(), stdout);
    std::fputs(answer->err.c_str(), stderr);
    return answer->status;
  }
  shell::StartOptions& options = std::get<shell::StartOptions>(read);
  const std::filesystem::path folder =
      shell::settings_folder(options.config_dir, std::filesystem::current_path(),
                             std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  int toolkit_argc = static_cast<int>(options.toolkit_args.size());
  options.toolkit_args.push_back(nullptr);
  shell::Application app(toolkit_argc, options.toolkit_args.data());
  shell::Application::setStyle("Fusion");
  // The desktop file's name, which Wayland takes for the window's class.
  shell::Application::setDesktopFileName(QStringLiteral("org.tonewell.Tonewell"));
  // The toolkit keeps its file dialogs' history in settings of its own; they
  // go to a folder that lasts as long as the program, not to the user's.
  const QTemporaryDir toolkit_settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, toolkit_settings.path());
  audio::PortAudioSystem sound_cards;
  try {
    ZForm = new TZForm(sound_cards, folder);
    SoundCardSelect = new TSoundCardSelect(ZForm, ZForm->devices);
    SoundCardSelect->start_cycle = [] { ZForm->StartBtnClick(); };
    shell::quit_on_termination_signals(ZForm, [] { ZForm->Quit1Click(); });
    if (options.file) ZForm->open_wave(*options.file);
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
