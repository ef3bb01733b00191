// Checks a published web root the way the launcher will read it: the
// manifest must be one the launcher accepts, and every entry must be
// served with its "Size" and, once unpacked for zipped entries (the file
// under its bare name), have its "Hash". The package manifest
// "complete/release.json", when present, is checked against its archive.
// Files come from a local folder (--dir) or over HTTP (--base URL); HTTP
// fetches go through the launcher's own document fetch, which holds a
// whole document in memory and so checks entries up to its 64 MiB limit.
//
// One run per object, on the caller's thread. Paths are GBK.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lg::publish {

class TPublishVerifier {
 public:
  // Exactly one of the two is set.
  std::string BaseUrl;  // "http://host/patch"
  std::string Dir;      // the web root on disk
  std::string Manifest = "update.json";

  explicit TPublishVerifier(std::ostream& out) : out_(out) {}

  // True when every entry is right; each problem is printed on its own
  // line and kept in Problems().
  bool Run();

  const std::vector<std::string>& Problems() const { return problems_; }
  int Checked() const { return checked_; }

 private:
  // The served file `name` ("/" separators) as a local file: the file in
  // Dir itself, or a download into the scratch folder. False when it
  // cannot be had (`why` says so).
  bool Obtain(const std::string& name, std::string& local, std::string& why, bool package = false);
  void CheckEntry(int index, const std::string& file, const std::string& hash, int64_t size, bool zip);
  void CheckPackage();
  void Problem(const std::string& text);

  std::ostream& out_;
  std::string scratch_;
  int downloads_ = 0;
  std::vector<std::string> problems_;
  int checked_ = 0;
};

}  // namespace lg::publish
