// The JSON mapping of emitters, systems, tools and gradients. Writers compare with a new object
// and keep only what differs; readers start from a new object, check every key, type and range
// against what the panels allow, and refuse the whole document at the first fault.
#include "scene/Settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "engine/AttractModifier.h"
#include "hostapi/JsonText.h"
#include "engine/CodePage.h"
#include "engine/ColorSeries.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/ParticleMapSource.h"
#include "engine/Stream.h"

namespace {

using json = TSettingsJson;

// ---- Reading helpers: every value is checked where it is taken, with its path.

[[noreturn]] void Fail(const std::string& path, const std::string& problem) { throw ESettingsError(path, problem); }

std::string Sub(const std::string& path, const std::string& key) { return path + "/" + key; }
std::string Sub(const std::string& path, size_t index) { return path + "/" + std::to_string(index); }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Listing(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += i + 1 == names.size() ? " or " : ", ";
    out += Quoted(names[i]);
  }
  return out;
}

// A number as people write it: up to six decimals, trailing zeros dropped.
std::string Shown(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

const json& Object(const json& j, const std::string& path) {
  if (!j.is_object()) Fail(path, "expected an object { ... }");
  return j;
}

// Refuses every key not among the known ones.
void OnlyKeys(const json& j, const std::string& path, const std::vector<std::string>& known) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool ok = false;
    for (const std::string& k : known) ok = ok || it.key() == k;
    if (ok) continue;
    const std::string closest = ClosestKey(it.key(), known);
    Fail(Sub(path, it.key()), "unknown key" + (closest.empty() ? "" : "; did you mean " + Quoted(closest) + "?") +
                                  "; this object takes " + Listing(known));
  }
}

double Number(const json& j, const std::string& path, double least, double most) {
  if (!j.is_number()) Fail(path, "expected a number");
  const double v = j.get<double>();
  if (!std::isfinite(v) || v < least || v > most)
    Fail(path, Shown(v) + " is outside the allowed range " + Shown(least) + " to " + Shown(most));
  return v;
}

double AnyNumber(const json& j, const std::string& path) {
  return Number(j, path, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
}

float Float(const json& j, const std::string& path, double least, double most) {
  return static_cast<float>(Number(j, path, least, most));
}

int32_t Integer(const json& j, const std::string& path, int64_t least, int64_t most) {
  if (!j.is_number_integer()) {
    if (j.is_number()) Fail(path, "expected a whole number, not " + Shown(j.get<double>()));
    Fail(path, "expected a whole number");
  }
  const int64_t v = j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)
                        ? INT64_MAX
                        : j.get<int64_t>();
  if (v < least || v > most)
    Fail(path, std::to_string(v) + " is outside the allowed range " + std::to_string(least) + " to " +
                   std::to_string(most));
  return static_cast<int32_t>(v);
}

bool Boolean(const json& j, const std::string& path) {
  if (!j.is_boolean()) Fail(path, "expected true or false");
  return j.get<bool>();
}

std::string Text(const json& j, const std::string& path, size_t maxBytes) {
  if (!j.is_string()) Fail(path, "expected a text in double quotes");
  std::string s = j.get<std::string>();
  if (s.size() > maxBytes) Fail(path, "longer than " + std::to_string(maxBytes) + " characters");
  return s;
}

// A name the record keeps in code-page bytes: taken from UTF-8, counted in those bytes (one a
// character), refused when a character has no byte.
std::string Name(const json& j, const std::string& path, size_t maxBytes) {
  if (!j.is_string()) Fail(path, "expected a text in double quotes");
  std::string unstorable;
  const std::optional<std::string> bytes = Utf8ToCodePage(j.get_ref<const std::string&>(), &unstorable);
  if (!bytes)
    Fail(path, "the character \"" + unstorable +
                   "\" cannot be stored; names hold the characters of the Windows-1252 code page");
  if (bytes->size() > maxBytes)
    Fail(path, "longer than " + std::to_string(maxBytes) + " characters (" + std::to_string(bytes->size()) + ")");
  return *bytes;
}

json NameJson(const std::string& bytes) { return CodePageToUtf8(bytes); }

// One of the texts a panel's list shows; its position is the stored value.
int32_t Choice(const json& j, const std::string& path, const std::vector<std::string>& items) {
  if (!j.is_string()) Fail(path, "expected one of " + Listing(items));
  const std::string s = j.get<std::string>();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == s) return static_cast<int32_t>(i);
  Fail(path, Quoted(s) + " is not one of " + Listing(items));
}

// A stored list position as its text; a position no list has stays a number.
json ChoiceJson(int32_t value, const std::vector<std::string>& items) {
  if (value >= 0 && static_cast<size_t>(value) < items.size()) return items[static_cast<size_t>(value)];
  return value;
}

// A float as the shortest decimal that reads back as the same float.
json FloatJson(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::strtod(std::string(buf, r.ptr).c_str(), nullptr);
}

// An on/off byte: true or false, or the number itself when it is neither 0 nor 1 (any value but
// 0 counts as on, and such a byte is kept as it is).
json FlagJson(uint8_t v) {
  if (v <= 1) return v == 1;
  return v;
}

uint8_t Flag(const json& j, const std::string& path) {
  if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
  if (j.is_number_integer()) return static_cast<uint8_t>(Integer(j, path, 0, 255));
  Fail(path, "expected true or false");
}

const std::vector<std::string> ShapeNames = {"Point", "Plane", "Sphere", "Disc", "Surface"};
const std::vector<std::string> FocusShapeNames = {"Sphere", "Disc"};
const std::vector<std::string> RenderModeNames = {"Pure Alpha", "Illuminate", "Paint", "Color Alpha"};
const std::vector<std::string> ColorModeNames = {"Gradient Color", "Random Color"};
const std::vector<std::string> MapModeNames = {"Fixed", "Random", "Cycle"};
const std::vector<std::string> FlipNames = {"No Transform", "Flip Horizontal", "Flip Vertical", "Flip Both"};
const std::vector<std::string> FalloffNames = {"None", "Linear", "Squared"};
const std::vector<std::string> AxisNames = {"life", "frames", "percent"};
const std::vector<std::string> ClampNames = {"none", "minimum", "maximum", "both"};
const std::vector<std::string> KindNames = {"", "Deflector", "Fan", "Attractor", "Repulsor", "Leader", "Gravitron"};

// The auto-scale check boxes: which byte, which bit.
struct TAutoScaleBox {
  const char* Caption;
  bool Height;
  uint8_t Bit;
};
const TAutoScaleBox AutoScaleBoxes[] = {
    {"More particles", false, WidthMoreParticles},    {"Bigger particles", false, WidthBiggerParticles},
    {"Faster particles", true, HeightFasterParticles}, {"Older particles", true, HeightOlderParticles},
    {"Stronger gravity", true, HeightStrongerGravity},
};

// ---- Curves.

bool SameCurve(const TVarSeries& a, const TVarSeries& b) {
  return a.Name == b.Name && a.XKind == b.XKind && a.MinValue == b.MinValue && a.MaxValue == b.MaxValue &&
         a.ClampMode == b.ClampMode && a.Tension == b.Tension && a.AllKeys() == b.AllKeys();
}

// A flat curve as the set makes it: (0, v), (8192, v).
bool IsFlat(const TVarSeries& c) {
  return c.KeyCount() == 2 && c.KeyX(0) == 0 && c.KeyX(1) == FarKeyX && c.KeyY(0) == c.KeyY(1);
}

json CurveJson(const TVarSeries& c, const TVarSeries& def) {
  const bool headerDefault = c.Name == def.Name && c.XKind == def.XKind && c.MinValue == def.MinValue &&
                             c.MaxValue == def.MaxValue && c.ClampMode == def.ClampMode;
  if (headerDefault && c.Tension == def.Tension && IsFlat(c)) return c.KeyY(0);
  json j = json::object();
  json keys = json::array();
  for (const TSplineKey& k : c.AllKeys()) keys.push_back(json::array({k.x, k.y}));
  j["keys"] = std::move(keys);
  if (c.Tension != def.Tension) j["tension"] = c.Tension;
  if (!c.Name.empty()) j["name"] = NameJson(c.Name);
  if (c.XKind != def.XKind) j["axis"] = ChoiceJson(c.XKind, AxisNames);
  if (c.MinValue != def.MinValue || c.MaxValue != def.MaxValue) j["range"] = json::array({c.MinValue, c.MaxValue});
  if (c.ClampMode != def.ClampMode) j["clamp"] = ChoiceJson(c.ClampMode, ClampNames);
  return j;
}

// The bounds a key's value must keep, as the editor clamps it.
void CheckValue(const TVarSeries& c, double v, const std::string& path) {
  if (!ValueWithinClamp(c, v)) {
    const bool low = c.ClampMode == ClampMin || c.ClampMode == ClampBoth;
    const bool high = c.ClampMode == ClampMax || c.ClampMode == ClampBoth;
    const std::string range = low && high ? Shown(c.MinValue) + " to " + Shown(c.MaxValue)
                              : low       ? "at least " + Shown(c.MinValue)
                                          : "at most " + Shown(c.MaxValue);
    Fail(path, "value " + Shown(v) + " is outside the curve's range (" + range + ")");
  }
}

// A curve: a number for a flat one, or {"keys": [[x, value], ...], "tension": t, ...}.
void CurveFrom(const json& j, TVarSeries& c, const std::string& path) {
  if (j.is_number()) {
    const double v = AnyNumber(j, path);
    CheckValue(c, v, path);
    c.Clear();
    c.AddKey(0, v);
    c.AddKey(FarKeyX, v);
    return;
  }
  if (!j.is_object()) Fail(path, "expected a number (a flat curve) or an object with \"keys\"");
  OnlyKeys(j, path, {"keys", "tension", "name", "axis", "range", "clamp"});
  if (j.contains("name")) c.Name = Name(j["name"], Sub(path, "name"), CurveNameLength);
  if (j.contains("axis")) c.XKind = static_cast<uint8_t>(Choice(j["axis"], Sub(path, "axis"), AxisNames));
  if (j.contains("clamp")) c.ClampMode = static_cast<uint8_t>(Choice(j["clamp"], Sub(path, "clamp"), ClampNames));
  if (j.contains("range")) {
    const json& r = j["range"];
    const std::string p = Sub(path, "range");
    if (!r.is_array() || r.size() != 2) Fail(p, "expected [lowest, highest]");
    const double lo = AnyNumber(r[0], Sub(p, 0)), hi = AnyNumber(r[1], Sub(p, 1));
    if (lo > hi) Fail(p, "the lowest value is above the highest");
    c.SetRange(lo, hi);
  }
  if (j.contains("tension")) c.Tension = AnyNumber(j["tension"], Sub(path, "tension"));
  if (!j.contains("keys")) Fail(path, "a curve object needs \"keys\": [[x, value], ...]");

  const json& keys = j["keys"];
  const std::string kp = Sub(path, "keys");
  if (!keys.is_array()) Fail(kp, "expected a list of [x, value] pairs");
  if (keys.size() < 2) Fail(kp, "a curve needs at least two keys: the first at x 0 and one after it");
  std::vector<TSplineKey> read;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string p = Sub(kp, i);
    if (!keys[i].is_array() || keys[i].size() != 2) Fail(p, "expected a key [x, value]");
    TSplineKey k{AnyNumber(keys[i][0], Sub(p, 0)), AnyNumber(keys[i][1], Sub(p, 1))};
    // The editor's own rules (one predicate for both), each said in words.
    switch (KeyFault(c, i ? &read.back() : nullptr, k, i + 1 == keys.size())) {
      case TKeyFault::None: break;
      case TKeyFault::NotFinite: Fail(p, "a key needs finite numbers"); break;
      case TKeyFault::FirstNotAtZero: Fail(Sub(p, 0), "the first key must lie at x 0, not " + Shown(k.x)); break;
      case TKeyFault::TooClose:
        Fail(Sub(p, 0), "keys must go in order of x, each at least 1 after the one before (" + Shown(read.back().x) +
                            " then " + Shown(k.x) + ")");
        break;
      case TKeyFault::BeyondPercent:
        Fail(Sub(p, 0), "x " + Shown(k.x) + " is beyond 100 percent; only a last key may lie further, at 8192");
        break;
      case TKeyFault::ValueOutside: CheckValue(c, k.y, Sub(p, 1)); break;
    }
    read.push_back(k);
  }
  c.Clear();
  for (const TSplineKey& k : read) c.AddKey(k.x, k.y);
}

// The curves of a variable set under their names; writing leaves out those at their default.
struct TCurveName {
  const char* Key;
  int Index;  // in the set's stored order
};

void CurvesToJson(json& j, const TVariableSystem& set, const TVariableSystem& def, const std::vector<TCurveName>& names) {
  for (const TCurveName& n : names) {
    const TVarSeries& c = set.Variable(n.Index);
    const TVarSeries& d = def.Variable(n.Index);
    if (!SameCurve(c, d)) j[n.Key] = CurveJson(c, d);
  }
}

void CurvesFromJson(const json& j, TVariableSystem& set, const std::vector<TCurveName>& names, const std::string& path) {
  for (const TCurveName& n : names)
    if (j.contains(n.Key)) CurveFrom(j[n.Key], set.Variable(n.Index), Sub(path, n.Key));
}

// Particle system curves in the order the properties tree shows them.
const std::vector<TCurveName> SystemCurveNames = {
    {"flow", 7},        {"flowJitter", 8}, {"size", 0},      {"speed", 1},      {"orientation", 2},
    {"gravity", 3},     {"alpha", 4},      {"intensity", 5}, {"visibility", 6},
};
const std::vector<TCurveName> EmitterCurveNames = {
    {"focus", 0},           {"focusJitter", 11},          {"lifespan", 1},       {"lifespanJitter", 12},
    {"baseSize", 2},        {"baseSizeJitter", 13},       {"baseSpeed", 3},      {"baseSpeedJitter", 14},
    {"baseOrientation", 5}, {"baseOrientationJitter", 15}, {"baseGravity", 4},    {"baseAlpha", 6},
    {"baseAlphaJitter", 16}, {"baseIntensity", 7},         {"baseIntensityJitter", 17},
    {"rotation", 8},        {"rotationJitter", 18},       {"vortex", 9},         {"vortexJitter", 19},
    {"mass", 10},           {"massJitter", 20},
};

// ---- Gradients.

std::string ColorText(TColor c) {
  char buf[16];
  const unsigned r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF, top = (c >> 24) & 0xFF;
  if (top)
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", top, r, g, b);
  else
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", r, g, b);
  return buf;
}

TColor ColorFrom(const json& j, const std::string& path) {
  const char* what = "expected a colour \"#rrggbb\" (red, green, blue in hexadecimal)";
  if (!j.is_string()) Fail(path, what);
  const std::string s = j.get<std::string>();
  if ((s.size() != 7 && s.size() != 9) || s[0] != '#') Fail(path, what);
  uint32_t v = 0;
  const auto r = std::from_chars(s.data() + 1, s.data() + s.size(), v, 16);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) Fail(path, what);
  const uint32_t top = s.size() == 9 ? v >> 24 : 0;
  const uint32_t rgb = v & 0xFFFFFF;
  return (top << 24) | ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

bool SameGradient(const TColorSeries& a, const TColorSeries& b) {
  if (a.Count() != b.Count() || a.Reserved() != b.Reserved()) return false;
  for (int i = 0; i < a.Count(); ++i)
    if (a.Stop(i).Position != b.Stop(i).Position || a.Stop(i).Color != b.Stop(i).Color) return false;
  return true;
}

void GradientInto(json& j, const TColorSeries& g) {
  json stops = json::array();
  for (int i = 0; i < g.Count(); ++i) stops.push_back(json::array({g.Stop(i).Position, ColorText(g.Stop(i).Color)}));
  j["stops"] = std::move(stops);
  const auto& reserved = g.Reserved();
  bool zero = true;
  for (uint8_t b : reserved) zero = zero && b == 0;
  if (!zero) {
    std::string hex;
    char buf[4];
    for (uint8_t b : reserved) {
      std::snprintf(buf, sizeof buf, "%02x", b);
      hex += buf;
    }
    j["reserved"] = hex;
  }
}

void GradientRead(const json& j, TColorSeries& g, const std::string& path) {
  std::array<uint8_t, TColorSeries::ReservedSize> reserved{};
  if (j.contains("reserved")) {
    const std::string p = Sub(path, "reserved");
    const std::string hex = Text(j["reserved"], p, reserved.size() * 2);
    if (hex.size() != reserved.size() * 2) Fail(p, "expected " + std::to_string(reserved.size() * 2) + " hexadecimal digits");
    for (size_t i = 0; i < reserved.size(); ++i) {
      const auto r = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, reserved[i], 16);
      if (r.ec != std::errc() || r.ptr != hex.data() + 2 * i + 2) Fail(p, "expected hexadecimal digits");
    }
  }
  std::vector<TColorStop> stops;
  if (j.contains("stops")) {
    const json& s = j["stops"];
    const std::string sp = Sub(path, "stops");
    if (!s.is_array()) Fail(sp, "expected a list of [position, \"#rrggbb\"] stops");
    if (s.empty()) Fail(sp, "a gradient needs at least one stop");
    for (size_t i = 0; i < s.size(); ++i) {
      const std::string p = Sub(sp, i);
      if (!s[i].is_array() || s[i].size() != 2) Fail(p, "expected a stop [position, \"#rrggbb\"]");
      const double position = Number(s[i][0], Sub(p, 0), 0, std::numeric_limits<double>::max());
      if (!stops.empty() && position < stops.back().Position)
        Fail(Sub(p, 0), "stops must go in order of position (" + Shown(stops.back().Position) + " then " +
                            Shown(position) + ")");
      stops.push_back({position, ColorFrom(s[i][1], Sub(p, 1))});
    }
  } else {
    stops.push_back({1, ColorWhite});
  }
  g.Assign(stops, reserved);
}

// A system's gradient with its colour mode: {"mode": ..., "stops": [...]}.
json ColorJson(const TColorSeries& g, int32_t mode, const TColorSeries& defG, int32_t defMode) {
  json j = json::object();
  if (mode != defMode) j["mode"] = ChoiceJson(mode, ColorModeNames);
  if (!SameGradient(g, defG)) GradientInto(j, g);
  return j;
}

void ColorFrom(const json& j, TColorSeries& g, int32_t& mode, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path, {"mode", "stops", "reserved"});
  if (j.contains("mode")) mode = Choice(j["mode"], Sub(path, "mode"), ColorModeNames);
  if (j.contains("stops") || j.contains("reserved")) GradientRead(j, g, path);
}

// ---- Image maps.

json MapsJson(const TParticleSystem& s, const TParticleSystem& def) {
  json j = json::object();
  if (s.MapMode != def.MapMode) j["mode"] = ChoiceJson(s.MapMode, MapModeNames);
  if (s.MapCycleTime != def.MapCycleTime) j["cycleTime"] = s.MapCycleTime;
  if (s.MapIndex != def.MapIndex) j["imageNumber"] = s.MapIndex;
  bool sameImages = s.Maps.ImageCount() == def.Maps.ImageCount();
  for (int i = 0; sameImages && i < s.Maps.ImageCount(); ++i)
    sameImages = s.Maps.NameAt(i) == def.Maps.NameAt(i) && s.Maps.OptionsAt(i) == def.Maps.OptionsAt(i);
  if (!sameImages) {
    const TParticleMapOptions defaults;
    json images = json::array();
    for (int i = 0; i < s.Maps.ImageCount(); ++i) {
      const TParticleMapOptions& o = s.Maps.OptionsAt(i);
      json image = json::object();
      image["file"] = s.Maps.NameAt(i);
      if (o.AlphaMaster != defaults.AlphaMaster) image["alphaMaster"] = FloatJson(o.AlphaMaster);
      if (o.Flip != defaults.Flip) image["flip"] = ChoiceJson(o.Flip, FlipNames);
      if (o.OriginX != defaults.OriginX || o.OriginY != defaults.OriginY)
        image["origin"] = json::array({FloatJson(o.OriginX), FloatJson(o.OriginY)});
      images.push_back(std::move(image));
    }
    j["images"] = std::move(images);
  }
  return j;
}

void MapsFrom(const json& j, TParticleSystem& s, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path, {"mode", "cycleTime", "imageNumber", "images"});
  if (j.contains("mode")) s.MapMode = Choice(j["mode"], Sub(path, "mode"), MapModeNames);
  if (j.contains("cycleTime")) s.MapCycleTime = Integer(j["cycleTime"], Sub(path, "cycleTime"), 0, 1024);
  if (j.contains("images")) {
    const json& images = j["images"];
    const std::string ip = Sub(path, "images");
    if (!images.is_array()) Fail(ip, "expected a list of images");
    if (images.empty()) Fail(ip, "a system needs at least one image (\"Default\" is the built-in one)");
    std::vector<TParticleMapSource::TEntry> entries;
    for (size_t i = 0; i < images.size(); ++i) {
      const std::string p = Sub(ip, i);
      TParticleMapSource::TEntry e;
      if (images[i].is_string()) {
        e.Name = images[i].get<std::string>();
      } else {
        Object(images[i], p);
        OnlyKeys(images[i], p, {"file", "alphaMaster", "flip", "origin"});
        if (!images[i].contains("file")) Fail(p, "an image needs a \"file\" (a path, or \"Default\")");
        e.Name = Text(images[i]["file"], Sub(p, "file"), 1u << 20);
        if (images[i].contains("alphaMaster"))
          e.Options.AlphaMaster = Float(images[i]["alphaMaster"], Sub(p, "alphaMaster"), 0, 1);
        if (images[i].contains("flip"))
          e.Options.Flip = static_cast<uint8_t>(Choice(images[i]["flip"], Sub(p, "flip"), FlipNames));
        if (images[i].contains("origin")) {
          const json& o = images[i]["origin"];
          const std::string op = Sub(p, "origin");
          if (!o.is_array() || o.size() != 2) Fail(op, "expected [x, y], fractions of the image from its top left");
          e.Options.OriginX = Float(o[0], Sub(op, 0), 0, 1);
          e.Options.OriginY = Float(o[1], Sub(op, 1), 0, 1);
        }
      }
      if (e.Name.empty()) Fail(p, "an image needs a file name");
      entries.push_back(std::move(e));
    }
    s.Maps.Assign(std::move(entries));
  }
  if (j.contains("imageNumber"))
    s.MapIndex = Integer(j["imageNumber"], Sub(path, "imageNumber"), 0, s.Maps.ImageCount() - 1);
}

// ---- Tools.

struct TToolFields {
  const char* Strength;  // the strength curve's key; its jitter curve adds "Jitter"
  bool HasScale;
  double ScaleLeast;
  const char* KindByte;  // "absorbs", "falloff" or null
};

TToolFields FieldsOf(TToolKind kind) {
  switch (kind) {
    case ToolDeflector: return {"elasticity", true, 0, "absorbs"};
    case ToolFan: return {"power", true, 1, "falloff"};
    case ToolAttractor:
    case ToolRepulsor: return {"power", true, 0, "falloff"};
    case ToolLeader: return {"tension", true, 0, "falloff"};
    case ToolGravitron: return {"power", true, 1, nullptr};
    default: return {"power", false, 0, nullptr};
  }
}

uint8_t* KindByteOf(TParticleModifier* m) {
  if (auto* d = dynamic_cast<TPlaneDeflectorModifier*>(m)) return &d->Absorbs;
  if (auto* f = dynamic_cast<TPlaneFanModifier*>(m)) return &f->Falloff;
  if (auto* a = dynamic_cast<TAttractModifier*>(m)) return &a->Falloff;
  return nullptr;
}

}  // namespace

// ---- Systems.

TSettingsJson SystemToSettings(const TEmitter& slot) {
  TEmitterObject owner;
  const TEmitter& def = owner.AddSystem();
  const TParticleSystem& s = slot.System;
  const TParticleSystem& ds = def.System;
  const TParticleEmitter& e = slot.Emitter;
  const TParticleEmitter& de = def.Emitter;

  json j = json::object();
  j["name"] = NameJson(slot.Name);
  if (slot.Enabled != def.Enabled) j["enabled"] = slot.Enabled;
  if (s.SystemLifespan != ds.SystemLifespan) j["systemLifespan"] = s.SystemLifespan;
  if (s.SystemLives != ds.SystemLives) j["systemLives"] = s.SystemLives;
  if (e.EmitterShape != de.EmitterShape) j["emitterShape"] = ChoiceJson(e.EmitterShape, ShapeNames);
  if (e.EmitterRadius != de.EmitterRadius) j["emitterRadius"] = FloatJson(e.EmitterRadius);
  if (e.FocusShape != de.FocusShape) j["focusShape"] = ChoiceJson(e.FocusShape, FocusShapeNames);
  CurvesToJson(j, e, de, {EmitterCurveNames.begin(), EmitterCurveNames.begin() + 2});
  CurvesToJson(j, s, ds, {SystemCurveNames.begin(), SystemCurveNames.begin() + 2});
  CurvesToJson(j, e, de, {EmitterCurveNames.begin() + 2, EmitterCurveNames.end()});
  CurvesToJson(j, s, ds, {SystemCurveNames.begin() + 2, SystemCurveNames.end()});
  if (s.RenderMode != ds.RenderMode) j["renderMode"] = ChoiceJson(s.RenderMode, RenderModeNames);
  json maps = MapsJson(s, ds);
  if (!maps.empty()) j["imageMaps"] = std::move(maps);
  json particle = ColorJson(s.ParticleColors, s.ParticleColorMode, ds.ParticleColors, ds.ParticleColorMode);
  if (!particle.empty()) j["particleColor"] = std::move(particle);
  json system = ColorJson(s.SystemColors, s.SystemColorMode, ds.SystemColors, ds.SystemColorMode);
  if (!system.empty()) j["systemColor"] = std::move(system);
  if (s.MaxParticleSize != ds.MaxParticleSize) j["maxRenderedParticleSize"] = s.MaxParticleSize;
  if (s.SpatialDither != ds.SpatialDither) j["spatialDither"] = FloatJson(s.SpatialDither);
  return j;
}

void SystemFromSettings(const TSettingsJson& j, TEmitter& slot, const std::string& path) {
  Object(j, path);
  std::vector<std::string> known = {"name",        "enabled",       "systemLifespan",          "systemLives",
                                    "emitterShape", "emitterRadius", "focusShape",              "renderMode",
                                    "imageMaps",    "particleColor", "systemColor",             "maxRenderedParticleSize",
                                    "spatialDither"};
  for (const TCurveName& n : EmitterCurveNames) known.push_back(n.Key);
  for (const TCurveName& n : SystemCurveNames) known.push_back(n.Key);
  OnlyKeys(j, path, known);

  TParticleSystem& s = slot.System;
  TParticleEmitter& e = slot.Emitter;
  if (j.contains("name")) slot.Name = Name(j["name"], Sub(path, "name"), ObjectNameLength);
  if (j.contains("enabled")) slot.Enabled = Boolean(j["enabled"], Sub(path, "enabled"));
  if (j.contains("systemLifespan")) s.SystemLifespan = Integer(j["systemLifespan"], Sub(path, "systemLifespan"), 0, 8192);
  if (j.contains("systemLives")) s.SystemLives = Integer(j["systemLives"], Sub(path, "systemLives"), 0, 8192);
  if (j.contains("emitterShape")) e.EmitterShape = Choice(j["emitterShape"], Sub(path, "emitterShape"), ShapeNames);
  if (j.contains("emitterRadius")) e.EmitterRadius = Float(j["emitterRadius"], Sub(path, "emitterRadius"), 0, 100);
  if (j.contains("focusShape")) e.FocusShape = Choice(j["focusShape"], Sub(path, "focusShape"), FocusShapeNames);
  CurvesFromJson(j, e, EmitterCurveNames, path);
  CurvesFromJson(j, s, SystemCurveNames, path);
  if (j.contains("renderMode")) s.RenderMode = Choice(j["renderMode"], Sub(path, "renderMode"), RenderModeNames);
  if (j.contains("imageMaps")) MapsFrom(j["imageMaps"], s, Sub(path, "imageMaps"));
  if (j.contains("particleColor"))
    ColorFrom(j["particleColor"], s.ParticleColors, s.ParticleColorMode, Sub(path, "particleColor"));
  if (j.contains("systemColor"))
    ColorFrom(j["systemColor"], s.SystemColors, s.SystemColorMode, Sub(path, "systemColor"));
  if (j.contains("maxRenderedParticleSize"))
    s.MaxParticleSize = Integer(j["maxRenderedParticleSize"], Sub(path, "maxRenderedParticleSize"), 256, 8192);
  if (j.contains("spatialDither")) s.SpatialDither = Float(j["spatialDither"], Sub(path, "spatialDither"), 0, 1);
}

// ---- Emitters.

TSettingsJson EmitterToSettings(const TEmitterObject& emitter) {
  const TEmitterObject def;
  json j = json::object();
  j["name"] = NameJson(emitter.Name);
  if (emitter.Enabled != def.Enabled) j["enabled"] = FlagJson(emitter.Enabled);
  if (emitter.FrameOffset != def.FrameOffset) j["frameOffset"] = emitter.FrameOffset;
  if (emitter.FreezeFrame != def.FreezeFrame) j["freezeFrame"] = emitter.FreezeFrame;
  json boxes = json::array();
  for (const TAutoScaleBox& box : AutoScaleBoxes)
    if ((box.Height ? emitter.HeightScaling : emitter.WidthScaling) & box.Bit) boxes.push_back(box.Caption);
  if (!boxes.empty()) j["autoScale"] = std::move(boxes);
  if (!SameCurve(emitter.Visibility, def.Visibility)) j["visibility"] = CurveJson(emitter.Visibility, def.Visibility);
  json systems = json::array();
  for (const auto& slot : emitter.Systems) systems.push_back(SystemToSettings(*slot));
  j["systems"] = std::move(systems);
  return j;
}

void EmitterFromSettings(const TSettingsJson& j, TEmitterObject& emitter) {
  const std::string path;
  Object(j, path);
  OnlyKeys(j, path, {"name", "enabled", "frameOffset", "freezeFrame", "autoScale", "visibility", "systems"});
  if (j.contains("name")) emitter.Name = Name(j["name"], "/name", ObjectNameLength);
  if (j.contains("enabled")) emitter.Enabled = Flag(j["enabled"], "/enabled");
  if (j.contains("frameOffset")) emitter.FrameOffset = Integer(j["frameOffset"], "/frameOffset", -8192, 8192);
  if (j.contains("freezeFrame")) emitter.FreezeFrame = Integer(j["freezeFrame"], "/freezeFrame", 0, 8192);
  if (j.contains("autoScale")) {
    const json& a = j["autoScale"];
    std::vector<std::string> captions;
    for (const TAutoScaleBox& box : AutoScaleBoxes) captions.push_back(box.Caption);
    if (!a.is_array()) Fail("/autoScale", "expected a list of the ticked boxes, of " + Listing(captions));
    emitter.WidthScaling = emitter.HeightScaling = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      const TAutoScaleBox& box = AutoScaleBoxes[Choice(a[i], Sub("/autoScale", i), captions)];
      (box.Height ? emitter.HeightScaling : emitter.WidthScaling) |= box.Bit;
    }
  }
  if (j.contains("visibility")) CurveFrom(j["visibility"], emitter.Visibility, "/visibility");
  emitter.Systems.clear();
  if (j.contains("systems")) {
    const json& systems = j["systems"];
    if (!systems.is_array()) Fail("/systems", "expected a list of particle systems");
    if (systems.size() > static_cast<size_t>(MaxSystemsPerEmitter)) {
      // Each system holds its thirty curves and its pictures' list whatever the text says.
      char memory[32];
      std::snprintf(memory, sizeof memory, "%.1f GB",
                    static_cast<double>(systems.size()) * (sizeof(TEmitter) + 2048) / double(1 << 30));
      Fail("/systems", std::to_string(systems.size()) + " particle systems would need about " + memory +
                           " of memory; an emitter holds at most " + std::to_string(MaxSystemsPerEmitter));
    }
    for (size_t i = 0; i < systems.size(); ++i) SystemFromSettings(systems[i], emitter.AddSystem(), Sub("/systems", i));
  }
}

// ---- Tools.

TSettingsJson ToolToSettings(const TToolObject& tool) {
  json j = json::object();
  const TToolKind kind = tool.Kind();
  TParticleModifier* m = tool.Modifier();
  j["kind"] = KindNames[static_cast<size_t>(kind)];
  j["name"] = NameJson(tool.Name);
  if (!m) return j;
  const TToolObject fresh(kind);
  TParticleModifier* d = fresh.Modifier();
  if (m->Active != d->Active) j["active"] = m->Active;
  const TToolFields f = FieldsOf(kind);
  const std::string jitter = std::string(f.Strength) + "Jitter";
  CurvesToJson(j, *m, *d, {{f.Strength, 0}, {jitter.c_str(), 1}});
  auto* bm = dynamic_cast<TBasicModifier*>(m);
  auto* bd = dynamic_cast<TBasicModifier*>(d);
  if (bm && bd && bm->Scale != bd->Scale) j["scale"] = FloatJson(bm->Scale);
  if (f.KindByte) {
    const uint8_t v = *KindByteOf(m);
    if (v != *KindByteOf(d)) {
      if (kind == ToolDeflector)
        j["absorbs"] = FlagJson(v);
      else
        j["falloff"] = ChoiceJson(v, FalloffNames);
    }
  }
  if (m->ToolLifespan != d->ToolLifespan) j["toolLifespan"] = m->ToolLifespan;
  if (m->ToolLives != d->ToolLives) j["toolLives"] = m->ToolLives;
  if (const auto* g = dynamic_cast<const TGravitronModifier*>(m); g && g->Infinite) j["infinite"] = true;
  return j;
}

void ToolFromSettings(const TSettingsJson& j, TToolObject& tool, TToolKind expected) {
  Object(j, "");
  std::vector<std::string> kinds(KindNames.begin() + 1, KindNames.end());
  TToolKind kind = expected;
  if (j.contains("kind")) {
    kind = static_cast<TToolKind>(Choice(j["kind"], "/kind", kinds) + 1);
    if (expected != ToolNone && kind != expected)
      Fail("/kind", "this object is a " + KindNames[static_cast<size_t>(expected)] + ", not a " +
                        KindNames[static_cast<size_t>(kind)]);
  }
  if (kind == ToolNone) Fail("", "a tool needs a \"kind\": one of " + Listing(kinds));
  const TToolFields f = FieldsOf(kind);
  const std::string jitter = std::string(f.Strength) + "Jitter";
  std::vector<std::string> known = {"kind", "name", "active", f.Strength, jitter, "scale", "toolLifespan", "toolLives"};
  if (f.KindByte) known.push_back(f.KindByte);
  // The panel's captions read "Tool Lifespan" and "Tool Lives"; the short forms are a likely slip.
  for (const auto& [shortKey, key] : {std::pair{"lifespan", "toolLifespan"}, std::pair{"lives", "toolLives"}})
    if (j.contains(shortKey)) Fail(Sub("", shortKey), std::string("unknown key; did you mean \"") + key + "\"?");
  if (kind == ToolGravitron) known.push_back("infinite");
  else if (j.contains("infinite"))
    Fail("/infinite", "only a gravitron has an infinitely large field; leave this key out");
  OnlyKeys(j, "", known);

  // A new modifier of the kind, through the tool's own record reader.
  TToolObject fresh(kind);
  TMemoryStream bytes;
  fresh.WriteTo(bytes);
  bytes.Seek(0);
  tool.ReadFrom(bytes);

  TParticleModifier* m = tool.Modifier();
  if (j.contains("name")) tool.Name = Name(j["name"], "/name", ObjectNameLength);
  if (j.contains("active")) m->Active = Boolean(j["active"], "/active");
  CurvesFromJson(j, *m, {{f.Strength, 0}, {jitter.c_str(), 1}}, "");
  if (j.contains("scale")) dynamic_cast<TBasicModifier&>(*m).Scale = Float(j["scale"], "/scale", f.ScaleLeast, 100);
  if (f.KindByte && j.contains(f.KindByte)) {
    const std::string p = Sub("", f.KindByte);
    *KindByteOf(m) = kind == ToolDeflector ? Flag(j[f.KindByte], p) : static_cast<uint8_t>(Choice(j[f.KindByte], p, FalloffNames));
  }
  if (j.contains("toolLifespan")) m->ToolLifespan = Integer(j["toolLifespan"], "/toolLifespan", 0, ToolCountLimit);
  if (j.contains("toolLives")) m->ToolLives = Integer(j["toolLives"], "/toolLives", 0, ToolCountLimit);
  if (j.contains("infinite")) dynamic_cast<TGravitronModifier&>(*m).Infinite = Boolean(j["infinite"], "/infinite");
}

// ---- Gradient files.

TSettingsJson GradientToSettings(const TColorSeries& gradient) {
  json j = json::object();
  GradientInto(j, gradient);
  return j;
}

void GradientFromSettings(const TSettingsJson& j, TColorSeries& gradient, const std::string& path) {
  Object(j, path);
  OnlyKeys(j, path, {"stops", "reserved"});
  GradientRead(j, gradient, path);
}
