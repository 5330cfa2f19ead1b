// Loading a scene file: the checked description read from it (stage/SceneFileDesc.h) replaces
// the stage's scene, and the plug-ins' objects get their payloads through their read callbacks.
#include <string>
#include <utility>
#include <vector>

#include "stage/SceneFile.h"
#include "stage/SceneFileDesc.h"
#include "stage/Stage.h"

namespace stage {

namespace {

using scenefile::ShortPath;
using scenefile::TNodeDesc;

// Builds the described nodes under parent; custom nodes are collected for their read callbacks.
void Build(TStage& stage, const std::vector<TNodeDesc>& nodes, TNode* parent,
           std::vector<std::pair<TNode*, const TNodeDesc*>>& customs, std::vector<std::string>& warnings,
           const std::string& file, const std::string& path) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TNodeDesc& d = nodes[i];
    const std::string p = path + "/" + std::to_string(i);
    TNode* n = nullptr;
    switch (d.Kind) {
      case TNodeKind::Group:
        n = &stage.Scene.AddGroup(d.Name, parent);
        break;
      case TNodeKind::Polyhedron:
        n = &stage.Scene.AddPolyhedron(d.Name, *d.Mesh, parent, d.Source);
        break;
      case TNodeKind::Custom:
        if (const TObjectType* t = stage.Types.FindByName(d.TypeName)) {
          n = stage.Scene.CreateCustom(t->Number);
          stage.Scene.AddToScene(*n, parent);
          n->Name = d.Name;
          customs.emplace_back(n, &d);
        } else {
          warnings.push_back(file + ": " + p + "/objectType: no plug-in defines the type \"" +
                             d.TypeName + "\"; the object is kept with its data");
          n = &stage.Scene.AddUnresolvedCustom(d.Name, d.TypeName, d.Payload, parent);
          n->StoredSettings = d.Settings;
        }
        break;
    }
    n->Position = d.Position;
    n->Rotation = d.Rotation;
    n->Scale = d.Scale;
    n->Color = d.Color;
    n->Visible = d.Visible;
    Build(stage, d.Children, n, customs, warnings, file, p + "/children");
  }
}

}  // namespace

std::vector<std::string> LoadSceneFile(TStage& stage, const std::filesystem::path& path) {
  const std::string file = path.string();
  std::vector<std::string> warnings;
  const scenefile::TSceneDesc desc = scenefile::ReadSceneFile(path, stage.Types, warnings);

  // Nothing below can fail on the file's account.
  if (!stage.Scene.Empty()) stage.RaiseGeneralEvent(2);
  stage.Scene.Clear();
  stage.View.Camera = desc.Camera;
  stage.Render = desc.Render;
  stage.PluginSettings = desc.PluginSettings;
  stage.View.Width = desc.ViewWidth.value_or(desc.Render.Width);
  stage.View.Height = desc.ViewHeight.value_or(desc.Render.Height);
  stage.Scene.SetTime(desc.Time);
  std::vector<std::pair<TNode*, const TNodeDesc*>> customs;
  Build(stage, desc.Nodes, nullptr, customs, warnings, file, "/nodes");
  stage.Scene.SetTime(desc.Time);
  for (auto [node, d] : customs) {
    if (!stage.Scene.FromHandle(node)) continue;
    // An object saved without data still loads, as an object of its type: its plug-in is handed
    // an empty payload and decides what that means.
    if (d->Payload.empty())
      warnings.push_back(file + ": " + ShortPath(d->Path) + "/payload: the object \"" + d->Name +
                         "\" has no data; it is loaded as a new object of its type");
    stage.Files.Read(*node, d->Payload);
  }
  stage.RaiseGeneralEvent(4);
  return warnings;
}

}  // namespace stage
