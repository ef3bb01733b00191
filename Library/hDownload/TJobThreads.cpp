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
  // Guarded by TJobThreads::lock_.
  std::function<void()> job;
  std::shared_ptr<TJob::TState> state;
  bool exited = false;
  std::condition_variable wake;
  std::thread thread;
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
    for (TThread* t : idle_) t->wake.notify_one();
    all.swap(threads_);
    idle_.clear();
  }
  for (auto& t : all)
    if (t->thread.joinable()) t->thread.join();
}

TJobThreads::TJob TJobThreads::Run(std::function<void()> job) {
  TJob handle;
  handle.state_ = std::make_shared<TJob::TState>();
  std::unique_lock<std::mutex> guard(lock_);
  ReapExited();
  TThread* t = nullptr;
  if (!idle_.empty()) {
    t = idle_.back();
    idle_.pop_back();
  } else {
    threads_.push_back(std::make_unique<TThread>());
    t = threads_.back().get();
    ++started_;
  }
  t->job = std::move(job);
  t->state = handle.state_;
  if (t->thread.joinable()) {
    handle.state_->runner = t->thread.get_id();
    guard.unlock();
    // Woken outside the lock, so it does not wake only to wait for lock_.
    t->wake.notify_one();
  } else {
    t->thread = std::thread([this, t] { Loop(*t); });
    handle.state_->runner = t->thread.get_id();
  }
  return handle;
}

void TJobThreads::Loop(TThread& self) {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    self.wake.wait(guard, [&] { return self.job != nullptr || stopping_; });
    if (!self.job) break;
    std::function<void()> job = std::move(self.job);
    self.job = nullptr;
    std::shared_ptr<TJob::TState> state = std::move(self.state);
    guard.unlock();
    job();
    // The job's captures go before anyone is told it ended, and the thread
    // waits for work again before that too: the owner's next job (the next
    // file's workers) then finds it instead of starting another.
    job = nullptr;
    guard.lock();
    const bool stay = !stopping_ && idle_.size() < kMaxIdle;
    if (stay) idle_.push_back(&self);
    // The joiner waits on the job's own lock, never on lock_: telling it
    // here costs it no wait for lock_.
    {
      std::lock_guard<std::mutex> ended(state->lock);
      state->done = true;
    }
    state->ended.notify_all();
    state.reset();
    if (!stay) break;
  }
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
