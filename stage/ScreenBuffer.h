// A screen buffer: the host's image of a frame as float pixels red, green, blue, alpha and
// depth, where depth is the squared view depth of the surface and +infinity where nothing is.
// Lines are read and written in the host interface's formats 4 (RGBA), 5 (RGB + depth) and
// 6 (RGBA + depth). A buffer covers the rendered region: line 0 is the region's top row and
// pixel 0 of a line its left column.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "hostapi/TsxApi5.h"

namespace stage {

struct TPixel {
  float R = 0, G = 0, B = 0, A = 0;
  float Depth = std::numeric_limits<float>::infinity();
};

class TScreenBuffer {
 public:
  // Throws std::invalid_argument for sizes below 1 or above 16384 on either side.
  TScreenBuffer(int32_t width, int32_t height, int32_t left = 0, int32_t top = 0);

  int32_t Width() const { return Width_; }
  int32_t Height() const { return Height_; }
  int32_t Left() const { return Left_; }   // image column of pixel 0
  int32_t Top() const { return Top_; }     // image row of line 0

  TPixel& At(int32_t x, int32_t y) { return Pixels_[Index(x, y)]; }
  const TPixel& At(int32_t x, int32_t y) const { return Pixels_[Index(x, y)]; }
  void Fill(const TPixel& p);

  // Floats per pixel of a line format, or 0 for an unknown format.
  static int FloatsPerPixel(int32_t format);
  // Copy one line out of or into the buffer. False (and nothing copied) for a line outside the
  // buffer, an unknown format or a null pointer.
  bool GetLine(int32_t line, int32_t format, float* out) const;
  bool SetLine(int32_t line, int32_t format, const float* in);

  tssSCREENBUFFER* Handle() const {
    return reinterpret_cast<tssSCREENBUFFER*>(const_cast<TScreenBuffer*>(this));
  }

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(Width_) + static_cast<size_t>(x);
  }
  int32_t Width_, Height_, Left_, Top_;
  std::vector<TPixel> Pixels_;
};

}  // namespace stage
