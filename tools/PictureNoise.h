// Seeded value noise for the particle pictures: a hash of the lattice point and the seed, so
// the same seed draws the same noise on every run and machine (no library generator, no time).
#pragma once

#include <cstdint>

// Smooth noise in [0, 1): values on the integer lattice, blended with a quintic ease.
double ValueNoise(double x, double y, uint32_t seed);

// Fractal noise in [0, 1): octaves of ValueNoise, each at twice the frequency and gain times
// the weight of the one before, normalised by the sum of the weights.
double FractalNoise(double x, double y, uint32_t seed, int octaves, double gain = 0.5);
