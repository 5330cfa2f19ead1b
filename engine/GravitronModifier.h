// The gravitron: accelerates particles inside its rectangle (or everywhere) along its axis.
#pragma once

#include "engine/ParticleModifier.h"

class TGravitronModifier : public TBasicModifier {
 public:
  TGravitronModifier();

  bool Infinite = false;  // not stored: a loaded gravitron is bounded
  TVarSeries& Power() { return Strength; }
  TVarSeries& PowerJitter() { return StrengthJitter; }

  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override;

 protected:
  float ExtraStrengthFactor() const override { return SizeZ; }
};
