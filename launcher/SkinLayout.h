// The two fixed reading orders of the deployment block: the 19 position
// records the window's layout is read from, and the 33 skin images with the
// five that two controls share. Data plus two small drivers; the window
// decides what a value or an image does to which control (the drivers only
// hand out numbers and undecoded image bytes).
//
// Main thread, like the readers they drive.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "launcher/ConfigBlock.h"

namespace lg {

inline constexpr int kPositionRecordCount = 19;
inline constexpr int kPositionRecordSize = 8;  // X, Y, W, H as signed 16-bit values
inline constexpr int kImageCount = 33;
inline constexpr int kImageReadCount = kImageCount + 5;

enum class TPositionAfter {
  None,
  DisableButton,  // LGStart: disabled once placed
  ZeroXOffset,    // LGPTotal: horizontal image offset back to 0
  SetTag,         // LGBtn1..4: tag 1..4 selects the page the button opens
};

struct TPositionRecord {
  const char* control;  // design name of the control ("wb" is the news browser)
  const char* label;    // name in the log lines; empty for the unread record 0
  int fields;           // how many of X, Y, W, H are applied: 0, 2 or 4
  int skipAfter;        // bytes stepped over after the applied fields
  TPositionAfter after;
  int tag;
};
extern const std::array<TPositionRecord, kPositionRecordCount> kPositionRecords;

// Field index 0..3 = X (left), Y (top), W (width), H (height).
inline constexpr char kPositionFieldNames[] = "XYWH";

// Applies the position section in the fixed order, starting 8 bytes into it
// (record 0, the window itself, is never read). `apply` gets the record
// index, the field index and the value for each value inside the section;
// fields outside it are not reported and keep their designed geometry.
void ResetComponentOffset(IBlockSource& source, const TBlockPlacement& place,
                          const std::function<void(int record, int field, int value)>& apply,
                          const TLogSink& log = LogError);

extern const std::array<const char*, kImageCount> kImageNames;

enum class TSkinUse {
  Background,    // the window's background; its size becomes the client size
  ButtonState,   // button `control`, state index `state` (0 normal, 1 active, 2 down, 3 disable)
  Picture,       // picture control `control`
  ProgressBack,  // progress bar background (SetBkgImage)
  ProgressStep,  // progress bar fill (SetStepImage)
  PopupActive,   // server popup row, highlighted
  PopupNormal,   // server popup row, normal
  PopupNew,      // server popup mark of a newly opened server
};

struct TImageRead {
  int image;        // index into kImageNames
  bool markSecond;  // the second cursor takes the main cursor's value before this read
  bool second;      // read with the second cursor
  TSkinUse use;
  const char* control;
  int state;
};
extern const std::array<TImageRead, kImageReadCount> kImageReads;

// Reads the images in the fixed order while each record loads; the first
// record that does not load ends the reading. Nothing is read when the image
// section did not pass its check. Returns the number of images handed out.
int LoadImageresource(IBlockSource& source, const TBlockPlacement& place,
                      const std::function<void(const TImageRead& read, std::string&& bytes)>& apply,
                      const TLogSink& log = LogError);

}  // namespace lg
