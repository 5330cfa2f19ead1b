// The fan moves the position directly, so a particle drifts at a steady rate in its column.
#include "engine/FanModifier.h"

#include <cmath>

#include "engine/Particle.h"

TPlaneFanModifier::TPlaneFanModifier() : TBasicModifier("Fan", 10, 20, 0.005f, XKindFrames) {}

void TPlaneFanModifier::ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane&) const {
  if (!SceneObject || !MassTakesForces(p.Mass)) return;
  const float t = ToolTime(system.Time);
  if (t < 0) return;
  const TVec3f l = LocalOffset(p.Position);
  if (!(std::fabs(l.x) <= HalfX && std::fabs(l.y) <= HalfY && l.z >= 0)) return;
  TVec3f push = Normal();
  MulScalar3f(push, StrengthAt(t) / FalloffFactor(l.z) / p.Mass);
  AddVec3f(p.Position, push);
}
