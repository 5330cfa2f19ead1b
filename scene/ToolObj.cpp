// Tool objects: creating modifiers by kind, keeping ActiveModifiers in step, the tool record.
#include "scene/ToolObj.h"

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"

namespace {
constexpr size_t ToolReservedSize = 128;
}  // namespace

std::unique_ptr<TParticleModifier> CreateModifier(TToolKind kind) {
  switch (kind) {
    case ToolDeflector: return std::make_unique<TPlaneDeflectorModifier>();
    case ToolFan: return std::make_unique<TPlaneFanModifier>();
    case ToolAttractor: return std::make_unique<TAttractModifier>();
    case ToolRepulsor: return std::make_unique<TRepulseModifier>();
    case ToolLeader: return std::make_unique<TPathingModifier>();
    case ToolGravitron: return std::make_unique<TGravitronModifier>();
    default: return nullptr;
  }
}

std::unique_ptr<TParticleModifier> CreateModifierNamed(const std::string& kindName) {
  if (kindName == "Fan") return CreateModifier(ToolFan);
  if (kindName == "Deflector") return CreateModifier(ToolDeflector);
  if (kindName == "Attractor") return CreateModifier(ToolAttractor);
  if (kindName == "Repulsor") return CreateModifier(ToolRepulsor);
  if (kindName == "Gravitron") return CreateModifier(ToolGravitron);
  return CreateModifier(ToolLeader);
}

bool KnownKindName(const std::string& kindName) {
  for (const char* known : {"Deflector", "Fan", "Attractor", "Repulsor", "Leader", "Gravitron"})
    if (kindName == known) return true;
  return false;
}

TToolKind KindOf(const TParticleModifier* modifier) {
  if (dynamic_cast<const TPlaneDeflectorModifier*>(modifier)) return ToolDeflector;
  if (dynamic_cast<const TPlaneFanModifier*>(modifier)) return ToolFan;
  if (dynamic_cast<const TPathingModifier*>(modifier)) return ToolLeader;
  if (dynamic_cast<const TRepulseModifier*>(modifier)) return ToolRepulsor;
  if (dynamic_cast<const TAttractModifier*>(modifier)) return ToolAttractor;
  if (dynamic_cast<const TGravitronModifier*>(modifier)) return ToolGravitron;
  return ToolNone;
}

TToolObject::TToolObject(TToolKind kind) {
  Adopt(CreateModifier(kind));
  if (ModifierPtr) Name = ModifierPtr->KindName;
}

TToolObject::~TToolObject() { Adopt(nullptr); }

void TToolObject::Adopt(std::unique_ptr<TParticleModifier> modifier) {
  if (ModifierPtr) RemoveActiveModifier(ModifierPtr.get());
  ModifierPtr = std::move(modifier);
  if (ModifierPtr) ActiveModifiers.push_back(ModifierPtr.get());
}

void TToolObject::WriteTo(TStream& s, bool finalRecord) const {
  WriteText(s, ObjectNameLength, Name);
  WriteText(s, ToolKindNameLength, ModifierPtr ? ModifierPtr->KindName : std::string());
  if (ModifierPtr) ModifierPtr->WriteTo(s);
  WriteField(s, static_cast<uint8_t>(ModifierPtr && ModifierPtr->Active ? 1 : 0));
  if (!finalRecord) WriteZeros(s, ToolReservedSize);
}

void TToolObject::ReadFrom(TStream& s) {
  ReadText(s, ObjectNameLength, Name);
  std::string kindName;
  ReadText(s, ToolKindNameLength, kindName);
  StoredKindName = kindName;
  tsxSOBJ* sceneObject = SceneObject();
  Adopt(CreateModifierNamed(kindName));
  ModifierPtr->SceneObject = sceneObject;
  ModifierPtr->ReadFrom(s);
  uint8_t active = 1;
  if (ReadField(s, active)) ModifierPtr->Active = active != 0;
  s.Skip(ToolReservedSize);
}
