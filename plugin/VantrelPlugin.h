// The loaded plug-in: the main panel's controller with the host-binding components it owns
// (registration, render events, the post-process shader, the seven scene object types), wired
// together as the module's start-up leaves them. One per module; programs that run the plug-in
// in-process (the bake tool) make their own.
#pragma once

#include <array>
#include <string>

#include "plugin/tsEvents.h"
#include "plugin/tsxExtObj.h"
#include "plugin/tsxPlug.h"
#include "plugin/tsxPlugGlobalShader.h"
#include "ui/Main.h"

class TVantrelPlugin {
 public:
  // Start-up: the random table from seed 0 (once per program), the data folder and help file,
  // the main panel's controller, the wireframes and the registration settings.
  explicit TVantrelPlugin(const std::string& dataFolder);
  // Shutdown: sets the shutting-down flag and empties the handlers of the plug-in state.
  ~TVantrelPlugin();
  TVantrelPlugin(const TVantrelPlugin&) = delete;
  TVantrelPlugin& operator=(const TVantrelPlugin&) = delete;

  TMain Main;  // first made, last gone: the components below call into it
  TTsx Tsx;
  TTsEvents Events;
  TTsxGlobalShader Shader;
  TTsxExtObj EmitterType;
  std::array<TTsxExtObj, 6> ToolTypes;  // deflector, fan, attractor, repulsor, leader, gravitron
  std::string HelpFile;

  TTsxExtObj& ToolType(TToolKind kind) { return ToolTypes[static_cast<size_t>(kind) - 1]; }

  // The plug-init handler: defines the seven types in their order, then activates the events.
  void PlugInit();
};
