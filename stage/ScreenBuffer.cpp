// Screen buffer lines in the host's formats.
#include "stage/ScreenBuffer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace stage {

TScreenBuffer::TScreenBuffer(int32_t width, int32_t height, int32_t left, int32_t top)
    : Width_(width), Height_(height), Left_(left), Top_(top) {
  if (width < 1 || height < 1 || width > 16384 || height > 16384)
    throw std::invalid_argument("screen buffer size " + std::to_string(width) + " x " +
                                std::to_string(height) + " out of range");
  Pixels_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
}

void TScreenBuffer::Fill(const TPixel& p) { std::fill(Pixels_.begin(), Pixels_.end(), p); }

int TScreenBuffer::FloatsPerPixel(int32_t format) {
  switch (format) {
    case tssLINE_RGBA:
    case tssLINE_RGBZ:
      return 4;
    case tssLINE_RGBAZ:
      return 5;
    default:
      return 0;
  }
}

bool TScreenBuffer::GetLine(int32_t line, int32_t format, float* out) const {
  if (!out || line < 0 || line >= Height_ || FloatsPerPixel(format) == 0) return false;
  const TPixel* p = &Pixels_[Index(0, line)];
  for (int32_t x = 0; x < Width_; ++x, ++p) {
    *out++ = p->R;
    *out++ = p->G;
    *out++ = p->B;
    if (format == tssLINE_RGBA) {
      *out++ = p->A;
    } else if (format == tssLINE_RGBZ) {
      *out++ = p->Depth;
    } else {
      *out++ = p->A;
      *out++ = p->Depth;
    }
  }
  return true;
}

bool TScreenBuffer::SetLine(int32_t line, int32_t format, const float* in) {
  if (!in || line < 0 || line >= Height_ || FloatsPerPixel(format) == 0) return false;
  TPixel* p = &Pixels_[Index(0, line)];
  for (int32_t x = 0; x < Width_; ++x, ++p) {
    p->R = *in++;
    p->G = *in++;
    p->B = *in++;
    if (format == tssLINE_RGBA) {
      p->A = *in++;
    } else if (format == tssLINE_RGBZ) {
      p->Depth = *in++;
    } else {
      p->A = *in++;
      p->Depth = *in++;
    }
  }
  return true;
}

}  // namespace stage
