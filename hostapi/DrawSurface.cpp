// The headless drawing surface: rectangles and ellipses rasterised into a colour image.
#include "hostapi/DrawSurface.h"

#include "hostapi/PixelShapes.h"

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

TPixelRows THeadlessDrawSurface::Rows() {
  return {Pixels_.data(), Width_, Height_, static_cast<ptrdiff_t>(Width_)};
}

void THeadlessDrawSurface::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  FillRectPixels(Rows(), left, top, right, bottom, Brush);
}

void THeadlessDrawSurface::FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  FrameRectPixels(Rows(), left, top, right, bottom, Brush);
}

void THeadlessDrawSurface::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++DrawCalls;
  EllipsePixels(Rows(), left, top, right, bottom, Pen, Brush, Hollow);
}
