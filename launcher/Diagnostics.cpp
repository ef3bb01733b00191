#include "launcher/Diagnostics.h"

#include "common/Platform.h"

namespace lg {

void LogError(std::string_view text) {
  plat::DebugOutput(text);
}

}  // namespace lg
