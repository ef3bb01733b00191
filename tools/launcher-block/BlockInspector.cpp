#include "tools/launcher-block/BlockInspector.h"

#include <cstdio>

#include "DeploymentDefaults.h"
#include "common/Platform.h"

namespace lg::blocktool {
namespace {

// Stored digests are 32 raw bytes from the file: printable ASCII is shown as
// is, anything else as \xNN (text) or \u00NN (JSON) so the output stays valid.
std::string RawText(const std::string& s, bool json) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && !(json && (c == '"' || c == '\\'))) {
      out += static_cast<char>(c);
    } else if (json && (c == '"' || c == '\\')) {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, json ? "\\u%04x" : "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Utf8(const std::string& gbk) {
  return plat::Utf8FromGbk(gbk);
}

template <typename T>
std::string OrNull(const std::optional<T>& v, const char* none = "null") {
  return v ? std::to_string(*v) : none;
}

std::string SectionJson(const TBlockSection& s) {
  return "{\"offset\": " + std::to_string(s.offset) + ", \"size\": " + std::to_string(s.size) + ", \"md5\": \"" +
         RawText(s.md5, true) + "\", \"realMd5\": " + (s.realMd5.empty() ? "null" : "\"" + s.realMd5 + "\"") +
         ", \"valid\": " + (s.valid ? "true" : "false") + "}";
}

}  // namespace

TInspection Inspect(const std::string& path) {
  TInspection in;
  in.path = path;
  TFileBlockSource source(path);
  in.fileSize = source.Size();
  std::string whole;
  if (in.fileSize >= 0 && plat::ReadWholeFile(path, whole)) in.signature = AssessSignature(whole);
  in.report = ReadConfigBlock(source, path, [&in](std::string_view l) { in.log.emplace_back(l); });
  const TBlockPlacement& place = in.report.placement;
  const TLogSink quiet = [](std::string_view) {};

  for (const char* name : kImageNames) in.images.push_back({name, std::nullopt});
  // The launcher's own reading order; the first read of each name is the
  // main cursor's, and that is the size shown.
  LoadImageresource(
      source, place,
      [&in](const TImageRead& read, std::string&& bytes) {
        if (!read.second) in.images[read.image].size = static_cast<int64_t>(bytes.size());
      },
      quiet);

  for (int i = 0; i < kPositionRecordCount; ++i) {
    TInspectedPosition p;
    p.control = kPositionRecords[i].control;
    p.applied = kPositionRecords[i].fields;
    for (int f = 0; f < 4; ++f) {
      int64_t cursor = static_cast<int64_t>(place.posOffset) + kPositionRecordSize * i + 2 * f;
      p.value[f] = LoadImgPos(source, place, "", cursor, quiet);
    }
    in.positions.push_back(p);
  }
  return in;
}

std::string FormatText(const TInspection& in, bool withLog) {
  const TConfigBlockReport& r = in.report;
  std::string o = "file: " + in.path + " (" + std::to_string(in.fileSize) + " bytes)\n";
  o += "signature: " + in.signature.Describe() + "\n";
  char buf[160];
  std::snprintf(buf, sizeof buf, "flag: 0x%08X (%s)\n", static_cast<unsigned>(r.flag),
                r.flag == kBlockFlag ? "block present" : "no block");
  o += buf;
  const char* names[] = {"url", "res", "pos"};
  const TBlockSection* sections[] = {&r.trailer.url, &r.trailer.res, &r.trailer.pos};
  for (int i = 0; i < 3 && r.trailerRead; ++i) {
    const TBlockSection& s = *sections[i];
    std::snprintf(buf, sizeof buf, "%s: offset=%d size=%d\n", names[i], s.offset, s.size);
    o += buf;
    o += "  stored md5: " + RawText(s.md5, false) + "\n";
    o += "  real md5:   " + (s.realMd5.empty() ? std::string("(not read)") : s.realMd5) + "\n";
    o += std::string("  verdict:    ") + (s.valid ? "valid" : "INVALID") + "\n";
  }
  o += "values" + std::string(r.valuesSet ? "" : " (empty: the URL section gave no ten values)") + ":\n";
  for (int i = 0; i < kDeploymentValueCount; ++i)
    o += std::string("  ") + kDeploymentValueNames[i] + " = " + Utf8(r.values[i]) + "\n";
  o += "images:\n";
  for (size_t i = 0; i < in.images.size(); ++i) {
    std::snprintf(buf, sizeof buf, "  %2zu %-18s %s\n", i, in.images[i].name.c_str(),
                  in.images[i].size ? std::to_string(*in.images[i].size).c_str() : "(not loaded)");
    o += buf;
  }
  o += "positions (X Y W H):\n";
  for (size_t i = 0; i < in.positions.size(); ++i) {
    const TInspectedPosition& p = in.positions[i];
    std::snprintf(buf, sizeof buf, "  %2zu %-13s %6s %6s %6s %6s%s\n", i, p.control.c_str(),
                  OrNull(p.value[0], "-").c_str(), OrNull(p.value[1], "-").c_str(), OrNull(p.value[2], "-").c_str(),
                  OrNull(p.value[3], "-").c_str(),
                  p.applied == 0   ? "  (not applied)"
                  : p.applied == 2 ? "  (W, H not applied)"
                                   : "");
    o += buf;
  }
  o += "deployment defaults of this build:\n";
  o += std::string("  server list host:        ") + defaults::kServerListHost + "\n";
  o += std::string("  server list fallback ip: ") + defaults::kServerListFallbackIp + "\n";
  o += "  public resolvers:       ";
  for (const char* ip : defaults::kPublicResolvers) o += std::string(" ") + ip;
  o += "\n";
  o += std::string("  crc salt head / tail:    ") + defaults::kCrcSaltHead + " / " + defaults::kCrcSaltTail + "\n";
  o += std::string("  update public key:       ") +
       (*defaults::kUpdatePublicKey ? defaults::kUpdatePublicKey : "(none: manifests are not signed)") + "\n";
  o += std::string("  transfer mode:           ") + defaults::kTransferMode + "\n";
  if (withLog) {
    o += "launcher log:\n";
    for (const std::string& l : in.log) o += "  " + Utf8(l) + "\n";
  }
  return o;
}

std::string FormatJson(const TInspection& in) {
  const TConfigBlockReport& r = in.report;
  std::string o = "{\"file\": " + JsonString(in.path) + ", \"fileSize\": " + std::to_string(in.fileSize);
  o += ", \"flag\": " + std::to_string(r.flag);
  const TSignatureReport& sig = in.signature;
  o += ", \"signature\": {\"signed\": " + std::string(sig.layout.signedFile ? "true" : "false");
  if (sig.layout.signedFile)
    o += ", \"tableOffset\": " + std::to_string(sig.layout.table.offset) +
         ", \"tableSize\": " + std::to_string(sig.layout.table.size) +
         ", \"signatureEnd\": " + std::to_string(sig.layout.table.signatureEnd);
  o += ", \"blockInside\": " + std::string(sig.BlockInside() ? "true" : "false") +
       ", \"text\": " + JsonString(sig.Describe()) + "}";
  o += ", \"url\": " + SectionJson(r.trailer.url);
  o += ", \"res\": " + SectionJson(r.trailer.res);
  o += ", \"pos\": " + SectionJson(r.trailer.pos);
  o += ", \"values\": {";
  for (int i = 0; i < kDeploymentValueCount; ++i)
    o += std::string(i ? ", " : "") + "\"" + kDeploymentValueNames[i] + "\": " + JsonString(Utf8(r.values[i]));
  o += "}, \"images\": [";
  for (size_t i = 0; i < in.images.size(); ++i)
    o += std::string(i ? ", " : "") + "{\"name\": " + JsonString(in.images[i].name) +
         ", \"size\": " + OrNull(in.images[i].size) + "}";
  o += "], \"positions\": [";
  for (size_t i = 0; i < in.positions.size(); ++i) {
    const TInspectedPosition& p = in.positions[i];
    o += std::string(i ? ", " : "") + "{\"control\": " + JsonString(p.control) + ", \"x\": " + OrNull(p.value[0]) +
         ", \"y\": " + OrNull(p.value[1]) + ", \"w\": " + OrNull(p.value[2]) + ", \"h\": " + OrNull(p.value[3]) +
         ", \"applied\": " + std::to_string(p.applied) + "}";
  }
  o += "], \"defaults\": {\"serverListHost\": " + JsonString(defaults::kServerListHost) +
       ", \"serverListFallbackIp\": " + JsonString(defaults::kServerListFallbackIp) + ", \"publicResolvers\": [";
  bool first = true;
  for (const char* ip : defaults::kPublicResolvers) {
    o += std::string(first ? "" : ", ") + JsonString(ip);
    first = false;
  }
  o += "], \"crcSaltHead\": " + JsonString(defaults::kCrcSaltHead) +
       ", \"crcSaltTail\": " + JsonString(defaults::kCrcSaltTail) +
       ", \"updatePublicKey\": " + JsonString(defaults::kUpdatePublicKey) +
       ", \"transferMode\": " + JsonString(defaults::kTransferMode) + "}}\n";
  return o;
}

}  // namespace lg::blocktool
