// Reading and checking scene files: the whole document is turned into a checked description
// (stage/SceneFileDesc.h) before anything in the stage changes.
//
// Hostile input: the reader never crashes and changes nothing in the stage until the whole file
// has been checked. Memory is bounded by the file's size (refused above 1 GB) and nesting of
// nodes by 256 levels (the JSON parser itself does not recurse); time grows with the file's size
// (keys are sorted once, n log n). Every refusal is an ESceneFileError naming the file, the line
// and column, what was found and what was expected, with a JSON path cut to a readable length.
// Object payloads are handed to their plug-in as they are; an empty one is reported.
#include "stage/SceneFileDesc.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <system_error>
#include <type_traits>

#include "hostapi/JsonText.h"
#include "stage/Base64.h"
#include "stage/SceneFile.h"

namespace stage::scenefile {

bool ConvertPayload(tsxPAYLOADCONVERTFUNC convert, const std::string& typeName, const std::string& in,
                    std::string& out) {
  out.clear();
  const tsxTEXTSINK sink = [](void* context, const char* data, size_t size) {
    if (data && size) static_cast<std::string*>(context)->append(data, size);
  };
  return convert(typeName.c_str(), in.data(), in.size(), sink, &out) == 1;
}

std::string ShortPath(const std::string& path) {
  constexpr size_t kHead = 40, kTail = 60;
  if (path.empty()) return "/";
  if (path.size() <= kHead + kTail + 8) return path;
  size_t head = path.find('/', kHead);
  size_t tail = path.rfind('/', path.size() - kTail);
  if (head == std::string::npos || tail == std::string::npos || tail <= head) return path.substr(0, kHead) + "/…";
  return path.substr(0, head) + "/…" + path.substr(tail);
}

namespace {

constexpr int kMaxDepth = 256;
// Lists and objects inside one another, as the plug-in's settings reader allows them.
constexpr int kMaxNesting = MaxJsonNesting;
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{1} << 30;
// What the primitives of one scene may take together: a few spheres of 1024 segments and rings
// fit, forty of them (4 GB from a few lines of text) do not.
constexpr uint64_t kMaxMeshBytes = uint64_t{1} << 30;
// What the objects' data of one scene may take together once settings are turned into payloads
// (a few bytes of settings make kilobytes of records, and the plug-in's objects more again).
constexpr uint64_t kMaxPayloadBytes = uint64_t{512} << 20;

// "line L, column C" of a byte offset.
std::string Where(const std::string& text, size_t byte) { return LineAndColumn(text, byte); }

// ---- Finding a value in the text: the document is kept without positions, so an error found
// in the checked document is placed by walking the text (which is known to parse) again.

size_t SkipSpace(const std::string& t, size_t i) {
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) ++i;
  return i;
}

// The end of the string starting at the quote at i.
size_t SkipString(const std::string& t, size_t i) {
  for (++i; i < t.size(); ++i) {
    if (t[i] == '\\') ++i;
    else if (t[i] == '"') return i + 1;
  }
  return t.size();
}

// The end of the value starting at i; nesting is counted, not recursed into.
size_t SkipValue(const std::string& t, size_t i) {
  if (i >= t.size()) return i;
  if (t[i] == '"') return SkipString(t, i);
  if (t[i] != '{' && t[i] != '[') {
    while (i < t.size() && t[i] != ',' && t[i] != ']' && t[i] != '}' && t[i] != ' ' && t[i] != '\n' &&
           t[i] != '\t' && t[i] != '\r')
      ++i;
    return i;
  }
  size_t depth = 0;
  for (; i < t.size(); ++i) {
    if (t[i] == '"') {
      i = SkipString(t, i) - 1;
    } else if (t[i] == '{' || t[i] == '[') {
      ++depth;
    } else if (t[i] == '}' || t[i] == ']') {
      if (--depth == 0) return i + 1;
    }
  }
  return t.size();
}

// The byte offset of the value at a JSON path ("/nodes/0/type"); of the nearest enclosing value
// that is there when a part of the path is absent.
size_t Locate(const std::string& t, const std::string& path) {
  size_t at = SkipSpace(t, 0);
  size_t from = 1;
  while (from <= path.size() && at < t.size()) {
    const size_t to = std::min(path.find('/', from), path.size());
    const std::string part = path.substr(from, to - from);
    from = to + 1;
    size_t i = SkipSpace(t, at + 1);
    size_t found = std::string::npos;
    if (t[at] == '{') {
      while (i < t.size() && t[i] == '"') {
        const size_t keyEnd = SkipString(t, i);
        const bool match = keyEnd - i == part.size() + 2 && t.compare(i + 1, part.size(), part) == 0;
        i = SkipSpace(t, keyEnd);
        if (i < t.size() && t[i] == ':') i = SkipSpace(t, i + 1);
        if (match) found = i;  // a repeated key: the last one counts, as in the reader
        i = SkipSpace(t, SkipValue(t, i));
        if (i < t.size() && t[i] == ',') i = SkipSpace(t, i + 1);
      }
    } else if (t[at] == '[') {
      size_t index = 0;
      const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), index);
      if (ec != std::errc() || end != part.data() + part.size()) return at;
      for (size_t k = 0; i < t.size() && t[i] != ']'; ++k) {
        if (k == index) {
          found = i;
          break;
        }
        i = SkipSpace(t, SkipValue(t, i));
        if (i < t.size() && t[i] == ',') i = SkipSpace(t, i + 1);
      }
    }
    if (found == std::string::npos) return at;
    at = found;
  }
  return at;
}

class TReader {
 public:
  TReader(std::string file, const std::string& text, std::filesystem::path baseDir, const TObjectTypes& types,
          std::vector<std::string>& warnings)
      : File_(std::move(file)), Text_(text), BaseDir_(std::move(baseDir)), Types_(types), Warnings_(warnings) {}

  // The message names the file, the line and column of the value at fault and its path.
  [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
    throw ESceneFileError(File_ + ": " + Where(Text_, Locate(Text_, path)) + ": " + ShortPath(path) + ": " + what);
  }

  void Warn(const std::string& path, const std::string& what) {
    Warnings_.push_back(File_ + ": " + ShortPath(path) + ": " + what);
  }

  const json& Object(const json& j, const std::string& path) const {
    if (!j.is_object()) Fail(path, "expected an object");
    return j;
  }

  // Refuses every key the reader does not know, as the plug-in refuses unknown settings keys: a
  // mistyped "camra" would otherwise leave the camera at its default without a word.
  void Keys(const json& j, const std::string& path, std::initializer_list<const char*> known) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      bool ok = false;
      for (const char* k : known) ok = ok || it.key() == k;
      if (ok) continue;
      const std::vector<std::string> names(known.begin(), known.end());
      const std::string closest = ClosestKey(it.key(), names);
      std::string list;
      for (size_t i = 0; i < names.size(); ++i) list += (i ? ", \"" : "\"") + names[i] + "\"";
      Fail(path + "/" + it.key(), "unknown key" + (closest.empty() ? "" : "; did you mean \"" + closest + "\"?") +
                                      "; expected one of " + list);
    }
  }

  float Number(const json& j, const std::string& path) const {
    if (!j.is_number()) Fail(path, "expected a number");
    const double v = j.get<double>();
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max())
      Fail(path, "number out of range; expected a number from -3.4e38 to 3.4e38");
    return static_cast<float>(v);
  }

  int32_t Integer(const json& j, const std::string& path, int32_t least, int32_t most) const {
    if (!j.is_number_integer()) Fail(path, "expected a whole number");
    const auto v = j.get<int64_t>();
    if (v < least || v > most)
      Fail(path, "expected a whole number from " + std::to_string(least) + " to " + std::to_string(most));
    return static_cast<int32_t>(v);
  }

  std::string Text(const json& j, const std::string& path) const {
    if (!j.is_string()) Fail(path, "expected a text");
    return j.get<std::string>();
  }

  bool Boolean(const json& j, const std::string& path) const {
    if (!j.is_boolean()) Fail(path, "expected true or false");
    return j.get<bool>();
  }

  CtsxVector3f Vec3(const json& j, const std::string& path) const {
    if (!j.is_array() || j.size() != 3) Fail(path, "expected an array of 3 numbers");
    return {Number(j[0], path + "/0"), Number(j[1], path + "/1"), Number(j[2], path + "/2")};
  }

  // [x, y, z] for a constant, or [{"frame": f, "value": [x, y, z]}, ...] for keys.
  TChannel Channel(const json& j, const std::string& path, CtsxVector3f rest) {
    TChannel c(rest);
    if (!j.is_array() || j.empty()) Fail(path, "expected [x, y, z] or a list of keys");
    if (j[0].is_number()) {
      c.Rest = Vec3(j, path);
      return c;
    }
    // Keys are gathered and sorted once: inserting them one by one costs n² for keys written
    // in descending order.
    std::vector<TKey> keys;
    keys.reserve(j.size());
    for (size_t i = 0; i < j.size(); ++i) {
      const std::string p = path + "/" + std::to_string(i);
      Object(j[i], p);
      Keys(j[i], p, {"frame", "value"});
      if (!j[i].contains("frame")) Fail(p, "a key needs a \"frame\"; expected {\"frame\": f, \"value\": [x, y, z]}");
      if (!j[i].contains("value")) Fail(p, "a key needs a \"value\"; expected {\"frame\": f, \"value\": [x, y, z]}");
      keys.push_back({Number(j[i]["frame"], p + "/frame"), Vec3(j[i]["value"], p + "/value")});
    }
    c.SetKeys(std::move(keys));
    return c;
  }

  TSceneDesc Scene(const json& root) {
    Object(root, "");
    Keys(root, "", {"vantrelScene", "time", "camera", "view", "render", "pluginSettings", "nodes"});
    if (!root.contains("vantrelScene")) Fail("", "not a Vantrel scene file: expected a \"vantrelScene\" key");
    const int32_t version = Integer(root["vantrelScene"], "/vantrelScene", 1, 1 << 30);
    if (version > kFormatVersion)
      Fail("/vantrelScene", "version " + std::to_string(version) + " is newer than this program reads; expected at most " +
                                std::to_string(kFormatVersion));
    TSceneDesc d;
    if (root.contains("time")) d.Time = Number(root["time"], "/time");
    if (root.contains("camera")) Camera(root["camera"], "/camera", d.Camera);
    if (root.contains("view")) {
      const json& v = Object(root["view"], "/view");
      Keys(v, "/view", {"width", "height"});
      if (v.contains("width")) d.ViewWidth = Integer(v["width"], "/view/width", 1, 16384);
      if (v.contains("height")) d.ViewHeight = Integer(v["height"], "/view/height", 1, 16384);
    }
    if (root.contains("render")) Render(root["render"], "/render", d.Render);
    if (root.contains("pluginSettings")) {
      const json& p = Object(root["pluginSettings"], "/pluginSettings");
      for (auto it = p.begin(); it != p.end(); ++it)
        d.PluginSettings[it.key()] = Text(it.value(), "/pluginSettings/" + it.key());
    }
    if (root.contains("nodes")) d.Nodes = Nodes(root["nodes"], "/nodes", 0);
    return d;
  }

 private:
  void Camera(const json& j, const std::string& path, TCamera& c) {
    Object(j, path);
    Keys(j, path, {"eye", "target", "up", "projection", "fieldOfView", "height"});
    if (j.contains("eye")) c.Eye = Vec3(j["eye"], path + "/eye");
    if (j.contains("target")) c.Target = Vec3(j["target"], path + "/target");
    if (j.contains("up")) c.Up = Vec3(j["up"], path + "/up");
    if (j.contains("projection")) {
      const std::string p = Text(j["projection"], path + "/projection");
      if (p == "perspective")
        c.Projection = TProjection::Perspective;
      else if (p == "orthographic")
        c.Projection = TProjection::Orthographic;
      else
        Fail(path + "/projection", "expected \"perspective\" or \"orthographic\", not \"" + p + "\"");
    }
    if (j.contains("fieldOfView")) {
      c.FieldOfView = Number(j["fieldOfView"], path + "/fieldOfView");
      if (!(c.FieldOfView > 0 && c.FieldOfView < 180))
        Fail(path + "/fieldOfView", "expected degrees between 0 and 180");
    }
    if (j.contains("height")) {
      c.Height = Number(j["height"], path + "/height");
      if (!(c.Height > 0)) Fail(path + "/height", "expected a positive number");
    }
  }

  void Render(const json& j, const std::string& path, TRenderSettings& r) {
    Object(j, path);
    Keys(j, path, {"width", "height", "frames", "background", "backgroundAlpha", "region", "samples"});
    if (j.contains("width")) r.Width = Integer(j["width"], path + "/width", 1, 16384);
    if (j.contains("height")) r.Height = Integer(j["height"], path + "/height", 1, 16384);
    if (j.contains("frames")) {
      const json& f = j["frames"];
      if (!f.is_array() || f.size() != 2) Fail(path + "/frames", "expected [first, last]");
      r.FirstFrame = Number(f[0], path + "/frames/0");
      r.LastFrame = Number(f[1], path + "/frames/1");
      if (r.LastFrame < r.FirstFrame) Fail(path + "/frames", "the last frame comes before the first; expected [first, last]");
    }
    if (j.contains("background")) r.Background = Vec3(j["background"], path + "/background");
    if (j.contains("backgroundAlpha")) {
      r.BackgroundAlpha = Number(j["backgroundAlpha"], path + "/backgroundAlpha");
      if (!(r.BackgroundAlpha >= 0 && r.BackgroundAlpha <= 1)) Fail(path + "/backgroundAlpha", "expected a number from 0 to 1");
    }
    if (j.contains("samples")) r.Samples = Integer(j["samples"], path + "/samples", 1, 4);
    if (j.contains("region")) {
      const json& g = j["region"];
      const std::string p = path + "/region";
      if (!g.is_array() || g.size() != 4) Fail(p, "expected [left, top, right, bottom]");
      r.UseRegion = true;
      r.RegionLeft = static_cast<int16_t>(Integer(g[0], p + "/0", 0, r.Width - 1));
      r.RegionTop = static_cast<int16_t>(Integer(g[1], p + "/1", 0, r.Height - 1));
      r.RegionRight = static_cast<int16_t>(Integer(g[2], p + "/2", r.RegionLeft, r.Width - 1));
      r.RegionBottom = static_cast<int16_t>(Integer(g[3], p + "/3", r.RegionTop, r.Height - 1));
    }
  }

  std::vector<TNodeDesc> Nodes(const json& j, const std::string& path, int depth) {
    if (!j.is_array()) Fail(path, "expected a list of nodes");
    if (depth > kMaxDepth) Fail(path, "nodes nested deeper than " + std::to_string(kMaxDepth) + "; expected at most " + std::to_string(kMaxDepth) + " levels of children");
    std::vector<TNodeDesc> out;
    for (size_t i = 0; i < j.size(); ++i) out.push_back(Node(j[i], path + "/" + std::to_string(i), depth));
    return out;
  }

  TNodeDesc Node(const json& j, const std::string& path, int depth) {
    Object(j, path);
    Keys(j, path, {"name", "type", "position", "rotation", "scale", "color", "visible", "mesh",
                   "objectType", "payload", "settings", "children"});
    TNodeDesc d;
    d.Path = path;
    if (!j.contains("type")) Fail(path, "a node needs a \"type\"; expected \"group\", \"mesh\" or \"object\"");
    const std::string type = Text(j["type"], path + "/type");
    if (type == "group")
      d.Kind = TNodeKind::Group;
    else if (type == "mesh")
      d.Kind = TNodeKind::Polyhedron;
    else if (type == "object")
      d.Kind = TNodeKind::Custom;
    else
      Fail(path + "/type", "expected \"group\", \"mesh\" or \"object\", not \"" + type + "\"");
    if (j.contains("name")) d.Name = Text(j["name"], path + "/name");
    if (j.contains("position")) d.Position = Channel(j["position"], path + "/position", {0, 0, 0});
    if (j.contains("rotation")) d.Rotation = Channel(j["rotation"], path + "/rotation", {0, 0, 0});
    if (j.contains("scale")) d.Scale = Channel(j["scale"], path + "/scale", {1, 1, 1});
    if (j.contains("color")) d.Color = Vec3(j["color"], path + "/color");
    if (j.contains("visible")) d.Visible = Boolean(j["visible"], path + "/visible");

    if (d.Kind == TNodeKind::Polyhedron) {
      if (!j.contains("mesh")) Fail(path, "a mesh node needs a \"mesh\"; expected a primitive, an \"obj\" path or \"vertices\"");
      Mesh(j["mesh"], path + "/mesh", d);
    } else if (j.contains("mesh")) {
      Warn(path + "/mesh", "only mesh nodes have a mesh, ignored");
    }
    if (d.Kind == TNodeKind::Custom) {
      if (!j.contains("objectType")) Fail(path, "an object node needs an \"objectType\"; expected the name of an object type");
      d.TypeName = Text(j["objectType"], path + "/objectType");
      if (d.TypeName.empty()) Fail(path + "/objectType", "empty type name; expected the name of an object type");
      if (j.contains("payload") && j.contains("settings"))
        Fail(path, "an object node holds its data as \"payload\" or as \"settings\", not both");
      if (j.contains("payload")) {
        auto bytes = DecodeBase64(Text(j["payload"], path + "/payload"));
        if (!bytes) Fail(path + "/payload", "not valid base64; expected the object's data in base64");
        d.Payload = std::move(*bytes);
      }
      if (j.contains("settings")) Settings(j["settings"], path + "/settings", d);
      PayloadBytes_ += d.Payload.size() + d.Settings.size();
      if (PayloadBytes_ > kMaxPayloadBytes)
        Fail(path, "the objects' data would need more than " + Gigabytes(kMaxPayloadBytes) +
                       " of memory (about " + Gigabytes(PayloadBytes_ * 4) +
                       " once their plug-in holds them); split the scene or use fewer particle systems");
    } else {
      if (j.contains("objectType")) Warn(path + "/objectType", "only object nodes have a type name, ignored");
      if (j.contains("payload")) Warn(path + "/payload", "only object nodes have a payload, ignored");
      if (j.contains("settings")) Warn(path + "/settings", "only object nodes have settings, ignored");
    }
    if (j.contains("children")) d.Children = Nodes(j["children"], path + "/children", depth + 1);
    return d;
  }

  // Readable settings become the payload the plug-in would have written, through the
  // converter its type offered; the plug-in checks them and names what is wrong.
  void Settings(const json& j, const std::string& path, TNodeDesc& d) {
    const std::string text = j.dump();
    const TObjectType* type = Types_.FindByName(d.TypeName);
    if (!type) {
      d.Settings = text;  // kept for saving; Build warns about the type
      return;
    }
    if (!type->TextToPayload)
      Fail(path, "the plug-in that defines \"" + d.TypeName +
                     "\" reads no readable settings; give the object's data as \"payload\"");
    std::string out;
    if (!ConvertPayload(type->TextToPayload, d.TypeName, text, out)) {
      const size_t newline = out.find('\n');
      const std::string pointer = newline == std::string::npos ? std::string() : out.substr(0, newline);
      const std::string what = newline == std::string::npos ? out : out.substr(newline + 1);
      Fail(path + pointer, "object \"" + d.Name + "\" (" + d.TypeName + "): " + what);
    }
    d.Payload.assign(out.begin(), out.end());
  }

  void Mesh(const json& j, const std::string& path, TNodeDesc& d) {
    Object(j, path);
    TMeshSource s;
    if (j.contains("obj")) {
      Keys(j, path, {"obj"});
      s.Kind = TPrimitive::ObjFile;
      s.ObjPath = Text(j["obj"], path + "/obj");
      try {
        d.Mesh = BuildMesh(s, BaseDir_);
      } catch (const std::exception& e) {
        Fail(path + "/obj", e.what());
      }
      d.Source = s;
      return;
    }
    if (j.contains("vertices")) {
      InlineMesh(j, path, d);
      return;
    }
    if (!j.contains("primitive")) Fail(path, "expected a \"primitive\", an \"obj\" path or \"vertices\" in a mesh");
    Keys(j, path, {"primitive", "size", "radius", "segments", "rings", "divisions"});
    const std::string kind = Text(j["primitive"], path + "/primitive");
    if (kind == "plane") {
      s.Kind = TPrimitive::Plane;
    } else if (kind == "box") {
      s.Kind = TPrimitive::Box;
    } else if (kind == "sphere") {
      s.Kind = TPrimitive::Sphere;
    } else if (kind == "grid") {
      s.Kind = TPrimitive::Grid;
    } else {
      Fail(path + "/primitive", "expected plane, box, sphere or grid, not \"" + kind + "\"");
    }
    if (j.contains("size")) {
      const json& z = j["size"];
      const size_t n = s.Kind == TPrimitive::Box ? 3 : 2;
      if (!z.is_array() || z.size() != n)
        Fail(path + "/size", "expected an array of " + std::to_string(n) + " numbers");
      for (size_t i = 0; i < n; ++i) s.Size[i] = Number(z[i], path + "/size/" + std::to_string(i));
    }
    if (j.contains("radius")) s.Radius = Number(j["radius"], path + "/radius");
    if (j.contains("segments")) s.Segments = Integer(j["segments"], path + "/segments", 3, 1024);
    if (j.contains("rings")) s.Rings = Integer(j["rings"], path + "/rings", 2, 1024);
    if (j.contains("divisions")) {
      const json& v = j["divisions"];
      if (!v.is_array() || v.size() != 2) Fail(path + "/divisions", "expected [x, y]");
      s.DivisionsX = Integer(v[0], path + "/divisions/0", 1, 1024);
      s.DivisionsY = Integer(v[1], path + "/divisions/1", 1, 1024);
    }
    // Counted before anything is built.
    MeshBytes_ += PrimitiveMemory(s);
    if (MeshBytes_ > kMaxMeshBytes)
      Fail(path, "the scene's meshes would need about " + Gigabytes(MeshBytes_) + " of memory, more than the " +
                     Gigabytes(kMaxMeshBytes) + " they may take; use fewer segments, rings or divisions");
    try {
      d.Mesh = BuildPrimitive(s);
    } catch (const std::exception& e) {
      Fail(path, e.what());
    }
    d.Source = s;
  }

  void InlineMesh(const json& j, const std::string& path, TNodeDesc& d) {
    Keys(j, path, {"vertices", "faces"});
    const json& v = j["vertices"];
    if (!v.is_array()) Fail(path + "/vertices", "expected a list of [x, y, z]");
    TPolyhedron p;
    for (size_t i = 0; i < v.size(); ++i) p.AddVertex(Vec3(v[i], path + "/vertices/" + std::to_string(i)));
    if (j.contains("faces")) {
      const json& f = j["faces"];
      if (!f.is_array()) Fail(path + "/faces", "expected a list of faces");
      std::vector<int32_t> corners;
      for (size_t i = 0; i < f.size(); ++i) {
        const std::string fp = path + "/faces/" + std::to_string(i);
        if (!f[i].is_array() || f[i].empty()) Fail(fp, "expected a list of vertex indices");
        corners.clear();
        for (size_t k = 0; k < f[i].size(); ++k)
          corners.push_back(Integer(f[i][k], fp + "/" + std::to_string(k), 0,
                                    static_cast<int32_t>(v.size()) - 1));
        try {
          p.AddFace(corners);
        } catch (const std::exception& e) {
          Fail(fp, e.what());
        }
      }
    }
    d.Mesh = std::move(p);
  }

  static std::string Gigabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / double(uint64_t{1} << 30));
    return text;
  }

  uint64_t MeshBytes_ = 0;
  uint64_t PayloadBytes_ = 0;
  std::string File_;
  const std::string& Text_;
  std::filesystem::path BaseDir_;
  const TObjectTypes& Types_;
  std::vector<std::string>& Warnings_;
};

// The JSON library's document builder, keeping where and why a parse stopped instead of
// throwing its own message (which has no file, and for a number out of range no position).
class TPositionedParser : public nlohmann::detail::json_sax_dom_parser<json> {
 public:
  explicit TPositionedParser(json& root) : json_sax_dom_parser(root, false) {}

  template <class Exception>
  bool parse_error(std::size_t position, const std::string& /*token*/, const Exception& e) {
    Failed = true;
    Position = position;
    Message = e.what();
    OutOfRange = std::is_same_v<Exception, nlohmann::detail::out_of_range>;
    return false;
  }

  bool Failed = false;
  bool OutOfRange = false;
  std::size_t Position = 0;
  std::string Message;
};

// Parses the text or throws ESceneFileError naming the file, the line and column, what was
// found there and what was expected.
std::string PathAt(const std::string& text, size_t byte);

json ParseJson(const std::string& file, const std::string& text) {
  if (const size_t deep = TooDeeplyNestedAt(text, kMaxNesting); deep != std::string::npos)
    throw ESceneFileError(file + ": " + Where(text, deep) + " (in " + ShortPath(PathAt(text, deep)) +
                          "): lists and objects nested deeper than " +
                          std::to_string(kMaxNesting) + " levels; expected at most " + std::to_string(kMaxDepth) +
                          " levels of children");
  json root;
  TPositionedParser parser(root);
  const bool ok = json::sax_parse(text, &parser);
  if (ok && !parser.Failed) {
    if (const TDuplicateKey d = FindDuplicateKey(text); d.At != std::string::npos)
      throw ESceneFileError(file + ": " + Where(text, d.At) + ": " + ShortPath(d.Path) +
                            ": this key is given twice in one object; give each key once");
    return root;
  }

  // The word at the fault: an invalid literal ("NaN", "tru") or a number, shown as written.
  const size_t at = std::min(parser.Position > 0 ? parser.Position - 1 : 0, text.size());
  auto wordChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' || c == '_';
  };
  size_t start = at, end = at;
  while (start > 0 && wordChar(text[start - 1])) --start;
  while (end < text.size() && wordChar(text[end])) ++end;
  std::string found = text.substr(start, std::min<size_t>(end - start, 40));
  if (end - start > 40) found += "…";

  std::string what;
  if (parser.OutOfRange) {
    what = "the number " + found + " is outside the range of numbers; expected a number from -1.7e308 to 1.7e308";
  } else if (parser.Position >= text.size() && text.find_first_not_of(" \t\r\n") != std::string::npos) {
    what = "the file ends early; expected the rest of the document";
  } else {
    // The library says what it was parsing and, often, what it expected; its "last read" text
    // is replaced by the word as it stands in the file.
    std::string detail = parser.Message;
    const size_t column = detail.find(": ", detail.find("column"));
    if (column != std::string::npos) detail = detail.substr(column + 2);
    const size_t lastRead = detail.find("; last read:");
    if (lastRead != std::string::npos) detail = detail.substr(0, lastRead);
    what = detail;
    if (!found.empty()) what += ", found '" + found + "'";
    else if (at < text.size() && std::isprint(static_cast<unsigned char>(text[at])))
      what += ", found '" + std::string(1, text[at]) + "'";
    if (what.find("expected") == std::string::npos)
      what += "; expected a value (a number, a text in double quotes, true, false, null, an object or a list)";
  }
  const std::string inPath = PathAt(text, at);
  throw ESceneFileError(file + ": " + Where(text, found.empty() ? at : start) +
                        (inPath.empty() ? "" : " (in " + ShortPath(inPath) + ")") + ": " + what);
}

// The JSON path ("/nodes/0/name") of the value being read at byte, found by following the
// brackets, keys and commas before it; empty at the top level.
std::string PathAt(const std::string& text, size_t byte) {
  struct TLevel {
    bool Object;
    std::string Key;
    size_t Index = 0;
    bool HasKey = false;
  };
  std::vector<TLevel> stack;
  bool expectKey = false;
  for (size_t i = 0; i < byte && i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      std::string value;
      size_t j = i + 1;
      for (; j < byte && j < text.size() && text[j] != '"'; ++j) {
        if (text[j] == '\\') ++j;
        else value += text[j];
      }
      if (!stack.empty() && stack.back().Object && expectKey) {
        stack.back().Key = value;
        stack.back().HasKey = true;
        expectKey = false;
      }
      i = j;
    } else if (c == '{' || c == '[') {
      stack.push_back({c == '{', {}, 0, false});
      expectKey = c == '{';
    } else if ((c == '}' || c == ']') && !stack.empty()) {
      stack.pop_back();
      expectKey = false;
    } else if (c == ',' && !stack.empty()) {
      if (stack.back().Object) {
        stack.back().HasKey = false;
        expectKey = true;
      } else {
        ++stack.back().Index;
      }
    }
  }
  std::string path;
  for (const TLevel& level : stack) {
    if (level.Object && !level.HasKey) break;
    path += "/" + (level.Object ? level.Key : std::to_string(level.Index));
  }
  return path;
}

}  // namespace

TSceneDesc ReadSceneFile(const std::filesystem::path& path, const TObjectTypes& types,
                         std::vector<std::string>& warnings) {
  const std::string file = path.string();
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw ESceneFileError(file + ": cannot open the scene file");
  if (size > kMaxFileBytes) throw ESceneFileError(file + ": larger than a scene file can be");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in && !in.eof()) throw ESceneFileError(file + ": cannot read the scene file");
  const std::string text = content.str();
  if (text.empty()) throw ESceneFileError(file + ": line 1, column 1: the file is empty; expected a Vantrel scene (a JSON object)");

  json root = ParseJson(file, text);
  TReader reader(file, text, path.parent_path(), types, warnings);
  return reader.Scene(root);
}

}  // namespace stage::scenefile
