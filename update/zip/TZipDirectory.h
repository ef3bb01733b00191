// The zip archive's directory: the end-of-central-directory record, the
// central directory entries and the local headers (PKWARE APPNOTE, 32-bit
// sizes and offsets only). Pure functions of bytes: callers read the bytes
// and pass them in, so the parsers never touch a file. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lg {

struct TZipEndRecord {
  uint64_t Position = 0;  // file offset of the record itself
  uint32_t Entries = 0;
  uint32_t DirectorySize = 0;
  uint32_t DirectoryOffset = 0;
  std::string Comment;
};

struct TZipEntry {
  std::string Name;     // stored bytes (GBK, or converted from UTF-8 when flag bit 11 says so)
  std::string RawName;  // exactly as stored, for comparison with the local header
  uint16_t VersionMadeBy = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0;  // date in the high word, time in the low word
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
  bool NameValid = true;  // false when a UTF-8 name has no GBK form

  bool IsEncrypted() const { return (Flags & 0x0001) != 0; }
  bool HasDataDescriptor() const { return (Flags & 0x0008) != 0; }
  // Sizes or offset of 0xFFFFFFFF announce Zip64 fields, which are not read.
  bool NeedsZip64() const;
  // A stored name ending in a separator ("/" or a "\" that is not the trail
  // byte of a GBK character).
  bool IsDirectory() const;
  // Unix hosts keep the file mode in the high word: a symbolic link's data
  // is its target's path, never something to write as a file.
  bool IsSymbolicLink() const;
};

struct TZipLocalHeader {
  static constexpr size_t kFixedSize = 30;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

// Finds the end record in `tail`, the last `size` bytes of a file of
// `fileSize` bytes (the caller passes at most the last 65,557 bytes: the
// record plus the longest comment). The record must end exactly where its
// comment says, which a signature inside a comment or inside entry data
// does not. False when there is none or it describes a spanned archive.
bool FindZipEndRecord(const uint8_t* tail, size_t size, uint64_t fileSize, TZipEndRecord& record);

// Reads `count` central directory entries from `data`. False when the
// bytes do not hold exactly that many well-formed entries.
bool ParseZipCentralDirectory(const uint8_t* data, size_t size, uint32_t count, std::vector<TZipEntry>& entries);

// Reads the fixed part of a local header (kFixedSize bytes).
bool ParseZipLocalHeader(const uint8_t* data, size_t size, TZipLocalHeader& header);

// The part of a stored name after its last separator (GBK aware); empty
// for a directory entry.
std::string ZipBareName(const std::string& name);

uint16_t ZipLe16(const uint8_t* p);
uint32_t ZipLe32(const uint8_t* p);

}  // namespace lg
