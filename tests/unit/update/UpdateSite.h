// Test helpers for whole update passes: an installation folder, a content
// site served by THttpTestServer (manifest, files, zipped files, the full
// package) and a runner that waits for the pass's end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "update/TQueueSink.h"
#include "update/TUpdateThread.h"

namespace lg::test {

struct TSiteFile {
  std::string File;  // as in the manifest ("data\\a.dat")
  std::string Content;
  bool Zip = false;
  int IsLauncher = 0;
  bool Need = true;
  std::string Hash;    // empty: the content's digest
  bool Serve = true;   // false: the server answers 404
  std::string Sha256;  // with Strong: empty means the content's digest
};

// A zip archive holding `entries` (name, content), as bytes.
std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries);

class TUpdateSite {
 public:
  // The manifest and files are served below "/patch" (the URL base has no
  // trailing slash, so the package lives below "/patchcomplete/").
  explicit TUpdateSite(THttpTestServer& server) : server_(server) {}

  std::string Base() const { return server_.Url("/patch"); }
  // Serves the manifest of `pass` listing `files`, and each file (zipped
  // when asked). Returns the manifest text.
  std::string Publish(const std::vector<TSiteFile>& files, int pass = 0);
  // Serves "release.json" and the package archive holding `entries`.
  // Returns the text of "release.json".
  std::string PublishPackage(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries,
                             int isLauncher = 0);
  static std::string UrlPath(const std::string& file);

  // Manifests and "release.json" carry "Sha256" (what a keyed launcher
  // needs), as the publisher writes them.
  bool Strong = false;

  // Requests whose target is `target` so far.
  size_t Hits(const std::string& target) const;
  // Requests for anything but a manifest.
  size_t FileRequests() const;

 private:
  THttpTestServer& server_;
};

// An installation folder; the launcher's path is set to it for the test.
class TInstallation {
 public:
  TInstallation();
  ~TInstallation();
  std::string Path(const std::string& name) const { return dir_.File(name); }
  const std::string& Folder() const { return dir_.Path(); }
  std::string Read(const std::string& name) const { return ReadFileBytes(Path(name)); }
  void Write(const std::string& name, const std::string& bytes);
  int UpdateNow() const;
  void SetUpdateNow(int value);
  // Runs one pass to its WM_UPDATE_DONE (or its end) and releases it.
  // Returns the DONE's wParam, or -1 when none was posted.
  int RunPass(const std::string& base, int pass = 0, TUpdateThreadOptions options = {},
              std::vector<std::string>* leftFailing = nullptr);
  // The status texts of the last pass, as UTF-8.
  std::vector<std::string> Statuses() const;
  std::vector<std::string> LogLines() const { return lastLog_; }
  bool Logged(const std::string& utf8) const;

  TQueueSink Sink;

 private:
  TTempDir dir_;
  std::vector<std::string> lastLog_;
};

}  // namespace lg::test
