// Records the program's output until the process is killed: the window on
// the built-in device, fed a tone, with Save Wave done for the path given
// and Record pressed, the device running four times as fast as a card. The
// test that kills it reads what it left.
#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/standin_device.h"
#include "shell/Zoduvov.h"
#include "shell/toolkit.h"
#include "tests/support/fast_clock.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  shell::Application application(argc, argv);
  support::FastClock clock{4};
  audio::StandinSystem device{clock};
  std::vector<std::int16_t> tone(60 * 11025);
  for (std::size_t n = 0; n < tone.size(); ++n) {
    tone[n] = static_cast<std::int16_t>(3000 * std::sin(0.57 * static_cast<double>(n)));
  }
  device.feed(tone);
  TZForm form{device};
  form.save_wave(argv[1]);
  form.RecordBtnClick();
  form.show();
  return QCoreApplication::exec();
}
