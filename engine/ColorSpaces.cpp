// Colour conversions and arithmetic on the first three channels.
#include "engine/ColorSpaces.h"

#include <algorithm>

#include "engine/Rounding.h"

namespace {
TColor ChannelByte(float c) { return static_cast<TColor>(RoundToInt64(static_cast<double>(c) * 255.0) & 0xFF); }
}  // namespace

void ColorToVector(TColor color, TColorVector& v) {
  v.r = static_cast<float>((color & 0xFF) / 255.0);
  v.g = static_cast<float>(((color >> 8) & 0xFF) / 255.0);
  v.b = static_cast<float>(((color >> 16) & 0xFF) / 255.0);
}

void VectorToColor(const TColorVector& v, TColor& color) {
  color = ChannelByte(v.r) | (ChannelByte(v.g) << 8) | (ChannelByte(v.b) << 16);
}

void ClampColor(TColorVector& v) {
  v.r = std::max(std::min(v.r, 1.0f), 0.0f);
  v.g = std::max(std::min(v.g, 1.0f), 0.0f);
  v.b = std::max(std::min(v.b, 1.0f), 0.0f);
}

void LerpColor(const TColorVector& a, const TColorVector& b, TColorVector& result, float t) {
  const TColorVector r{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a};
  result = r;
}

void MulColor(TColorVector& v, const TColorVector& other) {
  v.r *= other.r;
  v.g *= other.g;
  v.b *= other.b;
}

void ScaleColor(TColorVector& v, float s) {
  v.r *= s;
  v.g *= s;
  v.b *= s;
}

TColorVector MakeColorVector(float red, float green, float blue, float fourth) {
  return {red, green, blue, fourth};
}
