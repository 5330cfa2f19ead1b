// The base of the force tools: a set of property curves and a force law applied to each live
// particle while a system steps. The tools themselves build on this.
#pragma once

#include "engine/VarSeries.h"

class TParticleSystem;
struct TParticle;

class TParticleModifier : public TVariableSystem {
 public:
  // Switched off, the tool is gathered but leaves particles alone.
  bool Active = true;

  // Acts on one live particle; may change its Position, Velocity, BaseVelocity and Alive.
  virtual void Apply(TParticleSystem& system, TParticle& particle) = 0;
};
