// The host the Python module gives the plug-in: one stage and one plug-in per process, as in
// `vantrel render`, shared by every scene a script opens. The plug-in keeps program-wide state
// (its emitter and tool lists, the random generator, the renderer), so only one scene can be on
// the stage at a time: each scene call takes the host's lock and, when another scene is on the
// stage, puts that one aside as a scene file and loads its own. Calls from several threads are
// therefore safe and give the same results as one after the other; they do not run in parallel.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/VantrelPlugin.h"

class TSceneSession;

class TPythonHost {
 public:
  // Starts the plug-in on first use, as the command-line host does at load: the object types
  // defined, the render events subscribed, final rendering switched on. Throws EVantrelError
  // when the data folder cannot be found.
  static TPythonHost& Get();

  // Held by every call that touches the stage or the plug-in.
  std::mutex Lock;

  TVantrelPlugin& Plugin() { return *Plugin_; }
  // The plug-in's data folder (pictures, presets), with a trailing '/'.
  const std::string& DataFolder() const { return DataFolder_; }
  // A private folder for the scenes put aside, removed when the program ends.
  const std::filesystem::path& SpareFolder() const { return SpareFolder_; }

  // The scene on the stage, or null; set by the sessions under the lock.
  TSceneSession* OnStage = nullptr;
  // Counts every change of what the stage simulated, so that a running bake can tell whether
  // its systems were left as it left them.
  unsigned long long Generation = 0;

  // The plug-in's render switches as a new process has them: rendering on, depth dithering and
  // soft intersections off. A scene's own switches then apply at render begin, as they would in
  // `vantrel render`, whatever an earlier scene switched.
  void ResetRenderSwitches();
  // Messages the plug-in showed since the last call.
  std::vector<std::string> TakeMessages();

  ~TPythonHost();

 private:
  TPythonHost();
  std::string DataFolder_;
  std::filesystem::path SpareFolder_;
  std::unique_ptr<TVantrelPlugin> Plugin_;
  size_t MessagesSeen_ = 0;
};

// The plug-in's data folder for a module at modulePath: Vantrel/ beside it when there is one
// (an installed module), else the build tree's. Empty when neither exists.
std::string FindDataFolder(const std::filesystem::path& modulePath);
