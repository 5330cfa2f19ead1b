// Particle baking: simulates emitters exactly as a final render does up to the compositing,
// and writes every live particle as CSV for other tools.
#pragma once

#include <string>
#include <vector>

#include "ui/EmitterMan.h"

// Loads a system settings file (.vts: one emitter at the origin holding one slot) or an emitter
// settings file (.vte: one emitter with the file's slots), told apart by the extension, into the
// manager's EmitterList. Throws EVantrelError naming the file when it cannot be read.
void LoadBakeInput(TEmitterMan& manager, const std::string& fileName);

// The plug-in run in-process for a bake of a stage scene file: its seven object types defined
// with the stage, so that loading a scene reads every emitter's and tool's payload into the
// plug-in's controllers.
class TVantrelPlugin;
// Defines the plug-in's types (once per plug-in), then loads the scene file into the stage.
// Throws EVantrelError naming the file when it cannot be read; answers the loader's warnings.
std::vector<std::string> LoadBakeScene(TVantrelPlugin& plugin, const std::string& fileName);
// Whether a file name is a scene file (".json").
bool IsSceneFile(const std::string& fileName);

// Steps every emitter object to the host's current frame as a rendered frame would (without
// the renderer) and writes the particles of every slot as CSV. Throws EVantrelError when the
// file cannot be written; the old file then stays.
void WriteParticleCsv(const TEmitterMan& manager, const std::string& fileName);

// The CSV header, exactly.
extern const char* const ParticleCsvHeader;

// Puts the zero-padded frame number in place of the (last) run of '#'; a pattern without one
// is returned unchanged.
std::string ExpandFramePattern(const std::string& pattern, int frame);
