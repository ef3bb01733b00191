// serverlist-service --list servers.json [--port 30000] [--bind 127.0.0.1] [--hub ID]
//
// Serves the launcher's server list over UDP until interrupted (Ctrl+C or
// a termination request).
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Socket.h"
#include "tools/serverlist-service/TServerListService.h"

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void OnSignal(int) {
  stopRequested.store(true);
}

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "serverlist-service: %s\n", problem);
  std::fprintf(stderr,
               "usage: serverlist-service --list servers.json [--port 30000] [--bind 127.0.0.1] [--hub ID]\n"
               "  --list  the server list, a UTF-8 JSON object with a \"server\" array\n"
               "  --port  UDP port to listen on (default 30000)\n"
               "  --bind  local IPv4 address to listen on (default 127.0.0.1; 0.0.0.0 for all)\n"
               "  --hub   answer only requests for this game id (default: any)\n");
  return 2;
}

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  lg::TServerListServiceOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(nullptr);
    if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
    const std::string value = argv[++i];
    long long number = 0;
    if (arg == "--list") {
      options.listPath = value;
    } else if (arg == "--bind") {
      options.bindIp = value;
    } else if (arg == "--port") {
      if (!ParseInt(value, 0, 65535, number)) return Usage(("not a port number: " + value).c_str());
      options.port = static_cast<uint16_t>(number);
    } else if (arg == "--hub") {
      if (!ParseInt(value, INT32_MIN, INT32_MAX, number)) return Usage(("not a game id: " + value).c_str());
      options.hubId = static_cast<int32_t>(number);
    } else {
      return Usage(("unknown option " + arg).c_str());
    }
  }
  if (options.listPath.empty()) return Usage("--list is required");

  if (lg::sock::LibraryStartup() != 0) {
    std::fprintf(stderr, "serverlist-service: the socket library did not start\n");
    return 1;
  }
  int result = 0;
  {
    lg::TServerListService service(options);
    std::string error;
    if (!service.Load(error) || !service.Open(error)) {
      std::fprintf(stderr, "serverlist-service: %s\n", error.c_str());
      result = 1;
    } else {
      std::signal(SIGINT, OnSignal);
      std::signal(SIGTERM, OnSignal);
      service.Run(stopRequested);
      std::fprintf(stderr, "serverlist-service: stopped after %s answers\n",
                   std::to_string(service.Answered()).c_str());
    }
  }
  lg::sock::LibraryCleanup();
  return result;
}
