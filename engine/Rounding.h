// The plug-in's three rounding rules, kept in one place so that every unit rounds alike:
// "round" is to the nearest integer with ties to even, truncation goes toward zero, and a
// fractional part keeps the sign of its argument.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Nearest integer, ties to even (std::nearbyint under the default rounding mode).
inline double RoundHalfEven(double x) { return std::nearbyint(x); }

// Toward zero.
inline double TruncTowardZero(double x) { return std::trunc(x); }

// x − trunc(x): the fraction keeps x's sign, so SignedFrac(-1.25) = -0.25.
inline double SignedFrac(double x) { return x - std::trunc(x); }

// Converts an already integral double to int64, saturating at the type's limits; NaN gives 0.
// Used where a rounded value becomes a count or an index and bad data must not be undefined.
inline int64_t SaturateToInt64(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9.2233720368547748e18) return std::numeric_limits<int64_t>::max();
  if (x <= -9.2233720368547748e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(x);
}

// Rounds half to even into an int64 (saturating, NaN gives 0).
inline int64_t RoundToInt64(double x) { return SaturateToInt64(RoundHalfEven(x)); }

// Truncates toward zero into an int64 (saturating, NaN gives 0).
inline int64_t TruncToInt64(double x) { return SaturateToInt64(std::trunc(x)); }
