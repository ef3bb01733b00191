// The main window's controls as designed: kind, geometry, visibility,
// enabled state, texts, colours and tags, in child (paint) order. The window
// creates its skinned controls from this table; the position section of the
// deployment block then moves most of them.
//
// Plain data, any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lg {

enum class TMainControl {
  picLogin,
  LGStart,
  LGClose,
  LGBtn1,
  LGBtn2,
  LGBtn3,
  LGBtn4,
  LGmin,
  LGBtn5,
  LGBtn6,
  lbLstSelSrv,
  lbMember,
  lbIngUpdate,
  picSlogan,
  LGCurrent,
  LGPTotal,
  LBStatus,
  lbCurSelSrv,
  btnSelServer,
  btnSelMem,
  LGLabel1,
  NewsBrowser,
};
inline constexpr int kMainControlCount = static_cast<int>(TMainControl::NewsBrowser) + 1;

enum class TControlKind { Picture, Button, Label, Progress, Browser };

struct TRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool Contains(int x, int y) const { return x >= left && y >= top && x < left + width && y < top + height; }
  bool operator==(const TRect&) const = default;
};

// Colours as the window's font colour stores them: red in the low byte.
inline constexpr uint32_t kColourOrange = 4227327;  // red 255, green 128, blue 64
inline constexpr uint32_t kColourWhite = 0xFFFFFF;

struct TControlDesign {
  const char* name;  // design name ("wb" for the news browser, as the position section calls it)
  TControlKind kind;
  TRect bounds;
  bool visible;
  bool enabled;
  const char* caption;  // UTF-8; labels do not draw it
  const char* text;     // UTF-8 wide text drawn by buttons and labels
  uint32_t fontColour;
  int fontHeight;  // pixels
  int tag;
  bool handCursor;
  bool centred;
};

extern const std::array<TControlDesign, kMainControlCount> kMainControls;

inline const TControlDesign& Design(TMainControl c) {
  return kMainControls[static_cast<size_t>(c)];
}
std::optional<TMainControl> ControlByName(std::string_view name);

// The designed client size (the "background" image replaces it) and font.
inline constexpr int kDesignedClientWidth = 985;
inline constexpr int kDesignedClientHeight = 554;
inline constexpr int kWindowFontHeight = 12;
inline constexpr const char* kWindowClassName = "Client Launcher";

}  // namespace lg
