// The deployment block appended behind the launcher's program image: a
// trailer of 124 bytes at the very end locating three sections (URL text,
// skin images, control positions), each checked against its MD5 digest.
//
// The reader works on any IBlockSource, so the launcher reads its own
// executable, the operator's block tool reads any file, and the fuzzer and
// tests feed memory. Offsets and sizes from the block are checked against the
// real size in 64-bit arithmetic before anything is allocated or read: a
// damaged block is logged as an error and ignored, never trusted.
//
// InitConfig and the record readers run on the main thread; InitConfig writes
// the process-wide values below and the ten deployment values of
// common/Deployment.h once at start-up, before any worker starts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/Deployment.h"
#include "launcher/BlockSource.h"
#include "launcher/Diagnostics.h"

namespace lg {

inline constexpr uint32_t kBlockFlag = 0x12345678;
inline constexpr int kBlockTrailerSize = 124;
inline constexpr int kBlockDigestSize = 32;
inline constexpr int kDeploymentValueCount = 10;

// The names of the ten values in token order ("_HomeHub" ... "_NewsPageUrl").
extern const std::array<const char*, kDeploymentValueCount> kDeploymentValueNames;

// One section as the trailer describes it. Offsets are absolute file offsets.
struct TBlockSection {
  int32_t offset = 0;
  int32_t size = 0;
  std::string md5;      // the 32 stored bytes, as stored
  std::string realMd5;  // digest of the bytes found there; empty when not read
  bool valid = false;   // the section lies in the file and its digest matches
};

struct TBlockTrailer {
  TBlockSection url, res, pos;
  uint32_t flag = 0;
};

// Trailer bytes <-> fields (little-endian, digests as 32 raw bytes).
TBlockTrailer DecodeTrailer(const unsigned char bytes[kBlockTrailerSize]);
std::string EncodeTrailer(const TBlockTrailer& trailer);

// Where the image and position sections lie; all 0 for a section that did
// not pass its check.
struct TBlockPlacement {
  int32_t resOffset = 0;
  int32_t resSize = 0;
  int32_t posOffset = 0;
  int32_t posSize = 0;
};

// Process-wide copies, set by InitConfig.
inline int32_t ResOffset = 0;
inline int32_t ResSize = 0;
inline int32_t PosOffset = 0;
inline int32_t PosSize = 0;
TBlockPlacement CurrentPlacement();

// Everything one reading of a block found.
struct TConfigBlockReport {
  uint32_t flag = 0;
  bool trailerRead = false;  // the magic matched and the 120-byte record was read
  TBlockTrailer trailer;     // url/res/pos with their verdicts
  std::string urlText;       // the URL section's text (GBK) when its digest matched
  size_t tokenCount = 0;
  bool valuesSet = false;  // at least ten tokens: `values` hold them, channel applied
  std::array<std::string, kDeploymentValueCount> values;
  TBlockPlacement placement;
};

using TLogSink = std::function<void(std::string_view)>;

// Reads the trailer and the URL section and checks the other two sections.
// `exeName` is the launcher's file name (folder-free, with extension) that
// the channel is taken from.
TConfigBlockReport ReadConfigBlock(IBlockSource& source, std::string_view exeName, const TLogSink& log);
TConfigBlockReport ReadConfigBlock(const void* data, size_t size, std::string_view exeName, const TLogSink& log);

// The channel rewrite of the home and payment pages for a launcher named
// "<anything>_<channel>.exe". `values` are in token order.
void ApplyChannel(std::array<std::string, kDeploymentValueCount>& values, std::string_view exeName,
                  const TLogSink& log);

// Start-up reading of the launcher's own file (default: the running
// executable): sets the ten deployment values and the placement above.
void InitConfig(const std::string& path = LauncherPath(), const TLogSink& log = LogError);

// One image record at `cursor` (a 32-bit length and that many bytes inside
// the image section); advances `cursor` past it. False when the record is
// empty, runs past the section or cannot be read; `image` then is empty.
bool LoadImg(IBlockSource& source, const TBlockPlacement& place, std::string_view name, int64_t& cursor,
             std::string& image, const TLogSink& log = LogError);

// One signed 16-bit position value at `cursor`; advances `cursor` by 2.
// Nothing when the value does not lie inside the position section.
std::optional<int> LoadImgPos(IBlockSource& source, const TBlockPlacement& place, std::string_view name,
                              int64_t& cursor, const TLogSink& log = LogError);

}  // namespace lg
