// `vantrel new`: writes a ready-to-render scene from one of the emitter presets in the plug-in's
// data folder (a camera, a floor and the preset's emitter), or lists the presets.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace stage::cli {

struct TNewOptions {
  std::string Scene;   // the scene file to write
  std::string Preset;  // the preset's name
  bool List = false;   // list the presets instead, one per line: name, then description
  bool Force = false;  // replace an existing scene file
  // Where the presets and their index lie; empty: the data folder's, Vantrel/presets/ beside
  // this program.
  std::filesystem::path PresetsFolder;
};

// Answers the exit code: 0 written or listed; 1 when the presets cannot be read, or the scene
// file exists (without Force) or cannot be written, the message on err; 2 for a usage error:
// no SCENE, no preset, or a preset of no known name (the message lists the names). A scene is
// written beside its target and renamed into place, so a failure leaves no partial file and an
// existing one whole. Missing folders are created.
int RunNew(const TNewOptions& options, std::ostream& out, std::ostream& err);

}  // namespace stage::cli
