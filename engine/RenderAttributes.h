// What a particle looks like in one frame, as its system computes it for the renderer and the
// preview: alpha, colour, world size and the options of its image.
#pragma once

#include "engine/ColorSpaces.h"
#include "engine/ParticleMapSource.h"

struct TRenderAttributes {
  float Alpha = 0;             // nominally 0..1
  TColorVector Color;          // red, green, blue in 0..1; the fourth value is never read
  float Size = 0;              // world units: the full width of the sprite
  TParticleMapOptions Options; // of the particle's image this frame (a copy)
};
