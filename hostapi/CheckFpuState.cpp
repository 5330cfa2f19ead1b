// Floating-point guard over <cfenv>.
#include "hostapi/CheckFpuState.h"

#include <cfenv>
#include <cmath>
#include <limits>

void ClearFpuExceptions() { std::feclearexcept(FE_ALL_EXCEPT); }

int64_t GuardedTrunc(float x) {
  ClearFpuExceptions();
  // The engine's TruncToInt64, which lies a floor above the guard: toward zero, saturating.
  const double t = std::trunc(static_cast<double>(x));
  if (std::isnan(t)) return 0;
  if (t >= 9.2233720368547748e18) return std::numeric_limits<int64_t>::max();
  if (t <= -9.2233720368547748e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(t);
}
