#include "audio/device_clock.h"

#include <stop_token>
#include <thread>
#include <utility>

namespace audio {
namespace {

class ThreadTicking : public DeviceClock::Ticking {
 public:
  ThreadTicking(DeviceClock::duration period, std::function<void()> tick)
      : thread_([period, tick = std::move(tick)](std::stop_token stop) {
          while (!stop.stop_requested()) {
            tick();
            std::this_thread::sleep_for(period);
          }
        }) {}

 private:
  std::jthread thread_;  // asked to stop and joined when destroyed
};

class SteadyDeviceClock : public DeviceClock {
 public:
  time_point now() override { return std::chrono::steady_clock::now(); }
  std::unique_ptr<Ticking> every(duration period, std::function<void()> tick) override {
    return std::make_unique<ThreadTicking>(period, std::move(tick));
  }
};

}  // namespace

DeviceClock& steady_device_clock() {
  static SteadyDeviceClock clock;
  return clock;
}

}  // namespace audio
