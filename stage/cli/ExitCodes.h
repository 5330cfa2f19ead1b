// Exit codes of the vantrel program.
#pragma once

namespace stage::cli {

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;   // unreadable scene, failed write, missing or broken plug-in
constexpr int ExitUsage = 2;     // the command line asks for something impossible
// 130 (interrupted) is InterruptedExitCode in Interrupt.h.

}  // namespace stage::cli
