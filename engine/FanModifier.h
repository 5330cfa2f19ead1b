// The fan: pushes particles in front of it, inside its rectangle, along its axis.
#pragma once

#include "engine/ParticleModifier.h"

class TPlaneFanModifier : public TBasicModifier {
 public:
  TPlaneFanModifier();

  using TBasicModifier::Falloff;
  TVarSeries& Power() { return Strength; }
  TVarSeries& PowerJitter() { return StrengthJitter; }

  void ReadFrom(TStream& s) override;
  void WriteTo(TStream& s) const override;
  void Apply(TParticleSystem& system, TParticle& p) override;
};
