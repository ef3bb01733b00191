// What the launcher would make of a file's deployment block, gathered for the
// operator: trailer fields and verdicts, the ten values after the channel
// rewrite for the file's own name, the images as the launcher would load
// them and the stored positions. Reads through the launcher's own reader.
// Any thread; the result owns its data.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/ConfigBlock.h"
#include "launcher/SkinLayout.h"
#include "tools/launcher-block/SignedBlock.h"

namespace lg::blocktool {

struct TInspectedImage {
  std::string name;
  std::optional<int64_t> size;  // empty when the launcher would not load it
};

struct TInspectedPosition {
  std::string control;
  std::optional<int> value[4];  // X, Y, W, H; empty beyond the section's end
  int applied;                  // how many of them the launcher applies (0, 2 or 4)
};

struct TInspection {
  std::string path;
  int64_t fileSize = -1;
  TConfigBlockReport report;
  std::vector<std::string> log;  // the launcher's log lines, GBK
  std::vector<TInspectedImage> images;
  std::vector<TInspectedPosition> positions;
  TSignatureReport signature;  // whether the file is code-signed and where its block lies
  bool AllValid() const { return report.trailer.url.valid && report.trailer.res.valid && report.trailer.pos.valid; }
};

TInspection Inspect(const std::string& path);

// Human-readable report (UTF-8), optionally with the launcher's log lines.
std::string FormatText(const TInspection& in, bool withLog);
// One JSON object (UTF-8).
std::string FormatJson(const TInspection& in);

}  // namespace lg::blocktool
