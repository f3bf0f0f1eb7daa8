// The message wait of a test window: sleeps until woken or for the limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace support {

class WakeFlag {
 public:
  // From any thread: ends the sleep in progress, or else the next one.
  void wake() {
    {
      const std::lock_guard lock(mutex_);
      woken_ = true;
    }
    woken_up_.notify_one();
  }

  void sleep(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    woken_up_.wait_for(lock, limit, [this] { return woken_; });
    woken_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable woken_up_;
  bool woken_ = false;
};

}  // namespace support
