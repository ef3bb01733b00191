#include "update/TQueueSink.h"

#include <chrono>

#include "update/UpdateMessages.h"

namespace lg {

void TQueueSink::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  TPostedMessage m{message, wParam, lParam, {}};
  if (message == WM_UPDATE_STATUS) {
    m.Text = TakeStatusText(wParam, lParam);
    m.WParam = 0;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(m));
  }
  posted_.notify_one();
}

std::vector<TPostedMessage> TQueueSink::Take(int ms) {
  std::unique_lock<std::mutex> guard(lock_);
  posted_.wait_for(guard, std::chrono::milliseconds(ms > 0 ? ms : 0), [this] { return !queue_.empty(); });
  std::vector<TPostedMessage> out(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
  queue_.clear();
  return out;
}

std::vector<TPostedMessage> TQueueSink::Messages() const {
  std::lock_guard<std::mutex> guard(lock_);
  return {queue_.begin(), queue_.end()};
}

std::vector<TPostedMessage> TQueueSink::Of(uint32_t message) const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<TPostedMessage> out;
  for (const TPostedMessage& m : queue_)
    if (m.Message == message) out.push_back(m);
  return out;
}

void TQueueSink::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  queue_.clear();
}

}  // namespace lg
