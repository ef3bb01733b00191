// Executables through the block tool's PE layout parser and, when the parse
// says the file is signed, through packing a block into its certificate
// table and taking it out again: whatever the input, the result must parse
// again with the block inside the signed layout and read as a valid block.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/ConfigBlock.h"
#include "tools/launcher-block/PeLayout.h"
#include "tools/launcher-block/SignedBlock.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lg::blocktool;
  const std::string file(reinterpret_cast<const char*>(data), size);
  const int64_t n = static_cast<int64_t>(size);
  TSignatureReport report = AssessSignature(file);
  Check(!report.Describe().empty());

  TPeLayout l;
  std::string error;
  if (!ParsePeLayout(file, l, error)) {
    Check(!error.empty());
    return 0;
  }
  Check(l.checksumOffset + 4 <= n && l.securityEntryOffset + 8 <= n && l.sectionsEnd <= n);
  if (!l.signedFile) return 0;
  const TCertificateTable& t = l.table;
  Check(t.offset >= l.sectionsEnd && t.End() <= n && t.lastEntry >= t.offset);
  Check(t.signatureEnd > t.lastEntry + kWinCertificateHeaderSize && t.signatureEnd <= t.lastEntry + t.lastLength);

  TSections s;
  s.url = "0 1 2 3 4 5 6 7 8 9";
  s.res = std::string("\x01\0\0\0x", 5);
  s.pos = std::string(152, '\0');
  std::string packed = file;
  bool replaced = false;
  if (!PackIntoCertificateTable(packed, l, s, replaced, error)) return 0;
  TPeLayout after;
  Check(ParsePeLayout(packed, after, error));
  Check(AssessSignature(packed).place == TBlockPlace::Inside);
  // What the signature's digest covers is untouched: everything in front of
  // the table but the CheckSum and the table's directory entry, and the
  // signature itself.
  std::string before = file.substr(0, static_cast<size_t>(t.signatureEnd));
  std::string now = packed.substr(0, static_cast<size_t>(t.signatureEnd));
  for (std::string* b : {&before, &now}) {
    b->replace(static_cast<size_t>(l.checksumOffset), 4, 4, '\0');
    b->replace(static_cast<size_t>(l.securityEntryOffset), 8, 8, '\0');
    b->replace(static_cast<size_t>(t.lastEntry), 4, 4, '\0');
  }
  Check(before == now);
  lg::TConfigBlockReport r = lg::ReadConfigBlock(packed.data(), packed.size(), "l.exe", [](std::string_view) {});
  Check(r.trailer.url.valid && r.trailer.res.valid && r.trailer.pos.valid);

  bool hadBlock = false;
  Check(StripFromCertificateTable(packed, after, hadBlock, error) && hadBlock);
  Check(AssessSignature(packed).place == TBlockPlace::NoBlock);
  return 0;
}
