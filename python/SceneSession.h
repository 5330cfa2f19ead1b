// One scene a script opened: loaded through the stage's scene reader with the plug-in reading its
// emitters and tools, exactly as `vantrel render` loads it. Its nodes are reached by ids that are
// never reused, so a node that was deleted is reported as gone rather than mistaken for another.
// Every call takes the host's lock and brings the scene onto the stage first (TPythonHost).
//
// Failures throw: ESceneFileError for a file that cannot be read or written, ESettingsRefused
// for settings the plug-in refuses, EVantrelError for everything else (a node that is gone, a
// frame out of range, what the plug-in reported during a call), EInterrupted when the host's
// interrupt stopped a call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Errors.h"
#include "python/ParticleArrays.h"
#include "scene/Settings.h"

namespace stage {
class TNode;
}
class TBirthOrder;

// Settings the plug-in refuses; the message is the scene reader's for the same settings in a
// scene file: the JSON path of the value at fault, the object and the problem.
class ESettingsRefused : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// A long call stopped by the host's interrupt (Ctrl+C).
class EInterrupted : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

struct TNodeInfo {
  uint64_t Id = 0;
  uint64_t Parent = 0;         // 0 at the top level
  std::string Name;
  std::string Kind;            // "group", "mesh" or "object"
  std::string Type;            // the object type ("VNTX_Emitter", ...); empty for others
  float Position[3], Rotation[3], Scale[3];  // local, at the scene's time
  float World[3][4];           // object-to-world at the scene's time
};

struct TRenderedFrame {
  int Width = 0, Height = 0;
  std::vector<float> Rgba;     // rows top to bottom, premultiplied as the EXR output holds them
  std::vector<float> Depth;    // the view depth (+infinity where nothing is), as the EXR's Z
};

class TSceneSession {
 public:
  // Loads a scene file; warnings (unknown keys, damaged payloads the plug-in loaded as best it
  // could) are kept in Warnings.
  explicit TSceneSession(const std::filesystem::path& file);
  // The scene `vantrel new --preset name` writes, loaded.
  static std::unique_ptr<TSceneSession> FromPreset(const std::string& name);
  // The presets of the data folder, in the index's order: name and description.
  static std::vector<std::pair<std::string, std::string>> Presets();
  ~TSceneSession();
  TSceneSession(const TSceneSession&) = delete;
  TSceneSession& operator=(const TSceneSession&) = delete;

  std::vector<std::string> Warnings;
  const std::filesystem::path& File() const { return File_; }

  // Writes the scene file (beside the target, then renamed); OBJ meshes keep paths relative to
  // the new file's folder.
  void Save(const std::filesystem::path& file);

  std::vector<TNodeInfo> Nodes();
  // The node's world transform at a frame.
  TNodeInfo NodeAt(uint64_t id, float frame);
  // The readable settings of an emitter or tool node (JSON text); empty for a node without data.
  std::string Settings(uint64_t id);
  // Replaces them: checked by the plug-in first (a refusal changes nothing), then the scene is
  // read again with them, as a scene file holding them would be.
  void SetSettings(uint64_t id, const std::string& json);
  // Deletes the node and everything under it, as the host's delete does.
  void Delete(uint64_t id);

  // The render settings: size and frame range.
  std::pair<int, int> Size();
  std::pair<double, double> FrameRange();

  // The particles at a frame, as `vantrel-bake --frame` gives them.
  TParticleArrays Particles(int frame);
  // The frame rendered as `vantrel render -f frame` renders it, at width × height (0: the
  // scene's) with samples × samples antialiasing (0: the scene's).
  TRenderedFrame Render(int frame, int width, int height, int samples);

  // Steps frames one after the other, as `vantrel-bake --frames first-last`: Next answers each
  // frame's particles in turn. Between two calls, other calls may use the stage; the bake then
  // simulates its next frame again from the start, which gives the same particles.
  class TBake {
   public:
    TBake(TSceneSession& scene, int first, int last);
    ~TBake();
    // False after the last frame.
    bool Next(TParticleArrays& out);

   private:
    TSceneSession& Scene_;
    int Next_, Last_;
    unsigned long long Generation_ = 0;
    std::unique_ptr<TBirthOrder> Ids_;
  };

 private:
  TSceneSession();
  // Under the host's lock: puts the scene on the stage.
  void Enter();
  void LoadOntoStage(const std::filesystem::path& file);
  // The current scene written to the spare file, for when another scene takes the stage.
  void PutAside();
  stage::TNode& Node(uint64_t id);
  // The node of an emitter or a tool, with the kind of its settings; throws for other nodes.
  stage::TNode& ObjectNode(uint64_t id, TSettingsKind& kind, TToolKind& tool);
  void CheckFrame(int frame) const;
  // Runs work with the scene on the stage and the host's time, render settings and plug-in
  // settings put back afterwards; plug-in messages shown meanwhile fail the call.
  void Call(const std::function<void()>& work);

  std::filesystem::path File_;        // the file loaded (or last saved)
  std::filesystem::path Spare_;       // where the scene is put aside
  bool SpareCurrent_ = false;         // the spare file holds the scene as it is
  std::vector<uint64_t> Ids_;         // of the nodes, depth first, parents before children
  uint64_t NextId_ = 1;
  // OBJ paths the file gave relative to its folder (kept absolute while loaded).
  std::set<std::string> RelativeObjs_;
};
