// Loading the plug-in module the way the host does: dlopen of the .tsx file, the five exports
// looked up by name, then tsxGetVersion, tsxGetData with a zeroed record and the plug-in id the
// host assigns, and one tsxOnLeftClick (which turns final rendering on). The module stays loaded
// for the rest of the program, as in the host: the stage keeps its callbacks (object types,
// events, shaders), so it is never closed.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "hostapi/TsxApi5.h"

namespace stage::cli {

// A plug-in that cannot be used; the message names the file and what is wrong with it.
class EPluginError : public std::runtime_error {
 public:
  explicit EPluginError(const std::string& message) : std::runtime_error(message) {}
};

// The id the command-line host gives the plug-in in tsxGetData.
constexpr int CliPluginId = 1;

struct TPluginInfo {
  std::filesystem::path Path;
  int Version = 0;               // tsxGetVersion's answer
  std::string Title;             // from the tsxGetData record
  std::string Author;
  int BitmapId = 0;
  int StringId = 0;
  int LeftClickResult = 0;       // tsxOnLeftClick's answer
};

// Loads the module and lets it start up as above; a desktop host that leaves the first click to
// its user passes click false (LeftClickResult then stays 0). Throws EPluginError when the file does not
// exist, cannot be loaded (the loader's message is quoted) or lacks one of the five exports;
// nothing of the module is called in that case.
TPluginInfo LoadPlugin(const std::filesystem::path& path, int pluginId = CliPluginId, bool click = true);

// The folder the running program lies in (from /proc/self/exe), with no trailing separator.
// Throws std::runtime_error when the system does not say.
std::filesystem::path ExecutableFolder();

// Where the plug-in is looked for when no path is given: vantrel.tsx beside the program.
std::filesystem::path DefaultPluginPath();

// Reads the title and author (NUL-terminated within their fields, or cut at the field's end)
// and the ids of a record tsxGetData filled.
void ReadPluginRecord(const tsxPLUGINDATA& record, TPluginInfo& info);

}  // namespace stage::cli
