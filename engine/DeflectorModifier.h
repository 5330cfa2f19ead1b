// The deflector: a rectangle that bounces particles crossing its front face, or absorbs them.
#pragma once

#include "engine/ParticleModifier.h"

class TPlaneDeflectorModifier : public TBasicModifier {
 public:
  TPlaneDeflectorModifier();

  TVec3f PrevCenter;
  TMx3f PrevInvRot = IdentityMx3f;
  float LastFrame = 0;
  uint8_t Absorbs = 0;  // "Absorbs Particles"; any value but 0 is on

  TVarSeries& Elasticity() { return Strength; }
  TVarSeries& ElasticityJitter() { return StrengthJitter; }

  // Reads the previous frame's pose too, so that a moving plane is compared pose against pose.
  void UpdateTransform() override;
  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override;
  bool MayKill(const TParticleSystem& system) const override;

 protected:
  uint8_t* StoredKindByte() override { return &Absorbs; }
};
