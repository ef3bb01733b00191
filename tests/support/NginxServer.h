// nginx on 127.0.0.1 serving a folder, started and stopped by a test or a
// benchmark: the static server operators run, with its own answers to
// ranges and probes. Needs nginx installed (Linux); Started() says whether
// it runs.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/TestSupport.h"

namespace lg::test {

class TNginx {
 public:
  static constexpr const char* kPath = "/usr/sbin/nginx";
  static bool Installed();

  // Serves `root` on a free port; waits up to 5 s until it accepts.
  // `httpExtra` goes into the http block (e.g. gzip settings).
  explicit TNginx(const std::string& root, const std::string& httpExtra = "");
  ~TNginx();
  TNginx(const TNginx&) = delete;
  TNginx& operator=(const TNginx&) = delete;

  bool Started() const { return started_; }
  uint16_t Port() const { return port_; }
  std::string Url(const std::string& path) const;
  // GET requests logged so far whose target contains `part`.
  int Requests(const std::string& part) const;

 private:
  TTempDir dir_;
  uint16_t port_ = 0;
  std::string command_;
  bool started_ = false;
};

}  // namespace lg::test
