// Reading back the EXR files `vantrel render` writes (R, G, B, A and Z), so that scripts can
// compare a batch render with what the module renders.
#pragma once

#include <filesystem>
#include <vector>

struct TExrImage {
  int Width = 0, Height = 0;
  std::vector<float> Rgba;   // rows top to bottom; a missing channel reads 0 (alpha 1)
  std::vector<float> Depth;  // Z; +infinity where the file has none
};

// Throws EVantrelError naming the file when it cannot be read.
TExrImage ReadExr(const std::filesystem::path& path);
