// The SIGINT, SIGTERM and SIGHUP handler of the command-line host.
#include "stage/cli/Interrupt.h"

#include <pthread.h>

#include <atomic>

#include "stage/Stage.h"

namespace stage::cli {

namespace {

// A signal handler reaches only what static storage holds; the stage's flags and these are
// lock-free atomics, safe to set from it.
std::atomic<bool>* InterruptFlag = nullptr;
std::atomic<bool>* AbortFlag = nullptr;
std::atomic<int> FirstSignal{0};
std::atomic<int> SecondSignal{0};

// Whether a file is being written; a second signal during a write moves Writing to Dying and
// leaves the ending to EndWrite.
enum : int { Idle = 0, Writing = 1, Dying = 2 };
std::atomic<int> WriteState{Idle};
static_assert(std::atomic<int>::is_always_lock_free);

[[noreturn]] void EndNow(int signal) {
  // End as the default action would, so that the shell sees the signal. Inside the handler the
  // signal is blocked: unblock it, or raise would only leave it pending.
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  std::_Exit(128 + signal);
}

extern "C" void OnSignal(int signal) {
  int none = 0;
  if (!FirstSignal.compare_exchange_strong(none, signal)) {
    // The user insists: end now, unless a write is under way, which ends the program when the
    // file is complete.
    SecondSignal.store(signal);
    int writing = Writing;
    if (WriteState.compare_exchange_strong(writing, Dying)) return;
    WriteState.store(Dying);
    EndNow(signal);
  }
  if (InterruptFlag) InterruptFlag->store(true);
  if (AbortFlag) AbortFlag->store(true);
}

}  // namespace

TInterruptHandler::TInterruptHandler() {
  FirstSignal = 0;
  SecondSignal = 0;
  WriteState = Idle;
  InterruptFlag = &Stage().Interrupt;
  AbortFlag = &Stage().Abort;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &PreviousInt_);
  sigaction(SIGTERM, &action, &PreviousTerm_);
  sigaction(SIGHUP, &action, &PreviousHangUp_);
}

TInterruptHandler::~TInterruptHandler() {
  sigaction(SIGINT, &PreviousInt_, nullptr);
  sigaction(SIGTERM, &PreviousTerm_, nullptr);
  sigaction(SIGHUP, &PreviousHangUp_, nullptr);
  InterruptFlag = nullptr;
  AbortFlag = nullptr;
}

bool TInterruptHandler::Requested() { return FirstSignal.load() != 0; }

int TInterruptHandler::ExitCode() {
  const int s = FirstSignal.load();
  return s == 0 ? InterruptedExitCode : 128 + s;
}

const char* TInterruptHandler::SignalName() { return StopSignalName(FirstSignal.load()); }

const char* StopSignalName(int signal) {
  if (signal == SIGTERM) return "SIGTERM";
  if (signal == SIGHUP) return "SIGHUP";
  return "Ctrl+C";
}

void TInterruptHandler::BeginWrite() {
  int idle = Idle;
  if (!WriteState.compare_exchange_strong(idle, Writing)) EndNow(SecondSignal.load());
}

void TInterruptHandler::EndWrite() {
  int writing = Writing;
  if (!WriteState.compare_exchange_strong(writing, Idle)) EndNow(SecondSignal.load());
}

}  // namespace stage::cli
