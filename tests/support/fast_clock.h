// A device clock that runs a whole number of times faster than the steady
// clock, so a window test's device plays a second of sound in a fraction of
// one while the window, its threads and its timers keep real time. Ticks
// keep their period in real time: each moves the device on further.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "audio/device_clock.h"

namespace support {

class FastClock : public audio::DeviceClock {
 public:
  explicit FastClock(int times) : times_(times) {}

  time_point now() override {
    return origin_ + (std::chrono::steady_clock::now() - origin_) * times_;
  }

  std::unique_ptr<Ticking> every(duration period, std::function<void()> tick) override {
    return audio::steady_device_clock().every(period, std::move(tick));
  }

 private:
  int times_;
  time_point origin_ = std::chrono::steady_clock::now();
};

}  // namespace support
