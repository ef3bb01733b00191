#include "update/zip/TZipDirectory.h"

#include "common/Gbk.h"
#include "common/Platform.h"

namespace lg {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;

// Position just after the last real separator of `name`, 0 when none.
size_t AfterLastSeparator(const std::string& name) {
  size_t after = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsGbkLeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\') after = i + 1;
  }
  return after;
}

}  // namespace

uint16_t ZipLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ZipLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool TZipEntry::NeedsZip64() const {
  return CompressedSize == 0xFFFFFFFFu || UncompressedSize == 0xFFFFFFFFu || LocalHeaderOffset == 0xFFFFFFFFu;
}

bool TZipEntry::IsDirectory() const {
  return !Name.empty() && AfterLastSeparator(Name) == Name.size();
}

bool TZipEntry::IsSymbolicLink() const {
  const unsigned host = VersionMadeBy >> 8;
  if (host != 3 && host != 19) return false;  // Unix, OS X
  return ((ExternalAttributes >> 16) & 0170000u) == 0120000u;
}

std::string ZipBareName(const std::string& name) {
  return name.substr(AfterLastSeparator(name));
}

bool FindZipEndRecord(const uint8_t* tail, size_t size, uint64_t fileSize, TZipEndRecord& record) {
  if (size < kEndSize || size > fileSize) return false;
  const uint64_t tailStart = fileSize - size;
  for (size_t at = size - kEndSize + 1; at-- > 0;) {
    const uint8_t* p = tail + at;
    if (ZipLe32(p) != kEndSignature) continue;
    const uint16_t commentLength = ZipLe16(p + 20);
    if (at + kEndSize + commentLength != size) continue;
    const uint16_t disk = ZipLe16(p + 4), directoryDisk = ZipLe16(p + 6);
    const uint16_t entriesHere = ZipLe16(p + 8), entries = ZipLe16(p + 10);
    if (disk != 0 || directoryDisk != 0 || entriesHere != entries) return false;
    record.Position = tailStart + at;
    record.Entries = entries;
    record.DirectorySize = ZipLe32(p + 12);
    record.DirectoryOffset = ZipLe32(p + 16);
    record.Comment.assign(reinterpret_cast<const char*>(p + kEndSize), commentLength);
    return uint64_t{record.DirectoryOffset} + record.DirectorySize <= record.Position;
  }
  return false;
}

bool ParseZipCentralDirectory(const uint8_t* data, size_t size, uint32_t count, std::vector<TZipEntry>& entries) {
  entries.clear();
  size_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - at < kCentralSize) return false;
    const uint8_t* p = data + at;
    if (ZipLe32(p) != kCentralSignature) return false;
    TZipEntry e;
    e.VersionMadeBy = ZipLe16(p + 4);
    e.Flags = ZipLe16(p + 8);
    e.Method = ZipLe16(p + 10);
    e.DosDateTime = (static_cast<uint32_t>(ZipLe16(p + 14)) << 16) | ZipLe16(p + 12);
    e.Crc32 = ZipLe32(p + 16);
    e.CompressedSize = ZipLe32(p + 20);
    e.UncompressedSize = ZipLe32(p + 24);
    const size_t nameLength = ZipLe16(p + 28), extraLength = ZipLe16(p + 30), commentLength = ZipLe16(p + 32);
    e.ExternalAttributes = ZipLe32(p + 38);
    e.LocalHeaderOffset = ZipLe32(p + 42);
    const size_t total = kCentralSize + nameLength + extraLength + commentLength;
    if (size - at < total) return false;
    e.RawName.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLength);
    if (e.Flags & 0x0800) {
      // UTF-8 names become the GBK the rest of the launcher works in.
      e.NameValid = plat::TryGbkFromUtf8(e.RawName, e.Name);
    } else {
      e.Name = e.RawName;
    }
    entries.push_back(std::move(e));
    at += total;
  }
  return true;
}

bool ParseZipLocalHeader(const uint8_t* data, size_t size, TZipLocalHeader& header) {
  if (size < TZipLocalHeader::kFixedSize || ZipLe32(data) != kLocalSignature) return false;
  header.Flags = ZipLe16(data + 6);
  header.Method = ZipLe16(data + 8);
  header.DosDateTime = (static_cast<uint32_t>(ZipLe16(data + 12)) << 16) | ZipLe16(data + 10);
  header.Crc32 = ZipLe32(data + 14);
  header.CompressedSize = ZipLe32(data + 18);
  header.UncompressedSize = ZipLe32(data + 22);
  header.NameLength = ZipLe16(data + 26);
  header.ExtraLength = ZipLe16(data + 28);
  return true;
}

}  // namespace lg
