// The live particles of every emitter's systems at one frame, column by column, in the order and
// with the values `vantrel-bake` writes: emitters in list order, their slots in order, each
// system's pool in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TEmitterMan;
class TBirthOrder;

struct TParticleArrays {
  int Frame = 0;
  size_t Count = 0;
  std::vector<float> Position;   // 3 per particle: where it is shown (the PLY's x y z)
  std::vector<float> Velocity;   // 3 per particle, units per frame
  std::vector<float> Color;      // 3 per particle: the birth colour, 1 full intensity
  std::vector<float> Size, Alpha, Age, Birth, Lifespan, Mass, Angle, Spin;
  std::vector<uint32_t> Emitter, Slot, Index, Map, Id;
};

// Collects the particles as they stand; ids are the bake's birth orders.
TParticleArrays CollectParticles(const TEmitterMan& manager, const TBirthOrder& ids, int frame);
