// The built-in particle image: a soft white glow with eight rays (four long, four short),
// black at and beyond its rim, its alpha equal to its brightness.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/Rounding.h"
#include "render/BitmapCache.h"

namespace {
constexpr int DefaultSize = 128;

TBitmap32 DrawDefaultImage() {
  TBitmap32 image;
  image.Width = image.Height = DefaultSize;
  image.Pixels.assign(DefaultSize * DefaultSize, 0);
  const double centre = (DefaultSize - 1) / 2.0;
  for (int y = 0; y < DefaultSize; ++y) {
    for (int x = 0; x < DefaultSize; ++x) {
      const double dx = x - centre, dy = y - centre;
      const double r = std::sqrt(dx * dx + dy * dy) / (DefaultSize / 2.0);
      if (r >= 1) continue;
      const double angle = std::atan2(dy, dx);
      const double fade = 1 - r;
      const double rays = std::max(std::pow(std::abs(std::cos(2 * angle)), 40.0),
                                   0.5 * std::pow(std::abs(std::sin(2 * angle)), 40.0));
      const double core = std::exp(-(r * 7) * (r * 7));
      const double level = std::min(1.0, 0.6 * std::pow(fade, 4) + 0.8 * rays * std::pow(fade, 1.5) + core);
      const auto v = static_cast<uint8_t>(RoundToInt64(level * 255));
      image.At(x, y) = PackBgra(v, v, v, 255);
    }
  }
  AlphaFromIntensity(image);
  return image;
}
}  // namespace

TImageRef DefaultImage() {
  static const TImageRef image = std::make_shared<const TBitmap32>(DrawDefaultImage());
  return image;
}
