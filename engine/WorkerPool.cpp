// The worker pool: threads that sleep between passes and take the tasks of a pass one index at a
// time, so that uneven tasks spread by themselves.
#include "engine/WorkerPool.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// About a tenth of a millisecond of spinning before a thread sleeps.
constexpr int SpinRounds = 4000;

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

}  // namespace

TWorkerPool::TWorkerPool(int threads) { SetThreads(threads); }

TWorkerPool::~TWorkerPool() { StopWorkers(); }

void TWorkerPool::SetThreads(int threads) {
  StopWorkers();
  Threads_ = std::clamp(threads, 1, MaxWorkerThreads);
  Stopping_ = false;
  Workers_.reserve(static_cast<size_t>(Threads_ - 1));
  for (int i = 1; i < Threads_; ++i) Workers_.emplace_back([this, i] { WorkerLoop(i); });
}

void TWorkerPool::StopWorkers() {
  {
    std::lock_guard lock(Mutex_);
    Stopping_ = true;
  }
  Start_.notify_all();
  for (std::thread& t : Workers_) t.join();
  Workers_.clear();
}

void TWorkerPool::RunTasks(int64_t count, TTaskFn fn, void* context, bool perThread) {
  {
    std::lock_guard lock(Mutex_);
    Fn_ = fn;
    Context_ = context;
    Count_ = count;
    PerThread_ = perThread;
    Next_.store(0, std::memory_order_relaxed);
    Error_ = nullptr;
    // Rounding must be the caller's on every thread, or the same expression could differ.
    std::fegetenv(&Env_);
    Busy_.store(static_cast<int>(Workers_.size()), std::memory_order_relaxed);
    Generation_.fetch_add(1, std::memory_order_release);
  }
  Start_.notify_all();
  TakeTasks(0);
  for (int i = 0; i < SpinRounds && Busy_.load(std::memory_order_acquire) != 0; ++i) Pause();
  std::exception_ptr error;
  {
    std::unique_lock lock(Mutex_);
    Done_.wait(lock, [this] { return Busy_.load(std::memory_order_acquire) == 0; });
    error = Error_;
    Error_ = nullptr;
    Fn_ = nullptr;
    Context_ = nullptr;
  }
  if (error) std::rethrow_exception(error);
}

void TWorkerPool::TakeTasks(int index) {
  if (PerThread_) {
    if (index < Count_) RunTask(index);
    return;
  }
  for (;;) {
    const int64_t i = Next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= Count_) return;
    RunTask(i);
  }
}

void TWorkerPool::RunTask(int64_t i) {
  try {
    Fn_(Context_, i);
  } catch (...) {
    std::lock_guard lock(Mutex_);
    if (!Error_ || i < ErrorIndex_) {
      Error_ = std::current_exception();
      ErrorIndex_ = i;
    }
  }
}

void TWorkerPool::WorkerLoop(int index) {
  uint64_t seen = 0;
  for (;;) {
    for (int i = 0; i < SpinRounds && Generation_.load(std::memory_order_acquire) == seen && !Stopping_; ++i) Pause();
    {
      std::unique_lock lock(Mutex_);
      Start_.wait(lock, [&] { return Stopping_ || Generation_.load(std::memory_order_relaxed) != seen; });
      if (Stopping_) return;
      seen = Generation_.load(std::memory_order_relaxed);
      std::fesetenv(&Env_);
    }
    TakeTasks(index);
    if (Busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      std::lock_guard lock(Mutex_);
      Done_.notify_one();
    }
  }
}

int MachineThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(std::min<unsigned>(n, MaxWorkerThreads));
}

int WorkerThreadsFromEnvironment(std::string* error) {
  const char* text = std::getenv(ThreadsVariable);
  if (!text) return MachineThreads();
  int threads = 0;
  const char* end = text + std::strlen(text);
  const auto [at, ec] = std::from_chars(text, end, threads);
  if (ec != std::errc() || at != end || threads < 1 || threads > MaxWorkerThreads) {
    if (error)
      *error = std::string(ThreadsVariable) + "=\"" + text + "\" is not a number of threads from 1 to " +
               std::to_string(MaxWorkerThreads) + "; using " + std::to_string(MachineThreads());
    return MachineThreads();
  }
  return threads;
}
