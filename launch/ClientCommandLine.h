// The game client's command line: which address of a server to use and the
// arguments "Client.bin" is started with. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/TServerInfo.h"

namespace lg {

inline constexpr const char* kClientFileName = "Client.bin";

// A uniform random number in [0, count); count is at least 1.
using TRandomIndex = std::function<uint32_t(uint32_t count)>;

// The entries of a server's `ip` text split at "|" (blanks separate too).
std::vector<std::string> SplitAddressList(std::string_view ip);

// One entry of the list chosen by `random`; false when the list is empty.
bool PickAddress(std::string_view ip, const TRandomIndex& random, std::string& address);

struct TClientLaunchValues {
  int32_t Id = 0;
  std::string Address;  // the one address chosen
  int32_t Port = 0;
  std::u16string Name;  // the server's name
  std::string LauName;  // the launcher's file name with extension
  std::string WebUrl;   // registration page
  std::string CdnUrl;   // the client files' base address
};

// "/id:%d /ip:%s /slb:1 /port:%d /servername:%s /lauName:%s /web:%s /cdn:%s/"
// with the server name in GBK. Nothing is quoted.
std::string FormClientArguments(const TClientLaunchValues& values);

// The command line a process is started with: `path` alone when
// `arguments` is empty, else path, one blank, arguments.
std::string FormCommandLine(std::string_view path, std::string_view arguments);

// The folder part of a path with its trailing backslash; empty without one.
std::string FolderPart(std::string_view path);

}  // namespace lg
