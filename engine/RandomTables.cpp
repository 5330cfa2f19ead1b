// The generator is a 32-bit linear congruential sequence; the table holds its first 512 values.
#include "engine/RandomTables.h"

#include <cmath>

#include "engine/Rounding.h"

uint32_t RandomSeed = 0;

namespace {

float Table[RandomTableSize];
int TableCursor = 0;

inline void Advance() { RandomSeed = NextSeed(RandomSeed); }

}  // namespace

uint32_t SeedAfter(uint32_t seed, uint64_t draws) {
  // An advance is the affine map s -> a*s + c (mod 2^32); k advances are that map composed with
  // itself k times, built up by squaring: (a, c) then (a*a, a*c + c) for twice as many.
  uint32_t a = 134775813u, c = 1u;
  uint32_t totalA = 1u, totalC = 0u;
  for (; draws != 0; draws >>= 1) {
    if (draws & 1) {
      totalA = a * totalA;
      totalC = a * totalC + c;
    }
    c = a * c + c;
    a = a * a;
  }
  return totalA * seed + totalC;
}

double Random() {
  Advance();
  return SeedValue(RandomSeed);
}

int32_t RandomInt(int32_t n) {
  Advance();
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(RandomSeed) * static_cast<uint64_t>(n)) >> 32);
}

float ScaleJitter(float value, float jitter) {
  const double r = Random();
  return static_cast<float>(static_cast<double>(value) * (1.0 + jitter * (2.0 * r - 1.0)));
}

float SignedJitter(float scale, float jitter) {
  const double r = Random();
  return static_cast<float>((2.0 * r - 1.0) * scale * jitter);
}

void InitRandomTable() {
  TableCursor = 0;
  for (float& entry : Table) entry = static_cast<float>(Random());
}

float NextTableRandom() {
  const float v = Table[TableCursor];
  TableCursor = (TableCursor + 1) % RandomTableSize;
  return v;
}

float TableJitter(double t, float value, float jitter) {
  int64_t k = RoundToInt64(t) % RandomTableSize;
  if (k < 0) k += RandomTableSize;  // t is never negative in use; keep bad input in range
  return static_cast<float>(static_cast<double>(value) *
                            (1.0 + jitter * (2.0 * static_cast<double>(Table[k]) - 1.0)));
}

float RandomTableEntry(int index) { return Table[((index % RandomTableSize) + RandomTableSize) % RandomTableSize]; }

int RandomTableCursor() { return TableCursor; }

void SetRandomTableCursor(int cursor) {
  TableCursor = ((cursor % RandomTableSize) + RandomTableSize) % RandomTableSize;
}
