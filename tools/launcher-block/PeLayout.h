// The parts of a Windows executable's layout that decide where a deployment
// block may go without breaking the file's code signature: the PE headers,
// the section table, the CheckSum field and the certificate table (data
// directory 4, whose address is a file offset, not a virtual address).
//
// The parser is a pure function of the file's bytes. Every offset and size
// read from the file is checked against the file's size in 64-bit
// arithmetic before it is used, so a truncated or hostile file is refused
// with a text naming what is wrong and never read out of bounds. Any
// thread; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lg::blocktool {

// WIN_CERTIFICATE: dwLength (4), wRevision (2), wCertificateType (2), then
// the certificate; entries start on 8-byte boundaries.
inline constexpr int64_t kWinCertificateHeaderSize = 8;
inline constexpr int64_t kCertificateAlignment = 8;
inline constexpr uint16_t kWinCertRevision2 = 0x0200;
inline constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;

struct TCertificateTable {
  int64_t offset = 0;      // file offset of the table (the directory's address)
  int64_t size = 0;        // the directory's Size
  int64_t lastEntry = 0;   // file offset of the last WIN_CERTIFICATE
  int64_t lastLength = 0;  // its dwLength
  // End of the last entry's PKCS#7 signature (its DER length); what lies
  // between here and the end of the entry is padding.
  int64_t signatureEnd = 0;
  int64_t End() const { return offset + size; }
};

struct TPeLayout {
  bool pe32Plus = false;
  int64_t checksumOffset = 0;       // file offset of the optional header's CheckSum
  int64_t securityEntryOffset = 0;  // file offset of data directory 4 (address, size)
  int64_t headersEnd = 0;           // end of the section table
  int64_t sectionsEnd = 0;          // end of the last section's raw data
  bool signedFile = false;          // the certificate table is present
  TCertificateTable table;
};

// False, with `error` naming the fault, when `file` is not a PE file whose
// headers, sections and certificate table lie inside it without overlapping.
bool ParsePeLayout(std::string_view file, TPeLayout& layout, std::string& error);

// The optional header's CheckSum for `file` as the image loader computes it:
// 16-bit one's-complement style sum of the file with the CheckSum field
// taken as zero, folded to 16 bits, plus the file's length.
uint32_t PeChecksum(std::string_view file, int64_t checksumOffset);

uint32_t ReadLe32(std::string_view bytes, int64_t at);
void WriteLe32(std::string& bytes, int64_t at, uint32_t value);

}  // namespace lg::blocktool
