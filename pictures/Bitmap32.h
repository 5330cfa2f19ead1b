// The plug-in's image: 32 bits per pixel, rows from the top, each pixel's bytes in memory blue,
// green, red, alpha (the value 0xAARRGGBB read as a little-endian uint32). Images that the
// cache hands out are shared read-only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct TBitmap32 {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;  // Width × Height, row after row

  uint32_t& At(int32_t x, int32_t y) { return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
  uint32_t At(int32_t x, int32_t y) const { return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)]; }
};

constexpr uint32_t PackBgra(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  return uint32_t{b} | (uint32_t{g} << 8) | (uint32_t{r} << 16) | (uint32_t{a} << 24);
}
constexpr uint8_t BlueOf(uint32_t p) { return static_cast<uint8_t>(p); }
constexpr uint8_t GreenOf(uint32_t p) { return static_cast<uint8_t>(p >> 8); }
constexpr uint8_t RedOf(uint32_t p) { return static_cast<uint8_t>(p >> 16); }
constexpr uint8_t AlphaOf(uint32_t p) { return static_cast<uint8_t>(p >> 24); }

// A shared, read-only image. Whoever holds one keeps the image alive: clearing the cache only
// drops the cache's own reference, so nothing invalidates an image in use.
using TImageRef = std::shared_ptr<const TBitmap32>;
