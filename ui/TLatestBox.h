// A hand-over slot between a worker and the window's thread that keeps only
// the newest object: the worker puts a heap object in and wakes the window
// (a posted message), the window takes it out on its own thread. An object
// that was not taken yet is replaced by a newer one and freed; after Close
// nothing more is accepted and nothing is woken, so a worker that is still
// running while the window goes never reaches a window that is gone.
//
// Threads: Put from any thread, Take and Close from the owner's thread. The
// wake function runs under the lock (it must only post, never call back
// into the box), so no wake can follow a Close that has returned.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace lg {

template <typename T>
class TLatestBox {
 public:
  explicit TLatestBox(std::function<void()> wake = {}) : wake_(std::move(wake)) {}

  // False when the box is closed (the object is freed then).
  bool Put(std::unique_ptr<T> item) {
    std::unique_ptr<T> old;  // freed after the lock is released
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
    old = std::move(item_);
    item_ = std::move(item);
    if (wake_) wake_();
    return true;
  }

  // The wake function may be set once the receiver exists.
  void SetWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!closed_) wake_ = std::move(wake);
  }

  std::unique_ptr<T> Take() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::move(item_);
  }

  void Close() {
    std::unique_ptr<T> old;
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    old = std::move(item_);
    wake_ = nullptr;
  }

 private:
  std::mutex lock_;
  bool closed_ = false;
  std::unique_ptr<T> item_;
  std::function<void()> wake_;
};

}  // namespace lg
