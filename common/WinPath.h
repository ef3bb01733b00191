// Windows-only helper of the platform layer: a GBK core path as the UTF-16
// name the wide file API takes. Included by *_win.cpp files only.
#pragma once

#include <string>
#include <string_view>

#include "common/Platform.h"

namespace lg::plat {

inline std::wstring WidePathOf(std::string_view path) {
  std::u16string u = Utf16FromGbk(path);
  std::wstring w(u.begin(), u.end());
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  return w;
}

}  // namespace lg::plat
