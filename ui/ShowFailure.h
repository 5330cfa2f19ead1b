// Runs a panel action so that its failure reaches the user as a message, never the toolkit as an
// exception: the one guard every controller's menu and file actions go through.
#pragma once

#include <exception>
#include <utility>

#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"

// True when the action ran through; false when it failed and the user was told why.
template <typename Action>
bool ShowFailure(Action&& action) {
  try {
    std::forward<Action>(action)();
    return true;
  } catch (const std::exception& e) {
    // The failure may have left the host's floating-point flags raised.
    ClearFpuExceptions();
    Platform().ShowMessage(e.what());
    return false;
  }
}
