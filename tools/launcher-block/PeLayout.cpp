#include "tools/launcher-block/PeLayout.h"

#include <algorithm>

namespace lg::blocktool {
namespace {

constexpr int64_t kDosHeaderSize = 64;
constexpr int64_t kLfanewOffset = 0x3C;
constexpr int64_t kCoffHeaderSize = 20;  // after the 4-byte "PE\0\0"
constexpr int64_t kSectionHeaderSize = 40;
constexpr int64_t kSecurityDirectory = 4;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;

uint16_t ReadLe16(std::string_view b, int64_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::string Hex(int64_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), digits[v & 0xF]);
    v >>= 4;
  } while (v > 0);
  return "0x" + s;
}

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

// The certificate entries from the table's start: each must fit the table,
// and the walk steps by at least 8 bytes, so it ends. The last entry must be
// an Authenticode signature whose DER length fits inside it.
bool WalkCertificates(std::string_view file, TCertificateTable& t, std::string& error) {
  int64_t at = t.offset;
  int64_t last = -1, lastLength = 0;
  while (at < t.End()) {
    if (t.End() - at < kWinCertificateHeaderSize)
      return Fail(error, "certificate table: " + std::to_string(t.End() - at) + " bytes at " + Hex(at) +
                             " are too few for a certificate entry");
    const int64_t length = ReadLe32(file, at);
    if (length < kWinCertificateHeaderSize || length > t.End() - at)
      return Fail(error, "certificate table: the entry at " + Hex(at) + " gives a length of " + std::to_string(length) +
                             " bytes, outside the table");
    last = at;
    lastLength = length;
    at += (length + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
  }
  if (last < 0) return Fail(error, "certificate table: no entry");
  const uint16_t revision = ReadLe16(file, last + 4), type = ReadLe16(file, last + 6);
  if (revision != kWinCertRevision2 || type != kWinCertTypePkcsSignedData)
    return Fail(error, "certificate table: the last entry (revision " + Hex(revision) + ", type " + Hex(type) +
                           ") is not an Authenticode signature");

  // PKCS#7 SignedData: a DER SEQUENCE, definite length in short or long form.
  const int64_t der = last + kWinCertificateHeaderSize;
  const int64_t room = last + lastLength - der;
  if (room < 2 || static_cast<unsigned char>(file[der]) != 0x30)
    return Fail(error, "certificate table: the signature at " + Hex(der) + " does not start with a DER sequence");
  const unsigned first = static_cast<unsigned char>(file[der + 1]);
  int64_t head = 2, body = first;
  if (first == 0x80) return Fail(error, "certificate table: the signature has no definite DER length");
  if (first > 0x80) {
    const int n = static_cast<int>(first & 0x7F);
    if (n > 4 || room < 2 + n) return Fail(error, "certificate table: the signature's DER length is malformed");
    body = 0;
    for (int i = 0; i < n; ++i) body = body << 8 | static_cast<unsigned char>(file[der + 2 + i]);
    head += n;
  }
  if (body > room - head)
    return Fail(error, "certificate table: the signature's DER length (" + std::to_string(head + body) +
                           " bytes) runs past its entry (" + std::to_string(room) + " bytes)");
  t.lastEntry = last;
  t.lastLength = lastLength;
  t.signatureEnd = der + head + body;
  return true;
}

}  // namespace

uint32_t ReadLe32(std::string_view b, int64_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

void WriteLe32(std::string& b, int64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

bool ParsePeLayout(std::string_view file, TPeLayout& layout, std::string& error) {
  const int64_t size = static_cast<int64_t>(file.size());
  TPeLayout l;
  if (size < kDosHeaderSize || file.substr(0, 2) != "MZ") return Fail(error, "not a PE file: no MZ header");
  const int64_t pe = ReadLe32(file, kLfanewOffset);
  if (pe < kDosHeaderSize) return Fail(error, "PE header: e_lfanew " + Hex(pe) + " overlaps the MZ header");
  if (pe > size - 4 - kCoffHeaderSize)
    return Fail(error,
                "PE header: e_lfanew " + Hex(pe) + " lies outside the file (" + std::to_string(size) + " bytes)");
  if (file.substr(pe, 4) != std::string_view("PE\0\0", 4))
    return Fail(error, "PE header: no PE signature at " + Hex(pe));
  const int64_t coff = pe + 4;
  const int64_t sections = ReadLe16(file, coff + 2);
  const int64_t optionalSize = ReadLe16(file, coff + 16);
  const int64_t opt = coff + kCoffHeaderSize;
  if (optionalSize < 2 || opt + optionalSize > size)
    return Fail(error,
                "PE header: the optional header (" + std::to_string(optionalSize) + " bytes) does not fit the file");
  const uint16_t magic = ReadLe16(file, opt);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus)
    return Fail(error, "PE header: unknown optional header magic " + Hex(magic));
  l.pe32Plus = magic == kMagicPe32Plus;
  const int64_t countAt = l.pe32Plus ? 108 : 92;
  const int64_t dirs = l.pe32Plus ? 112 : 96;
  if (optionalSize < dirs) return Fail(error, "PE header: the optional header is too short for its directories");
  const int64_t dirCount = ReadLe32(file, opt + countAt);
  if (dirCount <= kSecurityDirectory || dirs + 8 * (kSecurityDirectory + 1) > optionalSize)
    return Fail(error, "PE header: the optional header has no certificate table entry");
  if (dirs + 8 * dirCount > optionalSize)
    return Fail(error, "PE header: " + std::to_string(dirCount) + " data directories do not fit the optional header");
  l.checksumOffset = opt + 64;
  l.securityEntryOffset = opt + dirs + 8 * kSecurityDirectory;

  const int64_t table = opt + optionalSize;
  if (sections * kSectionHeaderSize > size - table)
    return Fail(error, "PE header: the table of " + std::to_string(sections) + " sections runs past the file's end");
  l.headersEnd = table + sections * kSectionHeaderSize;
  l.sectionsEnd = l.headersEnd;
  for (int64_t i = 0; i < sections; ++i) {
    const int64_t s = table + i * kSectionHeaderSize;
    const int64_t rawSize = ReadLe32(file, s + 16), rawAt = ReadLe32(file, s + 20);
    if (rawSize == 0) continue;
    if (rawAt > size || rawSize > size - rawAt)
      return Fail(error, "section " + std::to_string(i + 1) + ": its data (" + Hex(rawAt) + ", " +
                             std::to_string(rawSize) + " bytes) runs past the file's end (truncated file?)");
    l.sectionsEnd = std::max(l.sectionsEnd, rawAt + rawSize);
  }

  TCertificateTable& t = l.table;
  t.offset = ReadLe32(file, l.securityEntryOffset);
  t.size = ReadLe32(file, l.securityEntryOffset + 4);
  if (t.size == 0) {
    t = TCertificateTable{};
    layout = l;
    return true;
  }
  if (t.offset % kCertificateAlignment != 0)
    return Fail(error, "certificate table: its offset " + Hex(t.offset) + " is not on an 8-byte boundary");
  if (t.offset < l.sectionsEnd)
    return Fail(error, "certificate table: its offset " + Hex(t.offset) +
                           " overlaps the headers or section data (up to " + Hex(l.sectionsEnd) + ")");
  if (t.offset > size || t.size > size - t.offset)
    return Fail(error, "certificate table: " + Hex(t.offset) + " + " + std::to_string(t.size) +
                           " bytes runs past the file's end (" + std::to_string(size) + " bytes)");
  if (!WalkCertificates(file, t, error)) return false;
  l.signedFile = true;
  layout = l;
  return true;
}

uint32_t PeChecksum(std::string_view file, int64_t checksumOffset) {
  const int64_t size = static_cast<int64_t>(file.size());
  auto byteAt = [&](int64_t i) -> uint32_t {
    if (i >= checksumOffset && i < checksumOffset + 4) return 0;
    return static_cast<unsigned char>(file[i]);
  };
  uint32_t sum = 0;
  for (int64_t i = 0; i < size; i += 2) {
    uint32_t word = byteAt(i);
    if (i + 1 < size) word |= byteAt(i + 1) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<uint32_t>(size);
}

}  // namespace lg::blocktool
