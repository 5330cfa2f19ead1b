// The images of map list entries and of particles.
#include "render/ParticleImages.h"

#include "engine/Particle.h"
#include "engine/ParticleMapSource.h"
#include "render/BitmapCache.h"

TImageRef ImageAt(TParticleMapSource& maps, int index) {
  if (maps.Empty()) return DefaultImage();
  TParticleMapSource::TEntry& entry = maps.Entry(index);
  std::string name = entry.Name;
  TImageRef image = BitmapCache().GetImage(name);
  entry.Name = std::move(name);
  return image;
}

TImageRef ImageOf(TParticleSystem& system, int index) { return ImageAt(system.Maps, system.ImageIndexOf(index)); }

std::string ImageNameOf(TParticleSystem& system, int index) {
  if (system.Maps.Empty()) return DefaultImageName;
  return system.Maps.Entry(system.ImageIndexOf(index)).Name;
}
