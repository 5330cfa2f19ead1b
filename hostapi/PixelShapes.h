// The drawing surfaces' rasteriser: filled and framed rectangles and ellipses written into rows
// of 32-bit pixels as horizontal spans. Both surfaces (the headless one and the Qt view's) draw
// through it, so they set the same pixels; the preview draws tens of thousands of shapes a
// frame, so a shape is clipped once and each of its rows is filled in one go, without a call or
// a test per pixel and without allocating.
//
// Rectangles take their left and top edges inclusive and their right and bottom edges
// exclusive. An ellipse is the set of pixels whose centres lie inside the ellipse inscribed in
// its rectangle; those with a neighbour (left, right, above, below) outside it are its outline.
#pragma once

#include <cstddef>
#include <cstdint>

// Where a surface's pixels are: row y starts Stride pixels after row y − 1.
struct TPixelRows {
  uint32_t* Pixels = nullptr;
  int32_t Width = 0, Height = 0;
  ptrdiff_t Stride = 0;
};

// Each writes the colours as they are into the pixels inside the rows' bounds and answers
// whether it wrote any. Empty rectangles (right ≤ left or bottom ≤ top) write nothing.

// Every pixel of the rectangle.
bool FillRectPixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t color);
// The rectangle's one-pixel outline.
bool FrameRectPixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     uint32_t color);
// The inscribed ellipse: its outline in pen, its inside in brush unless hollow.
bool EllipsePixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   uint32_t pen, uint32_t brush, bool hollow);
