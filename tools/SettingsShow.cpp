// Walks a scene file's nodes and turns each emitter's and tool's data into readable settings.
#include "tools/SettingsShow.h"

#include <fstream>
#include <sstream>

#include "engine/Errors.h"
#include "plugin/PayloadText.h"
#include "plugin/tsxExtObj.h"
#include "stage/Base64.h"

namespace {

void Walk(const std::string& file, const TSettingsJson& nodes, const std::string& path, std::vector<TShownObject>& out) {
  if (!nodes.is_array()) return;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TSettingsJson& n = nodes[i];
    const std::string p = path + "/" + std::to_string(i);
    if (!n.is_object()) continue;
    TSettingsKind kind;
    TToolKind tool;
    const std::string type = n.contains("objectType") && n["objectType"].is_string() ? n["objectType"].get<std::string>() : "";
    if (SettingsKindOfType(type.c_str(), kind, tool)) {
      TShownObject o;
      o.Name = n.contains("name") && n["name"].is_string() ? n["name"].get<std::string>() : "";
      o.TypeName = type;
      o.Path = p;
      if (n.contains("settings")) {
        try {
          o.Settings = PayloadToSettings(kind, SettingsToPayload(kind, n["settings"], tool));
        } catch (const ESettingsError& e) {
          throw EVantrelError(file + ": " + p + "/settings" + e.Path + ": object \"" + o.Name + "\" (" + type +
                              "): " + e.Problem);
        }
      } else if (n.contains("payload")) {
        if (!n["payload"].is_string()) throw EVantrelError(file + ": " + p + "/payload: expected a text");
        const auto bytes = stage::DecodeBase64(n["payload"].get<std::string>());
        if (!bytes) throw EVantrelError(file + ": " + p + "/payload: not valid base64");
        try {
          o.Settings = PayloadToSettings(kind, *bytes);
        } catch (const EVantrelError&) {
          o.Settings = nullptr;  // the payload holds no object
        }
      }
      out.push_back(std::move(o));
    }
    if (n.contains("children")) Walk(file, n["children"], p + "/children", out);
  }
}

}  // namespace

std::vector<TShownObject> SceneSettings(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EVantrelError(Format("Cannot open file %s", fileName.c_str()));
  std::ostringstream text;
  text << in.rdbuf();
  TSettingsJson root;
  try {
    root = ParseSettingsText(text.str());
  } catch (const ESettingsError& e) {
    throw EVantrelError(fileName + ": " + e.Problem);
  }
  std::vector<TShownObject> out;
  if (root.is_object() && root.contains("nodes")) Walk(fileName, root["nodes"], "/nodes", out);
  return out;
}
