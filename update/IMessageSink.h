// Where the update engine's workers report to: one posted message (number,
// wParam, lParam), the shape of a window message. On Windows the sink posts
// to the main window; the headless updater and the tests queue the
// messages. Post may be called from any worker thread and must not block.
#pragma once

#include <cstdint>

namespace lg {

struct IMessageSink {
  virtual void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

 protected:
  ~IMessageSink() = default;
};

}  // namespace lg
