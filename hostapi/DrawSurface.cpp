// The headless drawing surface: rectangles and ellipses rasterised into a colour image.
#include "hostapi/DrawSurface.h"

#include <algorithm>

void THeadlessDrawSurface::Resize(int32_t width, int32_t height) {
  Width_ = std::max(width, 0);
  Height_ = std::max(height, 0);
  Pixels_.assign(static_cast<size_t>(Width_) * static_cast<size_t>(Height_), 0);
}

void THeadlessDrawSurface::Clear(uint32_t color) { std::fill(Pixels_.begin(), Pixels_.end(), color); }

uint32_t THeadlessDrawSurface::At(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_) return 0;
  return Pixels_[static_cast<size_t>(y) * static_cast<size_t>(Width_) + static_cast<size_t>(x)];
}

void THeadlessDrawSurface::Plot(int64_t x, int64_t y, uint32_t color) {
  if (x < 0 || y < 0 || x >= Width_ || y >= Height_) return;
  Pixels_[static_cast<size_t>(y) * static_cast<size_t>(Width_) + static_cast<size_t>(x)] = color;
}

void THeadlessDrawSurface::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, Width_);
  const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, Height_);
  for (int64_t y = y0; y < y1; ++y)
    for (int64_t x = x0; x < x1; ++x) Plot(x, y, Brush);
}

void THeadlessDrawSurface::FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  if (right <= left || bottom <= top) return;
  const int64_t x0 = std::max<int64_t>(left, -1), x1 = std::min<int64_t>(right, Width_ + 1);
  const int64_t y0 = std::max<int64_t>(top, -1), y1 = std::min<int64_t>(bottom, Height_ + 1);
  for (int64_t x = x0; x < x1; ++x) {
    Plot(x, top, Brush);
    Plot(x, int64_t{bottom} - 1, Brush);
  }
  for (int64_t y = y0; y < y1; ++y) {
    Plot(left, y, Brush);
    Plot(int64_t{right} - 1, y, Brush);
  }
}

void THeadlessDrawSurface::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  if (right <= left || bottom <= top) return;
  // Pixel centres inside the inscribed ellipse; those with a neighbour outside form the outline.
  const double cx = (static_cast<double>(left) + right) / 2, cy = (static_cast<double>(top) + bottom) / 2;
  const double rx = (static_cast<double>(right) - left) / 2, ry = (static_cast<double>(bottom) - top) / 2;
  auto inside = [&](int64_t x, int64_t y) {
    if (x < left || x >= right || y < top || y >= bottom) return false;
    const double dx = (static_cast<double>(x) + 0.5 - cx) / rx, dy = (static_cast<double>(y) + 0.5 - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, Width_);
  const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, Height_);
  for (int64_t y = y0; y < y1; ++y)
    for (int64_t x = x0; x < x1; ++x) {
      if (!inside(x, y)) continue;
      const bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
      if (edge)
        Plot(x, y, Pen);
      else if (!Hollow)
        Plot(x, y, Brush);
    }
}
