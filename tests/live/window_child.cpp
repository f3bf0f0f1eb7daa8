// The window on the rig's devices in a process of its own, for the live
// tests that watch a whole process: its CPU time, its end on a signal, a
// file size limit. Run in the folder whose settings it takes:
//
//   live_window_child SCENARIO
//
// record-full: records to full.wav under a file size limit of 40000 bytes
//   (under 2 s of sound) for 6 s, then prints "record_on N" for what the
//   transport then holds.
// record-until-signal: records to rec.wav until SIGTERM or SIGINT, which
//   quit as in the program.
// filters-on: every filter and both noise filters on for 24 s; exits 3
//   if one of them is off.
// audio-thread-calls: every filter on, recording to calls.wav; from when the
//   input has delivered for a second, for 10 s, filters are switched and lines dragged every
//   100 ms while the calls of every thread are counted; then prints
//   "audio_thread ALLOCATIONS FREES LOCKS WRITES RESTARTS PRIORITY" for the
//   audio thread (or "audio_thread none"), RESTARTS the cycles begun
//   meanwhile.
// latency[-low][-voice][-nr][-all]: the window until a termination signal,
//   in low-latency mode with -low, with the bandpass, notch 1 and the
//   automatic notch on with -voice, the noise reduction with -nr, and every
//   filter with -all.
// Its reports go to reports.txt, one "CAPTION: TEXT" a line, and are not
// shown.
#include <sys/resource.h>

#include <QAction>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtGlobal>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "audio/portaudio_device.h"
#include "shell/Zoduvov.h"
#include "shell/termination.h"
#include "shell/toolkit.h"
#include "tests/support/thread_calls.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string scenario = argv[1];
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  shell::Application application(argc, argv);
  std::ofstream reports("reports.txt");
  shell::report_sink = [&reports](const QString& caption, const QString& text) {
    reports << caption.toStdString() << ": " << text.toStdString() << std::endl;
  };
  audio::PortAudioSystem cards;
  int code = 0;
  {
    TZForm form{cards};
    if (scenario == "record-full") {
      const rlimit limit{40000, 40000};
      setrlimit(RLIMIT_FSIZE, &limit);
      std::signal(SIGXFSZ, SIG_IGN);
      form.save_wave("full.wav");
      form.RecordBtnClick();
      QTimer::singleShot(6000, &form, [&form] {
        std::printf("record_on %d\n", form.transport.record_on ? 1 : 0);
        std::fflush(stdout);
        form.Quit1Click();
      });
    } else if (scenario == "record-until-signal") {
      shell::quit_on_termination_signals(&form, [&form] { form.Quit1Click(); });
      form.save_wave("rec.wav");
      form.RecordBtnClick();
    } else if (scenario.rfind("latency", 0) == 0) {
      shell::quit_on_termination_signals(&form, [&form] { form.Quit1Click(); });
      const auto has = [&scenario](const char* part) {
        return scenario.find(part) != std::string::npos;
      };
      form.LowLatency1->setChecked(has("-low"));
      if (has("-voice")) {
        for (QPushButton* filter : {form.BandPassBtn2, form.NF1Btn2, form.AutoNotchBtn})
          filter->click();
      }
      if (has("-nr")) form.NoiseReductionBtn->click();
      if (has("-all")) {
        for (QPushButton* filter :
             {form.BandPassBtn2, form.VarFltrBtn2, form.NF1Btn2, form.NF2Btn2, form.VarNF2Btn,
              form.LMSFilterBtn2, form.MedianFltrBtn2, form.AutoNotchBtn, form.NoiseReductionBtn}) {
          filter->click();
        }
      }
    } else if (scenario == "filters-on") {
      for (QPushButton* filter : {form.BandPassBtn2, form.VarFltrBtn2, form.NF1Btn2, form.NF2Btn2,
                                  form.VarNF2Btn, form.LMSFilterBtn2, form.MedianFltrBtn2}) {
        filter->click();
      }
      const auto& chain = form.chain;
      if (chain.bp.on != 1 || chain.var_bp.on != 1 || chain.nf1.on != 1 || chain.nf2.on != 1 ||
          chain.var_notch.on != 1 || chain.lms_on != 1 || chain.median_on != 1) {
        code = 3;
      }
      QTimer::singleShot(24000, &form, [&form] { form.Quit1Click(); });
    } else if (scenario == "audio-thread-calls") {
      for (QPushButton* filter :
           {form.BandPassBtn2, form.VarFltrBtn2, form.NF1Btn2, form.NF2Btn2, form.VarNF2Btn,
            form.LMSFilterBtn2, form.MedianFltrBtn2, form.AutoNotchBtn, form.NoiseReductionBtn}) {
        filter->click();
      }
      form.save_wave("calls.wav");
      form.RecordBtnClick();
      auto* busy = new QTimer(&form);
      QObject::connect(busy, &QTimer::timeout, &form, [&form, step = 0]() mutable {
        ++step;
        // A notch switched off and on, a noise filter restarted, a line
        // dragged across the display and let go.
        form.NF2Btn2->click();
        if (step % 10 == 0) form.LMSFilterBtn2->click();
        if (step % 10 == 5) form.AutoNotchBtn->click();
        const int x = 60 + (step * 7) % 400;
        form.SpectrumBoxMouseMove(Qt::LeftButton, form.centre_columns.nf1, 50);
        form.SpectrumBoxMouseMove(Qt::LeftButton, x, 50);
        form.SpectrumBoxMouseUp(Qt::LeftButton, x, 50);
      });
      // Counting starts once the input has delivered for a second in the
      // same cycle: a fresh stream on an idle sound server may stall before
      // it settles, the cycle then ends itself, and opening the devices anew
      // allocates.
      auto* watch = new QTimer(&form);
      QObject::connect(
          watch, &QTimer::timeout, &form, [&form, busy, watch, settled = 0, seen = 0u]() mutable {
            const realtime::DeviceStatus status = form.live.status();
            settled = status.input_delivering && status.cycles == seen ? settled + 1 : 0;
            seen = status.cycles;
            if (settled < 10) return;
            watch->stop();
            const std::uint32_t cycles = form.live.status().cycles;
            test_support::start_counting();
            busy->start(100);
            QTimer::singleShot(10000, &form, [&form, busy, cycles] {
              busy->stop();
              test_support::stop_counting();
              const std::optional<pid_t> audio = test_support::thread_named("tonewell-audio");
              if (audio) {
                const test_support::ThreadCalls calls = test_support::calls_of(*audio);
                std::printf("audio_thread %ld %ld %ld %ld %u %s\n", calls.allocations, calls.frees,
                            calls.locks, calls.writes, form.live.status().cycles - cycles,
                            form.live.priority().c_str());
              } else {
                std::printf("audio_thread none\n");
              }
              std::fflush(stdout);
              form.Quit1Click();
            });
          });
      QTimer::singleShot(1000, watch, [watch] { watch->start(100); });
    } else {
      return 2;
    }
    form.show();
    QCoreApplication::exec();
  }
  shell::report_sink = nullptr;
  return code;
}
