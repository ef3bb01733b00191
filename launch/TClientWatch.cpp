#include "launch/TClientWatch.h"

namespace lg {

TClientWatch::TClientWatch(TExitCodeQuery exitCode, TRelease release)
    : exitCode_(std::move(exitCode)), release_(std::move(release)) {}

TClientWatch::~TClientWatch() {
  Clear();
}

void TClientWatch::Add(int32_t serverId, intptr_t thread) {
  records_.push_back({serverId, thread});
}

TClientWatch::TTick TClientWatch::Tick(bool windowHidden) {
  for (size_t i = records_.size(); i-- > 0;) {
    const ClientRecord& r = records_[i];
    if (r.Thread <= 0) continue;
    uint32_t code = 0;
    // Still running reads 259 and any other non-zero code keeps the record:
    // only a clean exit (or a thread that cannot be asked) ends a watch.
    if (!exitCode_(r.Thread, code) || code == 0) {
      release_(r.Thread);
      records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (!records_.empty()) return TTick::KeepWatching;
  return windowHidden ? TTick::CloseWindow : TTick::StopTimer;
}

void TClientWatch::Clear() {
  for (const ClientRecord& r : records_)
    if (r.Thread > 0) release_(r.Thread);
  records_.clear();
}

}  // namespace lg
