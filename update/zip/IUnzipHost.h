// What the unpacking functions of ZipUnpack.h report to: the update
// thread's status line, log, progress messages and stop flag. Called only
// from inside those functions, on the caller's thread.
#pragma once

#include <string>

#include "update/zip/IZipErrorReporter.h"

namespace lg {

class IUnzipHost {
 public:
  virtual ~IUnzipHost() = default;
  // A status line (GBK): logged and shown by the update thread.
  virtual void ShowStatus(const std::string& text) = 0;
  // An update-log line without a status (refused or failed entries).
  virtual void AddLog(const std::string& text) = 0;
  // Progress of the current entry, 0..100 (the file progress message).
  virtual void FilePercent(int percent) = 0;
  // Progress over the whole archive, 0..100 (the overall progress message).
  virtual void TotalPercent(int percent) = 0;
  virtual bool StopRequested() const = 0;
  // Where "Zip Error" boxes go; may be null.
  virtual IZipErrorReporter* ErrorReporter() = 0;
};

}  // namespace lg
