// Deflection: the particle's previous position in the plane's previous pose against its
// current position in the current pose, with the particle's radius lifting the plane.
#include "engine/DeflectorModifier.h"

#include <algorithm>
#include <cmath>

#include "engine/Particle.h"

namespace {
constexpr float CrossingTolerance = 0.001f;
}  // namespace

TPlaneDeflectorModifier::TPlaneDeflectorModifier() : TBasicModifier("Deflector", 30, 100, 0.01f, XKindFrames) {}

void TPlaneDeflectorModifier::UpdateTransform() {
  if (!SceneObject) {
    TBasicModifier::UpdateTransform();
    return;
  }
  const float s = SceneFrame;
  if (LastFrame + 1 != s) {
    tsxAnimSetActiveTimeObject(SceneObject, s - 1);
    TBasicModifier::UpdateTransform();
    tsxAnimSetActiveTimeObject(SceneObject, s);
  }
  LastFrame = s;
  PrevCenter = Center;
  PrevInvRot = InvRot;
  TBasicModifier::UpdateTransform();
}

bool TPlaneDeflectorModifier::MayKill(const TParticleSystem& system) const {
  return SceneObject && Absorbs && ToolTime(system.Time) >= 0;
}

void TPlaneDeflectorModifier::ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const {
  if (!SceneObject) return;
  const float t = ToolTime(system.Time);
  if (t < 0) return;

  // Previous position in the previous pose (A) and current position in the current pose (B),
  // both in the tool's axes. Only A's height is used; B's sides only once the heights cross.
  TVec3f a = p.PrevPosition;
  SubVec3f(a, PrevCenter);
  const float az = static_cast<float>(static_cast<float>(RotateRow(a, PrevInvRot, 2)) + PrevCenter.z);
  TVec3f d = p.Position;
  SubVec3f(d, Center);
  const float bz = static_cast<float>(static_cast<float>(RotateRow(d, InvRot, 2)) + Center.z);

  // The plane is lifted by the particle's radius, and a move that ends at or below the lifted
  // plane is caught when it starts in front of the lifted plane or, failing that, at least in
  // front of the plane itself. The second case is a particle whose sprite already overlaps the
  // plane: one that grew faster than it fell, or one put back inside that band by an earlier
  // bounce. Measured against the lifted plane alone it would pass through.
  const float radius = static_cast<float>(system.Size.Evaluate(100.0 * system.LifeFractionOf(p)) * p.Size / 2);
  const float h = Center.z + radius;
  const float start = std::min(h, Center.z);
  if (!(az + CrossingTolerance >= start && bz - CrossingTolerance <= h)) return;
  const float bx = static_cast<float>(static_cast<float>(RotateRow(d, InvRot, 0)) + Center.x);
  const float by = static_cast<float>(static_cast<float>(RotateRow(d, InvRot, 1)) + Center.y);
  if (!(std::fabs(bx - Center.x) <= HalfX && std::fabs(by - Center.y) <= HalfY)) return;

  const TVec3f n = Normal();
  TVec3f motion;
  AddToVec3f(p.Velocity, p.BaseVelocity, motion);
  if (DProdVec3f(n, motion) > 0) return;  // moving away from the face: the plane moved past it

  // Back to the crossing point. A particle that only skims the tolerance band (no crossing, or
  // no motion along the normal) would be extrapolated beyond its own move; it stays on its path.
  // One that started below the lifted plane stays where its move started.
  float f = 1;
  if (bz != az) f = std::clamp((h - az) / (bz - az), 0.0f, 1.0f);
  TVec3f move;
  SubToVec3f(p.PrevPosition, p.Position, move);
  MulScalar3f(move, f);
  AddToVec3f(p.PrevPosition, move, p.Position);

  if (Absorbs) {
    p.Alive = false;
    ++lane.Killed;
    return;
  }
  const float e = StrengthAt(t);
  Reflect3f(p.Velocity, p.Velocity, n);
  MulScalar3f(p.Velocity, e);
  Reflect3f(p.BaseVelocity, p.BaseVelocity, n);
  MulScalar3f(p.BaseVelocity, e);
}
