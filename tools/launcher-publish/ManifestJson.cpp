#include "tools/launcher-publish/ManifestJson.h"

#include <cstdio>

#include "common/Platform.h"

namespace lg::publish {
namespace {

void AppendEscape(std::string& out, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", unit & 0xFFFFu);
  out += buf;
}

}  // namespace

std::string JsonString(std::string_view gbk) {
  std::string out = "\"";
  // ASCII bytes are the same in GBK and UTF-16; only the rest is converted.
  const std::u16string wide = plat::Utf16FromGbk(gbk);
  for (char16_t c : wide) {
    switch (c) {
      case u'"': out += "\\\""; break;
      case u'\\': out += "\\\\"; break;
      case u'\n': out += "\\n"; break;
      case u'\r': out += "\\r"; break;
      case u'\t': out += "\\t"; break;
      case u'\b': out += "\\b"; break;
      case u'\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c >= 0x7F)
          AppendEscape(out, c);
        else
          out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

std::string ManifestText(const std::vector<TManifestEntry>& entries) {
  std::string out = "[\r\n";
  for (size_t i = 0; i < entries.size(); ++i) {
    const TManifestEntry& e = entries[i];
    out += "{\"File\":" + JsonString(e.File) + ",\"Hash\":" + JsonString(e.Hash) +
           (e.Sha256.empty() ? std::string() : ",\"Sha256\":" + JsonString(e.Sha256)) +
           ",\"Size\":" + std::to_string(e.Size) + ",\"IsZip\":" + (e.IsZip ? "true" : "false") +
           ",\"Need\":true,\"isLauncher\":" + std::to_string(e.IsLauncher) + "}";
    out += i + 1 < entries.size() ? ",\r\n" : "\r\n";
  }
  out += "]\r\n";
  return out;
}

std::string ReleaseText(const TReleaseEntry& release) {
  return "{\"File\":" + JsonString(release.File) + ",\"isLauncher\":" + std::to_string(release.IsLauncher) +
         ",\"MD5\":" + JsonString(release.MD5) +
         (release.Sha256.empty() ? std::string() : ",\"Sha256\":" + JsonString(release.Sha256)) +
         ",\"Size\":" + std::to_string(release.Size) + "}\r\n";
}

}  // namespace lg::publish
