#include "tests/support/NginxServer.h"

#include <cstdlib>

#include "common/Platform.h"
#include "common/Socket.h"

namespace lg::test {
namespace {

const uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order

// A port nothing listens on now, for nginx to take.
uint16_t FreePort() {
  sock::Handle h = sock::Open(sock::Kind::Stream);
  uint16_t port = 0;
  if (h != sock::kInvalid && sock::Bind(h, kLoopback, 0) == 0) port = sock::LocalPort(h);
  if (h != sock::kInvalid) sock::Close(h);
  return port;
}

bool Accepts(uint16_t port) {
  sock::Handle h = sock::Open(sock::Kind::Stream);
  if (h == sock::kInvalid) return false;
  const bool ok = sock::Connect(h, kLoopback, port) == 0;
  sock::Close(h);
  return ok;
}

}  // namespace

bool TNginx::Installed() {
  return plat::FileExists(kPath);
}

TNginx::TNginx(const std::string& root, const std::string& httpExtra) {
  if (!Installed() || IsWindowsBuild()) return;
  port_ = FreePort();
  const std::string conf = dir_.File("nginx.conf");
  WriteFileBytes(conf, "daemon on; master_process off; pid " + dir_.File("nginx.pid") + "; error_log " +
                           dir_.File("error.log") + ";\nevents {}\nhttp { access_log " + dir_.File("access.log") +
                           "; " + httpExtra + " server { listen 127.0.0.1:" + std::to_string(port_) + "; root " + root +
                           "; } }\n");
  command_ = std::string(kPath) + " -e " + dir_.File("error.log") + " -p " + dir_.Path() + " -c " + conf;
  started_ = std::system(command_.c_str()) == 0;
  const uint32_t start = plat::TickCount();
  while (started_ && !Accepts(port_) && plat::TickCount() - start < 5000u) plat::SleepMs(20);
}

TNginx::~TNginx() {
  if (started_) std::system((command_ + " -s stop").c_str());
}

std::string TNginx::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int TNginx::Requests(const std::string& part) const {
  const std::string log = ReadFileBytes(dir_.File("access.log"));
  int n = 0;
  for (size_t at = log.find("\"GET "); at != std::string::npos; at = log.find("\"GET ", at + 1)) {
    const size_t end = log.find(' ', at + 5);
    n += log.substr(at + 5, end - at - 5).find(part) != std::string::npos;
  }
  return n;
}

}  // namespace lg::test
