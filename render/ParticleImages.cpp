// The image of a map list entry and of a particle: the engine's models meet the image cache.
#include "engine/Particle.h"
#include "render/BitmapCache.h"
#include "render/ParticleMapSource.h"

TImageRef TParticleMapSource::ImageAt(int index) {
  if (Entries.empty()) return DefaultImage();
  TEntry& entry = Entries[Clamp(index)];
  std::string name = entry.Name;
  TImageRef image = BitmapCache().GetImage(name);
  entry.Name = std::move(name);
  return image;
}

TImageRef TParticleSystem::ImageOf(int index) { return Maps.ImageAt(ImageIndexOf(index)); }
