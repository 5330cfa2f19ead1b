// The gravitron's strength grows with its height (SizeZ); it has no falloff.
#include "engine/GravitronModifier.h"

#include <cmath>

#include "engine/Particle.h"

TGravitronModifier::TGravitronModifier() : TBasicModifier("Gravitron", 1, 10, 0.005f, XKindFrames) {}

void TGravitronModifier::ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane&) const {
  if (!SceneObject || !MassTakesForces(p.Mass)) return;
  const float t = ToolTime(system.Time);
  if (t < 0) return;
  if (!Infinite) {
    const TVec3f l = LocalOffset(p.Position);
    if (!(std::fabs(l.x) <= HalfX && std::fabs(l.y) <= HalfY)) return;
  }
  TVec3f gain = Normal();
  MulScalar3f(gain, StrengthAt(t) / p.Mass);
  AddVec3f(p.Velocity, gain);
}
