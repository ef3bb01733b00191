#include "tools/launcher-block/SignedBlock.h"

#include <gtest/gtest.h>

#include "launcher/ConfigBlock.h"
#include "tests/unit/tools/launcher-block/PeTestFile.h"

namespace lg::blocktool {
namespace {

using pe::MakePe;
using pe::TPeShape;

TSections MakeSections(size_t urlPad) {
  TSections s;
  s.url = "1 7 name http://a/ http://b/ http://c/ http://d/ http://e/ http://f/ http://g/" + std::string(urlPad, ' ');
  for (int i = 0; i < 3; ++i) s.res += std::string("\x03\0\0\0abc", 7);
  s.pos = std::string(152, '\x01');
  return s;
}

TPeLayout Layout(std::string_view file) {
  TPeLayout l;
  std::string error;
  EXPECT_TRUE(ParsePeLayout(file, l, error)) << error;
  return l;
}

// The bytes the signature's digest covers: everything in front of the
// certificate table except the CheckSum and the table's directory entry.
std::string SignedBytes(const std::string& file, const TPeLayout& l) {
  std::string s = file.substr(0, static_cast<size_t>(l.table.offset));
  s.replace(l.checksumOffset, 4, 4, '\0');
  s.replace(l.securityEntryOffset, 8, 8, '\0');
  return s;
}

std::string Pack(const std::string& file, const TSections& s, bool* replaced = nullptr) {
  std::string out = file, error;
  bool r = false;
  EXPECT_TRUE(PackIntoCertificateTable(out, Layout(file), s, r, error)) << error;
  if (replaced) *replaced = r;
  return out;
}

struct TPlacementCase {
  bool pe32Plus;
  int derBody;  // moves the signature's end through every remainder of 8
  size_t urlPad;
};

class PlacementTest : public ::testing::TestWithParam<TPlacementCase> {};

TEST_P(PlacementTest, BlockEndsTheFileInsideTheLastEntryAndKeepsTheSignedBytes) {
  const TPlacementCase& c = GetParam();
  const std::string original = MakePe({.pe32Plus = c.pe32Plus, .derBody = c.derBody});
  const TPeLayout before = Layout(original);
  const TSections s = MakeSections(c.urlPad);
  bool replaced = true;
  const std::string packed = Pack(original, s, &replaced);
  EXPECT_FALSE(replaced);

  const TPeLayout after = Layout(packed);
  const int64_t size = static_cast<int64_t>(packed.size());
  ASSERT_TRUE(after.signedFile);
  EXPECT_EQ(after.table.offset, before.table.offset);
  EXPECT_EQ(after.table.End(), size);
  EXPECT_EQ(after.table.lastEntry + after.table.lastLength, size);
  EXPECT_EQ(after.table.size % 8, 0);
  EXPECT_EQ(after.table.lastLength % 8, 0);
  EXPECT_EQ(after.table.signatureEnd, before.table.signatureEnd);
  EXPECT_EQ(SignedBytes(packed, after), SignedBytes(original, before));
  // The signature itself is untouched; only its entry's length changed.
  EXPECT_EQ(packed.substr(before.table.lastEntry + 4, before.table.signatureEnd - before.table.lastEntry - 4),
            original.substr(before.table.lastEntry + 4, before.table.signatureEnd - before.table.lastEntry - 4));
  // No more padding than the alignment needs.
  EXPECT_LT(size - (before.table.signatureEnd + static_cast<int64_t>(s.url.size() + s.res.size() + s.pos.size()) +
                    kBlockTrailerSize),
            8);
  EXPECT_EQ(ReadLe32(packed, after.checksumOffset), PeChecksum(packed, after.checksumOffset));

  // The launcher's reader finds the block as it finds an appended one.
  TConfigBlockReport r = ReadConfigBlock(packed.data(), packed.size(), "launcher.exe", [](std::string_view) {});
  EXPECT_TRUE(r.trailer.url.valid && r.trailer.res.valid && r.trailer.pos.valid);
  EXPECT_EQ(packed.substr(r.trailer.url.offset, r.trailer.url.size), s.url);
  EXPECT_EQ(packed.substr(r.trailer.pos.offset, r.trailer.pos.size), s.pos);
  EXPECT_EQ(r.values[1], "7");
  EXPECT_EQ(AssessSignature(packed).place, TBlockPlace::Inside);

  // Packing again replaces the block in place; stripping gives the signed
  // file back byte for byte (its checksum included, once it was real).
  bool again = false;
  EXPECT_EQ(Pack(packed, s, &again), packed);
  EXPECT_TRUE(again);
  std::string stripped = packed, error;
  bool hadBlock = false;
  ASSERT_TRUE(StripFromCertificateTable(stripped, after, hadBlock, error)) << error;
  EXPECT_TRUE(hadBlock);
  std::string expected = original;
  WriteLe32(expected, before.checksumOffset, PeChecksum(expected, before.checksumOffset));
  EXPECT_EQ(stripped, expected);
}

INSTANTIATE_TEST_SUITE_P(Remainders, PlacementTest,
                         ::testing::Values(TPlacementCase{false, 300, 0}, TPlacementCase{false, 301, 1},
                                           TPlacementCase{false, 302, 2}, TPlacementCase{false, 303, 3},
                                           TPlacementCase{false, 304, 4}, TPlacementCase{false, 305, 5},
                                           TPlacementCase{false, 306, 6}, TPlacementCase{false, 307, 7},
                                           TPlacementCase{true, 20, 3}, TPlacementCase{true, 127, 6},
                                           TPlacementCase{true, 128, 0}));

TEST(SignedBlock, AZeroChecksumStaysZero) {
  const std::string packed = Pack(MakePe({.checksum = 0}), MakeSections(0));
  EXPECT_EQ(ReadLe32(packed, pe::kOptOffset + 64), 0u);
}

TEST(SignedBlock, ABlockAppendedBehindTheTableIsTakenInside) {
  const std::string signedFile = MakePe();
  const TSections s = MakeSections(2);
  // What packing without knowing about signatures made of it.
  std::string block, error;
  ASSERT_TRUE(ComposeBlock(static_cast<int64_t>(signedFile.size()), s, block, error)) << error;
  const std::string appended = signedFile + block;
  const TSignatureReport before = AssessSignature(appended);
  EXPECT_EQ(before.place, TBlockPlace::BehindTable);
  EXPECT_NE(before.Describe().find("no longer verifies"), std::string::npos);

  bool replaced = false;
  EXPECT_EQ(Pack(appended, s, &replaced), Pack(signedFile, s));
  EXPECT_TRUE(replaced);

  // Something else behind the table is not dropped.
  std::string other = signedFile + "tail of another tool";
  bool r = false;
  EXPECT_FALSE(PackIntoCertificateTable(other, Layout(other), s, r, error));
  EXPECT_NE(error.find("20 bytes follow the certificate table"), std::string::npos) << error;
  EXPECT_EQ(other, signedFile + "tail of another tool");
}

TEST(SignedBlock, AssessmentNamesEachLayout) {
  const std::string signedFile = MakePe();
  const std::string packed = Pack(signedFile, MakeSections(0));
  EXPECT_EQ(AssessSignature(signedFile).place, TBlockPlace::NoBlock);
  EXPECT_NE(AssessSignature(packed).Describe().find("signed layout kept"), std::string::npos);
  EXPECT_NE(AssessSignature(MakePe({.withSignature = false})).Describe().find("none (no certificate table)"),
            std::string::npos);
  EXPECT_NE(AssessSignature("plain bytes").Describe().find("not a PE file"), std::string::npos);

  // A block whose sections start inside the signature (a damaged pack)
  // and one the entry's length does not cover.
  std::string reaching = packed;
  const TPeLayout l = Layout(packed);
  const int64_t trailer = static_cast<int64_t>(packed.size()) - kBlockTrailerSize;
  WriteLe32(reaching, trailer, static_cast<uint32_t>(l.table.signatureEnd - 4));  // urloffset
  EXPECT_EQ(AssessSignature(reaching).place, TBlockPlace::Overlapping);
  std::string uncovered = packed;
  WriteLe32(uncovered, l.table.lastEntry, static_cast<uint32_t>(l.table.lastLength - 4));
  EXPECT_EQ(AssessSignature(uncovered).place, TBlockPlace::Overlapping);
  // A signed file whose table cannot be read is not called unsigned.
  std::string broken = packed;
  WriteLe32(broken, l.table.lastEntry, 0);
  EXPECT_NE(AssessSignature(broken).Describe().find("unreadable: certificate table"), std::string::npos);
}

}  // namespace
}  // namespace lg::blocktool
