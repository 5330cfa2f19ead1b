// The kinds of force tool, as the toolbox, the panels and the stored records know them. Plain
// values with no dependencies, so that the panels' seam can name them.
#pragma once

#include <cstdint>

// Kind codes as the toolbox and the properties panel know them; 0 for no tool.
enum TToolKind : int32_t {
  ToolNone = 0,
  ToolDeflector = 1,
  ToolFan = 2,
  ToolAttractor = 3,
  ToolRepulsor = 4,
  ToolLeader = 5,
  ToolGravitron = 6,
};
