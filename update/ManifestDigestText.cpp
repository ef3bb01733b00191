#include "update/ManifestDigestText.h"

#include "update/StrongDigest.h"
#include "update/json/JsonText.h"

namespace lg {
namespace {

char16_t LowerHexDigit(char16_t c) {
  return c >= u'A' && c <= u'F' ? static_cast<char16_t>(c | 0x20) : c;
}

}  // namespace

bool IsSha256Text(std::u16string_view text) {
  TStrongDigest digest;
  return ParseStrongDigest(text, digest);
}

std::string Sha256TextOf(std::u16string_view text) {
  std::string gbk = json::GbkFromWide(text);
  for (char& c : gbk)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return gbk;
}

bool SameSha256Text(std::string_view digest, std::u16string_view text) {
  // ASCII is the same text in GBK, a byte per code unit, so the first
  // difference in it decides; past a code unit above it, the text is
  // converted as a whole.
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x80) return digest == Sha256TextOf(text);
    if (i >= digest.size() || static_cast<unsigned char>(digest[i]) != LowerHexDigit(text[i])) return false;
  }
  return digest.size() == text.size();
}

}  // namespace lg
