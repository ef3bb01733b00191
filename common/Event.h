// An auto-reset event with a timed wait, as the workers use to signal each
// other. Any thread may Set; a successful wait consumes the signal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace lg {

class TEvent {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      signalled_ = true;
    }
    cv_.notify_one();
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = false;
  }
  // True when signalled within `timeoutMs` (negative: no limit).
  bool WaitFor(int64_t timeoutMs) {
    std::unique_lock<std::mutex> guard(lock_);
    if (timeoutMs < 0) {
      cv_.wait(guard, [this] { return signalled_; });
    } else if (!cv_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; })) {
      return false;
    }
    signalled_ = false;
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

}  // namespace lg
