// The time the built-in device runs by. The program's is the steady clock,
// each stream ticking on a small thread of its own; a test may give the
// device a clock that it moves on itself, running the ticks as it goes.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace audio {

class DeviceClock {
 public:
  using time_point = std::chrono::steady_clock::time_point;
  using duration = std::chrono::steady_clock::duration;

  // Ends the ticks when destroyed; no tick runs after its destructor returns.
  class Ticking {
   public:
    virtual ~Ticking() = default;
  };

  virtual ~DeviceClock() = default;
  virtual time_point now() = 0;
  // Calls `tick` about every `period` from now on, until the returned object
  // is destroyed.
  [[nodiscard]] virtual std::unique_ptr<Ticking> every(duration period,
                                                       std::function<void()> tick) = 0;
};

// The steady clock, a thread for each ticking.
DeviceClock& steady_device_clock();

}  // namespace audio
