// The sound-card dialog on made-up sound cards: stepping through the devices,
// testing and storing a choice, falling back from a refused device, closing,
// and what it asks of the cycle and the held reports.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audio/device_pair.h"
#include "audio/standin_device.h"
#include "shell/Soundcardselection.h"
#include "tests/shell/test_application.h"

using namespace audio;
using namespace std::chrono_literals;
using HostReports = std::vector<std::pair<std::string, std::string>>;

namespace {

class RecordingHost : public WaveHost {
 public:
  void process_messages() override {}
  void wait_for_messages(std::chrono::milliseconds) override {}
  void wake() override {}
  void report(std::string_view caption, std::string_view text) override {
    reports.emplace_back(caption, text);
  }
  HostReports reports;
};

const std::pair<std::string, std::string> refused_report{"Device Message",
                                                         "Sound output device not compatible"};
const HostReports open_failed{{"Wave Device Message", "Could not handle the output WAVE format"},
                              {"Wave Device Message", "Error Opening Output wave device"}};

class SoundCardDialog : public ::testing::Test {
 protected:
  SoundCardDialog() {
    devices.in_wave_format = devices.out_wave_format = WaveFormat{1, 1, 11025, 22050, 2, 16};
    dialog.settle_time = 0ms;
    dialog.start_cycle = [this] { ++cycle_starts; };
    dialog.select_output = 1;
  }

  void press_up() { QTest::keyClick(dialog.WaveUpDown, Qt::Key_Up); }
  QString shown_name() const { return dialog.SoundCardManf->text(); }
  // The cycle starts the listings have set off, once the settle time ran.
  int starts() {
    QCoreApplication::processEvents();
    return cycle_starts;
  }
  int position() const { return dialog.WaveUpDown->value(); }

  Cards cards;
  RecordingHost host;
  DevicePair devices{cards, host};
  TSoundCardSelect dialog{nullptr, devices};
  int cycle_starts = 0;
};

}  // namespace

TEST_F(SoundCardDialog, UpStopsAtTheLastDeviceListingOncePerPress) {
  cards.names = {"Speakers", "Headphones"};
  dialog.show();
  EXPECT_EQ(shown_name(), "Speakers");
  press_up();
  press_up();
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(shown_name(), "Headphones");
  EXPECT_EQ(starts(), 3);
  EXPECT_EQ(devices.output_device_id, 0);  // only Select or closing stores a number
}

TEST_F(SoundCardDialog, RefusedChoiceFallsBackToTheDeviceShownAtOpeningAndLeavesTheCyclesDevice) {
  cards.names = {"Speakers", "Headphones", "Telephone"};
  cards.refused = 2;
  devices.open_wave_out();  // the running cycle's device
  const WaveOutStream* cycle_device = devices.wave_out.get();
  dialog.show();
  press_up();
  press_up();
  dialog.SelectBtnClick();
  EXPECT_EQ(host.reports, (HostReports{refused_report, refused_report}));
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(devices.output_device_id, 0);
  EXPECT_EQ(shown_name(), "Speakers");
  EXPECT_EQ(cards.opened, std::vector<int>{0});
  EXPECT_EQ(devices.wave_out.get(), cycle_device);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SoundCardDialog, ClosingAppliesTheChoiceAsSelectDoes) {
  cards.names = {"Speakers", "Headphones", "Telephone"};
  cards.refused = 2;
  dialog.show();
  press_up();
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(devices.output_device_id, 1);
  EXPECT_EQ(cards.opened, std::vector<int>{1});  // the test's stream, closed again
  EXPECT_EQ(devices.wave_out, nullptr);

  // The position is kept between showings; Escape closes as well.
  dialog.show();
  press_up();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(position(), 1);
  EXPECT_EQ(devices.output_device_id, 1);
  EXPECT_EQ(host.reports, (HostReports{refused_report, refused_report}));
  EXPECT_EQ(starts(), 4);  // closing does not list
}

TEST_F(SoundCardDialog, NoDevicesAtAllStoresNumberZero) {
  devices.output_device_id = 3;
  dialog.show();
  press_up();
  dialog.SelectBtnClick();
  EXPECT_EQ(devices.output_device_id, 0);
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(shown_name(), "");
  EXPECT_EQ(host.reports, (HostReports{refused_report, refused_report}));
}

TEST_F(SoundCardDialog, InputChoiceIsStoredAsTheInputDevice) {
  dialog.select_output = 0;
  devices.input_device_id = devices.output_device_id = 4;
  dialog.show();
  press_up();
  dialog.SelectBtnClick();
  EXPECT_EQ(shown_name(), "Built-in silent device");
  EXPECT_EQ(devices.input_device_id, 0);
  EXPECT_EQ(devices.output_device_id, 4);
  EXPECT_TRUE(host.reports.empty());
}

TEST_F(SoundCardDialog, ChoosingADeviceShowsReportsHeldSinceTheCycleRestarts) {
  cards.names = {"Telephone"};
  cards.refused = 0;
  devices.open_wave_out();
  devices.open_wave_out();  // a restart: the same failures are held back
  ASSERT_EQ(host.reports, open_failed);
  host.reports.clear();
  dialog.show();
  dialog.SelectBtnClick();
  devices.open_wave_out();  // the next restart of the cycle
  EXPECT_EQ(host.reports,
            (HostReports{refused_report, refused_report, open_failed[0], open_failed[1]}));
}

TEST_F(SoundCardDialog, ListingStartsTheCycleOnceTheSettleTimeHasPassedWithoutWaitingForIt) {
  TSoundCardSelect fresh(nullptr, devices);
  QElapsedTimer clock;
  qint64 started_at = -1;
  fresh.start_cycle = [&] { started_at = clock.elapsed(); };
  clock.start();
  fresh.show();
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_TRUE(QTest::qWaitFor([&] { return started_at >= 0; }, 2000));
  EXPECT_GE(started_at, 300);
}

TEST_F(SoundCardDialog, ALongNameIsShortenedWithTheWholeNameInItsTooltip) {
  cards.names = {std::string(200, 'x')};
  dialog.show();
  EXPECT_TRUE(shown_name().endsWith(QChar(0x2026)));
  EXPECT_EQ(dialog.SoundCardManf->toolTip(), QString(200, 'x'));
}
