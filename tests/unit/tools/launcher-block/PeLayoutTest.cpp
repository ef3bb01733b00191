#include "tools/launcher-block/PeLayout.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/tools/launcher-block/PeTestFile.h"

namespace lg::blocktool {
namespace {

using pe::MakePe;
using pe::Put16;
using pe::Put32;
using pe::TPeShape;

TEST(PeLayout, ReadsBothHeaderKindsAndTheSignature) {
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const std::string file = MakePe({.pe32Plus = plus, .derBody = 300});
    TPeLayout l;
    std::string error;
    ASSERT_TRUE(ParsePeLayout(file, l, error)) << error;
    EXPECT_EQ(l.pe32Plus, plus);
    EXPECT_EQ(l.checksumOffset, pe::kOptOffset + 64);
    EXPECT_EQ(l.securityEntryOffset, pe::SecurityEntryOffset(plus));
    EXPECT_EQ(l.headersEnd, pe::SectionTableOffset(plus) + 80);
    EXPECT_EQ(l.sectionsEnd, pe::kSectionsEnd);
    ASSERT_TRUE(l.signedFile);
    EXPECT_EQ(l.table.offset, pe::kTableOffset);
    EXPECT_EQ(l.table.End(), static_cast<int64_t>(file.size()));
    EXPECT_EQ(l.table.lastEntry, pe::kTableOffset);
    // 8-byte entry header, 4 bytes of DER head (30 82 01 2C), 300 of body.
    EXPECT_EQ(l.table.signatureEnd, pe::kTableOffset + 8 + 4 + 300);
    EXPECT_EQ(l.table.lastLength, 312);
  }
}

TEST(PeLayout, AnUnsignedFileAndTheLastOfSeveralEntries) {
  TPeLayout l;
  std::string error;
  ASSERT_TRUE(ParsePeLayout(MakePe({.withSignature = false}), l, error)) << error;
  EXPECT_FALSE(l.signedFile);

  // A second signature entry behind the first (the first one of 20 bytes,
  // padded to 24): the block must go behind the last one.
  std::string file = MakePe({.derBody = 10});
  const std::string first = file.substr(pe::kTableOffset);
  ASSERT_EQ(first.size(), 24u);
  file += MakePe({.derBody = 100}).substr(pe::kTableOffset);
  Put32(file, pe::SecurityEntryOffset(false) + 4, static_cast<uint32_t>(file.size() - pe::kTableOffset));
  ASSERT_TRUE(ParsePeLayout(file, l, error)) << error;
  EXPECT_EQ(l.table.lastEntry, pe::kTableOffset + 24);
  EXPECT_EQ(l.table.signatureEnd, pe::kTableOffset + 24 + 8 + 2 + 100);
}

struct TBadPe {
  const char* name;
  std::function<void(std::string&)> damage;
  const char* expect;  // part of the error text
};

void PrintTo(const TBadPe& c, std::ostream* os) {
  *os << c.name;
}

class BadPeTest : public ::testing::TestWithParam<TBadPe> {};

// Each damaged header is refused with a text that names it; none of them
// may read outside the file (the sanitizer builds run these too).
TEST_P(BadPeTest, IsRefusedWithAClearError) {
  std::string file = MakePe();
  GetParam().damage(file);
  TPeLayout l;
  std::string error;
  EXPECT_FALSE(ParsePeLayout(file, l, error));
  EXPECT_NE(error.find(GetParam().expect), std::string::npos) << error;
}

const int64_t kEntry = pe::kTableOffset;
const int64_t kDir = pe::SecurityEntryOffset(false);

INSTANTIATE_TEST_SUITE_P(
    Headers, BadPeTest,
    ::testing::Values(
        TBadPe{"no_mz", [](std::string& f) { f[0] = 'Z'; }, "no MZ header"},
        TBadPe{"shorter_than_mz_header", [](std::string& f) { f.resize(40); }, "no MZ header"},
        TBadPe{"lfanew_in_mz_header", [](std::string& f) { Put32(f, 0x3C, 0x20); }, "overlaps the MZ header"},
        TBadPe{"lfanew_past_end", [](std::string& f) { Put32(f, 0x3C, 0x10000); }, "outside the file"},
        TBadPe{"lfanew_wraps", [](std::string& f) { Put32(f, 0x3C, 0xFFFFFFF0u); }, "outside the file"},
        TBadPe{"no_pe_signature", [](std::string& f) { f[pe::kPeOffset + 1] = 'X'; }, "no PE signature"},
        TBadPe{"optional_header_past_end", [](std::string& f) { Put16(f, pe::kCoffOffset + 16, 0xFFFF); },
               "does not fit the file"},
        TBadPe{"unknown_magic", [](std::string& f) { Put16(f, pe::kOptOffset, 0x107); }, "unknown optional header"},
        TBadPe{"optional_header_too_short", [](std::string& f) { Put16(f, pe::kCoffOffset + 16, 90); },
               "too short for its directories"},
        TBadPe{"four_directories", [](std::string& f) { Put32(f, pe::kOptOffset + 92, 4); },
               "no certificate table entry"},
        TBadPe{"directories_past_header", [](std::string& f) { Put32(f, pe::kOptOffset + 92, 0xFFFFFFFFu); },
               "do not fit the optional header"},
        TBadPe{"section_table_past_end", [](std::string& f) { Put16(f, pe::kCoffOffset + 2, 0xFFFF); },
               "sections runs past"},
        TBadPe{"section_data_past_end",
               [](std::string& f) { Put32(f, pe::SectionTableOffset(false) + 40 + 16, 0x100000); },
               "section 2: its data"},
        TBadPe{"section_offset_wraps",
               [](std::string& f) { Put32(f, pe::SectionTableOffset(false) + 20, 0xFFFFFF00u); }, "section 1"},
        TBadPe{"table_unaligned", [](std::string& f) { Put32(f, kDir, kEntry + 4); }, "8-byte boundary"},
        TBadPe{"table_over_sections", [](std::string& f) { Put32(f, kDir, 0x400); }, "overlaps the headers"},
        TBadPe{"table_over_headers", [](std::string& f) { Put32(f, kDir, 0x40); }, "overlaps the headers"},
        TBadPe{"table_past_end", [](std::string& f) { Put32(f, kDir + 4, 0x10000); }, "runs past the file's end"},
        TBadPe{"table_wraps",
               [](std::string& f) {
                 Put32(f, kDir, 0xFFFFFFF8u);
                 Put32(f, kDir + 4, 0x10);
               },
               "runs past the file's end"},
        TBadPe{"table_of_four_bytes", [](std::string& f) { Put32(f, kDir + 4, 4); }, "too few for a certificate"},
        TBadPe{"entry_length_zero", [](std::string& f) { Put32(f, kEntry, 0); }, "a length of 0 bytes"},
        TBadPe{"entry_past_table", [](std::string& f) { Put32(f, kEntry, 0x1000); }, "outside the table"},
        TBadPe{"entry_tail_too_short",
               [](std::string& f) {
                 f += std::string(4, '\0');  // 4 bytes behind the entry, inside the table
                 Put32(f, kDir + 4, 316);
               },
               "too few for a certificate"},
        TBadPe{"entry_not_pkcs7", [](std::string& f) { Put16(f, kEntry + 6, 0x0001); }, "not an Authenticode"},
        TBadPe{"entry_old_revision", [](std::string& f) { Put16(f, kEntry + 4, 0x0100); }, "not an Authenticode"},
        TBadPe{"der_not_sequence", [](std::string& f) { f[kEntry + 8] = 0x31; }, "DER sequence"},
        TBadPe{"der_indefinite", [](std::string& f) { f[kEntry + 9] = static_cast<char>(0x80); }, "definite"},
        TBadPe{"der_length_of_five_bytes", [](std::string& f) { f[kEntry + 9] = static_cast<char>(0x85); },
               "malformed"},
        TBadPe{"der_past_entry", [](std::string& f) { f[kEntry + 10] = 0x05; }, "runs past its entry"},
        TBadPe{"entry_holds_no_der",
               [](std::string& f) {
                 Put32(f, kEntry, 8);
                 Put32(f, kDir + 4, 8);
               },
               "DER sequence"}),
    [](const auto& p) { return std::string(p.param.name); });

// Every strict prefix of a signed file is a truncated file: refused, never
// read past its end.
TEST(PeLayout, EveryTruncationIsRefused) {
  const std::string file = MakePe({.derBody = 40});
  for (size_t n = 0; n < file.size(); ++n) {
    TPeLayout l;
    std::string error;
    ASSERT_FALSE(ParsePeLayout(std::string_view(file).substr(0, n), l, error)) << n;
    ASSERT_FALSE(error.empty()) << n;
  }
}

TEST(PeChecksum, FoldsCarriesSkipsItsFieldAndAddsTheLength) {
  // 0x0201 + 0x0003 (odd last byte) + 3 bytes.
  EXPECT_EQ(PeChecksum(std::string("\x01\x02\x03", 3), 100), 0x0207u);
  // 0xFFFF + 0xFFFF folds to 0xFFFF, + 2 folds to 0x0002, + 6 bytes.
  EXPECT_EQ(PeChecksum(std::string("\xFF\xFF\xFF\xFF\x02\x00", 6), 100), 0x0008u);
  // The field's own bytes do not count, wherever it lies.
  std::string a = std::string(16, '\x11'), b = a;
  b.replace(5, 4, "\xAA\xBB\xCC\xDD");
  EXPECT_EQ(PeChecksum(a, 5), PeChecksum(b, 5));
  EXPECT_NE(PeChecksum(a, 5), PeChecksum(b, 9));
}

}  // namespace
}  // namespace lg::blocktool
