// Particles into columns.
#include "python/ParticleArrays.h"

#include "tools/Bake.h"

TParticleArrays CollectParticles(const TEmitterMan& manager, const TBirthOrder& ids, int frame) {
  TParticleArrays a;
  a.Frame = frame;
  for (const auto& emitter : manager.EmitterList)
    for (const auto& slot : emitter->Systems)
      for (const TParticle& p : slot->System.Particles) a.Count += p.Alive ? 1 : 0;
  const size_t n = a.Count;
  for (auto* v : {&a.Position, &a.Velocity, &a.Color}) v->reserve(3 * n);
  for (auto* v : {&a.Size, &a.Alpha, &a.Age, &a.Birth, &a.Lifespan, &a.Mass, &a.Angle, &a.Spin}) v->reserve(n);
  for (auto* v : {&a.Emitter, &a.Slot, &a.Index, &a.Map, &a.Id}) v->reserve(n);
  for (size_t e = 0; e < manager.EmitterList.size(); ++e) {
    const auto& slots = manager.EmitterList[e]->Systems;
    for (size_t s = 0; s < slots.size(); ++s) {
      const TParticleSystem& system = slots[s]->System;
      for (const TParticle& p : system.Particles) {
        if (!p.Alive) continue;
        a.Position.insert(a.Position.end(), {p.DisplayPosition.x, p.DisplayPosition.y, p.DisplayPosition.z});
        a.Velocity.insert(a.Velocity.end(), {p.Velocity.x, p.Velocity.y, p.Velocity.z});
        a.Color.insert(a.Color.end(), {p.Color.r, p.Color.g, p.Color.b});
        a.Size.push_back(p.Size);
        a.Alpha.push_back(p.Alpha);
        a.Age.push_back(system.Time - p.Birth);
        a.Birth.push_back(p.Birth);
        a.Lifespan.push_back(p.Lifespan);
        a.Mass.push_back(p.Mass);
        a.Angle.push_back(p.Angle);
        a.Spin.push_back(p.Spin);
        a.Emitter.push_back(static_cast<uint32_t>(e));
        a.Slot.push_back(static_cast<uint32_t>(s));
        a.Index.push_back(static_cast<uint32_t>(p.Index));
        a.Map.push_back(static_cast<uint32_t>(p.MapIndex));
        a.Id.push_back(ids.Of(e, s, p.Index));
      }
    }
  }
  return a;
}
