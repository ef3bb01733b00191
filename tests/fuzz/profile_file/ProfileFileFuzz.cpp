// Profile files (launcher.ini, download state files) are read from disk and
// may be damaged: reading and rewriting any text must neither crash nor
// lose the value just written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/ProfileFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // The first bytes choose the names so sections and keys are hit.
  const char* sections[] = {"Main", "main", "Chunks", "[x"};
  const char* keys[] = {"lastserver", "UpdateNow", "FileSize", "a=b"};
  const char* section = sections[size > 0 ? data[0] % 4 : 0];
  const char* key = keys[size > 1 ? data[1] % 4 : 0];

  auto before = lg::ProfileValue(text, section, key);
  if (before) {
    int n = 0;
    lg::ParseProfileInt(*before, n);
  }
  std::string rewritten = lg::WithProfileValue(text, section, key, "12345");
  auto after = lg::ProfileValue(rewritten, section, key);
  // A key whose name has '=' or a section name with '[' cannot be stored;
  // every other write must read back.
  if (std::string_view(key).find('=') == std::string_view::npos && section[0] != '[' && (!after || *after != "12345"))
    std::abort();
  return 0;
}
