// Force tools in the scene: a name and the modifier that holds the tool's curves, settings and
// binding to its host scene object, with the stored tool record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ParticleModifier.h"
#include "scene/ObjectId.h"
#include "scene/ToolKind.h"

class TStream;

constexpr int32_t ToolRecordVersion = 100;
// The most frames of Tool Lifespan and of Tool Lives the panel and the stored forms take.
constexpr int32_t ToolCountLimit = 8192;


// A new modifier of a kind; ToolNone gives null.
std::unique_ptr<TParticleModifier> CreateModifier(TToolKind kind);
// The modifier named by a stored kind name; any name not among the six gives a leader.
std::unique_ptr<TParticleModifier> CreateModifierNamed(const std::string& kindName);
// True for the six names a tool record stores ("Leader" among them).
bool KnownKindName(const std::string& kindName);
// The kind of a modifier, tested leader and repulsor before the attractor they derive from.
TToolKind KindOf(const TParticleModifier* modifier);

class TToolObject {
 public:
  // A tool holding a new modifier of a kind (none: no modifier until ReadFrom), which is added
  // to ActiveModifiers. The name is the kind's name.
  explicit TToolObject(TToolKind kind = ToolNone);
  // Removes the modifier from ActiveModifiers and destroys it.
  ~TToolObject();
  TToolObject(const TToolObject&) = delete;
  TToolObject& operator=(const TToolObject&) = delete;

  TObjectId Id = NewObjectId();  // never reused
  std::string Name = "Tool";

  TParticleModifier* Modifier() const { return ModifierPtr.get(); }
  TToolKind Kind() const { return KindOf(ModifierPtr.get()); }
  tsxSOBJ* SceneObject() const { return ModifierPtr ? ModifierPtr->SceneObject : nullptr; }

  // The tool record. Its trailing reserved block is omitted at the end of a stream unless it
  // carries the kept settings (ToolLifespan, ToolLives, the gravitron's Infinite) behind its
  // marker; a tool at their defaults writes the block as zeros, as records always were.
  void WriteTo(TStream& s, bool finalRecord = true) const;
  // Reads a tool record: the modifier named in it replaces the current one (and keeps the
  // current scene object). A reserved block without the marker leaves the kept settings at 0,
  // 0 and off.
  void ReadFrom(TStream& s);
  // The kind name the last ReadFrom found in the record.
  std::string StoredKindName;

 private:
  void Adopt(std::unique_ptr<TParticleModifier> modifier);

  std::unique_ptr<TParticleModifier> ModifierPtr;
};
