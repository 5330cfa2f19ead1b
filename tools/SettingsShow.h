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
  TSettingsJson Settings;
};

// Reads the scene file without building a scene. Settings are checked and shown as the plug-in
// writes them (defaults left out). Throws EVantrelError naming the file, the node and the JSON
// path for a file that is not JSON, bad settings, or a payload that is not base64; a payload
// that holds no object is shown as null.
std::vector<TShownObject> SceneSettings(const std::string& fileName);
