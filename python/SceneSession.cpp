// A script's scene on the stage: loading, saving, nodes, settings, particles and renders.
#include "python/SceneSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "engine/RandomTables.h"
#include "plugin/PayloadText.h"
#include "python/PythonHost.h"
#include "scene/Settings.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/NewCommand.h"
#include "stage/cli/RenderCommand.h"
#include "stage/cli/RenderSwitches.h"
#include "tools/Bake.h"

namespace {

namespace fs = std::filesystem;
using stage::Stage;
using stage::TNode;
using stage::TNodeKind;
using stage::TStage;

// Render event codes of the host interface's render group.
enum : int32_t { RenderInit = 0, RenderBegin = 1, RenderEnd = 2, RenderAbort = 5 };

// As vantrel-bake's: the host holds frames as floats.
constexpr int FrameLimit = 16777216;

std::vector<TNode*> NodesInOrder() {
  std::vector<TNode*> nodes;
  Stage().Scene.ForEach([&](TNode& n) { nodes.push_back(&n); });
  return nodes;
}

// The node's JSON pointer in a scene file ("/nodes/2/children/0").
std::string NodePointer(const TNode& node) {
  const auto& siblings = node.Parent() ? node.Parent()->Children() : Stage().Scene.Roots();
  size_t index = 0;
  while (index < siblings.size() && siblings[index].get() != &node) ++index;
  const std::string here = "/" + std::to_string(index);
  return node.Parent() ? NodePointer(*node.Parent()) + "/children" + here : "/nodes" + here;
}

// The scene file's node objects in depth-first order, parents before children: the order of
// the stage's nodes once the file is loaded.
void JsonNodesInOrder(nlohmann::json& list, std::vector<nlohmann::json*>& out) {
  if (!list.is_array()) return;
  for (auto& node : list) {
    out.push_back(&node);
    if (node.contains("children")) JsonNodesInOrder(node["children"], out);
  }
}

// What a call changes on the stage besides the simulation, put back when it ends: the time
// (which poses every node), the render settings, the view's size and the plug-in's settings.
class TKeepStage {
 public:
  TKeepStage()
      : Time_(Stage().Scene.Time()),
        Render_(Stage().Render),
        Width_(Stage().View.Width),
        Height_(Stage().View.Height),
        Settings_(Stage().PluginSettings) {}
  ~TKeepStage() {
    TStage& s = Stage();
    s.Render = Render_;
    s.View.Width = Width_;
    s.View.Height = Height_;
    s.PluginSettings = Settings_;
    s.Scene.SetTime(Time_);
  }

 private:
  float Time_;
  stage::TRenderSettings Render_;
  int Width_, Height_;
  std::map<std::string, std::string> Settings_;
};

// The plug-in's messages shown during a call fail it: a render or bake it reported problems in
// may lack particles.
void FailOnMessages() {
  const std::vector<std::string> messages = TPythonHost::Get().TakeMessages();
  if (messages.empty()) return;
  std::string text = "The plug-in reports:";
  for (const std::string& m : messages) text += " " + m;
  throw EVantrelError(text);
}

void CheckInterrupt(float frame) {
  if (!Stage().Interrupt) return;
  Stage().RaiseRenderEvent(RenderAbort, frame);
  throw EInterrupted("Interrupted at frame " + std::to_string(static_cast<int>(frame)));
}

// The random table's cursor where a newly started plug-in has it: depth dithering moves it as
// it composites, and render begin reseeds only the generator.
void RewindRandomTable() { SetRandomTableCursor(0); }

}  // namespace

// ---- Loading and the stage.

TSceneSession::TSceneSession() {
  TPythonHost& host = TPythonHost::Get();
  static unsigned long long count = 0;  // under the host's lock
  std::lock_guard lock(host.Lock);
  Spare_ = host.SpareFolder() / ("scene-" + std::to_string(++count) + ".json");
}

TSceneSession::TSceneSession(const fs::path& file) : TSceneSession() {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  if (host.OnStage) host.OnStage->PutAside();
  host.TakeMessages();
  LoadOntoStage(file);
  File_ = file;
  host.OnStage = this;
  ++host.Generation;
  // OBJ meshes are found from any folder while the scene is put aside; Save makes them relative
  // again.
  const fs::path folder = fs::absolute(file).parent_path();
  for (TNode* n : NodesInOrder()) {
    if (!n->Source || n->Source->Kind != stage::TPrimitive::ObjFile) continue;
    fs::path path = n->Source->ObjPath;
    if (path.is_absolute()) continue;
    path = (folder / path).lexically_normal();
    n->Source->ObjPath = path.string();
    RelativeObjs_.insert(path.string());
  }
  for (const std::string& m : host.TakeMessages()) Warnings.push_back("the plug-in reports: " + m);
}

TSceneSession::~TSceneSession() {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  if (host.OnStage == this) host.OnStage = nullptr;
  std::error_code ec;
  fs::remove(Spare_, ec);
}

void TSceneSession::LoadOntoStage(const fs::path& file) {
  std::vector<std::string> warnings = stage::LoadSceneFile(Stage(), file);
  // Given once, when the scene is first loaded; a scene put aside comes back without new ones.
  if (Ids_.empty()) Warnings = std::move(warnings);
  const size_t count = NodesInOrder().size();
  if (Ids_.empty()) {
    for (size_t i = 0; i < count; ++i) Ids_.push_back(NextId_++);
  } else if (Ids_.size() != count) {
    throw EVantrelError("The scene put aside came back with " + std::to_string(count) + " nodes instead of " +
                        std::to_string(Ids_.size()));
  }
}

void TSceneSession::PutAside() {
  if (SpareCurrent_) return;
  stage::SaveSceneFile(Stage(), Spare_);
  SpareCurrent_ = true;
}

void TSceneSession::Enter() {
  TPythonHost& host = TPythonHost::Get();
  if (host.OnStage == this) return;
  if (host.OnStage) host.OnStage->PutAside();
  host.OnStage = nullptr;
  LoadOntoStage(Spare_);
  host.TakeMessages();
  host.OnStage = this;
  ++host.Generation;
}

TNode& TSceneSession::Node(uint64_t id) {
  const auto it = std::find(Ids_.begin(), Ids_.end(), id);
  if (it == Ids_.end()) throw EVantrelError("The object is no longer in the scene: it was deleted");
  return *NodesInOrder()[static_cast<size_t>(it - Ids_.begin())];
}

void TSceneSession::CheckFrame(int frame) const {
  if (frame < -FrameLimit || frame > FrameLimit)
    throw EVantrelError("Frame " + std::to_string(frame) + " is outside the frames the host holds (" +
                        std::to_string(-FrameLimit) + " to " + std::to_string(FrameLimit) + ")");
}

void TSceneSession::Call(const std::function<void()>& work) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  host.TakeMessages();
  ++host.Generation;
  {
    TKeepStage keep;
    work();
  }
  FailOnMessages();
}

// ---- Presets.

namespace {

std::string WithoutProgramName(std::string text) {
  const std::string prefix = "vantrel: ";
  if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TSceneSession::Presets() {
  TPythonHost& host = TPythonHost::Get();
  stage::cli::TNewOptions options;
  options.List = true;
  options.PresetsFolder = host.DataFolder() + "presets";
  std::ostringstream out, err;
  if (stage::cli::RunNew(options, out, err) != 0) throw EVantrelError(WithoutProgramName(err.str()));
  std::vector<std::pair<std::string, std::string>> presets;
  std::istringstream lines(out.str());
  std::string line;
  while (std::getline(lines, line)) {
    const size_t space = line.find(' ');
    const size_t text = line.find_first_not_of(' ', space);
    presets.emplace_back(line.substr(0, space), text == std::string::npos ? std::string() : line.substr(text));
  }
  return presets;
}

std::unique_ptr<TSceneSession> TSceneSession::FromPreset(const std::string& name) {
  TPythonHost& host = TPythonHost::Get();
  stage::cli::TNewOptions options;
  options.Preset = name;
  options.PresetsFolder = host.DataFolder() + "presets";
  options.Force = true;
  fs::path file;
  {
    std::lock_guard lock(host.Lock);
    static unsigned long long count = 0;
    file = host.SpareFolder() / ("preset-" + std::to_string(++count) + ".json");
  }
  options.Scene = file.string();
  std::ostringstream out, err;
  if (stage::cli::RunNew(options, out, err) != 0) throw EVantrelError(WithoutProgramName(err.str()));
  std::unique_ptr<TSceneSession> scene(new TSceneSession(file));
  std::error_code ec;
  fs::remove(file, ec);
  scene->File_.clear();
  return scene;
}

// ---- Saving, nodes and settings.

void TSceneSession::Save(const fs::path& file) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  const fs::path folder = fs::absolute(file).parent_path();
  std::vector<std::pair<TNode*, std::string>> changed;
  for (TNode* n : NodesInOrder())
    if (n->Source && RelativeObjs_.count(n->Source->ObjPath)) {
      changed.emplace_back(n, n->Source->ObjPath);
      n->Source->ObjPath = fs::path(n->Source->ObjPath).lexically_relative(folder).string();
    }
  struct TRestore {
    std::vector<std::pair<TNode*, std::string>>& Changed;
    ~TRestore() {
      for (auto& [n, path] : Changed) n->Source->ObjPath = path;
    }
  } restore{changed};
  stage::SaveSceneFile(Stage(), file);
  File_ = file;
}

std::vector<TNodeInfo> TSceneSession::Nodes() {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  std::vector<TNodeInfo> infos;
  const std::vector<TNode*> nodes = NodesInOrder();
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TNode& n = *nodes[i];
    TNodeInfo info;
    info.Id = Ids_[i];
    if (n.Parent()) info.Parent = Ids_[static_cast<size_t>(std::find(nodes.begin(), nodes.end(), n.Parent()) - nodes.begin())];
    info.Name = n.Name;
    info.Kind = n.Kind() == TNodeKind::Group ? "group" : n.Kind() == TNodeKind::Polyhedron ? "mesh" : "object";
    info.Type = n.TypeName;
    const float t = n.PoseFrame;
    const CtsxVector3f p = n.Position.At(t), r = n.Rotation.At(t), s = n.Scale.At(t);
    for (int k = 0; k < 3; ++k) {
      info.Position[k] = (&p.x)[k];
      info.Rotation[k] = (&r.x)[k];
      info.Scale[k] = (&s.x)[k];
    }
    const CtsxTxmx3f world = Stage().Scene.WorldTransform(n);
    std::memcpy(info.World, &world, sizeof info.World);
    infos.push_back(std::move(info));
  }
  return infos;
}

TNodeInfo TSceneSession::NodeAt(uint64_t id, float frame) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  TNode& node = Node(id);
  TKeepStage keep;
  Stage().Scene.SetTime(frame);
  TNodeInfo info;
  info.Id = id;
  info.Name = node.Name;
  const CtsxTxmx3f world = Stage().Scene.WorldTransform(node);
  std::memcpy(info.World, &world, sizeof info.World);
  return info;
}

TNode& TSceneSession::ObjectNode(uint64_t id, TSettingsKind& kind, TToolKind& tool) {
  TNode& node = Node(id);
  if (node.Kind() != TNodeKind::Custom || !SettingsKindOfType(node.TypeName.c_str(), kind, tool))
    throw EVantrelError("\"" + node.Name + "\" is not an emitter or a tool; only they have settings");
  return node;
}

std::string TSceneSession::Settings(uint64_t id) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  TSettingsKind kind;
  TToolKind tool;
  TNode& node = ObjectNode(id, kind, tool);
  const std::vector<uint8_t> payload = Stage().Files.Write(node);
  try {
    return PayloadToSettings(kind, payload).dump();
  } catch (const EVantrelError&) {
    return {};  // an object without data
  }
}

void TSceneSession::SetSettings(uint64_t id, const std::string& text) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  TSettingsKind kind;
  TToolKind tool;
  TNode& node = ObjectNode(id, kind, tool);

  // ---- Checked as the scene reader checks a node's settings, with its message.
  const std::string pointer = NodePointer(node) + "/settings";
  TSettingsJson settings;
  try {
    settings = ParseSettingsText(text);
    SettingsToPayload(kind, settings, tool);
  } catch (const ESettingsError& e) {
    throw ESettingsRefused(pointer + e.Path + ": object \"" + node.Name + "\" (" + node.TypeName + "): " +
                           e.Problem);
  } catch (const std::exception& e) {
    throw ESettingsRefused(pointer + ": object \"" + node.Name + "\" (" + node.TypeName + "): " + e.what());
  }

  // ---- The scene read again with them, as a file holding them is read.
  const size_t index = static_cast<size_t>(std::find(Ids_.begin(), Ids_.end(), id) - Ids_.begin());
  PutAside();
  nlohmann::json document;
  {
    std::ifstream in(Spare_);
    document = nlohmann::json::parse(in);
  }
  std::vector<nlohmann::json*> nodes;
  JsonNodesInOrder(document["nodes"], nodes);
  if (index >= nodes.size()) throw EVantrelError("The scene put aside lost its node " + node.Name);
  nlohmann::json& entry = *nodes[index];
  entry.erase("payload");
  entry["settings"] = nlohmann::json::parse(settings.dump());
  {
    const fs::path temporary = stage::TempPathFor(Spare_);
    std::ofstream out(temporary);
    out << document.dump(2) << '\n';
    out.close();
    if (!out) throw EVantrelError("Cannot write " + temporary.string());
    fs::rename(temporary, Spare_);
  }
  SpareCurrent_ = false;
  LoadOntoStage(Spare_);
  SpareCurrent_ = true;
  ++host.Generation;
  FailOnMessages();
}

void TSceneSession::Delete(uint64_t id) {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  TNode& node = Node(id);
  const std::vector<TNode*> nodes = NodesInOrder();
  const size_t first = static_cast<size_t>(std::find(nodes.begin(), nodes.end(), &node) - nodes.begin());
  size_t end = first + 1;
  auto inside = [&](const TNode* n) {
    for (; n; n = n->Parent())
      if (n == &node) return true;
    return false;
  };
  while (end < nodes.size() && inside(nodes[end])) ++end;
  Stage().Scene.Delete(node);
  Ids_.erase(Ids_.begin() + static_cast<long>(first), Ids_.begin() + static_cast<long>(end));
  SpareCurrent_ = false;
  ++host.Generation;
}

std::pair<int, int> TSceneSession::Size() {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  return {Stage().Render.Width, Stage().Render.Height};
}

std::pair<double, double> TSceneSession::FrameRange() {
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Enter();
  return {Stage().Render.FirstFrame, Stage().Render.LastFrame};
}

// ---- Particles and renders.

TParticleArrays TSceneSession::Particles(int frame) {
  CheckFrame(frame);
  TParticleArrays particles;
  Call([&] {
    TEmitterMan& manager = TPythonHost::Get().Plugin().Main.Emitters;
    const float f = static_cast<float>(frame);
    TBirthOrder ids;
    tsxAnimSetActiveTime(f);
    manager.RenderBegin([&] { ids.Update(manager); });
    CheckInterrupt(f);
    tsxAnimSetActiveTime(f);
    manager.RenderFrame(nullptr);
    CheckInterrupt(f);
    ids.Update(manager);
    particles = CollectParticles(manager, ids, frame);
  });
  return particles;
}

TRenderedFrame TSceneSession::Render(int frame, int width, int height, int samples) {
  CheckFrame(frame);
  if (width < 0 || height < 0 || width > 16384 || height > 16384)
    throw EVantrelError("A render is 1 to 16384 pixels a side, not " + std::to_string(width) + " x " +
                        std::to_string(height));
  if (samples < 0 || samples > 4) throw EVantrelError("samples " + std::to_string(samples) + ": give 1 to 4");
  TRenderedFrame out;
  Call([&] {
    TStage& stage = Stage();
    if (width > 0 || height > 0) {
      // One side given: the other keeps the scene's proportions.
      const int w = width > 0 ? width
                              : std::max(1, static_cast<int>(static_cast<long long>(height) * stage.Render.Width /
                                                             stage.Render.Height));
      const int h = height > 0 ? height
                               : std::max(1, static_cast<int>(static_cast<long long>(width) * stage.Render.Height /
                                                              stage.Render.Width));
      stage::cli::ApplySize(stage, {std::min(w, 16384), std::min(h, 16384)});
    }
    stage::cli::TRenderSwitches switches;
    if (samples > 0) switches.Samples = samples;
    try {
      stage::cli::ApplySwitches(stage, switches);
    } catch (const std::exception& e) {
      throw EVantrelError(e.what());
    }
    TPythonHost::Get().ResetRenderSwitches();
    RewindRandomTable();
    // The event order of the host's render of one frame.
    const float f = static_cast<float>(frame);
    stage.Scene.SetTime(f);
    stage.RaiseRenderEvent(RenderInit, f);
    stage.RaiseRenderEvent(RenderBegin, f);
    CheckInterrupt(f);
    const stage::TScreenBuffer image = stage.RenderFrame(f);
    CheckInterrupt(f);
    stage.RaiseRenderEvent(RenderEnd, f);
    out.Width = image.Width();
    out.Height = image.Height();
    out.Rgba.resize(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height) * 4);
    out.Depth.resize(static_cast<size_t>(out.Width) * static_cast<size_t>(out.Height));
    size_t i = 0;
    for (int y = 0; y < out.Height; ++y)
      for (int x = 0; x < out.Width; ++x, ++i) {
        const stage::TPixel& p = image.At(x, y);
        out.Rgba[4 * i] = p.R;
        out.Rgba[4 * i + 1] = p.G;
        out.Rgba[4 * i + 2] = p.B;
        out.Rgba[4 * i + 3] = p.A;
        out.Depth[i] = p.Depth >= 0 ? std::sqrt(p.Depth) : p.Depth;
      }
  });
  return out;
}

// ---- Bakes.

TSceneSession::TBake::TBake(TSceneSession& scene, int first, int last)
    : Scene_(scene), Next_(first), Last_(last), Ids_(std::make_unique<TBirthOrder>()) {
  scene.CheckFrame(first);
  scene.CheckFrame(last);
  if (last < first)
    throw EVantrelError("The frames " + std::to_string(first) + " to " + std::to_string(last) +
                        " end before they start");
}

TSceneSession::TBake::~TBake() = default;

bool TSceneSession::TBake::Next(TParticleArrays& out) {
  if (Next_ > Last_) return false;
  TPythonHost& host = TPythonHost::Get();
  std::lock_guard lock(host.Lock);
  Scene_.Enter();
  host.TakeMessages();
  TEmitterMan& manager = host.Plugin().Main.Emitters;
  const float f = static_cast<float>(Next_);
  {
    TKeepStage keep;
    // Nothing else used the stage since the last frame: the systems stand where it left them.
    if (Generation_ == 0 || host.Generation != Generation_) {
      Ids_ = std::make_unique<TBirthOrder>();
      tsxAnimSetActiveTime(f);
      manager.RenderBegin([&] { Ids_->Update(manager); });
      CheckInterrupt(f);
    }
    tsxAnimSetActiveTime(f);
    manager.RenderFrame(nullptr);
    ++host.Generation;
    CheckInterrupt(f);
    Generation_ = host.Generation;
    Ids_->Update(manager);
    out = CollectParticles(manager, *Ids_, Next_);
  }
  FailOnMessages();
  ++Next_;
  return true;
}
