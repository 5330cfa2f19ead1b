// A small pool of worker threads for the data-parallel passes of stepping, compositing and
// preview drawing. A pass is a number of independent tasks (blocks of pool slots, bands of image
// rows) that the calling thread and the workers take in turn; every pass is written so that its
// result does not depend on which thread ran which task, nor on how many threads there are.
//
// The plug-in owns one pool (the main panel's controller) and hands it to what steps and draws;
// a pool of one thread runs every task on the caller, in order, and starts no thread at all.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cfenv>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

// The environment variable that sets the thread count for the plug-in in any host: a whole number
// from 1 (1 runs everything on the host's thread, as without a pool).
constexpr const char* ThreadsVariable = "VANTREL_THREADS";
// Beyond any machine this code will meet; a larger count is refused as a mistake.
constexpr int MaxWorkerThreads = 256;

// Below this many live particles a system steps on one thread: handing out blocks costs more
// than it gains (measured with bench/engine_bench, StepThreads).
constexpr int64_t DefaultParallelStepMinimum = 8000;

class TWorkerPool {
 public:
  // threads counts the caller too; values below 1 are taken as 1.
  explicit TWorkerPool(int threads = 1);
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  int Threads() const { return Threads_; }
  // Stops the workers and starts threads − 1 new ones. Not while a pass runs.
  void SetThreads(int threads);

  // Live particles from which a system's step uses the workers; tests set 0 to exercise the
  // blocked path on small scenes.
  int64_t ParallelStepMinimum = DefaultParallelStepMinimum;

  // Runs task(i) for every i in [0, count) on the caller and the workers and returns when all
  // have run. One pass at a time, never from inside a task. When tasks throw, the others still
  // run and the exception of the lowest task index is rethrown here. Allocates nothing.
  template <typename F>
  void Run(int64_t count, F&& task) {
    if (count <= 0) return;
    if (Workers_.empty() || count == 1) {
      for (int64_t i = 0; i < count; ++i) task(i);
      return;
    }
    using TTask = std::remove_reference_t<F>;
    RunTasks(count, [](void* context, int64_t i) { (*static_cast<TTask*>(context))(i); },
             const_cast<void*>(static_cast<const void*>(&task)), false);
  }

  // Runs task(t) once on each thread t in [0, Threads()): 0 is the caller, and worker t is always
  // the same thread. For passes over the same data frame after frame, each thread keeps to its
  // own part, which then stays in its core's caches. The rest as Run.
  template <typename F>
  void RunPerThread(F&& task) {
    if (Workers_.empty()) {
      task(int64_t{0});
      return;
    }
    using TTask = std::remove_reference_t<F>;
    RunTasks(Threads_, [](void* context, int64_t i) { (*static_cast<TTask*>(context))(i); },
             const_cast<void*>(static_cast<const void*>(&task)), true);
  }

 private:
  using TTaskFn = void (*)(void*, int64_t);
  void RunTasks(int64_t count, TTaskFn fn, void* context, bool perThread);
  // Takes tasks of the current pass until none is left; in a pass per thread, the thread's own.
  void TakeTasks(int index);
  void RunTask(int64_t i);
  void WorkerLoop(int index);
  void StopWorkers();

  int Threads_ = 1;
  std::vector<std::thread> Workers_;

  std::mutex Mutex_;
  std::condition_variable Start_, Done_;
  // One more for every pass; workers wait for a new one. Written under Mutex_; read also without,
  // while a thread spins briefly before it sleeps (waking a sleeping thread costs more than a
  // short pass).
  std::atomic<uint64_t> Generation_{0};
  std::atomic<bool> Stopping_{false};
  std::atomic<int> Busy_{0};  // workers still inside the current pass

  // The current pass.
  TTaskFn Fn_ = nullptr;
  void* Context_ = nullptr;
  int64_t Count_ = 0;
  bool PerThread_ = false;
  std::atomic<int64_t> Next_{0};  // the next task to hand out
  std::fenv_t Env_{};  // the caller's floating-point modes, which every worker takes on
  std::exception_ptr Error_;
  int64_t ErrorIndex_ = 0;
};

// The thread count VANTREL_THREADS asks for, else the machine's cores; a value that is not a whole
// number from 1 to MaxWorkerThreads sets *error to a message and gives the cores.
int WorkerThreadsFromEnvironment(std::string* error);
// The cores of this machine (at least 1).
int MachineThreads();
