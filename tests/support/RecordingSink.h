// A message sink for tests: records every posted message in order. Status
// texts (WM_UPDATE_STATUS) are taken over and freed at once, their text kept
// with the message. Post may be called from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "update/IMessageSink.h"

namespace lg::test {

struct TPostedMessage {
  uint32_t Message;
  uintptr_t WParam;
  intptr_t LParam;
  std::string Text;  // WM_UPDATE_STATUS only; WParam is then 0
};

class TRecordingSink : public IMessageSink {
 public:
  void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  std::vector<TPostedMessage> Messages() const;
  // Only the messages with that number.
  std::vector<TPostedMessage> Of(uint32_t message) const;
  void Reset();

 private:
  mutable std::mutex lock_;
  std::vector<TPostedMessage> messages_;
};

}  // namespace lg::test
