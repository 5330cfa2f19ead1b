// Resolving the panels' references: a scan of the few objects a scene holds, on every use.
#include "ui/SceneObjects.h"

#include "ui/EmitterMan.h"
#include "ui/Toolbox.h"

TEmitterObject* TSceneObjects::Emitter(TObjectId id) const {
  for (const auto& e : Emitters.EmitterList)
    if (e->Id == id) return e.get();
  return nullptr;
}

TEmitter* TSceneObjects::Slot(TObjectId id, TEmitterObject** owner) const {
  for (const auto& e : Emitters.EmitterList)
    for (const auto& slot : e->Systems)
      if (slot->Id == id) {
        if (owner) *owner = e.get();
        return slot.get();
      }
  return nullptr;
}

TToolObject* TSceneObjects::Tool(TObjectId id) const {
  for (const auto& t : Toolbox.Tools)
    if (t->Id == id) return t.get();
  return nullptr;
}

namespace {

TVarSeries* Member(TVariableSystem& set, int index) {
  return index >= 0 && index < set.VariableCount() ? &set.Variable(index) : nullptr;
}

}  // namespace

TVarSeries* TSceneObjects::Curve(const TCurveRef& ref) const {
  switch (ref.Set) {
    case TCurveSet::System:
      if (TEmitter* slot = Slot(ref.Owner)) return Member(slot->System, ref.Index);
      return nullptr;
    case TCurveSet::Emitter:
      if (TEmitter* slot = Slot(ref.Owner)) return Member(slot->Emitter, ref.Index);
      return nullptr;
    case TCurveSet::Visibility:
      if (TEmitterObject* emitter = Emitter(ref.Owner); emitter && ref.Index == 0) return &emitter->Visibility;
      return nullptr;
    case TCurveSet::Tool:
      if (TToolObject* tool = Tool(ref.Owner); tool && tool->Modifier()) return Member(*tool->Modifier(), ref.Index);
      return nullptr;
  }
  return nullptr;
}

TColorSeries* TSceneObjects::Gradient(const TGradientRef& ref) const {
  TEmitter* slot = Slot(ref.Slot);
  if (!slot) return nullptr;
  return ref.Role == TGradientRole::Particle ? &slot->System.ParticleColors : &slot->System.SystemColors;
}

TParticleMapSource* TSceneObjects::Maps(TObjectId slot) const {
  TEmitter* s = Slot(slot);
  return s ? &s->System.Maps : nullptr;
}

TRecordRef TSceneObjects::RecordOf(const TCurveRef& ref) {
  switch (ref.Set) {
    case TCurveSet::Visibility: return {TRecordKind::Emitter, ref.Owner};
    case TCurveSet::Tool: return {TRecordKind::Tool, ref.Owner};
    default: return {TRecordKind::Slot, ref.Owner};
  }
}
