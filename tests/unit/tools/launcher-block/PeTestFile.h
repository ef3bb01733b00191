// A small synthetic Windows executable for the layout tests: MZ and PE
// headers, two sections of raw data and, when asked, a certificate table
// with one WIN_CERTIFICATE holding a DER sequence of a chosen length, laid
// out the way signing tools write it (entry padded with zeros to 8 bytes).
#pragma once

#include <cstdint>
#include <string>

namespace lg::blocktool::pe {

struct TPeShape {
  bool pe32Plus = false;
  bool withSignature = true;
  int derBody = 300;           // bytes inside the DER sequence (long form from 128)
  uint32_t checksum = 0x1234;  // stored as is (not the real sum)
};

// Offsets inside the file the builder writes.
inline constexpr int64_t kPeOffset = 0x80;
inline constexpr int64_t kCoffOffset = kPeOffset + 4;
inline constexpr int64_t kOptOffset = kCoffOffset + 20;
inline constexpr int64_t kSectionsEnd = 0x600;
inline constexpr int64_t kTableOffset = 0x600;

inline int64_t OptionalHeaderSize(bool plus) {
  return plus ? 240 : 224;
}
inline int64_t SectionTableOffset(bool plus) {
  return kOptOffset + OptionalHeaderSize(plus);
}
inline int64_t SecurityEntryOffset(bool plus) {
  return kOptOffset + (plus ? 112 : 96) + 4 * 8;
}

inline void Put16(std::string& b, int64_t at, uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& b, int64_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string MakePe(const TPeShape& shape = {}) {
  std::string b(kSectionsEnd, '\0');
  for (int64_t i = 0x200; i < kSectionsEnd; ++i) b[i] = static_cast<char>(i * 31 + 7);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, kPeOffset);
  b.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  Put16(b, kCoffOffset, 0x14C);
  Put16(b, kCoffOffset + 2, 2);
  Put16(b, kCoffOffset + 16, static_cast<uint32_t>(OptionalHeaderSize(shape.pe32Plus)));
  Put16(b, kOptOffset, shape.pe32Plus ? 0x20B : 0x10B);
  Put32(b, kOptOffset + 64, shape.checksum);
  Put32(b, kOptOffset + (shape.pe32Plus ? 108 : 92), 16);
  const int64_t sections = SectionTableOffset(shape.pe32Plus);
  for (int i = 0; i < 2; ++i) {
    b.replace(sections + 40 * i, 5, i == 0 ? ".text" : ".data");
    Put32(b, sections + 40 * i + 16, 0x200);
    Put32(b, sections + 40 * i + 20, 0x200 + 0x200 * i);
  }
  if (!shape.withSignature) return b;

  std::string der = "\x30";
  if (shape.derBody < 128) {
    der += static_cast<char>(shape.derBody);
  } else {
    der += "\x82";
    der += static_cast<char>((shape.derBody >> 8) & 0xFF);
    der += static_cast<char>(shape.derBody & 0xFF);
  }
  for (int i = 0; i < shape.derBody; ++i) der += static_cast<char>(i * 13 + 1);
  std::string entry(8, '\0');
  entry += der;
  entry.append((8 - entry.size() % 8) % 8, '\0');
  Put32(entry, 0, static_cast<uint32_t>(entry.size()));
  Put16(entry, 4, 0x0200);
  Put16(entry, 6, 0x0002);
  b += entry;
  Put32(b, SecurityEntryOffset(shape.pe32Plus), kTableOffset);
  Put32(b, SecurityEntryOffset(shape.pe32Plus) + 4, static_cast<uint32_t>(entry.size()));
  return b;
}

}  // namespace lg::blocktool::pe
