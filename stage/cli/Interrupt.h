// Ctrl+C (SIGINT), SIGTERM and SIGHUP (the terminal closed) during a render: the first asks the stage to stop (the host's
// interrupt and abort flags, which the plug-in polls while compositing), so the frame in progress
// ends early and is not written; the program then ends with 128 + the signal's number (130 for
// SIGINT, 143 for SIGTERM, 129 for SIGHUP). A second signal ends the program at once, except while a frame file
// is being written: that write completes and is renamed into place first, so a frame file is
// either whole or absent and no temporary file stays behind.
#pragma once

#include <csignal>

namespace stage::cli {

// Installs the handler for SIGINT, SIGTERM and SIGHUP for its lifetime and puts the previous ones back
// afterwards. One at a time.
class TInterruptHandler {
 public:
  TInterruptHandler();
  ~TInterruptHandler();
  TInterruptHandler(const TInterruptHandler&) = delete;
  TInterruptHandler& operator=(const TInterruptHandler&) = delete;

  // Whether a signal arrived while installed.
  static bool Requested();
  // The shell's exit code for the first signal received: 128 + its number.
  static int ExitCode();
  // The name of the first signal received, for messages ("Ctrl+C", "SIGTERM", "SIGHUP").
  static const char* SignalName();

  // Brackets a file write (from any thread). BeginWrite ends the program instead when it is
  // ending already; EndWrite ends it when a second signal came during the write, now that the
  // file is complete.
  static void BeginWrite();
  static void EndWrite();

 private:
  struct sigaction PreviousInt_ {}, PreviousTerm_ {}, PreviousHangUp_ {};
};

// The name a message gives a signal that stops a render.
const char* StopSignalName(int signal);

// The shell's exit codes for a program ended by SIGINT, SIGTERM and SIGHUP.
constexpr int InterruptedExitCode = 130;
constexpr int TerminatedExitCode = 143;
constexpr int HungUpExitCode = 129;

}  // namespace stage::cli
