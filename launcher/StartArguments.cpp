#include "launcher/StartArguments.h"

#include "common/AsciiCase.h"

namespace lg {

std::string FileNamePart(std::string_view path) {
  size_t sep = path.find_last_of("\\/");
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string ExtensionOf(std::string_view name) {
  std::string file = FileNamePart(name);
  size_t dot = file.find_last_of('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

TStartArguments ReadStartArguments(const std::vector<std::string>& items) {
  TStartArguments args;
  if (!items.empty()) {
    args.ExeName = FileNamePart(items[0]);
    args.ExeExt = ExtensionOf(args.ExeName);
  }
  if (items.size() > 1) {
    args.Param1Name = FileNamePart(items[1]);
    args.Param1Path = items[1];
  }
  return args;
}

std::string LeftoverPath(const TStartArguments& args, const std::string& ownPath,
                         const std::function<std::string(const std::string&)>& fullPath) {
  if (args.Param1Name.empty() || !SameText(args.Param1Name, args.ExeName)) return {};
  std::string path = fullPath ? fullPath(args.Param1Path) : args.Param1Path;
  if (path.empty() || SameText(path, ownPath)) return {};
  return path;
}

bool FindWebAddress(const std::vector<std::string>& items, std::string& address) {
  static constexpr std::string_view kMarker = "/web";
  // The marker and the one character that follows it, normally ":".
  static constexpr size_t kSkip = kMarker.size() + 1;
  for (const std::string& item : items) {
    size_t at = item.find(kMarker);
    if (at == std::string::npos) continue;
    address = at + kSkip < item.size() ? item.substr(at + kSkip) : std::string();
    return true;
  }
  return false;
}

bool IsReplacementName(std::string_view exeExt) {
  static constexpr std::string_view kExt = ".update";
  if (exeExt.size() != kExt.size()) return false;
  for (size_t i = 0; i < kExt.size(); ++i) {
    char c = exeExt[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExt[i]) return false;
  }
  return true;
}

bool DeleteLeftover(const std::string& path, const TLeftoverFiles& files) {
  for (int tries = 0; tries < kLeftoverMaxTries; ++tries) {
    if (!files.Exists(path)) return true;
    files.Delete(path);
    files.Sleep(kLeftoverPauseMs);
  }
  return !files.Exists(path);
}

}  // namespace lg
