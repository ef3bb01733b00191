#include "common/DisplayPath.h"

#include "common/Gbk.h"
#include "common/Platform.h"

namespace lg {

std::string WithSeparators(std::string_view path, char separator) {
  std::string out(path);
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsGbkLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
    } else if (out[i] == '\\' || out[i] == '/') {
      out[i] = separator;
    }
  }
  return out;
}

std::string DisplayPath(std::string_view path) {
  return WithSeparators(path, plat::kPathSeparator);
}

}  // namespace lg
