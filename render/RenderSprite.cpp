// Resampling of a particle's image into its sprite: mirror, scale, rotation about the centre
// and a sub-pixel shift, mapped back pixel by pixel and filtered bilinearly.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/Rounding.h"
#include "render/Render.h"

namespace {

// Beyond this many pixels a sprite is not made (the whole-sprite reference path of a huge
// particle); the fast path never needs more than the region holds.
constexpr int64_t MaxSpritePixels = int64_t{1} << 28;

// The inverse of the sprite's transform: the source point of a transformed point (X, Y) is
// (U0 + UX·X + UY·Y, V0 + VX·X + VY·Y), evaluated as (U0 + UY·Y) + UX·X so that a row's start
// can be computed once.
struct TInverseMap {
  double UX, UY, U0, VX, VY, V0;
};

uint32_t BilinearExact(const TBitmap32& src, double u, double v) {
  const int32_t x0 = static_cast<int32_t>(u), y0 = static_cast<int32_t>(v);
  const int32_t x1 = std::min(x0 + 1, src.Width - 1), y1 = std::min(y0 + 1, src.Height - 1);
  const double tx = u - x0, ty = v - y0;
  const uint32_t p00 = src.At(x0, y0), p10 = src.At(x1, y0), p01 = src.At(x0, y1), p11 = src.At(x1, y1);
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const double c00 = (p00 >> shift) & 0xFF, c10 = (p10 >> shift) & 0xFF;
    const double c01 = (p01 >> shift) & 0xFF, c11 = (p11 >> shift) & 0xFF;
    const double top = c00 + (c10 - c00) * tx;
    const double bottom = c01 + (c11 - c01) * tx;
    const double value = std::clamp(RoundHalfEven(top + (bottom - top) * ty), 0.0, 255.0);
    out |= static_cast<uint32_t>(value) << shift;
  }
  return out;
}

// The bilinear blend of the four pixels around (x0 + wx/65536, y0 + wy/65536), in 1/65536 steps
// with one rounding at the end: within one unit of BilinearExact.
inline uint32_t BilinearAt(const TBitmap32& src, int32_t x0, int32_t y0, uint64_t wx, uint64_t wy) {
  const int32_t x1 = std::min(x0 + 1, src.Width - 1), y1 = std::min(y0 + 1, src.Height - 1);
  const uint32_t* row0 = src.Pixels.data() + static_cast<size_t>(y0) * static_cast<size_t>(src.Width);
  const uint32_t* row1 = src.Pixels.data() + static_cast<size_t>(y1) * static_cast<size_t>(src.Width);
  const uint32_t p00 = row0[x0], p10 = row0[x1], p01 = row1[x0], p11 = row1[x1];
  if (p00 == p10 && p00 == p01 && p00 == p11) return p00;
  const uint64_t ix = 65536 - wx, iy = 65536 - wy;
  auto channel = [&](int shift) {
    const uint64_t top = ((p00 >> shift) & 0xFF) * ix + ((p10 >> shift) & 0xFF) * wx;
    const uint64_t bottom = ((p01 >> shift) & 0xFF) * ix + ((p11 >> shift) & 0xFF) * wx;
    return static_cast<uint32_t>((top * iy + bottom * wy + (uint64_t{1} << 31)) >> 32) << shift;
  };
  return channel(0) | channel(8) | channel(16) | channel(24);
}

uint32_t BilinearFixed(const TBitmap32& src, double u, double v) {
  const int32_t x0 = static_cast<int32_t>(u), y0 = static_cast<int32_t>(v);
  return BilinearAt(src, x0, y0, static_cast<uint64_t>((u - x0) * 65536.0 + 0.5),
                    static_cast<uint64_t>((v - y0) * 65536.0 + 0.5));
}

// The indices i in [0, n) for which a + d·i lies in [lo, hi], kept one step inside what the
// division says so that rounding cannot let a point outside slip in. Empty: first > last.
void InsideRange(double a, double d, double lo, double hi, int64_t n, int64_t& first, int64_t& last) {
  if (d == 0) {
    first = (a >= lo && a <= hi) ? 0 : n;
    last = n - 1;
    return;
  }
  double from = (lo - a) / d, to = (hi - a) / d;
  if (from > to) std::swap(from, to);
  first = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(std::max(from, -1.0))) + 1);
  last = std::min<int64_t>(n - 1, static_cast<int64_t>(std::floor(std::min(to, static_cast<double>(n)))) - 1);
}

// The blend of the four pixels at (x0, y0) to (x0 + 1, y0 + 1), fractions fx and fy, in single
// precision over the four channels at once; rounds half to even. Within one unit of
// BilinearExact. The caller guarantees x0 + 1 and y0 + 1 are inside the image.
inline uint32_t BilinearInside(const TBitmap32& src, int32_t x0, int32_t y0, float fx, float fy) {
  const uint32_t* row0 = src.Pixels.data() + static_cast<size_t>(y0) * static_cast<size_t>(src.Width) + x0;
  const uint32_t* row1 = row0 + src.Width;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0)), zero);
  const __m128i bottom = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1)), zero);
  const __m128 t0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(top, zero));
  const __m128 t1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(top, zero));
  const __m128 b0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(bottom, zero));
  const __m128 b1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(bottom, zero));
  const __m128 wx = _mm_set1_ps(fx), wy = _mm_set1_ps(fy);
  const __m128 t = _mm_add_ps(t0, _mm_mul_ps(_mm_sub_ps(t1, t0), wx));
  const __m128 b = _mm_add_ps(b0, _mm_mul_ps(_mm_sub_ps(b1, b0), wx));
  __m128i v = _mm_cvtps_epi32(_mm_add_ps(t, _mm_mul_ps(_mm_sub_ps(b, t), wy)));
  v = _mm_packs_epi32(v, v);
  v = _mm_packus_epi16(v, v);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
#else
  return BilinearAt(src, x0, y0, static_cast<uint64_t>(fx * 65536.0f + 0.5f), static_cast<uint64_t>(fy * 65536.0f + 0.5f));
#endif
}

// Where a row's source points lie safely inside the image, they are stepped in 32.32 fixed
// point instead of being computed and converted per pixel; the drift over a row stays far
// below 1/65536 of a pixel.
constexpr double FixedOne = 4294967296.0;

}  // namespace

bool TParticleRenderer::PrepareSprite(uint8_t flip, float size, float fracX, float fracY, float angle) {
  constexpr int64_t far = std::numeric_limits<int64_t>::max() / 4;
  return PrepareSpriteClipped(flip, size, fracX, fracY, angle, TSpriteClip{-far, -far, far, far});
}

bool TParticleRenderer::PrepareSpriteClipped(uint8_t flip, float size, float fracX, float fracY,
                                             float angle, const TSpriteClip& clip) {
  if (!Sprite_) Sprite_ = std::make_unique<TBitmap32>();
  Sprite_->Width = 0;
  Sprite_->Height = 0;
  SpriteLeft_ = SpriteTop_ = 0;
  if (!SourceImage || SourceImage->Width <= 0 || SourceImage->Height <= 0) return false;
  return ResampleSprite(*SourceImage, flip, size, fracX, fracY, angle, clip, *Sprite_, SpriteLeft_, SpriteTop_);
}

bool TParticleRenderer::ResampleSprite(const TBitmap32& src, uint8_t flip, float size, float fracX, float fracY,
                                       float angle, const TSpriteClip& clip, TBitmap32& sprite,
                                       int64_t& spriteLeft, int64_t& spriteTop, TSpriteClip* boundsOnly) const {
  sprite.Width = 0;
  sprite.Height = 0;
  spriteLeft = spriteTop = 0;
  if (src.Width <= 0 || src.Height <= 0) return false;
  const double W = src.Width, H = src.Height;
  const double sx = size;
  const double sy = static_cast<double>(size * static_cast<float>(src.Height) / static_cast<float>(src.Width));
  if (!(sx > 0 && sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return false;

  // The forward transform: mirror, scale, rotate about the centre, shift.
  const bool mirrorX = flip == 1 || flip == 3, mirrorY = flip == 2 || flip == 3;
  const double kx = sx / W, ky = sy / H;
  const double cxr = sx / 2, cyr = sy / 2;
  const double radians = static_cast<double>(angle) * std::numbers::pi / 180.0;
  const double c = std::cos(radians), s = std::sin(radians);
  auto forward = [&](double x, double y, double& X, double& Y) {
    if (mirrorX) x = W - 1 - x;
    if (mirrorY) y = H - 1 - y;
    const double dx = x * kx - cxr, dy = y * ky - cyr;
    X = cxr + dx * c + dy * s + fracX;
    Y = cyr - dx * s + dy * c + fracY;
  };

  // Bounds of the transformed source rectangle, rounded half to even.
  double minX = std::numeric_limits<double>::infinity(), maxX = -minX, minY = minX, maxY = -minX;
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {W - 1, 0.0}, {0.0, H - 1}, {W - 1, H - 1}}) {
    double X, Y;
    forward(x, y, X, Y);
    minX = std::min(minX, X), maxX = std::max(maxX, X);
    minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  const int64_t bl = RoundToInt64(minX - 0.5), br = RoundToInt64(maxX + 0.5);
  const int64_t bt = RoundToInt64(minY - 0.5), bb = RoundToInt64(maxY + 0.5);

  // The part of the sprite that is wanted.
  const int64_t left = std::max(bl, clip.Left), right = std::min(br, clip.Right);
  const int64_t top = std::max(bt, clip.Top), bottom = std::min(bb, clip.Bottom);
  if (left > right || top > bottom) return false;
  const int64_t width = right - left + 1, height = bottom - top + 1;
  if (width > MaxSpritePixels / height) return false;
  if (boundsOnly) {
    *boundsOnly = {left, top, right, bottom};
    return true;
  }
  sprite.Width = static_cast<int32_t>(width);
  sprite.Height = static_cast<int32_t>(height);
  sprite.Pixels.resize(static_cast<size_t>(width * height));
  spriteLeft = left;
  spriteTop = top;

  // The inverse transform, as one affine map.
  TInverseMap inv{};
  inv.UX = c / kx;
  inv.UY = -s / kx;
  inv.U0 = (cxr - (fracX + cxr) * c + (fracY + cyr) * s) / kx;
  inv.VX = s / ky;
  inv.VY = c / ky;
  inv.V0 = (cyr - (fracX + cxr) * s - (fracY + cyr) * c) / ky;
  if (mirrorX) inv.UX = -inv.UX, inv.UY = -inv.UY, inv.U0 = W - 1 - inv.U0;
  if (mirrorY) inv.VX = -inv.VX, inv.VY = -inv.VY, inv.V0 = H - 1 - inv.V0;

  // Every sprite pixel from the source point it stands for; outside the source it stays 0.
  const double uMax = W - 1, vMax = H - 1;
  constexpr double margin = 1e-6;
  uint32_t* out = sprite.Pixels.data();
  for (int64_t j = 0; j < height; ++j, out += width) {
    const double Y = static_cast<double>(top + j);
    const double uRow = inv.U0 + inv.UY * Y, vRow = inv.V0 + inv.VY * Y;
    auto exactPixel = [&](int64_t i) {
      const double X = static_cast<double>(left + i);
      const double u = uRow + inv.UX * X, v = vRow + inv.VX * X;
      if (!(u >= 0 && u <= uMax && v >= 0 && v <= vMax)) return uint32_t{0};
      return ReferenceResampling ? BilinearExact(src, u, v) : BilinearFixed(src, u, v);
    };
    int64_t first = width, last = width - 1;
    if (!ReferenceResampling) {
      const double uStart = uRow + inv.UX * static_cast<double>(left);
      const double vStart = vRow + inv.VX * static_cast<double>(left);
      int64_t uf, ul, vf, vl;
      InsideRange(uStart, inv.UX, margin, uMax - margin, width, uf, ul);
      InsideRange(vStart, inv.VX, margin, vMax - margin, width, vf, vl);
      first = std::max(uf, vf);
      last = std::min(ul, vl);
      if (first > last) first = width, last = width - 1;
    }
    for (int64_t i = 0; i < std::min(first, width); ++i) out[i] = exactPixel(i);
    if (first <= last) {
      const double X = static_cast<double>(left + first);
      int64_t U = static_cast<int64_t>((uRow + inv.UX * X) * FixedOne);
      int64_t V = static_cast<int64_t>((vRow + inv.VX * X) * FixedOne);
      const int64_t dU = static_cast<int64_t>(inv.UX * FixedOne), dV = static_cast<int64_t>(inv.VX * FixedOne);
      constexpr float fraction = 1.0f / 4294967296.0f;
      for (int64_t i = first; i <= last; ++i, U += dU, V += dV)
        out[i] = BilinearInside(src, static_cast<int32_t>(U >> 32), static_cast<int32_t>(V >> 32),
                                static_cast<float>(U & 0xFFFFFFFF) * fraction,
                                static_cast<float>(V & 0xFFFFFFFF) * fraction);
    }
    for (int64_t i = std::max(last + 1, first); i < width; ++i) out[i] = exactPixel(i);
  }
  return true;
}
