// The SIGINT handler of the command-line host.
#include "stage/cli/Interrupt.h"

#include <atomic>

#include "stage/Stage.h"

namespace stage::cli {

namespace {

// A signal handler reaches only what static storage holds; the stage's flags are lock-free
// atomics, safe to set from it.
std::atomic<bool>* InterruptFlag = nullptr;
std::atomic<bool>* AbortFlag = nullptr;
volatile std::sig_atomic_t Received = 0;

extern "C" void OnSigint(int) {
  if (Received) {
    // The user insists: end now, as the default action would.
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
    return;
  }
  Received = 1;
  if (InterruptFlag) InterruptFlag->store(true);
  if (AbortFlag) AbortFlag->store(true);
}

}  // namespace

TInterruptHandler::TInterruptHandler() {
  Received = 0;
  InterruptFlag = &Stage().Interrupt;
  AbortFlag = &Stage().Abort;
  struct sigaction action {};
  action.sa_handler = OnSigint;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &Previous_);
}

TInterruptHandler::~TInterruptHandler() {
  sigaction(SIGINT, &Previous_, nullptr);
  InterruptFlag = nullptr;
  AbortFlag = nullptr;
}

bool TInterruptHandler::Requested() { return Received != 0; }

}  // namespace stage::cli
