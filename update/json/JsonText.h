// Text conversions of the JSON model: UTF-8 (the documents' encoding) to
// UTF-16 (the nodes' strings), and UTF-16 <-> GBK for the 8-bit interface.
// Pure functions, callable from any thread. Pure ASCII takes a fast path
// that never reaches the platform converter, which keeps large manifests
// cheap to read.
#pragma once

#include <string>
#include <string_view>

namespace lg::json {

// Decodes UTF-8 into UTF-16 code units. Three-byte sequences that encode a
// single surrogate half are kept as that code unit, so a pair written out
// half by half ("\ud83d\ude00") comes back as one character. Malformed
// bytes become U+FFFD, one per byte.
std::u16string Utf16FromUtf8(std::string_view utf8);
// The same into `out`, which has room for utf8.size() code units (never
// more are needed); returns the number written.
size_t Utf16FromUtf8(std::string_view utf8, char16_t* out);

std::string GbkFromWide(std::u16string_view wide);
std::u16string WideFromGbk(std::string_view gbk);
// True when every byte is below 0x80 (the same text in GBK and UTF-16).
bool IsAscii(std::string_view text);

}  // namespace lg::json
