// The readable settings of every emitter and tool of a scene file, whether the file holds them
// as settings or as base64 payloads; what `vantrel-settings show` prints.
#pragma once

#include <string>
#include <vector>

#include "scene/Settings.h"

struct TShownObject {
  std::string Name;      // the node's name
  std::string TypeName;  // "VNTX_Emitter", "VNTX_Deflector", ...
  std::string Path;      // the node's JSON pointer in the scene file
  TSettingsJson Settings;  // null when they cannot be shown; Note says why
  std::string Note;
};

// Reads the scene file as `vantrel` does (the same checks and messages, the plug-in reading its
// objects) and answers the settings of each emitter and tool as the plug-in would save them
// (defaults left out). Throws EVantrelError naming the file and where for a file the reader
// refuses. warnings receives the reader's warnings and what the plug-in said while reading
// (data not read as saved).
std::vector<TShownObject> SceneSettings(const std::string& fileName, std::vector<std::string>& warnings);
