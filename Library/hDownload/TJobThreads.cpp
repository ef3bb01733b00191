#include "Library/hDownload/TJobThreads.h"

#include <algorithm>

namespace lg {

struct TJobThreads::TJob::TState {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;  // guarded by lock
  std::thread::id runner;
};

struct TJobThreads::TThread {
  // The hand-over of one job, between Run and the thread: each thread has
  // its own lock, so threads starting and ending jobs at once do not wait
  // for each other.
  std::mutex lock;
  std::condition_variable wake;
  std::function<void()> job;            // guarded by lock
  std::shared_ptr<TJob::TState> state;  // guarded by lock
  bool stopping = false;                // guarded by lock
  bool exited = false;                  // guarded by TJobThreads::lock_
  std::thread thread;                   // started and joined under TJobThreads::lock_
};

TJobThreads::TJob& TJobThreads::TJob::operator=(TJob&& other) noexcept {
  if (this != &other) {
    Join();
    state_ = std::move(other.state_);
  }
  return *this;
}

void TJobThreads::TJob::Join() {
  if (!state_) return;
  if (state_->runner == std::this_thread::get_id()) return;
  {
    std::unique_lock<std::mutex> guard(state_->lock);
    state_->ended.wait(guard, [this] { return state_->done; });
  }
  state_.reset();
}

TJobThreads& TJobThreads::Shared() {
  static TJobThreads threads;
  return threads;
}

TJobThreads::TJobThreads() = default;

TJobThreads::~TJobThreads() {
  std::vector<std::unique_ptr<TThread>> all;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    for (TThread* t : idle_) {
      {
        std::lock_guard<std::mutex> own(t->lock);
        t->stopping = true;
      }
      t->wake.notify_one();
    }
    all.swap(threads_);
    idle_.clear();
  }
  for (auto& t : all)
    if (t->thread.joinable()) t->thread.join();
}

TJobThreads::TJob TJobThreads::Run(std::function<void()> job) {
  TJob handle;
  handle.state_ = std::make_shared<TJob::TState>();
  TThread* t = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    ReapExited();
    if (!idle_.empty()) {
      t = idle_.back();
      idle_.pop_back();
    } else {
      threads_.push_back(std::make_unique<TThread>());
      t = threads_.back().get();
      ++started_;
      t->thread = std::thread([this, t] { Loop(*t); });  // waits for the job below
    }
    // Off the idle list, the thread is this call's alone until it has run
    // the job: nobody else hands it one or joins it meanwhile.
    handle.state_->runner = t->thread.get_id();
  }
  {
    std::lock_guard<std::mutex> own(t->lock);
    t->job = std::move(job);
    t->state = handle.state_;
  }
  // Woken outside its lock, so it does not wake only to wait for it.
  t->wake.notify_one();
  return handle;
}

void TJobThreads::Loop(TThread& self) {
  for (;;) {
    std::function<void()> job;
    std::shared_ptr<TJob::TState> state;
    {
      std::unique_lock<std::mutex> own(self.lock);
      self.wake.wait(own, [&] { return self.job != nullptr || self.stopping; });
      if (!self.job) break;
      job = std::move(self.job);
      self.job = nullptr;
      state = std::move(self.state);
    }
    job();
    // The job's captures go before anyone is told it ended, and the thread
    // is listed as waiting for work before that too: the owner's next job
    // (the next file's workers) then finds it instead of starting another.
    job = nullptr;
    bool stay;
    {
      std::lock_guard<std::mutex> guard(lock_);
      stay = !stopping_ && idle_.size() < kMaxIdle;
      if (stay) idle_.push_back(&self);
    }
    // The joiner waits on the job's own lock, never on lock_.
    {
      std::lock_guard<std::mutex> ended(state->lock);
      state->done = true;
    }
    state->ended.notify_all();
    state.reset();
    if (!stay) break;
  }
  std::lock_guard<std::mutex> guard(lock_);
  self.exited = true;
}

// Under lock_: joins the threads that ended because enough were waiting.
void TJobThreads::ReapExited() {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if ((*it)->exited) {
      // An exited thread holds no lock and runs no code of ours any more.
      (*it)->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

size_t TJobThreads::StartedCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return started_;
}

size_t TJobThreads::IdleCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return idle_.size();
}

}  // namespace lg
