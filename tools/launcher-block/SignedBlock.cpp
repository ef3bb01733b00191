#include "tools/launcher-block/SignedBlock.h"

#include <cstdio>

#include "launcher/ConfigBlock.h"

namespace lg::blocktool {
namespace {

bool EndsWithFlag(std::string_view file) {
  return file.size() >= static_cast<size_t>(kBlockTrailerSize) &&
         ReadLe32(file, static_cast<int64_t>(file.size()) - 4) == kBlockFlag;
}

int64_t AlignUp(int64_t v) {
  return (v + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
}

// Cuts `file` back to the end of its last signature. Bytes behind the
// certificate table are accepted only when they are exactly a deployment
// block (a launcher packed after signing, the way that breaks the
// signature); anything else there is not ours to drop.
bool CutToSignature(std::string& file, const TPeLayout& layout, bool& hadBlock, std::string& error) {
  const TCertificateTable& t = layout.table;
  const int64_t size = static_cast<int64_t>(file.size());
  hadBlock = false;
  if (t.End() < size) {
    int64_t imageSize = size;
    std::string blockError;
    if (!ProgramImageSize(file, imageSize, blockError) || imageSize != t.End()) {
      error = std::to_string(size - t.End()) +
              " bytes follow the certificate table and they are not a deployment block; sign the bare launcher again";
      return false;
    }
    hadBlock = true;
  }
  const std::string_view table = std::string_view(file).substr(0, static_cast<size_t>(t.End()));
  if (EndsWithFlag(table) && t.End() - kBlockTrailerSize >= t.signatureEnd) hadBlock = true;
  file.resize(static_cast<size_t>(t.signatureEnd));
  return true;
}

// Points the last certificate entry and the directory at the file's new
// end and brings the CheckSum up to date (a zero CheckSum stays zero: the
// file never had one). None of these fields is covered by the signature.
void CloseTable(std::string& file, const TPeLayout& layout) {
  const TCertificateTable& t = layout.table;
  const int64_t size = static_cast<int64_t>(file.size());
  WriteLe32(file, t.lastEntry, static_cast<uint32_t>(size - t.lastEntry));
  WriteLe32(file, layout.securityEntryOffset + 4, static_cast<uint32_t>(size - t.offset));
  if (ReadLe32(file, layout.checksumOffset) != 0)
    WriteLe32(file, layout.checksumOffset, PeChecksum(file, layout.checksumOffset));
}

std::string Hex(int64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

TSignatureReport AssessSignature(std::string_view file) {
  TSignatureReport r;
  const int64_t size = static_cast<int64_t>(file.size());
  r.pe = ParsePeLayout(file, r.layout, r.peError);
  if (EndsWithFlag(file)) {
    const TBlockTrailer tr =
        DecodeTrailer(reinterpret_cast<const unsigned char*>(file.data()) + size - kBlockTrailerSize);
    r.blockStart = size - kBlockTrailerSize;
    for (const TBlockSection* s : {&tr.url, &tr.res, &tr.pos})
      if (s->offset > 0 && s->size > 0 && s->offset < r.blockStart) r.blockStart = s->offset;
  }
  if (!r.pe || !r.layout.signedFile) {
    r.place = TBlockPlace::NotSigned;
    return r;
  }
  const TCertificateTable& t = r.layout.table;
  if (t.End() < size)
    r.place = TBlockPlace::BehindTable;
  else if (r.blockStart < 0)
    r.place = TBlockPlace::NoBlock;
  else if (r.blockStart >= t.signatureEnd && t.lastEntry + t.lastLength == size)
    r.place = TBlockPlace::Inside;
  else
    r.place = TBlockPlace::Overlapping;
  return r;
}

std::string TSignatureReport::Describe() const {
  if (!pe) return peError.rfind("not a PE file", 0) == 0 ? "none (" + peError + ")" : "unreadable: " + peError;
  if (!layout.signedFile) return "none (no certificate table)";
  const TCertificateTable& t = layout.table;
  const std::string table =
      "present (certificate table at " + Hex(t.offset) + ", " + std::to_string(t.size) + " bytes)";
  switch (place) {
    case TBlockPlace::NoBlock: return table + ", no block";
    case TBlockPlace::Inside: return table + ", the block lies inside it behind the signature: signed layout kept";
    case TBlockPlace::BehindTable:
      return table + ", but data follows the table: the signature no longer verifies (pack with --signed)";
    case TBlockPlace::Overlapping:
      return table +
             ", but the block overlaps the signature or lies outside its entry: the signature no longer verifies";
    case TBlockPlace::NotSigned: break;
  }
  return table;
}

bool PackIntoCertificateTable(std::string& file, const TPeLayout& layout, const TSections& sections, bool& replaced,
                              std::string& error) {
  std::string out = file;
  if (!CutToSignature(out, layout, replaced, error)) return false;
  const int64_t base = static_cast<int64_t>(out.size());
  const int64_t blockSize =
      static_cast<int64_t>(sections.url.size() + sections.res.size() + sections.pos.size()) + kBlockTrailerSize;
  // Zero padding in front of the block keeps the entry's length (it starts
  // on an 8-byte boundary of the table) a multiple of 8 while the trailer
  // stays the file's last bytes.
  const int64_t padding = AlignUp(base + blockSize - layout.table.offset) - (base + blockSize - layout.table.offset);
  std::string block;
  if (!ComposeBlock(base + padding, sections, block, error)) return false;
  out.append(static_cast<size_t>(padding), '\0');
  out += block;
  CloseTable(out, layout);
  file = std::move(out);
  return true;
}

bool StripFromCertificateTable(std::string& file, const TPeLayout& layout, bool& hadBlock, std::string& error) {
  std::string out = file;
  if (!CutToSignature(out, layout, hadBlock, error)) return false;
  if (!hadBlock) return true;  // nothing of ours in it: the file stays as it is
  const int64_t end = layout.table.offset + AlignUp(static_cast<int64_t>(out.size()) - layout.table.offset);
  out.resize(static_cast<size_t>(end), '\0');
  CloseTable(out, layout);
  file = std::move(out);
  return true;
}

}  // namespace lg::blocktool
