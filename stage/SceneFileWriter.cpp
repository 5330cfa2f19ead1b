// Writing scene files: the stage's scene laid out for people, custom objects as the readable
// settings their plug-ins convert their payloads to (as base64 payloads where there are none),
// written beside the target and renamed over it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "hostapi/JsonText.h"
#include "stage/Base64.h"
#include "stage/SceneFile.h"
#include "stage/SceneFileDesc.h"
#include "stage/Stage.h"

namespace stage {

namespace {

using scenefile::ConvertPayload;
using scenefile::json;
using scenefile::kFormatVersion;

// The shortest decimal that reads back as the same float, as a JSON number.
json Num(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::strtod(std::string(buf, r.ptr).c_str(), nullptr);
}

json Vec(const CtsxVector3f& v) { return json::array({Num(v.x), Num(v.y), Num(v.z)}); }

json ChannelJson(const TChannel& c) {
  if (!c.Animated()) return Vec(c.Rest);
  json keys = json::array();
  for (const TKey& k : c.Keys()) keys.push_back({{"frame", Num(k.Frame)}, {"value", Vec(k.Value)}});
  return keys;
}

json MeshJson(const TNode& n) {
  if (n.Source) {
    const TMeshSource& s = *n.Source;
    switch (s.Kind) {
      case TPrimitive::ObjFile:
        return {{"obj", s.ObjPath}};
      case TPrimitive::Plane:
        return {{"primitive", "plane"}, {"size", {Num(s.Size[0]), Num(s.Size[1])}}};
      case TPrimitive::Grid:
        return {{"primitive", "grid"},
                {"size", {Num(s.Size[0]), Num(s.Size[1])}},
                {"divisions", {s.DivisionsX, s.DivisionsY}}};
      case TPrimitive::Box:
        return {{"primitive", "box"}, {"size", {Num(s.Size[0]), Num(s.Size[1]), Num(s.Size[2])}}};
      case TPrimitive::Sphere:
        return {{"primitive", "sphere"}, {"radius", Num(s.Radius)}, {"segments", s.Segments}, {"rings", s.Rings}};
    }
  }
  // A mesh made in code is stored whole.
  json vertices = json::array(), faces = json::array();
  for (const CtsxVector3f& v : n.Mesh->Vertices()) vertices.push_back(Vec(v));
  for (int32_t f = 0; f < n.Mesh->FaceCount(); ++f) {
    const tsxFACE& face = n.Mesh->Face(f);
    json corners = json::array();
    for (int16_t k = 0; k < face.nbrCorners; ++k) corners.push_back(face.corners[k].vxIndex);
    faces.push_back(std::move(corners));
  }
  return {{"vertices", std::move(vertices)}, {"faces", std::move(faces)}};
}

// The readable settings of an object, when its plug-in converts its payload; none for a type
// without a converter, a payload it holds no object in, or text that is not JSON.
std::optional<json> ReadableSettings(TStage& stage, const TNode& n, const std::vector<uint8_t>& bytes) {
  const TObjectType* type = stage.Types.FindByName(n.TypeName);
  std::string text;
  if (!type) {
    if (n.StoredSettings.empty()) return std::nullopt;
    text = n.StoredSettings;
  } else {
    if (!type->PayloadToText || bytes.empty()) return std::nullopt;
    const std::string data(bytes.begin(), bytes.end());
    if (!ConvertPayload(type->PayloadToText, n.TypeName, data, text)) return std::nullopt;
  }
  try {
    return json::parse(text);
  } catch (const json::exception&) {
    return std::nullopt;
  }
}

json NodeJson(TStage& stage, TNode& n) {
  json j;
  j["name"] = n.Name;
  switch (n.Kind()) {
    case TNodeKind::Group:
      j["type"] = "group";
      break;
    case TNodeKind::Polyhedron:
      j["type"] = "mesh";
      break;
    case TNodeKind::Custom:
      j["type"] = "object";
      break;
  }
  j["position"] = ChannelJson(n.Position);
  j["rotation"] = ChannelJson(n.Rotation);
  j["scale"] = ChannelJson(n.Scale);
  if (n.Kind() != TNodeKind::Custom) j["color"] = Vec(n.Color);
  if (!n.Visible) j["visible"] = false;
  if (n.Mesh) j["mesh"] = MeshJson(n);
  if (n.Kind() == TNodeKind::Custom) {
    j["objectType"] = n.TypeName;
    const std::vector<uint8_t> bytes = stage.Files.Write(n);
    if (auto settings = ReadableSettings(stage, n, bytes))
      j["settings"] = std::move(*settings);
    else
      j["payload"] = EncodeBase64(bytes);
  }
  if (!n.Children().empty()) {
    json children = json::array();
    for (const auto& c : n.Children()) children.push_back(NodeJson(stage, *c));
    j["children"] = std::move(children);
  }
  return j;
}

}  // namespace

void SaveSceneFile(TStage& stage, const std::filesystem::path& path) {
  const std::string file = path.string();
  json root;
  root["vantrelScene"] = kFormatVersion;
  root["time"] = Num(stage.Scene.Time());
  const TCamera& c = stage.View.Camera;
  root["camera"] = {{"eye", Vec(c.Eye)},
                    {"target", Vec(c.Target)},
                    {"up", Vec(c.Up)},
                    {"projection", c.Projection == TProjection::Perspective ? "perspective" : "orthographic"},
                    {"fieldOfView", Num(c.FieldOfView)},
                    {"height", Num(c.Height)}};
  root["view"] = {{"width", stage.View.Width}, {"height", stage.View.Height}};
  const TRenderSettings& r = stage.Render;
  json render = {{"width", r.Width},
                 {"height", r.Height},
                 {"frames", {Num(r.FirstFrame), Num(r.LastFrame)}},
                 {"background", Vec(r.Background)},
                 {"backgroundAlpha", Num(r.BackgroundAlpha)}};
  if (r.UseRegion) render["region"] = {r.RegionLeft, r.RegionTop, r.RegionRight, r.RegionBottom};
  if (r.Samples != 1) render["samples"] = r.Samples;
  root["render"] = std::move(render);
  if (!stage.PluginSettings.empty()) {
    json settings = json::object();
    for (const auto& [key, text] : stage.PluginSettings) settings[key] = text;
    root["pluginSettings"] = std::move(settings);
  }
  json nodes = json::array();
  for (const auto& n : stage.Scene.Roots()) nodes.push_back(NodeJson(stage, *n));
  root["nodes"] = std::move(nodes);

  std::string text;
  LayOutJson(text, root);
  text += "\n";
  const std::filesystem::path temp(file + ".tmp-save");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw ESceneFileError(file + ": cannot create the scene file");
    out << text;
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      throw ESceneFileError(file + ": cannot write the scene file");
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    throw ESceneFileError(file + ": cannot replace the scene file");
  }
}

}  // namespace stage
