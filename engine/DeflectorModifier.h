// The deflector: a rectangle that bounces particles crossing its front face, or absorbs them.
#pragma once

#include "engine/ParticleModifier.h"

class TPlaneDeflectorModifier : public TBasicModifier {
 public:
  TPlaneDeflectorModifier();

  TVec3f PrevCenter;
  TMx3f PrevInvRot = IdentityMx3f;
  float LastFrame = 0;
  bool Absorbs = false;

  TVarSeries& Elasticity() { return Strength; }
  TVarSeries& ElasticityJitter() { return StrengthJitter; }

  void ReadFrom(TStream& s) override;
  void WriteTo(TStream& s) const override;
  // Reads the previous frame's pose too, so that a moving plane is compared pose against pose.
  void UpdateTransform() override;
  void Apply(TParticleSystem& system, TParticle& p) override;
};
