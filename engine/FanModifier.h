// The fan: pushes particles in front of it, inside its rectangle, along its axis.
#pragma once

#include "engine/ParticleModifier.h"

class TPlaneFanModifier : public TBasicModifier {
 public:
  TPlaneFanModifier();

  using TBasicModifier::Falloff;
  TVarSeries& Power() { return Strength; }
  TVarSeries& PowerJitter() { return StrengthJitter; }

  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override;

 protected:
  uint8_t* StoredKindByte() override { return &Falloff; }
};
