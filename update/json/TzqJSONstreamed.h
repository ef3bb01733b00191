// The JSON parser: text, stream or file to a TzqJSON tree. Lenient in a few
// fixed ways that published manifests rely on: a UTF-8 byte order mark is
// skipped, elements and members may be separated by whitespace alone, a
// trailing comma before "]" or "}" is accepted, "\'" is an escape, unknown
// escapes are dropped, and whatever follows the first complete value is
// ignored. Malformed text gives nullptr, never an exception; nesting deeper
// than kMaxDepth is malformed, so outside input cannot exhaust the stack.
// Stateless; callable from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "update/json/TzqJSON.h"

namespace lg {
namespace plat {
class TFileStream;
}

class TzqJSONstreamed {
 public:
  static constexpr int kMaxDepth = 512;

  // `text` is UTF-8.
  static std::unique_ptr<TzqJSONbase> ParseText(std::string_view text);
  // Reads from the stream's position to its end, then parses.
  static std::unique_ptr<TzqJSONbase> LoadFromStream(plat::TFileStream& stream);
  // nullptr when the file does not exist; EFOpenError when it exists but
  // cannot be opened or read.
  static std::unique_ptr<TzqJSONbase> LoadFromFile(const std::string& path);
};

}  // namespace lg
