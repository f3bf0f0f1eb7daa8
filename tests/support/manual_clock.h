// A device clock that stands still until a test moves it on. Moving it runs
// the ticks and the actions that fall due on the way, in order, in the
// thread that moves it: a cycle whose waits move it runs at the pace its own
// passes allow, with no real-time wait, and the same way every time. The
// clock, the streams that tick on it and whatever moves it belong to one
// thread; a tick may start ticks and actions but not end its own ticking.
#pragma once

#include <chrono>
#include <functional>
#include <iterator>
#include <list>
#include <memory>
#include <utility>

#include "audio/device_clock.h"

namespace support {

class ManualClock : public audio::DeviceClock {
 public:
  time_point now() override { return now_; }

  std::unique_ptr<Ticking> every(duration period, std::function<void()> tick) override {
    due_.push_back(Due{now_ + period, period, std::move(tick)});
    return std::make_unique<Entry>(due_, std::prev(due_.end()));
  }

  // Calls `action` once the clock has moved on by `delay`.
  void after(duration delay, std::function<void()> action) {
    due_.push_back(Due{now_ + delay, duration::zero(), std::move(action)});
  }

  // Moves on to `until`, one due time at a time, until `done` says so; a
  // `done` true at the start moves nothing.
  void run_until(time_point until, const std::function<bool()>& done) {
    while (!done()) {
      auto next = due_.begin();
      for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->at < next->at) next = it;
      }
      if (next == due_.end() || next->at > until) {
        now_ = until;
        return;
      }
      now_ = next->at;
      if (next->period == duration::zero()) {
        const std::function<void()> action = std::move(next->call);
        due_.erase(next);
        action();
      } else {
        next->at += next->period;
        next->call();
      }
    }
  }

 private:
  struct Due {
    time_point at;
    duration period;  // zero: called once
    std::function<void()> call;
  };

  class Entry : public Ticking {
   public:
    Entry(std::list<Due>& list, std::list<Due>::iterator at) : list_(list), at_(at) {}
    ~Entry() override { list_.erase(at_); }

   private:
    std::list<Due>& list_;
    std::list<Due>::iterator at_;
  };

  time_point now_{};
  std::list<Due> due_;
};

}  // namespace support
