// The preview's pixels: resampling, blending and the origin's mark.
#include "ui/MapPreview.h"

#include <algorithm>
#include <cmath>

#include "engine/Rounding.h"

namespace {

// Where a preview pixel's centre falls in the source, clamped to the outer pixel centres.
struct TSample {
  int Low, High;
  double Weight;  // of High
};

TSample SampleAt(int pixel, int sourceSize, int size, bool mirrored) {
  double s = (pixel + 0.5) * sourceSize / size - 0.5;
  s = std::clamp(s, 0.0, static_cast<double>(sourceSize - 1));
  const int low = static_cast<int>(s);
  const int high = std::min(low + 1, sourceSize - 1);
  const double weight = s - low;
  if (!mirrored) return {low, high, weight};
  return {sourceSize - 1 - low, sourceSize - 1 - high, weight};
}

uint8_t Channel(uint32_t p, int shift) { return static_cast<uint8_t>(p >> shift); }

uint32_t ToByte(double v) { return static_cast<uint32_t>(std::clamp(v + 0.5, 0.0, 255.0)); }

}  // namespace

uint32_t PreviewChecker(int x, int y) { return ((x / 8 + y / 8) % 2 == 0) ? 0xFFFFFFFFu : 0xFFCCCCCCu; }

std::vector<uint32_t> MapPreview(const TBitmap32& image, const TMapPreviewOptions& o, int size) {
  std::vector<uint32_t> pixels(static_cast<size_t>(size) * static_cast<size_t>(size));
  const bool hasImage = image.Width > 0 && image.Height > 0 &&
                        image.Pixels.size() >= static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height);
  const bool mirrorX = o.Flip == 1 || o.Flip == 3, mirrorY = o.Flip == 2 || o.Flip == 3;
  const double master = std::clamp(o.AlphaMaster, 0, 255) / 255.0;
  for (int y = 0; y < size; ++y) {
    const TSample sy = hasImage ? SampleAt(y, image.Height, size, mirrorY) : TSample{};
    for (int x = 0; x < size; ++x) {
      const uint32_t under = PreviewChecker(x, y);
      uint32_t& out = pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)];
      if (!hasImage) {
        out = under;
        continue;
      }
      const TSample sx = SampleAt(x, image.Width, size, mirrorX);
      const uint32_t p00 = image.At(sx.Low, sy.Low), p10 = image.At(sx.High, sy.Low);
      const uint32_t p01 = image.At(sx.Low, sy.High), p11 = image.At(sx.High, sy.High);
      double c[4];
      for (int k = 0; k < 4; ++k) {
        const int shift = 8 * k;  // blue, green, red, alpha
        const double top = Channel(p00, shift) * (1 - sx.Weight) + Channel(p10, shift) * sx.Weight;
        const double bottom = Channel(p01, shift) * (1 - sx.Weight) + Channel(p11, shift) * sx.Weight;
        c[k] = top * (1 - sy.Weight) + bottom * sy.Weight;
      }
      const double a = o.Transparency ? c[3] / 255.0 * master : 1.0;
      uint32_t result = 0xFF000000u;
      for (int k = 0; k < 3; ++k) {
        const int shift = 8 * k;
        result |= ToByte(c[k] * a + Channel(under, shift) * (1 - a)) << shift;
      }
      out = result;
    }
  }
  if (o.ShowOrigin) {
    // A 4 × 4 mark, black outline and white inside, around the origin.
    const int ox = static_cast<int>(RoundHalfEven(size * static_cast<double>(o.OriginX)));
    const int oy = static_cast<int>(RoundHalfEven(size * static_cast<double>(o.OriginY)));
    for (int y = oy - 2; y <= oy + 1; ++y)
      for (int x = ox - 2; x <= ox + 1; ++x) {
        if (x < 0 || y < 0 || x >= size || y >= size) continue;
        const bool edge = x == ox - 2 || x == ox + 1 || y == oy - 2 || y == oy + 1;
        pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] =
            edge ? 0xFF000000u : 0xFFFFFFFFu;
      }
  }
  return pixels;
}
