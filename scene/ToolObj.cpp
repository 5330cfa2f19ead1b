// Tool objects: creating modifiers by kind, keeping ActiveModifiers in step, the tool record.
#include "scene/ToolObj.h"

#include <algorithm>
#include <cstring>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"

namespace {
constexpr size_t ToolReservedSize = 128;

// The tool's kept settings ride at the start of the record's reserved block behind this marker:
// older readers skip the block unread, and a block without the marker (every record written
// before, all zeros) reads as the defaults.
constexpr char KeptMarker[8] = {'V', 'T', 'L', 'K', 'E', 'P', 'T', '1'};
// Marker, int32 ToolLifespan, int32 ToolLives, flag Infinite.
constexpr size_t KeptSize = sizeof KeptMarker + 4 + 4 + 1;
static_assert(KeptSize <= ToolReservedSize);

bool* InfiniteOf(TParticleModifier* m) {
  auto* g = dynamic_cast<TGravitronModifier*>(m);
  return g ? &g->Infinite : nullptr;
}

bool HasKeptSettings(const TParticleModifier* m) {
  const bool* infinite = InfiniteOf(const_cast<TParticleModifier*>(m));
  return m && (m->ToolLifespan != 0 || m->ToolLives != 0 || (infinite && *infinite));
}

// Lifespan and lives as the panel allows them; anything else in a damaged block is brought
// into that range rather than trusted.
int32_t KeptCount(int32_t v) { return std::clamp(v, int32_t{0}, ToolCountLimit); }
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
  // A tool at the defaults writes exactly what was always written (and nothing at the end of a
  // stream); one with kept settings needs the block even as the final record.
  if (!HasKeptSettings(ModifierPtr.get())) {
    if (!finalRecord) WriteZeros(s, ToolReservedSize);
    return;
  }
  s.Write(KeptMarker, sizeof KeptMarker);
  WriteField(s, ModifierPtr->ToolLifespan);
  WriteField(s, ModifierPtr->ToolLives);
  const bool* infinite = InfiniteOf(ModifierPtr.get());
  WriteField(s, static_cast<uint8_t>(infinite && *infinite ? 1 : 0));
  WriteZeros(s, ToolReservedSize - KeptSize);
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
  // The reserved block may be missing or short at the end of a stream: read only what is there,
  // so that a record without it does not count as cut short.
  uint8_t block[ToolReservedSize] = {};
  const size_t present = static_cast<size_t>(std::min<uint64_t>(s.Remaining(), ToolReservedSize));
  s.Read(block, present);
  if (present < KeptSize || std::memcmp(block, KeptMarker, sizeof KeptMarker) != 0) return;
  int32_t lifespan = 0, lives = 0;
  std::memcpy(&lifespan, block + sizeof KeptMarker, 4);
  std::memcpy(&lives, block + sizeof KeptMarker + 4, 4);
  ModifierPtr->ToolLifespan = KeptCount(lifespan);
  ModifierPtr->ToolLives = KeptCount(lives);
  if (bool* infinite = InfiniteOf(ModifierPtr.get())) *infinite = block[sizeof KeptMarker + 8] != 0;
}
