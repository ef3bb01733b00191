#include "launcher/ConfigBlock.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "common/Md5.h"
#include "launcher/DelimitedText.h"

namespace lg {

const std::array<const char*, kDeploymentValueCount> kDeploymentValueNames = {
    "_HomeHub",     "_HubID",           "_LauName",    "_ClientPatchUrl", "_LauncherPathUrl",
    "_HomePageUrl", "_RegistryPageUrl", "_BBSPageUrl", "_PayPageUrl",     "_NewsPageUrl"};

namespace {

constexpr int kHomeHub = 0;
constexpr int kHomePage = 5;
constexpr int kPayPage = 8;
constexpr size_t kDigestChunk = 64 * 1024;

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

int32_t ReadInt32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void PutInt32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A stored digest is 32 raw bytes; logs print it as the C text it would be.
const char* AsText(const std::string& s) {
  return s.c_str();
}

// The file name without folder and extension.
std::string_view StemOf(std::string_view name) {
  size_t sep = name.find_last_of("\\/");
  if (sep != std::string_view::npos) name.remove_prefix(sep + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

// Bounds first, then the digest. `keep` receives the bytes when given (the
// URL text); the large image section is digested in chunks instead.
bool CheckSection(IBlockSource& source, const char* label, TBlockSection& s, std::string* keep, const TLogSink& log) {
  if (s.offset == 0 || s.size <= 0 || !source.Contains(s.offset, s.size)) {
    log(Format("%s Error offset=%d, Size=%d", label, s.offset, s.size));
    return false;
  }
  TMd5 md5;
  if (keep) {
    keep->assign(static_cast<size_t>(s.size), '\0');
    if (!source.ReadAt(s.offset, keep->data(), keep->size())) {
      keep->clear();
      log(Format("%s Error offset=%d, Size=%d", label, s.offset, s.size));
      return false;
    }
    md5.Update(keep->data(), keep->size());
  } else {
    std::vector<char> chunk(std::min<size_t>(kDigestChunk, static_cast<size_t>(s.size)));
    for (int64_t done = 0; done < s.size;) {
      size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), s.size - done));
      if (!source.ReadAt(s.offset + done, chunk.data(), n)) {
        log(Format("%s Error offset=%d, Size=%d", label, s.offset, s.size));
        return false;
      }
      md5.Update(chunk.data(), n);
      done += static_cast<int64_t>(n);
    }
  }
  s.realMd5 = md5.FinalHex();
  // Byte for byte and case-sensitive: an uppercase stored digest never matches.
  if (s.realMd5 != s.md5) {
    log(Format("%s Error hash=%s, RealHash=%s", label, AsText(s.md5), s.realMd5.c_str()));
    return false;
  }
  return true;
}

void ReadUrlSection(IBlockSource& source, std::string_view exeName, TConfigBlockReport& r, const TLogSink& log) {
  TBlockSection& s = r.trailer.url;
  std::string text;
  if (!CheckSection(source, "Url", s, &text, log)) return;
  s.valid = true;
  r.urlText = text;
  std::vector<std::string> tokens = SplitDelimited(text, ' ');
  r.tokenCount = tokens.size();
  const int count = static_cast<int>(std::min<size_t>(tokens.size(), INT32_MAX));
  log(Format("Url succ str=%s, count=%d", text.c_str(), count));
  if (tokens.size() < kDeploymentValueCount) {
    log(Format("Url Error str=%s, count=%d", text.c_str(), count));
    return;
  }
  for (int i = 0; i < kDeploymentValueCount; ++i) {
    r.values[i] = tokens[i];
    log(Format("Url %s=%s", kDeploymentValueNames[i], r.values[i].c_str()));
  }
  r.valuesSet = true;
  ApplyChannel(r.values, exeName, log);
}

}  // namespace

TBlockTrailer DecodeTrailer(const unsigned char bytes[kBlockTrailerSize]) {
  TBlockTrailer t;
  TBlockSection* sections[] = {&t.url, &t.res, &t.pos};
  for (int i = 0; i < 3; ++i) {
    const unsigned char* p = bytes + 40 * i;
    sections[i]->offset = ReadInt32(p);
    sections[i]->size = ReadInt32(p + 4);
    sections[i]->md5.assign(reinterpret_cast<const char*>(p + 8), kBlockDigestSize);
  }
  t.flag = static_cast<uint32_t>(ReadInt32(bytes + 120));
  return t;
}

std::string EncodeTrailer(const TBlockTrailer& t) {
  std::string out;
  for (const TBlockSection* s : {&t.url, &t.res, &t.pos}) {
    PutInt32(out, static_cast<uint32_t>(s->offset));
    PutInt32(out, static_cast<uint32_t>(s->size));
    std::string digest = s->md5;
    digest.resize(kBlockDigestSize, '\0');
    out += digest;
  }
  PutInt32(out, t.flag);
  return out;
}

TBlockPlacement CurrentPlacement() {
  return TBlockPlacement{ResOffset, ResSize, PosOffset, PosSize};
}

void ApplyChannel(std::array<std::string, kDeploymentValueCount>& values, std::string_view exeName,
                  const TLogSink& log) {
  std::string& home = values[kHomePage];
  std::string& pay = values[kPayPage];
  const size_t dot = home.find('.');
  const int pos = dot == std::string::npos ? 0 : static_cast<int>(dot + 1);
  const std::string strHome = dot == std::string::npos ? std::string() : home.substr(dot + 1);
  log(Format("Url pos=%d strHome=%s", pos, strHome.c_str()));
  std::vector<std::string> parts = SplitDelimited(StemOf(exeName), '_');
  // A name ending in "_" yields an empty second part: no channel, rather than
  // a payment path and a host name with nothing in them.
  if (parts.size() >= 2 && !parts[1].empty()) {
    const std::string& channel = parts[1];
    pay += "/pay_ditch/" + channel;
    if (values[kHomeHub] == "1" && !strHome.empty()) home = "http://" + channel + "." + strHome;
  }
  log(Format("Url _HomePageUrl=%s", home.c_str()));
  log(Format("Url _PayPageUrl=%s", pay.c_str()));
}

TConfigBlockReport ReadConfigBlock(IBlockSource& source, std::string_view exeName, const TLogSink& log) {
  TConfigBlockReport r;
  const int64_t size = source.Size();
  unsigned char flag[4] = {};
  if (size >= 4) source.ReadAt(size - 4, flag, sizeof flag);
  r.flag = static_cast<uint32_t>(ReadInt32(flag));
  log(Format("flag is %d", static_cast<int32_t>(r.flag)));
  if (r.flag != kBlockFlag) return r;

  unsigned char record[kBlockTrailerSize];
  if (!source.ReadAt(size - kBlockTrailerSize, record, sizeof record)) {
    log(Format("flag Error size=%lld", static_cast<long long>(size)));
    return r;
  }
  r.trailer = DecodeTrailer(record);
  r.trailerRead = true;
  TBlockTrailer& t = r.trailer;
  log(Format("urloffset = %d", t.url.offset));
  log(Format("urlsize = %d", t.url.size));
  log(Format("urlmd5 = %s", AsText(t.url.md5)));
  log(Format("resoffset = %d", t.res.offset));
  log(Format("ressize = %d", t.res.size));
  log(Format("resmd5 = %s", AsText(t.res.md5)));
  log(Format("posoffset = %d", t.pos.offset));
  log(Format("possize = %d", t.pos.size));
  log(Format("posmd5 = %s", AsText(t.pos.md5)));

  ReadUrlSection(source, exeName, r, log);

  if (CheckSection(source, "Res", t.res, nullptr, log)) {
    t.res.valid = true;
    log(Format("Res succ hash=%s, RealHash=%s", AsText(t.res.md5), t.res.realMd5.c_str()));
    r.placement.resOffset = t.res.offset;
    r.placement.resSize = t.res.size;
  }
  if (CheckSection(source, "Pos", t.pos, nullptr, log)) {
    t.pos.valid = true;
    log(Format("Pos succ hash=%s, RealHash=%s", AsText(t.pos.md5), t.pos.realMd5.c_str()));
    r.placement.posOffset = t.pos.offset;
    r.placement.posSize = t.pos.size;
  }
  return r;
}

TConfigBlockReport ReadConfigBlock(const void* data, size_t size, std::string_view exeName, const TLogSink& log) {
  TMemoryBlockSource source(data, size);
  return ReadConfigBlock(source, exeName, log);
}

void InitConfig(const std::string& path, const TLogSink& log) {
  ResOffset = ResSize = PosOffset = PosSize = 0;
  ClearDeploymentValues();
  TFileBlockSource source(path);
  TConfigBlockReport r = ReadConfigBlock(source, path, log);
  if (r.valuesSet) {
    std::string* globals[] = {&_HomeHub,     &_HubID,           &_LauName,    &_ClientPatchUrl, &_LauncherPathUrl,
                              &_HomePageUrl, &_RegistryPageUrl, &_BBSPageUrl, &_PayPageUrl,     &_NewsPageUrl};
    for (int i = 0; i < kDeploymentValueCount; ++i) *globals[i] = r.values[i];
  }
  ResOffset = r.placement.resOffset;
  ResSize = r.placement.resSize;
  PosOffset = r.placement.posOffset;
  PosSize = r.placement.posSize;
}

bool LoadImg(IBlockSource& source, const TBlockPlacement& place, std::string_view name, int64_t& cursor,
             std::string& image, const TLogSink& log) {
  image.clear();
  const std::string n(name);
  log(Format("load img %s beginning", n.c_str()));
  unsigned char lengthBytes[4] = {};
  const bool haveLength = source.ReadAt(cursor, lengthBytes, sizeof lengthBytes);
  const int32_t length = haveLength ? ReadInt32(lengthBytes) : 0;
  cursor += 4;
  log(Format("load img seek=%lld", static_cast<long long>(cursor)));
  log(Format("load img size=%d", length));
  if (length <= 0) return false;
  log(Format("load img strMem.SetSize(nImgSize) size=%d, seek=%lld", length, static_cast<long long>(cursor)));
  const int64_t start = cursor;
  cursor += length;
  const int64_t resEnd = static_cast<int64_t>(place.resOffset) + place.resSize;
  if (cursor < 0 || cursor > resEnd || start < place.resOffset) {
    log(Format("load img file error seek=%lld, size=%d, resBegin=%d, resEnd=%lld", static_cast<long long>(cursor),
               length, place.resOffset, static_cast<long long>(resEnd)));
    return false;
  }
  // The section was checked against the file size; the read is bounded again
  // in case the file changed since.
  image.assign(static_cast<size_t>(length), '\0');
  if (!source.ReadAt(start, image.data(), image.size())) {
    image.clear();
    log(Format("load img file error seek=%lld, size=%d, resBegin=%d, resEnd=%lld", static_cast<long long>(cursor),
               length, place.resOffset, static_cast<long long>(resEnd)));
    return false;
  }
  return true;
}

std::optional<int> LoadImgPos(IBlockSource& source, const TBlockPlacement& place, std::string_view name,
                              int64_t& cursor, const TLogSink& log) {
  const std::string n(name);
  const int64_t at = cursor;
  cursor += 2;
  log(Format("load img pos %s beginning", n.c_str()));
  log(Format("load img pos %s begin, offset=%lld", n.c_str(), static_cast<long long>(at)));
  const int64_t posEnd = static_cast<int64_t>(place.posOffset) + place.posSize;
  unsigned char v[2];
  if (at == 0 || at < place.posOffset || at + 2 > posEnd || !source.ReadAt(at, v, sizeof v)) {
    log(Format("load img pos %s error, offset=%lld, posend=%lld", n.c_str(), static_cast<long long>(at),
               static_cast<long long>(posEnd)));
    return std::nullopt;
  }
  const int value = static_cast<int16_t>(static_cast<uint16_t>(v[0] | v[1] << 8));
  log(Format("load img pos %s end, result=%d", n.c_str(), value));
  return value;
}

}  // namespace lg
