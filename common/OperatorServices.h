// What the launcher sends to the operator's two services and relies on in
// their answers, in one place: the content server (plain HTTP, static files
// honouring byte ranges) and the server-list service (UDP frames). The
// update engine, the server list and the main window take their numbers and
// names from here. Constants and pure helpers only; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Gbk.h"

namespace lg::ops {

// ---- Server-list service (UDP) ------------------------------------------
inline constexpr uint16_t kServerListPort = 30000;
// Frame: magic (2), command (2), reserved 0 (2), payload length (2), payload.
// All fields little-endian; the magic's bytes on the wire are AA 55.
inline constexpr uint16_t kFrameMagic = 0x55AA;
inline constexpr size_t kFrameHeaderSize = 8;
inline constexpr uint16_t kCmdServerListRequest = 1;  // payload: game id, 32-bit signed
inline constexpr uint16_t kCmdServerListReply = 129;  // payload: GBK JSON server list
inline constexpr uint32_t kServerListRequestSpacingMs = 5000;
inline constexpr uint32_t kServerListReplyTimeoutMs = 10000;

// ---- Content server (HTTP) -----------------------------------------------
inline constexpr std::string_view kClientManifestName = "update.json";     // pass 0, base _ClientPatchUrl
inline constexpr std::string_view kLauncherManifestName = "updateL.json";  // pass 1, base _LauncherPathUrl
inline constexpr std::string_view kPackageFolder = "complete/";
inline constexpr std::string_view kPackageManifestName = "release.json";
inline constexpr std::string_view kZipSuffix = ".zip";
// Local copies and local state of the two passes, relative to the launcher's folder.
inline constexpr std::string_view kClientManifestCopy = "data\\update.json";
inline constexpr std::string_view kLauncherManifestCopy = "data\\updateL.json";
inline constexpr std::string_view kClientLocalState = "data\\update0.local";
inline constexpr std::string_view kLauncherLocalState = "data\\update1.local";

// The first request of a download asks for the first byte only; a 206 with
// "Content-Range" allows ranged fetching by several connections.
inline constexpr int64_t kProbeRangeStart = 0;
inline constexpr int64_t kProbeRangeEnd = 0;
inline constexpr std::string_view kRangeUnit = "Bytes=";  // capital B, as sent

// "complete/" + name: where the package and its manifest sit below the
// patch address (and below a published web root).
inline std::string PackagePath(std::string_view name) {
  return std::string(kPackageFolder) + std::string(name);
}

// base + "/" + manifest name.
inline std::string ManifestUrl(std::string_view base, std::string_view manifestName) {
  return std::string(base) + "/" + std::string(manifestName);
}

// base + "complete/" + "release.json": no "/" is inserted after the base.
inline std::string PackageManifestUrl(std::string_view base) {
  return std::string(base) + PackagePath(kPackageManifestName);
}

// base + "/" + File (+ ".zip" for a zipped entry).
inline std::string IncrementalFileUrl(std::string_view base, std::string_view file, bool isZip) {
  std::string url = std::string(base) + "/" + std::string(file);
  if (isZip) url += kZipSuffix;
  return url;
}

// base + "complete/" + the package's File, each doubled backslash and then
// each remaining single one turned into "/". A GBK trail byte equal to "\"
// belongs to its character and stays.
inline std::string PackageFileUrl(std::string_view base, std::string_view file) {
  std::string url = std::string(base) + std::string(kPackageFolder);
  for (size_t i = 0; i < file.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(file[i])) && i + 1 < file.size()) {
      url += file.substr(i, 2);
      ++i;
      continue;
    }
    if (file[i] != '\\') {
      url += file[i];
      continue;
    }
    url += '/';
    if (i + 1 < file.size() && file[i + 1] == '\\') ++i;
  }
  return url;
}

}  // namespace lg::ops
