// Writes a zip archive (PKWARE APPNOTE, 32-bit sizes): stored and deflated
// files, folders, DOS times and attributes, CRC-32, an archive comment.
// Used by the operator's publisher and by the tests to build archives. One
// writer per archive, one thread at a time; it owns its file until Close.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileStream.h"

namespace lg {

class TZipWriter {
 public:
  enum class TMethod : uint16_t { Stored = 0, Deflated = 8 };

  // An entry whose data the caller encoded itself (any method), written as
  // given: tests use it for the legacy methods and for damaged archives.
  struct TRawEntry {
    std::string Name;  // GBK, written exactly as given
    uint16_t Method = 0;
    uint16_t Flags = 0;
    uint16_t VersionMadeBy = 20;  // MS-DOS host, version 2.0
    uint32_t Crc32 = 0;
    uint32_t UncompressedSize = 0;
    std::string Data;  // the compressed bytes
    uint32_t DosDateTime = 0;
    uint32_t ExternalAttributes = 0x20;
  };

  TZipWriter() = default;
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Creates (or replaces) the archive file.
  bool Open(const std::string& path);
  bool AddFile(const std::string& name, std::string_view data, TMethod method, uint32_t dosDateTime,
               uint32_t attributes = 0x20);
  // Streams a file from disk; the entry gets `dosDateTime` as its time.
  bool AddFileFrom(const std::string& name, const std::string& sourcePath, TMethod method, uint32_t dosDateTime,
                   uint32_t attributes = 0x20);
  bool AddFolder(const std::string& name, uint32_t dosDateTime);
  bool AddRaw(const TRawEntry& entry);
  // Writes the central directory and the end record and closes the file.
  bool Close(std::string_view comment = {});

  const std::string& ErrorText() const { return errorText_; }

  // A packed DOS date and time.
  static uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
  // The CRC-32 of a block, as stored in archives.
  static uint32_t Crc32(std::string_view data);

 private:
  struct TCentral {
    TRawEntry Entry;  // Data left empty
    uint32_t CompressedSize = 0;
    uint32_t Offset = 0;
  };

  bool Fail(const std::string& text);
  bool WriteLocalHeader(const TRawEntry& e, uint32_t compressedSize);
  bool Finish(TRawEntry header, uint32_t compressedSize, uint32_t offset);

  plat::TFileStream file_;
  std::vector<TCentral> central_;
  std::string errorText_;
  std::string readBuffer_;
  bool open_ = false;
};

}  // namespace lg
