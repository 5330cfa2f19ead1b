// A drawing surface on a window, as the preview draws particles on the active view: pen and
// brush colours, filled and framed rectangles, ellipses. Colours are 0x00BBGGRR. Rectangles
// take their left and top edges inclusive and their right and bottom edges exclusive, as the
// windowing system's do, so (x, y, x + 2, y + 2) covers two by two pixels.
//
// THeadlessDrawSurface draws into an image held in memory that a program or a test reads, through
// the rasteriser the Qt view's surface shares (PixelShapes.h), so both set the same pixels.
#pragma once

#include <cstdint>
#include <vector>

struct TPixelRows;

class TDrawSurface {
 public:
  virtual ~TDrawSurface() = default;
  virtual void SetPenColor(uint32_t color) = 0;
  virtual void SetBrushColor(uint32_t color) = 0;
  // A hollow brush fills nothing.
  virtual void SetBrushHollow(bool hollow) = 0;
  // Fills with the brush colour, hollow or not.
  virtual void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  // A one-pixel outline in the brush colour.
  virtual void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  // The ellipse inscribed in the rectangle: outlined with the pen, filled with the brush unless
  // it is hollow.
  virtual void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
};

class THeadlessDrawSurface : public TDrawSurface {
 public:
  explicit THeadlessDrawSurface(int32_t width = 640, int32_t height = 480) { Resize(width, height); }

  // Sizes the image (negative sizes count as 0) and clears it to black.
  void Resize(int32_t width, int32_t height);
  void Clear(uint32_t color = 0);
  int32_t Width() const { return Width_; }
  int32_t Height() const { return Height_; }
  // The colour at a pixel; 0 outside the image.
  uint32_t At(int32_t x, int32_t y) const;

  void SetPenColor(uint32_t color) override { Pen = color; }
  void SetBrushColor(uint32_t color) override { Brush = color; }
  void SetBrushHollow(bool hollow) override { Hollow = hollow; }
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override;

  uint32_t Pen = 0;
  uint32_t Brush = 0xFFFFFF;
  bool Hollow = false;
  int DrawCalls = 0;  // FillRect, FrameRect and Ellipse calls so far

 private:
  TPixelRows Rows();
  int32_t Width_ = 0, Height_ = 0;
  std::vector<uint32_t> Pixels_;
};
