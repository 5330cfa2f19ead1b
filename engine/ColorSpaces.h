// The colour types every subsystem shares and the small conversions and arithmetic on them.
// TColor is 0x00BBGGRR; TColorVector holds red, green, blue (1.0 is full intensity) and a fourth
// value that is copied along and never read.
#pragma once

#include <cstdint>

using TColor = uint32_t;

struct TColorVector {
  float r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const TColorVector&, const TColorVector&) = default;
};

constexpr TColor ColorWhite = 0xFFFFFF;
constexpr TColor ColorBlack = 0x000000;

void ColorToVector(TColor color, TColorVector& v);
// Rounds each channel × 255 half to even; channels outside 0..1 wrap through the byte mask,
// so callers clamp first where they may hold such values.
void VectorToColor(const TColorVector& v, TColor& color);
void ClampColor(TColorVector& v);
void LerpColor(const TColorVector& a, const TColorVector& b, TColorVector& result, float t);
void MulColor(TColorVector& v, const TColorVector& other);
void ScaleColor(TColorVector& v, float s);
TColorVector MakeColorVector(float red, float green, float blue, float fourth);
