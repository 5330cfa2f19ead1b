// The tool mapping: a force tool's record as readable settings and back. Every kind has its
// strength curve (and its jitter) under the name its panel shows, most a scale, some a byte of
// their own (the deflector's absorbs, the falloff of fans, attractors, repulsors and leaders).
#include <utility>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Stream.h"
#include "scene/Settings.h"
#include "scene/SettingsFields.h"

using namespace settings;

namespace {

const std::vector<std::string> FalloffNames = {"None", "Linear", "Squared"};
const std::vector<std::string> KindNames = {"", "Deflector", "Fan", "Attractor", "Repulsor", "Leader", "Gravitron"};

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
