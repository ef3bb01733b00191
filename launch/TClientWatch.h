// The started game clients and the rules of their watch on the window's
// 100 ms timer: one record per start, at most one record removed per tick
// (the last one whose primary thread ended with 0 or cannot be asked), and
// what the window does when none is left. The exit-code query and the
// handle release are injected: the window passes the system's, tests pass
// their own. Main thread only; owns the records and their handles.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace lg {

struct ClientRecord {
  int32_t ServerId = 0;
  intptr_t Thread = 0;  // primary thread handle of the started process
};

class TClientWatch {
 public:
  // False when the exit code cannot be read.
  using TExitCodeQuery = std::function<bool(intptr_t thread, uint32_t& code)>;
  using TRelease = std::function<void(intptr_t thread)>;

  enum class TTick {
    KeepWatching,  // records left: the timer goes on
    StopTimer,     // none left, window shown: stop the timer
    CloseWindow,   // none left, window hidden: the launcher ends
  };

  TClientWatch(TExitCodeQuery exitCode, TRelease release);
  ~TClientWatch();
  TClientWatch(const TClientWatch&) = delete;
  TClientWatch& operator=(const TClientWatch&) = delete;

  void Add(int32_t serverId, intptr_t thread);
  TTick Tick(bool windowHidden);
  // Releases every record (window destruction).
  void Clear();
  const std::vector<ClientRecord>& Records() const { return records_; }

 private:
  TExitCodeQuery exitCode_;
  TRelease release_;
  std::vector<ClientRecord> records_;
};

}  // namespace lg
