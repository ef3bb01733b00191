// Where the extractor reports an archive error that needs the user's eyes.
// The Windows launcher shows it as a modal message box on the calling
// (update) thread, which waits until it is dismissed; the headless updater
// and the tests record it. Called on the extracting thread.
#pragma once

#include <string>

namespace lg {

class IZipErrorReporter {
 public:
  virtual ~IZipErrorReporter() = default;
  // `title` and `text` are GBK.
  virtual void ShowZipError(const std::string& title, const std::string& text) = 0;
};

}  // namespace lg
