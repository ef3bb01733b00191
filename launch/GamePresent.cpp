#include "launch/GamePresent.h"

#include "common/Gbk.h"
#include "common/Platform.h"

namespace lg {

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

bool GamePresent(const std::string& folder) {
  const std::string dir = WithTrailingSeparator(folder);
  return plat::FileExists(dir + "Vantrel.dll") && plat::FileExists(dir + "d3dx9_43.dll") &&
         (plat::DirectoryExists(dir + "data") || plat::DirectoryExists(dir + "data\\ui"));
}

std::string DefaultInstallFolder(const std::function<bool(const std::string&)>& directoryExists) {
  const std::string name = Gbk("Korvath微端\\");
  return (directoryExists("D:\\") ? "D:\\" : "C:\\") + name;
}

std::string UninstallFolder(const std::string& uninstallString) {
  std::string path = uninstallString;
  if (!path.empty() && path.front() == '"') {
    size_t close = path.find('"', 1);
    path = path.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  // The folder part ends at the last backslash ("/" may start an argument), stepping over GBK pairs so
  // a trail byte 0x5C is never taken for one.
  size_t lastSep = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsGbkLeadByte(c) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (c == '\\') lastSep = i;
  }
  return lastSep == std::string::npos ? std::string() : path.substr(0, lastSep + 1);
}

std::string BrowsedFolderText(const std::string& path) {
  return path.size() == 3 ? path : path + "\\";
}

bool SameFolderText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace lg
