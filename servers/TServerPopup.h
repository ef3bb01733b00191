// The rules of the server selection popup, without the window: which rows
// an opening shows, how tall it is, which row the pointer selects, how a row
// is coloured and what a commit does.
//
// The rows are copies of the main window's list taken when the popup opens,
// so a server list that arrives while the popup is open never leaves a row
// pointing at a record that is gone: the popup shows and commits what it was
// opened with.
//
// Thread: the user-interface thread (one object per opening).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/TServerInfo.h"

namespace lg {

// One entry of the main window's `ServerNames`: the record under its name as
// GBK text.
struct TServerName {
  std::string name;
  TServerInfo record;
};

enum class TPopupMode { Servers, Groups };

struct TPopupRow {
  std::string text;                   // GBK
  std::optional<TServerInfo> record;  // server mode only
};

// Equality of two GBK texts ignoring the case of ASCII letters. Trail bytes
// of double-byte characters are compared as they are, so two different
// Chinese characters never fold together.
bool SameTextIgnoringAsciiCase(std::string_view a, std::string_view b);

class TServerPopup {
 public:
  static constexpr int kRowHeight = 32;
  static constexpr int kMaxHeight = 200;
  static constexpr int kScrollHeight = 194;  // six rows and the border; the list scrolls
  static constexpr uint32_t kColourSelected = 0xFFFFFFFF;
  static constexpr uint32_t kColourHighlighted = 0xFFFFFF00;
  static constexpr uint32_t kColourNormal = 0xFFD2A311;
  static constexpr uint32_t kColourShadow = 0xFF000000;
  static constexpr uint32_t kBorderColour = 0x4080FF;  // COLORREF: red FF, green 80, blue 40
  static constexpr int kTextLeft = 15;

  // Server mode: the servers whose group equals `currentMember` exactly, in
  // list order. Group mode: every group once, in the form met first.
  TServerPopup(TPopupMode mode, const std::vector<TServerName>& names, std::string_view currentMember);

  TPopupMode Mode() const { return mode_; }
  const std::vector<TPopupRow>& Rows() const { return rows_; }
  int Count() const { return static_cast<int>(rows_.size()); }

  static int HeightFor(int rows);
  int Height() const { return HeightFor(Count()); }

  // The selected row, -1 for none.
  int Selected() const { return selected_; }
  void Select(int index);
  // Pointer tracking: `y` in list client pixels, `topIndex` the first row
  // shown. Rows below the last select nothing.
  void TrackPointer(int y, int topIndex);

  // Text colour (ARGB) of a row and whether it carries the new-server mark.
  uint32_t TextColour(int index, bool selected) const;
  bool ShowsNewMark(int index) const;

  // What a commit (click, Enter, Escape) does.
  struct TCommit {
    enum Kind { Nothing, SelectServer, SelectMember } kind = Nothing;
    TServerInfo server;
    std::string member;
  };
  TCommit Commit() const;

 private:
  TPopupMode mode_;
  std::vector<TPopupRow> rows_;
  int selected_ = -1;
};

}  // namespace lg
