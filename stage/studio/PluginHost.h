// The studio's start-up of the plug-in: the command-line host's loader (tsxGetVersion, tsxGetData)
// without its first click, which the studio leaves to its user, and the exports the toolbar
// button calls.
#pragma once

#include <filesystem>

#include "stage/studio/MainWindow.h"

namespace stage::studio {

// Loads the module; throws cli::EPluginError as the command-line host's loader does.
TPluginExports LoadStudioPlugin(const std::filesystem::path& path);

}  // namespace stage::studio
