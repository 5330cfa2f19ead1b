// The program-wide pseudo-random generator, the table of pre-drawn values read by the renderer
// and the force tools, and the jitter helpers. One generator serves every system, emitter and
// tool; reseeding it to 1513 starts a run that repeats bit for bit.
#pragma once

#include <cstdint>

constexpr int RandomTableSize = 512;
constexpr uint32_t RunSeed = 1513;  // the seed of every preview run and every render

// The generator's state; 0 at start-up. Program-wide by design.
extern uint32_t RandomSeed;

// The generator's sequence as plain values, for code that draws on a copy of the state (a block
// of particles stepped on another thread): one advance, and what Random answers for a state.
inline uint32_t NextSeed(uint32_t seed) { return seed * 134775813u + 1u; }
inline double SeedValue(uint32_t seed) { return static_cast<double>(seed) * (1.0 / 4294967296.0); }
// The state draws advances after seed, computed directly (in about log2(draws) steps), so that a
// block can start where the draws before it would have left the generator.
uint32_t SeedAfter(uint32_t seed, uint64_t draws);

// One advance, then the state times 2^-32: a value in [0, 1).
double Random();
// One advance, then the high 32 bits of state × n: an integer in [0, n) for n ≥ 1 (0 for n ≤ 0).
int32_t RandomInt(int32_t n);

// value × (1 + jitter × (2r − 1)), one draw, rounded to float.
float ScaleJitter(float value, float jitter);
// (2r − 1) × scale × jitter, one draw, rounded to float.
float SignedJitter(float scale, float jitter);

// Fills the table with the next 512 draws and puts its cursor at 0. Run once at start-up,
// from seed 0, before anything else draws.
void InitRandomTable();
// The entry at the cursor; the cursor moves on by one, wrapping. The generator is untouched.
float NextTableRandom();
// value × (1 + jitter × (2·table[round(t) mod 512] − 1)); neither cursor nor generator moves.
float TableJitter(double t, float value, float jitter);

float RandomTableEntry(int index);
int RandomTableCursor();
void SetRandomTableCursor(int cursor);
