// Reads arbitrary bytes as a local state file, enters the lines into a name
// table the way the update pass does, and checks that a line written back
// reads the same when its parts can be written at all.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Library/hDownload/TNamesHash.h"
#include "update/LocalStateFile.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lg;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TNamesHash table(1023);
  int added = 0;
  for (const TLocalStateLine& line : ParseLocalState(text)) {
    Check(!line.Hash.empty());
    if (table.Add(line.Name, const_cast<TLocalStateLine*>(&line))) ++added;
    Check(table.Find(line.Name) != nullptr);
    bool writable =
        line.Name.find_first_of("=\r\n") == std::string::npos && line.Hash.find_first_of("-\r\n") == std::string::npos;
    if (!writable) continue;
    auto again = ParseLocalState(FormatLocalStateLine(line.Name, line.Hash, line.Stamp));
    Check(again.size() == 1 && again[0].Name == line.Name && again[0].Hash == line.Hash &&
          again[0].Stamp == line.Stamp);
  }
  Check(table.Count() == added);
  int walked = 0;
  table.First();
  while (!table.AtEnd()) {
    Check(table.Next() != nullptr);
    ++walked;
  }
  Check(walked == added);
  return 0;
}
