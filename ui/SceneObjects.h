// What panels keep of the scene's plug-in objects: ids, and for the data inside an object its
// owner's id and a role. Every use resolves them anew, to the live object or to none, so a panel
// never touches an object the host deleted, a system that was deleted, or slots that loading
// replaced.
#pragma once

#include <cstdint>

#include "scene/ObjectId.h"

class TColorSeries;
class TEmitter;
class TEmitterMan;
class TEmitterObject;
class TParticleMapSource;
class TToolObject;
class TToolbox;
class TVarSeries;

// The curve sets an object holds.
enum class TCurveSet : uint8_t {
  System,      // a slot's particle system (Owner: the slot)
  Emitter,     // a slot's emission part (Owner: the slot)
  Visibility,  // an emitter object's visibility curve (Owner: the emitter object; Index 0)
  Tool,        // a tool's modifier (Owner: the tool)
};

// The Flow curve's place in a particle system's set.
constexpr int SystemFlowCurve = 7;

struct TCurveRef {
  TCurveSet Set = TCurveSet::System;
  TObjectId Owner = NoObject;
  int Index = 0;  // in the set's stored order
  friend bool operator==(const TCurveRef&, const TCurveRef&) = default;
};

enum class TGradientRole : uint8_t { Particle, System };

struct TGradientRef {
  TObjectId Slot = NoObject;
  TGradientRole Role = TGradientRole::Particle;
  friend bool operator==(const TGradientRef&, const TGradientRef&) = default;
};

// An object with a stored record of its own: what an edit touches and undo restores.
enum class TRecordKind : uint8_t { Emitter, Slot, Tool };

struct TRecordRef {
  TRecordKind Kind = TRecordKind::Emitter;
  TObjectId Id = NoObject;
  friend bool operator==(const TRecordRef&, const TRecordRef&) = default;
};

class TSceneObjects {
 public:
  TSceneObjects(TEmitterMan& emitters, TToolbox& toolbox) : Emitters(emitters), Toolbox(toolbox) {}

  TEmitterObject* Emitter(TObjectId id) const;
  // A slot of any emitter object; owner, when given, receives its emitter object.
  TEmitter* Slot(TObjectId id, TEmitterObject** owner = nullptr) const;
  TToolObject* Tool(TObjectId id) const;
  TVarSeries* Curve(const TCurveRef& ref) const;
  TColorSeries* Gradient(const TGradientRef& ref) const;
  TParticleMapSource* Maps(TObjectId slot) const;

  // The record an edit of the curve changes.
  static TRecordRef RecordOf(const TCurveRef& ref);

  TEmitterMan& Emitters;
  TToolbox& Toolbox;
};
