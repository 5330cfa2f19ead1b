// Lattice value noise from an integer hash.
#include "tools/PictureNoise.h"

#include <cmath>

namespace {

// A 32-bit integer mix with good avalanche, on two lattice coordinates and the seed.
uint32_t Hash(int32_t ix, int32_t iy, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(ix) * 0x85EBCA6Bu ^ static_cast<uint32_t>(iy) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

double Lattice(int32_t ix, int32_t iy, uint32_t seed) { return Hash(ix, iy, seed) * (1.0 / 4294967296.0); }

double Ease(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

}  // namespace

double ValueNoise(double x, double y, uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
  const double tx = Ease(x - fx), ty = Ease(y - fy);
  const double a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
  const double c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
  const double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

double FractalNoise(double x, double y, uint32_t seed, int octaves, double gain) {
  double sum = 0, weight = 1, total = 0, frequency = 1;
  for (int i = 0; i < octaves; ++i) {
    // Each octave its own seed, so that octaves do not line up at the lattice points.
    sum += weight * ValueNoise(x * frequency, y * frequency, seed + static_cast<uint32_t>(i) * 101u);
    total += weight;
    weight *= gain;
    frequency *= 2;
  }
  return sum / total;
}
