// Ctrl+C during a render: the first SIGINT asks the stage to stop (the host's interrupt and abort
// flags, which the plug-in polls while compositing), so the frame in progress ends early and is
// not written; a second SIGINT ends the program at once.
#pragma once

#include <csignal>

namespace stage::cli {

// Installs the handler for its lifetime and puts the previous one back afterwards. One at a time.
class TInterruptHandler {
 public:
  TInterruptHandler();
  ~TInterruptHandler();
  TInterruptHandler(const TInterruptHandler&) = delete;
  TInterruptHandler& operator=(const TInterruptHandler&) = delete;

  // Whether SIGINT arrived while installed.
  static bool Requested();

 private:
  struct sigaction Previous_ {};
};

// The shell's exit code for a program ended by SIGINT.
constexpr int InterruptedExitCode = 130;

}  // namespace stage::cli
