#include "tools/launcher-publish/PublishCache.h"

#include <charconv>
#include <vector>

#include "common/FileStream.h"

namespace lg::publish {
namespace {

// Version 2 adds the SHA-256 to the digest field ("md5/sha256") and the
// sequence line; a publisher that knows only version 1 refuses the file
// and reads every file again instead of publishing "md5/sha256" as a Hash.
constexpr const char* kHeader = "launcher-publish cache 2";
constexpr const char* kHeaderV1 = "launcher-publish cache 1";

std::vector<std::string_view> SplitTabs(std::string_view line, size_t parts) {
  std::vector<std::string_view> out;
  while (out.size() + 1 < parts) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) break;
    out.push_back(line.substr(0, tab));
    line.remove_prefix(tab + 1);
  }
  out.push_back(line);
  return out;
}

template <typename T>
bool Number(std::string_view text, T& value) {
  auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

bool TPublishCache::Load(const std::string& path) {
  Records.clear();
  Source.clear();
  Package.clear();
  std::string text;
  if (!plat::ReadWholeFile(path, text)) return false;
  if (!Parse(text)) {
    Records.clear();
    return false;
  }
  return true;
}

bool TPublishCache::Parse(const std::string& text) {
  size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kHeader && line != kHeaderV1) return false;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    if (line.substr(0, 7) == "source\t") {
      Source = std::string(line.substr(7));
      continue;
    }
    if (line.substr(0, 9) == "sequence\t") {
      if (!Number(line.substr(9), Sequence)) return false;
      continue;
    }
    if (line.substr(0, 8) == "package\t") {
      Package = std::string(line.substr(8));
      continue;
    }
    // size, time, digest, zip flag, served size, name (last: it may hold
    // anything but a control character).
    std::vector<std::string_view> f = SplitTabs(line, 6);
    if (f.size() != 6 || f[5].empty()) return false;
    TCacheRecord r;
    int zip = 0;
    if (!Number(f[0], r.Size) || !Number(f[1], r.MTime) || !Number(f[3], zip) || !Number(f[4], r.Served)) return false;
    // "md5" or "md5/sha256".
    const std::string_view digests = f[2];
    const size_t slash = digests.find('/');
    r.Hash = std::string(digests.substr(0, slash));
    if (slash != std::string_view::npos) r.Sha256 = std::string(digests.substr(slash + 1));
    r.Zip = zip != 0;
    Records[std::string(f[5])] = r;
  }
  return !first;
}

std::string TPublishCache::Text() const {
  std::string out = std::string(kHeader) + "\n";
  out += "source\t" + Source + "\n";
  if (!Package.empty()) out += "package\t" + Package + "\n";
  if (Sequence) out += "sequence\t" + std::to_string(Sequence) + "\n";
  for (const auto& [name, r] : Records) {
    out += std::to_string(r.Size) + "\t" + std::to_string(r.MTime) + "\t" + r.Hash +
           (r.Sha256.empty() ? "" : "/" + r.Sha256) + "\t" + (r.Zip ? "1" : "0") + "\t" + std::to_string(r.Served) +
           "\t" + name + "\n";
  }
  return out;
}

}  // namespace lg::publish
