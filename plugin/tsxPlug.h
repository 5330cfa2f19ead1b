// The plug-in's registration with its host: the plug-in state the five exported entry points
// report and run (title, author, resource ids, API version, the id the host assigns, the
// handlers), the component TTsx that fills it, and the folders of the module.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "hostapi/TsxApi5.h"

// The exports the host calls (the module exports only these five).
extern "C" {
int tsxGetVersion(void);
// Stores the id, runs the plug-init handler, then fills the record (title and author cut to
// their fields, NUL included).
void tsxGetData(tsxPLUGINDATA* data, int pluginId);
int tsxOnLeftClick(void);
void tsxOnRightClick(void);
// Does nothing once the module is shutting down.
void tsxDeactivate(void);
}

// One per loaded module; written by TTsx, read by the exports.
struct TPlugState {
  std::string Title;
  std::string Author;
  int32_t BitmapId = 0;
  int32_t StringId = 0;
  int32_t ApiVersion = 430;
  int32_t PluginId = -1;
  std::function<void()> OnPlugInit;
  std::function<int32_t()> OnLeftClick;
  std::function<void()> OnRightClick;
  std::function<void()> OnDeactivate;
  bool ShuttingDown = false;
  // Run once, at the first call of any export, before it does its work: the module's start-up
  // (the loaded module installs it). Running it then, rather than while the module's static
  // objects are still being made, lets the module's objects go before the program-wide lists
  // they use when the module unloads.
  std::function<void()> StartUp;
  bool Started = false;
};

// The module's plug-in state.
TPlugState& PlugState();
// Runs the start-up hook once.
void EnsureStarted();
// Empties the state as a fresh load would see it (programs that start over, tests).
void ResetPlugState();

// The registration component: its properties are copied into the plug-in state by Load, as
// the loaded form's component would copy them.
class TTsx {
 public:
  std::function<void()> OnPlugInit;
  std::function<int32_t()> OnLeftClick;
  std::function<void()> OnRightClick;
  std::function<void()> OnDeactivate;
  std::string Title;
  std::string Author;
  int32_t ApiVersionNeeded = 430;

  // Creation: empties the state's plug-init handler.
  TTsx();
  int32_t PluginId() const { return PlugState().PluginId; }
  int32_t ResBmpId() const { return ResBmpId_; }
  int32_t ResStringId() const { return ResStringId_; }
  // Written through to the plug-in state at once.
  void SetResBmpId(int32_t id);
  void SetResStringId(int32_t id);
  // After the properties are set: copies title, author, API version and the handlers.
  void Load();

 private:
  int32_t ResBmpId_ = 0;
  int32_t ResStringId_ = 0;
};

// The host's main window (tsxGetMainViewHwnd, looked up by name at the first use); null while
// there is none.
tsxHWND MainViewHwnd();
// tsxRegisterExternalShader, looked up by name at the first use; null when the host has none.
using TRegisterShaderFunc = int (*)(int kind, void (*callback)(void), int registerIt);
TRegisterShaderFunc RegisterShaderFunc();
// Looks a host operation up by name: first in the program's global scope, then in the host
// library the module imports (which a host may have loaded privately). Null when absent.
void* LookUpHostFunction(const char* name);

// The folder of the running executable with a trailing '/', and the data folder (that folder
// followed by "Vantrel/"); empty when the executable's path cannot be read.
std::string HostFolder();
std::string DataFolderOf(const std::string& hostFolder);
constexpr const char* HelpFileName = "VNTX.hlp";
