// Floating-point guard over <cfenv>.
#include "host/CheckFpuState.h"

#include <cfenv>

#include "engine/Rounding.h"

void ClearFpuExceptions() { std::feclearexcept(FE_ALL_EXCEPT); }

int64_t GuardedTrunc(float x) {
  ClearFpuExceptions();
  return TruncToInt64(static_cast<double>(x));
}
