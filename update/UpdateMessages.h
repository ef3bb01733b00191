// Message numbers the update worker posts to the main window, and the
// hand-over of status texts. Numbers count from the window system's first
// private message (1024) so that they are the same on every platform.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "update/IMessageSink.h"

namespace lg {

inline constexpr uint32_t kWmUserBase = 1024;

// wParam: position, lParam: maximum.
inline constexpr uint32_t WM_UPDATE_FILEPROGRESS = kWmUserBase + 101;
inline constexpr uint32_t WM_UPDATE_PROGRESS = kWmUserBase + 102;
// wParam: bytes received, lParam: milliseconds elapsed.
inline constexpr uint32_t WM_UPDATE_SPEED = kWmUserBase + 103;
// wParam: result 0 or 1, lParam: pass number.
inline constexpr uint32_t WM_UPDATE_DONE = kWmUserBase + 104;
// wParam: a heap copy of a zero-terminated GBK text that the receiver frees
// with TakeStatusText, lParam: its length in bytes.
inline constexpr uint32_t WM_UPDATE_STATUS = kWmUserBase + 107;
// wParam: 100, lParam: 0.
inline constexpr uint32_t WM_UPDATE_ERROR = kWmUserBase + 108;

// Posts WM_UPDATE_STATUS with a fresh copy of `text`; ownership of the
// copy passes to the receiver.
inline void PostStatusText(IMessageSink& sink, std::string_view text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  sink.Post(WM_UPDATE_STATUS, reinterpret_cast<uintptr_t>(copy), static_cast<intptr_t>(text.size()));
}

// The receiver's side: the text of a WM_UPDATE_STATUS message, freeing the
// copy.
inline std::string TakeStatusText(uintptr_t wParam, intptr_t lParam) {
  char* copy = reinterpret_cast<char*>(wParam);
  if (!copy) return {};
  std::string text(copy, static_cast<size_t>(lParam));
  delete[] copy;
  return text;
}

}  // namespace lg
