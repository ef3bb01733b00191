// The deployment block in a code-signed launcher. The signature's digest
// covers the whole file except the CheckSum field, the certificate table's
// directory entry and the certificate table itself, and the table must end
// the file. So the block goes inside the table: behind the last
// WIN_CERTIFICATE's signature, inside that entry's dwLength and the
// directory's Size, both kept to 8-byte multiples by zero padding placed in
// front of the block, so the file still ends with the block's trailer and
// the launcher reads it as it reads an appended one.
//
// Pure functions of bytes in memory; any thread; no shared state.
#pragma once

#include <string>
#include <string_view>

#include "tools/launcher-block/BlockPacker.h"
#include "tools/launcher-block/PeLayout.h"

namespace lg::blocktool {

// Where a file's block lies relative to its signature.
enum class TBlockPlace {
  NotSigned,    // no certificate table (or not a PE file)
  NoBlock,      // signed, no block at the file's end
  Inside,       // inside the last certificate entry, behind the signature
  BehindTable,  // appended behind the certificate table: the signature is broken
  Overlapping,  // the block's bytes reach into the signature or the table does not end the file
};

struct TSignatureReport {
  bool pe = false;
  std::string peError;  // why the file is not read as a PE file
  TPeLayout layout;
  TBlockPlace place = TBlockPlace::NotSigned;
  int64_t blockStart = -1;  // first byte of the block, -1 without one
  bool BlockInside() const { return place == TBlockPlace::Inside; }
  // One line for inspect, without the "signature: " label.
  std::string Describe() const;
};

TSignatureReport AssessSignature(std::string_view file);

// `file` is a signed PE file (layout parsed from it). Replaces whatever
// follows the last signature (padding, an earlier block inside the table,
// or an earlier block appended behind the table) with `sections` as a
// block inside the table, and sets dwLength, the directory's Size and, when
// the file had one, the CheckSum. `replaced` tells whether an earlier
// block was dropped. False, naming the reason, when the file cannot take it.
bool PackIntoCertificateTable(std::string& file, const TPeLayout& layout, const TSections& sections, bool& replaced,
                              std::string& error);

// The inverse: the signed file as it was before packing (its signature's
// entry padded with zeros to 8 bytes). `hadBlock` tells whether there was one.
bool StripFromCertificateTable(std::string& file, const TPeLayout& layout, bool& hadBlock, std::string& error);

}  // namespace lg::blocktool
