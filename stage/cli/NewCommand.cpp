// A scene from a preset: the index of the presets folder says how to show each one (camera,
// frames, background, where the emitter stands); the preset's readable settings become the
// emitter's settings as they are. The pictures they name ("maps/flame.png") are found under
// the plug-in's data folder wherever the scene is rendered from.
#include "stage/cli/NewCommand.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "stage/ImageFiles.h"
#include "stage/cli/ExitCodes.h"
#include "stage/cli/PluginLoader.h"

namespace stage::cli {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

struct TPreset {
  std::string Name, Description;
  json Entry;
};

json ReadJson(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  try {
    return json::parse(in);
  } catch (const json::exception& e) {
    throw std::runtime_error(path.string() + ": not valid JSON (" + e.what() + ")");
  }
}

// The presets in the order of the index; an index without its entries' names and descriptions
// is refused as a whole.
std::vector<TPreset> ReadIndex(const fs::path& folder) {
  const fs::path file = folder / "index.json";
  const json index = ReadJson(file);
  if (!index.is_object() || !index.contains("presets") || !index["presets"].is_array())
    throw std::runtime_error(file.string() + ": expected {\"presets\": [...]}");
  std::vector<TPreset> presets;
  for (const json& entry : index["presets"]) {
    for (const char* key : {"name", "description"})
      if (!entry.is_object() || !entry.contains(key) || !entry[key].is_string())
        throw std::runtime_error(file.string() + ": every preset needs a \"" + key + "\" text");
    presets.push_back({entry["name"].get<std::string>(), entry["description"].get<std::string>(), entry});
  }
  return presets;
}

std::string Names(const std::vector<TPreset>& presets) {
  std::string names;
  for (const TPreset& p : presets) names += (names.empty() ? "" : ", ") + p.Name;
  return names;
}

// The scene: the preset's camera, frames, background and floor colour; a floor; the emitter with the
// preset's settings, placed (and animated) as the index says.
json SceneFor(const TPreset& preset, const json& settings) {
  const json& e = preset.Entry;
  json scene;
  scene["vantrelScene"] = 1;
  scene["time"] = 0;
  scene["camera"] = e.value("camera", json::object());
  scene["render"] = {{"width", 640},
                     {"height", 360},
                     {"frames", e.value("frames", json::array({0, 96}))},
                     {"background", e.value("background", json::array({0.05, 0.05, 0.07}))}};
  json floor = {{"name", "Floor"},
                {"type", "mesh"},
                {"color", e.value("floor", json::array({0.5, 0.5, 0.52}))},
                {"mesh", {{"primitive", "plane"}, {"size", {40, 40}}}}};
  json emitter = {{"name", settings.value("name", preset.Name)}, {"type", "object"}};
  if (e.contains("emitter"))
    for (const char* key : {"position", "rotation", "scale"})
      if (e["emitter"].contains(key)) emitter[key] = e["emitter"][key];
  emitter["objectType"] = "VNTX_Emitter";
  emitter["settings"] = settings;
  scene["nodes"] = json::array({floor, emitter});
  return scene;
}

// Written beside the target and renamed into place.
void WriteScene(const fs::path& path, const std::string& text) {
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  const fs::path temp = TempPathFor(path);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error(std::strerror(errno));
    out << text;
    out.close();
    if (!out) {
      const int error = errno;
      fs::remove(temp, ec);
      throw std::runtime_error(std::strerror(error));
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    const std::string why = ec.message();
    fs::remove(temp, ec);
    throw std::runtime_error(why);
  }
}

}  // namespace

int RunNew(const TNewOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.List && options.Scene.empty()) {
    err << "vantrel: new needs a SCENE file to write, or --list\n";
    return ExitUsage;
  }
  std::vector<TPreset> presets;
  fs::path folder = options.PresetsFolder;
  try {
    if (folder.empty()) folder = ExecutableFolder() / "Vantrel" / "presets";
    presets = ReadIndex(folder);
  } catch (const std::exception& e) {
    err << "vantrel: cannot read the presets: " << e.what() << '\n';
    return ExitFailure;
  }

  if (options.List) {
    for (const TPreset& p : presets) {
      std::string name = p.Name;
      if (name.size() < 12) name.resize(12, ' ');
      out << name << ' ' << p.Description << '\n';
    }
    return ExitSuccess;
  }

  if (options.Preset.empty()) {
    err << "vantrel: new needs --preset NAME; the presets are " << Names(presets) << '\n';
    return ExitUsage;
  }
  const TPreset* preset = nullptr;
  for (const TPreset& p : presets)
    if (p.Name == options.Preset) preset = &p;
  if (!preset) {
    err << "vantrel: there is no preset \"" << options.Preset << "\"; the presets are " << Names(presets) << '\n';
    return ExitUsage;
  }

  const fs::path scene = options.Scene;
  std::error_code ec;
  if (fs::is_directory(scene, ec)) {
    err << "vantrel: " << scene.string() << " is a folder; give the scene file's name\n";
    return ExitFailure;
  }
  if (fs::exists(scene, ec) && !options.Force) {
    err << "vantrel: " << scene.string() << " exists; give --force to replace it\n";
    return ExitFailure;
  }
  json settings;
  try {
    settings = ReadJson(folder / (preset->Name + ".json"));
  } catch (const std::exception& e) {
    err << "vantrel: cannot read the preset \"" << preset->Name << "\": " << e.what() << '\n';
    return ExitFailure;
  }
  try {
    WriteScene(scene, SceneFor(*preset, settings).dump(2) + "\n");
  } catch (const std::exception& e) {
    err << "vantrel: cannot write " << scene.string() << ": " << e.what() << '\n';
    return ExitFailure;
  }
  return ExitSuccess;
}

}  // namespace stage::cli
