// The images of map list entries and of particles: the engine's map lists meet the program's
// image cache.
#pragma once

#include <string>

#include "pictures/Bitmap32.h"

class TParticleMapSource;
class TParticleSystem;

// The image of an entry, through the program's image cache; an index outside the list uses
// entry 0. A file the cache found elsewhere (relocated) is stored back into the entry; a file the
// user did not find keeps its name and gives DefaultImage. A list with no entries gives
// DefaultImage.
// Throws EVantrelError when the file exists but cannot be decoded (the name stays).
TImageRef ImageAt(TParticleMapSource& maps, int index);
// ImageAt(system.Maps, system.ImageIndexOf(index)); may relocate the entry and throws likewise.
// ImageNameOf gives the file name ImageOf would read ("Default" for an empty list).
TImageRef ImageOf(TParticleSystem& system, int index);
std::string ImageNameOf(TParticleSystem& system, int index);
