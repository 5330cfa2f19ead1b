// Particle baking: simulates emitters exactly as a final render does up to the compositing,
// and writes every live particle as CSV for other tools.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ui/EmitterMan.h"

// Loads a system settings file (.vts: one emitter at the origin holding one slot) or an emitter
// settings file (.vte: one emitter with the file's slots), told apart by the extension, into the
// manager's EmitterList. Throws EVantrelError naming the file when it cannot be read or is
// damaged (empty, cut short, padded, of an unknown version), saying what is wrong.
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

// The same as CSV text on a stream (standard output for "--csv -").
void WriteParticleCsv(const TEmitterMan& manager, std::ostream& out);

// Stable particle ids for a bake: within each emitter and slot, a particle's birth order (0 for
// the first particle born since render begin). A pool slot is reused after a particle dies, so
// the bake watches every simulated frame: Update after render begin's frames (its onFrame) and
// after each baked frame. Particles born in the same frame are numbered in pool order, which
// is the order the system emits them in.
class TBirthOrder {
 public:
  void Update(const TEmitterMan& manager);
  // The birth order of the live particle in pool slot index of the given emitter and slot.
  uint32_t Of(size_t emitter, size_t slot, int32_t index) const;

 private:
  struct TSlot {
    std::vector<float> Birth;       // per pool slot: the birth time of the particle last seen
    std::vector<uint32_t> Order;    // and its birth order
    std::vector<bool> Known;
    uint32_t Next = 0;
  };
  std::vector<std::vector<TSlot>> Slots_;
};

// Writes every live particle as an ASCII PLY point cloud (vertex x y z at the shown position,
// red green blue from the birth colour, size, alpha, age in frames, emitter, slot and
// birth_order; the last three together identify a particle from frame to frame). To a file
// (written under a temporary name, then renamed; throws EVantrelError) or a stream.
void WriteParticlePly(const TEmitterMan& manager, const TBirthOrder& ids, const std::string& fileName);
void WriteParticlePly(const TEmitterMan& manager, const TBirthOrder& ids, std::ostream& out);

// The CSV header, exactly.
extern const char* const ParticleCsvHeader;

// Puts the zero-padded frame number in place of the (last) run of '#'; a pattern without one
// is returned unchanged.
std::string ExpandFramePattern(const std::string& pattern, int frame);
