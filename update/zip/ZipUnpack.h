// The update thread's two ways of unpacking a downloaded archive: one
// zipped file beside itself (per-file mode) and the full package below the
// launcher's folder (package mode). Run on the update thread; the host is
// the thread's own reporting (status line, progress messages, stop flag)
// and is only called from inside these functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/zip/IUnzipHost.h"
#include "update/zip/IZipErrorReporter.h"

namespace lg {

// A host that shows and logs nothing and never stops: for tools that report
// by themselves (the publisher's verifier) and for tests.
class TQuietUnzipHost final : public IUnzipHost {
 public:
  void ShowStatus(const std::string&) override {}
  void AddLog(const std::string&) override {}
  void FilePercent(int) override {}
  void TotalPercent(int) override {}
  bool StopRequested() const override { return false; }
  IZipErrorReporter* ErrorReporter() override { return nullptr; }
};

struct TUnzipFileResult {
  bool Extracted = false;    // at least one entry was handled
  uint32_t ArchiveSize = 0;  // the archive's size in bytes, low 32 bits
};

// Per-file mode: every entry under its bare name straight into `targetDir`.
TUnzipFileResult UnzipFile(const std::string& archivePath, const std::string& targetDir, IUnzipHost& host);

// Package mode: the stored tree below the archive's own folder (the current
// folder for a name without one). True when something was extracted and no
// stop was requested; the archive is then deleted, otherwise it stays.
// `unpacked` runs once the tree is out and before the archive goes, so a
// caller can record that it no longer needs the archive.
bool UnzipPackage(const std::string& archivePath, IUnzipHost& host, const std::function<void()>& unpacked = {});

}  // namespace lg
