// The JSON mapping of emitters, systems and gradients (the tools' is in ToolSettings.cpp).
// Writers compare with a new object and keep only what differs; readers start from a new
// object, check every key, type and range against what the panels allow, and refuse the whole
// document at the first fault.
#include "scene/Settings.h"

#include <charconv>
#include <cstdio>

#include "engine/ColorSeries.h"
#include "engine/ParticleMapSource.h"
#include "scene/SettingsFields.h"

using namespace settings;

namespace {

const std::vector<std::string> ShapeNames = {"Point", "Plane", "Sphere", "Disc", "Surface"};
const std::vector<std::string> FocusShapeNames = {"Sphere", "Disc"};
const std::vector<std::string> RenderModeNames = {"Pure Alpha", "Illuminate", "Paint", "Color Alpha"};
const std::vector<std::string> ColorModeNames = {"Gradient Color", "Random Color"};
const std::vector<std::string> MapModeNames = {"Fixed", "Random", "Cycle"};
const std::vector<std::string> FlipNames = {"No Transform", "Flip Horizontal", "Flip Vertical", "Flip Both"};

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
