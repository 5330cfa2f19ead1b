// The image maps editor's preview as pixels: the checkerboard, the entry's image mirrored and
// stretched over it with bilinear resampling, blended by its alpha only when transparency is
// shown, and the origin's mark. Toolkit-free, so the pixels are tested without a window.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/Bitmap32.h"

struct TMapPreviewOptions {
  uint8_t Flip = 0;                // 1 and 3 mirror left to right, 2 and 3 top to bottom
  bool Transparency = false;       // blend by the image's alpha × AlphaMaster / 255
  int AlphaMaster = 255;           // 0 to 255
  bool ShowOrigin = false;
  float OriginX = 0.5f, OriginY = 0.5f;
};

// size × size pixels, rows from the top, each 0xFFRRGGBB. The image may be empty (only the
// checkerboard then).
std::vector<uint32_t> MapPreview(const TBitmap32& image, const TMapPreviewOptions& options, int size);

// The checkerboard under the image: squares of 8 pixels, white at the top left, then 0xCCCCCC.
uint32_t PreviewChecker(int x, int y);
