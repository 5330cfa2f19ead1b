// Loads a scene file through the stage's reader, with the plug-in's object types defined, as
// `vantrel` does, and turns each emitter's and tool's data into readable settings.
#include "tools/SettingsShow.h"

#include "engine/Errors.h"
#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"
#include "plugin/PayloadText.h"
#include "plugin/tsxExtObj.h"
#include "plugin/tsxPlug.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"

namespace {

// The reader refuses more than 256 levels of children, so this recursion stays shallow.
void Walk(const std::vector<std::unique_ptr<stage::TNode>>& nodes, const std::string& path,
          std::vector<TShownObject>& out) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    stage::TNode& n = *nodes[i];
    const std::string p = path + "/" + std::to_string(i);
    TSettingsKind kind;
    TToolKind tool;
    if (n.Kind() == stage::TNodeKind::Custom && SettingsKindOfType(n.TypeName.c_str(), kind, tool)) {
      TShownObject o;
      o.Name = n.Name;
      o.TypeName = n.TypeName;
      o.Path = p;
      // What the plug-in holds after reading the object, as it would save it.
      const std::vector<uint8_t> bytes = stage::Stage().Files.Write(n);
      try {
        o.Settings = PayloadToSettings(kind, bytes);
      } catch (const ENotReadable& e) {
        o.Settings = nullptr;
        o.Note = std::string("kept as its payload: ") + e.what();
      } catch (const EVantrelError&) {
        o.Settings = nullptr;
        o.Note = "the plug-in holds no object for it";
      }
      out.push_back(std::move(o));
    }
    Walk(n.Children(), p + "/children", out);
  }
}

}  // namespace

std::vector<TShownObject> SceneSettings(const std::string& fileName, std::vector<std::string>& warnings) {
  TVantrelPlugin plugin("");
  if (PlugState().PluginId < 0) PlugState().PluginId = 1;
  plugin.PlugInit();
  stage::TStage& stage = stage::Stage();
  // The plug-in's messages are kept by the platform of a program without windows.
  auto* platform = dynamic_cast<THeadlessPlatform*>(&Platform());
  if (platform) platform->Messages.clear();
  try {
    warnings = stage::LoadSceneFile(stage, fileName);
  } catch (const std::exception& e) {
    throw EVantrelError(e.what());
  }
  // What the plug-in said while reading (data not read as saved) is part of what is shown.
  if (platform)
    for (const std::string& message : platform->Messages) warnings.push_back(message);
  std::vector<TShownObject> out;
  Walk(stage.Scene.Roots(), "/nodes", out);
  stage.Scene.Clear();
  return out;
}
