// The drawing surfaces' span rasteriser against the plain one it replaced, pixel by pixel: every
// rectangle and ellipse of up to 40 by 40 pixels, inside the surface and cut at each of its
// edges, large ellipses (which take another road), and rectangles at the ends of the 32-bit
// range. Rows wider than the surface (as an image with padded rows has) keep their padding.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "hostapi/PixelShapes.h"

namespace {

constexpr int32_t W = 48, H = 44, Stride = W + 3;
constexpr uint32_t Pen = 0x0000FF, Brush = 0x00FF00, Padding = 0xDEADBEEF;

enum TShape { Fill, Frame, HollowEllipse, SolidEllipse };

// The plain rasteriser: every pixel of the rectangle tested on its own.
class TReference {
 public:
  TReference() : Pixels_(static_cast<size_t>(W) * H, 0) {}
  uint32_t At(int32_t x, int32_t y) const { return Pixels_[static_cast<size_t>(y) * W + x]; }

  void Draw(TShape shape, int32_t l, int32_t t, int32_t r, int32_t b) {
    switch (shape) {
      case Fill:
        for (int64_t y = std::max<int64_t>(t, 0); y < std::min<int64_t>(b, H); ++y)
          for (int64_t x = std::max<int64_t>(l, 0); x < std::min<int64_t>(r, W); ++x) Plot(x, y, Brush);
        break;
      case Frame:
        if (r <= l || b <= t) return;
        for (int64_t x = std::max<int64_t>(l, -1); x < std::min<int64_t>(r, W + 1); ++x) {
          Plot(x, t, Brush);
          Plot(x, int64_t{b} - 1, Brush);
        }
        for (int64_t y = std::max<int64_t>(t, -1); y < std::min<int64_t>(b, H + 1); ++y) {
          Plot(l, y, Brush);
          Plot(int64_t{r} - 1, y, Brush);
        }
        break;
      case HollowEllipse:
      case SolidEllipse: {
        if (r <= l || b <= t) return;
        const double cx = (static_cast<double>(l) + r) / 2, cy = (static_cast<double>(t) + b) / 2;
        const double rx = (static_cast<double>(r) - l) / 2, ry = (static_cast<double>(b) - t) / 2;
        auto inside = [&](int64_t x, int64_t y) {
          if (x < l || x >= r || y < t || y >= b) return false;
          const double dx = (static_cast<double>(x) + 0.5 - cx) / rx, dy = (static_cast<double>(y) + 0.5 - cy) / ry;
          return dx * dx + dy * dy <= 1.0;
        };
        for (int64_t y = std::max<int64_t>(t, 0); y < std::min<int64_t>(b, H); ++y)
          for (int64_t x = std::max<int64_t>(l, 0); x < std::min<int64_t>(r, W); ++x) {
            if (!inside(x, y)) continue;
            if (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1))
              Plot(x, y, Pen);
            else if (shape == SolidEllipse)
              Plot(x, y, Brush);
          }
        break;
      }
    }
  }

 private:
  void Plot(int64_t x, int64_t y, uint32_t color) {
    if (x >= 0 && y >= 0 && x < W && y < H) Pixels_[static_cast<size_t>(y) * W + x] = color;
  }
  std::vector<uint32_t> Pixels_;
};

struct TCase {
  TShape Shape;
  int32_t L, T, R, B;
};

// Draws the case both ways; answers the pixels that differ (padding counted) and whether the
// span rasteriser said rightly whether it wrote anything.
int Differences(const TCase& c, bool& answeredRightly) {
  TReference reference;
  reference.Draw(c.Shape, c.L, c.T, c.R, c.B);
  std::vector<uint32_t> pixels(static_cast<size_t>(Stride) * H, 0);
  for (int32_t y = 0; y < H; ++y) std::fill(pixels.begin() + y * Stride + W, pixels.begin() + (y + 1) * Stride, Padding);
  const TPixelRows rows{pixels.data(), W, H, Stride};
  bool wrote = false;
  switch (c.Shape) {
    case Fill: wrote = FillRectPixels(rows, c.L, c.T, c.R, c.B, Brush); break;
    case Frame: wrote = FrameRectPixels(rows, c.L, c.T, c.R, c.B, Brush); break;
    case HollowEllipse: wrote = EllipsePixels(rows, c.L, c.T, c.R, c.B, Pen, Brush, true); break;
    case SolidEllipse: wrote = EllipsePixels(rows, c.L, c.T, c.R, c.B, Pen, Brush, false); break;
  }
  int wrong = 0, set = 0;
  for (int32_t y = 0; y < H; ++y) {
    for (int32_t x = 0; x < W; ++x) {
      wrong += pixels[static_cast<size_t>(y) * Stride + x] != reference.At(x, y);
      set += reference.At(x, y) != 0;
    }
    for (int32_t x = W; x < Stride; ++x) wrong += pixels[static_cast<size_t>(y) * Stride + x] != Padding;
  }
  answeredRightly = wrote == (set > 0);
  return wrong;
}

TEST(PixelShapes, DrawThePixelsOfThePlainRasteriser) {
  std::vector<TCase> cases;
  for (TShape shape : {Fill, Frame, HollowEllipse, SolidEllipse}) {
    for (int32_t w = 0; w <= 40; ++w)
      for (int32_t h = 0; h <= 40; ++h)
        // Inside, cut at the left and top, cut at the right and bottom.
        for (const auto& [x, y] : {std::pair{3, 2}, std::pair{-w / 2, -h / 3}, std::pair{W - w / 3, H - h / 2}})
          cases.push_back({shape, x, y, x + w, y + h});
    for (const TCase& c : std::initializer_list<TCase>{
             {shape, INT_MIN, INT_MIN, INT_MAX, INT_MAX},     // around everything
             {shape, INT_MIN, 10, INT_MAX, 30},               // a band across the surface
             {shape, -1000000, -1000000, 1000000, 1000000},   // a huge circle's inside
             {shape, -3000, 5, 30, 35},                       // a long flat ellipse's end
             {shape, -9000, 5, 30, 35},                       // a longer one's
             {shape, 10, -4070, 30, 20},                      // a tall thin one's
             {shape, 10, -4100, 30, 20},                      // a taller one's
             {shape, INT_MAX - 5, 0, INT_MAX, 10},            // far right
             {shape, 10, INT_MIN, 20, INT_MIN + 4},           // far above
             {shape, 20, 10, 10, 30},                         // right before left
         })
      cases.push_back(c);
  }
  int failures = 0;
  for (const TCase& c : cases) {
    bool answeredRightly = false;
    const int wrong = Differences(c, answeredRightly);
    if (wrong == 0 && answeredRightly) continue;
    if (++failures <= 10)
      ADD_FAILURE() << "shape " << c.Shape << " (" << c.L << ", " << c.T << ", " << c.R << ", " << c.B
                    << "): " << wrong << " pixels differ" << (answeredRightly ? "" : ", wrong answer");
  }
  EXPECT_EQ(failures, 0) << "of " << cases.size() << " cases";
}

}  // namespace
