// TJobThreads: threads that take the next job when one ends instead of
// exiting. A pass over thousands of files starts a writer and up to five
// workers per file; reusing their threads saves a thread start, a stack
// mapping and, at its end, an unmapping that interrupts every other core to
// flush its address cache.
//
// Threads: Run and TJob's members may be called from any thread; a TJob
// belongs to one owner. A job never outlives its TJob: destroying or
// joining the TJob waits until the job has returned. At most kMaxIdle
// threads wait for work; a thread finishing its job beyond that exits.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lg {

class TJobThreads {
 public:
  static constexpr size_t kMaxIdle = 16;

  // One job's handle: Join waits until the job returned.
  class TJob {
   public:
    TJob() = default;
    ~TJob() { Join(); }
    TJob(TJob&&) = default;
    TJob& operator=(TJob&& other) noexcept;
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    bool Joinable() const { return state_ != nullptr; }
    // Returns at once when called from the job's own thread (the job is
    // then still running and ends on its own).
    void Join();

   private:
    friend class TJobThreads;
    struct TState;
    std::shared_ptr<TState> state_;
  };

  // The process's threads; they are ended when the process exits.
  static TJobThreads& Shared();

  TJobThreads();
  // Ends the waiting threads; jobs still running must have been joined.
  ~TJobThreads();
  TJobThreads(const TJobThreads&) = delete;
  TJobThreads& operator=(const TJobThreads&) = delete;

  // Runs `job` on a waiting thread, or a new one when none waits.
  TJob Run(std::function<void()> job);

  // Tests: threads started so far, and threads waiting now.
  size_t StartedCount() const;
  size_t IdleCount() const;

 private:
  struct TThread;
  void Loop(TThread& self);
  void ReapExited();

  mutable std::mutex lock_;
  // Every thread not yet joined; the ones waiting for work are listed in
  // idle_ as well. Guarded by lock_.
  std::vector<std::unique_ptr<TThread>> threads_;
  std::vector<TThread*> idle_;
  size_t started_ = 0;
  bool stopping_ = false;
};

}  // namespace lg
