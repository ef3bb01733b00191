#include "tests/support/RecordingSink.h"

#include "update/UpdateMessages.h"

namespace lg::test {

void TRecordingSink::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  TPostedMessage m{message, wParam, lParam, {}};
  if (message == WM_UPDATE_STATUS) {
    m.Text = TakeStatusText(wParam, lParam);
    m.WParam = 0;
  }
  std::lock_guard<std::mutex> guard(lock_);
  messages_.push_back(std::move(m));
}

std::vector<TPostedMessage> TRecordingSink::Messages() const {
  std::lock_guard<std::mutex> guard(lock_);
  return messages_;
}

std::vector<TPostedMessage> TRecordingSink::Of(uint32_t message) const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<TPostedMessage> out;
  for (const TPostedMessage& m : messages_)
    if (m.Message == message) out.push_back(m);
  return out;
}

void TRecordingSink::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  messages_.clear();
}

}  // namespace lg::test
