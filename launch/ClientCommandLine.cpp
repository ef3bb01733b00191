#include "launch/ClientCommandLine.h"

#include <cstdio>

#include "common/Platform.h"
#include "launcher/DelimitedText.h"

namespace lg {

std::vector<std::string> SplitAddressList(std::string_view ip) {
  return SplitDelimited(ip, '|');
}

bool PickAddress(std::string_view ip, const TRandomIndex& random, std::string& address) {
  std::vector<std::string> list = SplitAddressList(ip);
  if (list.empty()) return false;
  uint32_t index = random(static_cast<uint32_t>(list.size()));
  // A random source that answers out of range must not read past the list.
  address = list[index < list.size() ? index : list.size() - 1];
  return true;
}

std::string FormClientArguments(const TClientLaunchValues& v) {
  std::string text;
  text += "/id:" + std::to_string(v.Id);
  text += " /ip:" + v.Address;
  text += " /slb:1";
  text += " /port:" + std::to_string(v.Port);
  text += " /servername:" + plat::GbkFromUtf16(v.Name);
  text += " /lauName:" + v.LauName;
  text += " /web:" + v.WebUrl;
  text += " /cdn:" + v.CdnUrl + "/";
  return text;
}

std::string FormCommandLine(std::string_view path, std::string_view arguments) {
  std::string line(path);
  if (!arguments.empty()) {
    line += ' ';
    line += arguments;
  }
  return line;
}

std::string FolderPart(std::string_view path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

}  // namespace lg
