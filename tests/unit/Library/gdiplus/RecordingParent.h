// A parent window for the controls' tests: records what the controls post
// and invalidate, and answers a chosen launcher folder.
#pragma once

#include <string>
#include <vector>

#include "Library/gdiplus/TLGControl.h"

namespace lg::skin::test {

struct TPost {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

class TRecordingParent : public IControlParent {
 public:
  void PostToParent(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    posts.push_back({message, wParam, lParam});
  }
  void InvalidateArea(int, int, int, int) override { ++invalidations; }
  std::string LauncherFolder() const override { return folder; }

  void Clear() {
    posts.clear();
    invalidations = 0;
  }

  std::vector<TPost> posts;
  int invalidations = 0;
  std::string folder;
};

// A control that draws nothing, for the layer's own rules.
class TPlainControl : public TLGControl {
 public:
  using TLGControl::TLGControl;
  void DrawGP(Gdiplus::Graphics*) override { ++draws; }
  int draws = 0;
};

// A rule class made concrete with a drawing that does nothing.
template <class Base>
class TDrawless : public Base {
 public:
  using Base::Base;
  void DrawGP(Gdiplus::Graphics*) override {}
};

}  // namespace lg::skin::test
