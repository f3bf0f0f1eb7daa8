// Program entry: the application object, the main window, then the sound-card
// dialog, and the message loop until the main window closes.
#include <QApplication>
#include <exception>

#include "audio/Soundcardselection.h"
#include "audio/standin_device.h"
#include "audio/state.h"
#include "shell/Zoduvov.h"
#include "shell/termination.h"
#include "shell/toolkit.h"

namespace {

// Shows an exception that escapes a handler and carries on with the loop.
class Application : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      shell::show_report("Tonewell", QString::fromLocal8Bit(error.what()));
    } catch (...) {
      shell::show_report("Tonewell", QString());
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Application app(argc, argv);
  Application::setStyle("Fusion");
  audio::StandinSystem builtin_device;
  audio::wave_system = &builtin_device;
  try {
    ZForm = new TZForm;
    SoundCardSelect = new TSoundCardSelect(ZForm);
    shell::quit_on_termination_signals(ZForm, [] { ZForm->Quit1Click(); });
    ZForm->show();
    app.exec();
  } catch (const std::exception& error) {
    shell::show_report("Tonewell", QString::fromLocal8Bit(error.what()));
  } catch (...) {
    shell::show_report("Tonewell", QString());
  }
  delete ZForm;
  ZForm = nullptr;
  return 0;
}
