// The sound cards as the rig offers them, through the program's own window
// and dialog in this process: the dialog lists the rig's devices and keeps a
// choice, and a device number that does not exist is reported once while
// the cycle keeps restarting. Then the sound cards alone while the rig's
// server is stopped: no caller waits on it, and what opens late is used.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>

#include "audio/portaudio_device.h"
#include "shell/Soundcardselection.h"
#include "shell/Zoduvov.h"
#include "tests/audio/buffer.h"
#include "tests/live/rig.h"
#include "tests/live/window_on_rig.h"
#include "tests/shell/test_application.h"

namespace {

class LiveDevices : public WindowOnRig {
 protected:
  // The rig's sound cards, counting the cycle's attempts to open an output.
  struct Cards : audio::PortAudioSystem {
    int open_output(int device_id, const audio::WaveFormat& format,
                    std::unique_ptr<audio::WaveOutStream>* stream) override {
      if (stream) ++output_opens;
      return PortAudioSystem::open_output(device_id, format, stream);
    }
    int output_opens = 0;
  };

  Cards cards;
};

TEST_F(LiveDevices, TheDialogListsTheRigsDevicesAndKeepsAChoice) {
  ASSERT_GE(cards.output_count(), 2) << "the rig offers the default device and the sound server";
  TZForm form{cards};
  form.StartTimer->stop();
  // The formats the devices are tested with, as every cycle start sets them.
  form.devices.init_out_headers();
  form.devices.init_in_headers();
  ReportRecorder recorder;
  TSoundCardSelect dialog(&form, form.devices);
  dialog.settle_time = std::chrono::milliseconds(0);
  dialog.start_cycle = [] {};

  dialog.select_output = 1;
  dialog.show();
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.output_name(0));
  QTest::keyClick(dialog.WaveUpDown, Qt::Key_Up);
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.output_name(1));
  QTest::mouseClick(dialog.SelectBtn, Qt::LeftButton);
  EXPECT_EQ(form.devices.output_device_id, 1);
  EXPECT_EQ(dialog.WaveUpDown->value(), 1);
  EXPECT_TRUE(recorder.reports.empty());

  dialog.select_output = 0;
  dialog.hide();
  dialog.show();
  EXPECT_EQ(dialog.SoundCardManf->text().toStdString(), cards.input_name(1));
  dialog.close();
  EXPECT_EQ(form.devices.input_device_id, 1);
  EXPECT_TRUE(recorder.reports.empty());
}

TEST_F(LiveDevices, AMissingOutputIsReportedOnceWhileTheCycleKeepsRestarting) {
  TZForm form{cards};
  ReportRecorder recorder;
  form.devices.output_device_id = 7;
  // Let the cycle start, fail its output and restart for three seconds.
  QTimer::singleShot(3000, &form, [&form] { form.Quit1Click(); });
  QCoreApplication::exec();

  const auto count = [&recorder](const char* text) {
    return std::count_if(recorder.reports.begin(), recorder.reports.end(),
                         [text](const auto& report) { return report.second == text; });
  };
  // More than one cycle, but the first one's reports alone; closing the
  // output that never opened is not reported again.
  EXPECT_GE(cards.output_opens, 2);
  EXPECT_EQ(count("Could not handle the output WAVE format"), 1);
  EXPECT_EQ(count("Error Opening Output wave device"), 1);
  EXPECT_EQ(count("Error closing the output wave device"), 0);
  for (const auto& report : recorder.reports) EXPECT_EQ(report.first, "Wave Device Message");
  // The input side kept working: it opened every time without a report.
  EXPECT_EQ(count("Error Opening Input wave device"), 0);
}

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What a call on the window thread may take beyond its bound on this shared,
// busy machine before it counts as waiting on the server.
constexpr auto scheduling_slack = 250ms;

const audio::WaveFormat mono{1, 1, live::rate, 2 * live::rate, 2, 16};
const audio::WaveFormat stereo{1, 2, live::rate, 4 * live::rate, 4, 16};

// The rig's sound server, stopped (SIGSTOP) until resume() or the end of
// this object, so a failed test leaves it running.
class StoppedServer {
 public:
  StoppedServer()
      : pid_(std::atoi(live::output_of({"pgrep", "-f", *live::rig_folder() + "/rig.pa"}).c_str())) {
    if (pid_ > 0) kill(pid_, SIGSTOP);
  }
  ~StoppedServer() { resume(); }
  StoppedServer(const StoppedServer&) = delete;
  StoppedServer& operator=(const StoppedServer&) = delete;

  bool found() const { return pid_ > 0; }
  void resume() {
    if (pid_ > 0) kill(pid_, SIGCONT);
    pid_ = 0;
  }

 private:
  pid_t pid_;
};

// Times a call.
template <typename Call>
Clock::duration timed(Call call) {
  const auto start = Clock::now();
  call();
  return Clock::now() - start;
}

// Polls until `condition` holds or `limit` has passed; whether it held.
template <typename Condition>
bool eventually(Condition condition, Clock::duration limit) {
  const auto end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// The completion notices of one stream.
struct Notices {
  std::function<void()> notice() {
    return [this] {
      std::lock_guard lock(mutex);
      ++count;
      told.notify_all();
    };
  }
  // Waits up to `limit` for `total` notices in all.
  bool wait_for(int total, Clock::duration limit) {
    std::unique_lock lock(mutex);
    return told.wait_for(lock, limit, [&] { return count >= total; });
  }
  int seen() {
    std::lock_guard lock(mutex);
    return count;
  }

  std::mutex mutex;
  std::condition_variable told;
  int count = 0;
};

class LiveDeviceThread : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!live::rig_folder())
      GTEST_SKIP() << "No sound rig: run these tests through scripts/audio_rig.";
  }
};

TEST_F(LiveDeviceThread, AStoppedServerHoldsNoCallerAndTheStreamThatOpensLateIsHandedOn) {
  audio::PortAudioSystem cards;
  std::unique_ptr<audio::WaveInStream> in;
  std::unique_ptr<audio::WaveOutStream> out;
  ASSERT_EQ(cards.open_input(0, mono, &in), audio::wave_ok);
  ASSERT_EQ(cards.open_output(0, mono, &out), audio::wave_ok);
  Notices in_notices, out_notices;
  in->set_completion_notice(in_notices.notice());
  out->set_completion_notice(out_notices.notice());
  Buffer in_a(2048), in_b(2048), out_a(2048), out_b(2048);
  for (Buffer* buffer : {&in_a, &in_b}) {
    in->prepare(buffer->header);
    in->add_buffer(buffer->header);
  }
  for (Buffer* buffer : {&out_a, &out_b}) {
    out->prepare(buffer->header);
    out->write(buffer->header);
  }
  in->start();
  // The audio callbacks tell each buffer they complete. The sound server
  // hands a fresh capture stream its first data up to two seconds late.
  ASSERT_TRUE(in_notices.wait_for(1, 4s));
  ASSERT_TRUE(out_notices.wait_for(1, 2s));
  EXPECT_TRUE(in_a.done() && out_a.done());

  StoppedServer server;
  ASSERT_TRUE(server.found());
  std::this_thread::sleep_for(200ms);
  // Closing returns the buffers still queued at once, and tells them: one
  // notice for each buffer in all.
  EXPECT_LT(timed([&] {
              in.reset();
              out.reset();
            }),
            50ms);
  EXPECT_TRUE(in_b.done() && out_b.done());
  EXPECT_EQ(in_notices.seen(), 2);
  EXPECT_EQ(out_notices.seen(), 2);

  // An open waits for the bound, no longer; a setup found before answers a
  // query at once, one never found waits like an open.
  for (int attempt = 0; attempt < 2; ++attempt) {
    int result = audio::wave_ok;
    const auto took = timed([&] { result = cards.open_input(0, mono, &in); });
    EXPECT_EQ(result, audio::wave_pending);
    EXPECT_EQ(in, nullptr);
    EXPECT_GE(took, audio::device_answer_limit);
    EXPECT_LT(took, audio::device_answer_limit + scheduling_slack);
    std::this_thread::sleep_for(300ms);
  }
  int query = audio::wave_error;
  EXPECT_LT(timed([&] { query = cards.open_output(0, mono, nullptr); }), 20ms);
  EXPECT_EQ(query, audio::wave_ok);
  EXPECT_LT(timed([&] { query = cards.open_output(0, stereo, nullptr); }),
            audio::device_answer_limit + scheduling_slack);
  EXPECT_EQ(query, audio::wave_pending);

  // Once the server runs again the open under way completes, and the
  // program's next tries take that stream rather than open another.
  server.resume();
  EXPECT_TRUE(eventually([&] { return cards.open_input(0, mono, &in) == audio::wave_ok; }, 5s));
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(live::stream_count("source-outputs"), 1);
  Buffer in_c(2048);
  in->set_completion_notice(in_notices.notice());
  in->prepare(in_c.header);
  in->add_buffer(in_c.header);
  in->start();
  // The rig's server can take a second or two to catch up after a stop.
  EXPECT_TRUE(in_notices.wait_for(in_notices.seen() + 1, 5s));
  EXPECT_TRUE(in_c.done());
}

TEST_F(LiveDeviceThread, AStreamThatOpensLateAndIsNotTakenIsClosed) {
  audio::PortAudioSystem cards;
  ASSERT_EQ(cards.open_output(0, mono, nullptr), audio::wave_ok);
  StoppedServer server;
  ASSERT_TRUE(server.found());
  std::unique_ptr<audio::WaveOutStream> out;
  EXPECT_EQ(cards.open_output(0, mono, &out), audio::wave_pending);
  server.resume();
  EXPECT_TRUE(eventually([] { return live::stream_count("sink-inputs") == 1; }, 3s));
  std::this_thread::sleep_for(audio::late_stream_kept - 1s);
  EXPECT_EQ(live::stream_count("sink-inputs"), 1);
  EXPECT_TRUE(eventually([] { return live::stream_count("sink-inputs") == 0; }, 3s));
}

TEST_F(LiveDeviceThread, DestroyingTheSystemLeavesAThreadStuckOnTheServer) {
  auto cards = std::make_unique<audio::PortAudioSystem>();
  ASSERT_EQ(cards->open_output(0, mono, nullptr), audio::wave_ok);
  StoppedServer server;
  ASSERT_TRUE(server.found());
  std::unique_ptr<audio::WaveOutStream> out;
  EXPECT_EQ(cards->open_output(0, mono, &out), audio::wave_pending);
  const auto took = timed([&] { cards.reset(); });
  EXPECT_GE(took, audio::device_exit_wait);
  EXPECT_LT(took, audio::device_exit_wait + scheduling_slack);
  // Left to itself, the thread closes what it opened once the server runs.
  server.resume();
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(eventually([] { return live::stream_count("sink-inputs") == 0; }, 3s));
}

TEST_F(LiveDeviceThread, CapturingFromAnIdleSourceCostsLittleCpu) {
  // Nothing plays into radio_in: its monitor sends nothing for up to two
  // seconds after a capture starts, which must not be spent spinning.
  audio::PortAudioSystem cards;
  std::unique_ptr<audio::WaveInStream> in;
  ASSERT_EQ(cards.open_input(0, mono, &in), audio::wave_ok);
  Buffer a(2048), b(2048);
  for (Buffer* buffer : {&a, &b}) {
    in->prepare(buffer->header);
    in->add_buffer(buffer->header);
  }
  const auto before = live::cpu_time(getpid());
  in->start();
  std::this_thread::sleep_for(3s);
  const auto after = live::cpu_time(getpid());
  ASSERT_TRUE(before && after);
  std::cout << "Live figure: " << 100 * (*after - *before).count() / 3 << " % of a core"
            << std::endl;
  EXPECT_LT((*after - *before).count(), 0.3);  // a tenth of a core
  EXPECT_TRUE(b.done());
}

}  // namespace
