// The floating-point guard: host code may leave floating-point exception flags pending, and the
// plug-in clears them where its own arithmetic resumes or before it returns to the host.
#pragma once

#include <cstdint>

// Clears every pending floating-point exception flag, raising nothing.
void ClearFpuExceptions();
// Clears pending flags, then truncates toward zero (saturating at the int64 limits; NaN gives 0).
int64_t GuardedTrunc(float x);
