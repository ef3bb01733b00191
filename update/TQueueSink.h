// The message sink of everything that has no window: the headless updater
// and the tests. Posted messages queue up in order; status texts
// (WM_UPDATE_STATUS) are taken over and freed at once, their text kept with
// the message. Post may be called from any thread; the reader takes the
// queue (Take) or looks at what it holds (Messages, Of).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "update/IMessageSink.h"

namespace lg {

struct TPostedMessage {
  uint32_t Message;
  uintptr_t WParam;
  intptr_t LParam;
  std::string Text;  // WM_UPDATE_STATUS only; WParam is then 0
};

class TQueueSink : public IMessageSink {
 public:
  void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  // Removes and returns everything queued, waiting up to `ms` for the first
  // message when there is none.
  std::vector<TPostedMessage> Take(int ms);
  // What the queue holds, without taking it.
  std::vector<TPostedMessage> Messages() const;
  // Only the held messages with that number.
  std::vector<TPostedMessage> Of(uint32_t message) const;
  void Reset();

 private:
  mutable std::mutex lock_;
  std::condition_variable posted_;
  std::deque<TPostedMessage> queue_;
};

}  // namespace lg
