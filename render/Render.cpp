// The final-render pass of the particle renderer: the queue, the back-to-front loop, the
// culling of one particle and the blending of its sprite rows into the host's image.
#include "render/Render.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Errors.h"
#include "engine/Particle.h"
#include "hostapi/Platform.h"
#include "engine/RandomTables.h"
#include "render/ParticleImages.h"
#include "render/Projection.h"

namespace {

// What the blend of one span needs of the particle being drawn.
struct TSpanBlend {
  float W;            // the particle's squared depth, less half the dither depth
  float D;            // the dither depth, 0 without dithering
  float AlphaScale;
  const float* F;     // the three colour factors
  const float* Table; // the random table's 512 values
  float Z;            // the particle's view depth
  float InvSoft;      // 1 / the soft-intersection distance
};

// The blend of one span, specialised per render mode, dithering, the line's layout (Coverage:
// five floats per pixel with alpha at 3 and depth at 4, else four with depth at 3) and soft
// intersections, so that the pixel loop carries no decisions beyond the depth test and the
// sprite's alpha. Every expression is the reference loop's (CompositeSpan below), in the same
// order, so both give the same floats. cursor walks the table as NextTableRandom would.
template <int Mode, bool Dither, bool Coverage, bool Soft>
void BlendSpan(float* px, const uint32_t* sprite, int64_t count, const TSpanBlend& b, int& cursor) {
  constexpr int Stride = Coverage ? 5 : 4;
  constexpr int Depth = Stride - 1;
  const float* f = b.F;
  for (int64_t k = 0; k < count; ++k, px += Stride) {
    if constexpr (Dither) {
      const float r = b.Table[cursor];
      cursor = (cursor + 1) % RandomTableSize;
      if (!(b.W + r * b.D < px[Depth])) continue;
    } else {
      if (!(px[Depth] > b.W)) continue;
    }
    const uint32_t s = sprite[k];
    float a = static_cast<float>(AlphaOf(s)) * b.AlphaScale;
    if (a == 0) continue;
    float t = 1;
    if constexpr (Soft) {
      t = (std::sqrt(px[Depth]) - b.Z) * b.InvSoft;
      if (!(t > 0)) continue;
      if (!(t < 1)) t = 1;
      if constexpr (Mode != RenderPaint) a = a * t;
    }
    const float sc[3] = {static_cast<float>(RedOf(s)), static_cast<float>(GreenOf(s)),
                         static_cast<float>(BlueOf(s))};
    if constexpr (Mode == RenderIlluminate) {
      for (int c = 0; c < 3; ++c) px[c] = px[c] + a * f[c] * sc[c];
    } else if constexpr (Mode == RenderPaint) {
      if (Soft && t < 1) {
        for (int c = 0; c < 3; ++c) px[c] = (1 - t) * px[c] + t * (a * f[c] * sc[c]);
        if constexpr (Coverage) px[3] = (1 - t) * px[3] + t;
      } else {
        for (int c = 0; c < 3; ++c) px[c] = a * f[c] * sc[c];
        if constexpr (Coverage) px[3] = 1;
      }
      px[Depth] = b.W;
    } else if constexpr (Mode == RenderColorAlpha) {
      for (int c = 0; c < 3; ++c) px[c] = (1 - a) * px[c] + a * f[c] * sc[c];
      if constexpr (Coverage) px[3] = a + (1 - a) * px[3];
    } else {
      for (int c = 0; c < 3; ++c) px[c] = (1 - a) * px[c] + a * f[c];
      if constexpr (Coverage) px[3] = a + (1 - a) * px[3];
    }
  }
}

template <int Mode, bool Coverage, bool Soft>
void BlendSpanDither(float* px, const uint32_t* sprite, int64_t count, const TSpanBlend& b, int& cursor) {
  if (b.D != 0) {
    BlendSpan<Mode, true, Coverage, Soft>(px, sprite, count, b, cursor);
  } else {
    int unused = 0;
    BlendSpan<Mode, false, Coverage, Soft>(px, sprite, count, b, unused);
  }
}

template <int Mode>
void BlendSpanMode(float* px, const uint32_t* sprite, int64_t count, const TSpanBlend& b, bool coverage, int& cursor) {
  const bool soft = b.InvSoft != 0;
  if (coverage) {
    if (soft) BlendSpanDither<Mode, true, true>(px, sprite, count, b, cursor);
    else BlendSpanDither<Mode, true, false>(px, sprite, count, b, cursor);
  } else {
    if (soft) BlendSpanDither<Mode, false, true>(px, sprite, count, b, cursor);
    else BlendSpanDither<Mode, false, false>(px, sprite, count, b, cursor);
  }
}

// True when a float lies within the range of a 32-bit integer after truncation.
bool FitsInt32(float v) {
  return v > -2147483649.0f && v < 2147483648.0f;
}

}  // namespace

TParticleRenderer::TParticleRenderer() = default;
TParticleRenderer::~TParticleRenderer() = default;

void TParticleRenderer::BeginRender(const tssPostProcessData& postData) {
  Queue_.clear();
  FailedImages_.clear();
  CompositedPixels_ = 0;
  Buffer_ = postData.buffer;
  ImageWidth_ = postData.width;
  ImageHeight_ = postData.height;

  tsxRENDERDATA data{};
  tsxRenderGetData(&data);
  if (data.regionFlag != 0) {
    Left_ = data.regionLeft;
    Top_ = data.regionTop;
    Right_ = data.regionRight;
    Bottom_ = data.regionBottom;
  } else {
    Left_ = 0;
    Top_ = 0;
    Right_ = ImageWidth_ - 1;
    Bottom_ = ImageHeight_ - 1;
  }

  // The layout of the pass: with the host's coverage extension, lines carry alpha too.
  const bool coverage = CoverageQuery != nullptr && Buffer_ != nullptr && CoverageQuery(Buffer_) == 1;
  LineFormat_ = coverage ? tssLINE_RGBAZ : tssLINE_RGBZ;
  Stride_ = coverage ? 5 : 4;

  // The host's line is as wide as its buffer: the image, or the region when it renders one.
  const int64_t regionWidth = std::max<int64_t>(0, int64_t{Right_} - Left_ + 1);
  const int64_t width = std::max<int64_t>(regionWidth, std::max(ImageWidth_, 0));
  LineFloats_ = static_cast<size_t>(width) * static_cast<size_t>(Stride_);
  if (Line_.size() < LineFloats_) Line_.resize(LineFloats_);
  if (coverage && DisplayLine_.size() < static_cast<size_t>(width) * 4) DisplayLine_.resize(static_cast<size_t>(width) * 4);

  // Rows are kept for the pass only while a copy of the region stays within a sane budget;
  // beyond it every row goes through the line buffer (the same image, more host calls).
  constexpr int64_t KeptRowsBudget = int64_t{256} << 20;  // bytes
  const int64_t rows = std::max<int64_t>(0, int64_t{Bottom_} - Top_ + 1);
  KeepRows_ = rows * width * Stride_ * static_cast<int64_t>(sizeof(float)) <= KeptRowsBudget;
}

int TParticleRenderer::AddParticle(TParticle& particle) {
  Queue_.push_back(&particle);
  return static_cast<int>(Queue_.size()) - 1;
}

void TParticleRenderer::RenderAll() {
  // Back to front; a particle of undefined depth sorts last (it is not drawn).
  auto depthKey = [](const TParticle* p) {
    const float z = p->ScreenPos.z;
    return std::isnan(z) ? -std::numeric_limits<float>::infinity() : z;
  };
  std::stable_sort(Queue_.begin(), Queue_.end(), [&](const TParticle* a, const TParticle* b) {
    return depthKey(a) > depthKey(b);
  });

  InPass_ = true;
  TableLoaded_ = false;
  try {
    if (CanUseBands()) {
      RenderAllInBands();
      EndPass();
      return;
    }
    const int64_t count = static_cast<int64_t>(Queue_.size());
    for (int64_t i = 0; i < count; ++i) {
      if (!StartQueued(i, count)) break;
      TRenderAttributes attributes;
      if (TParticle* particle = TakeQueued(i, attributes)) {
        CompositeParticle(*particle, attributes);
        SourceImage.reset();
      }
    }
  } catch (...) {
    EndPass();
    throw;
  }
  EndPass();
}

bool TParticleRenderer::StartQueued(int64_t i, int64_t count) {
  // Integer percent: the same value a reporter computes as n × 100 / count, so no multiple of 5
  // is lost to a quotient just below it.
  if (OnProgress) OnProgress(static_cast<int>((i + 1) * 100 / count));
  return tsxRenderCheckInterrupt() != 1;
}

TParticle* TParticleRenderer::TakeQueued(int64_t i, TRenderAttributes& attributes) {
  TParticle& particle = *Queue_[static_cast<size_t>(i)];
  TParticleSystem* system = particle.System;
  if (!particle.Alive || system == nullptr) return nullptr;
  RenderMode = system->RenderMode;
  MaxSize = system->MaxParticleSize;
  if (!TakeImage(*system, particle.Index)) return nullptr;
  system->ComputeRenderAttributes(particle.Index, attributes);
  attributes.Alpha = attributes.Alpha * attributes.Options.AlphaMaster;
  return &particle;
}

bool TParticleRenderer::TakeImage(TParticleSystem& system, int index) {
  const std::string name = ImageNameOf(system, index);
  if (FailedImages_.contains(name)) return false;
  try {
    SourceImage = ImageOf(system, index);
    return true;
  } catch (const EVantrelError& e) {
    // Only this image's particles are lost; the picture keeps everything else.
    FailedImages_.insert(name);
    if (ReportedImages_.insert(name).second)
      Platform().ShowMessage(Format("%s: %s Its particles are left out of the picture.", name.c_str(), e.what()));
    return false;
  }
}

void TParticleRenderer::EndPass() {
  InPass_ = false;
  TableLoaded_ = false;
  FlushRows();
  SourceImage.reset();
  Sprite_.reset();
  RenderedCount_ = static_cast<int32_t>(Queue_.size());
  Queue_.clear();
}

void TParticleRenderer::DisplayAll() {
  if (Buffer_ == nullptr || Line_.empty()) return;
  for (int32_t y = Top_; y <= Bottom_; ++y) {
    // The display takes four floats per pixel, whatever the pass's layout.
    if (tssScreenBufferGetScanLine(Buffer_, y - Top_, tssLINE_RGBZ, Line_.data()) == 0) continue;
    tsxRenderDisplayScanline(Line_.data(), Left_, Right_, y, Bottom_);
  }
}

void TParticleRenderer::RenderParticle(TParticle& particle, const TRenderAttributes& attributes) {
  CompositeParticle(particle, attributes);
  if (!InPass_) FlushRows();
}

bool TParticleRenderer::PlanParticle(const TParticle& particle, const TRenderAttributes& attributes,
                                     TParticlePlan& plan) {
  // Depth: at or behind the eye, or undefined.
  const float X = particle.ScreenPos.x, Y = particle.ScreenPos.y, Z = particle.ScreenPos.z;
  if (!(Z > 0.0001f)) return false;
  const float zz = Z * Z;

  // Size, against one pixel and the max size on both sides.
  if (!SourceImage || SourceImage->Width <= 0 || SourceImage->Height <= 0) return false;
  const float sx = RenderSpriteSize(particle, attributes);
  const float sy = sx * static_cast<float>(SourceImage->Height) / static_cast<float>(SourceImage->Width);
  const float maxSize = static_cast<float>(MaxSize);
  if (!(sx >= 1 && sx <= maxSize && sy >= 1 && sy <= maxSize)) return false;

  // The sprite's corner, split into an integer part and a fraction that keeps its sign.
  const float cornerX = X - sx * attributes.Options.OriginX;
  const float cornerY = Y - sy * attributes.Options.OriginY;
  if (!FitsInt32(cornerX) || !FitsInt32(cornerY)) return false;
  const float ix = std::trunc(cornerX), iy = std::trunc(cornerY);
  const float fx = cornerX - ix, fy = cornerY - iy;
  const int64_t ixi = static_cast<int64_t>(ix), iyi = static_cast<int64_t>(iy);

  // Wholly outside the region; too transparent.
  if (Left_ > ix + sx || Right_ < ix || Top_ > iy + sy || Bottom_ < iy) return false;
  if (!(attributes.Alpha >= 0.003f)) return false;
  plan.Image = SourceImage;
  plan.Flip = attributes.Options.Flip;
  plan.Size = sx;
  plan.FracX = fx;
  plan.FracY = fy;
  plan.Angle = particle.Angle;
  plan.Ix = ixi;
  plan.Iy = iyi;

  // Blend factors; "Pure Alpha" paints the flat colour, so its factors stay unscaled.
  TBlend& b = plan.Blend;
  b.Mode = RenderMode;
  b.AlphaScale = attributes.Alpha / 255;
  const float own[3] = {particle.Color.r, particle.Color.g, particle.Color.b};
  const float tint[3] = {attributes.Color.r, attributes.Color.g, attributes.Color.b};
  const bool scaled = RenderMode == RenderIlluminate || RenderMode == RenderPaint || RenderMode == RenderColorAlpha;
  for (int c = 0; c < 3; ++c) b.F[c] = scaled ? own[c] * tint[c] / 255 : own[c] * tint[c];
  b.D = DepthDithering ? attributes.Size * 0.5f : 0.0f;
  if (b.D != 0 && !TableLoaded_) {
    for (int i = 0; i < RandomTableSize; ++i) Table_[i] = RandomTableEntry(i);
    TableLoaded_ = InPass_;  // the table does not change during a pass
  }
  b.W = zz - 0.5f * b.D;
  b.Z = Z;
  b.InvSoft = SoftDistance > 0 && std::isfinite(SoftDistance) ? 1 / SoftDistance : 0.0f;
  return true;
}

void TParticleRenderer::CompositeParticle(TParticle& particle, const TRenderAttributes& attributes) {
  TParticlePlan plan;
  if (!PlanParticle(particle, attributes, plan)) return;

  // The sprite; the fast path resamples only what lies in the region.
  const TSpriteClip clip =
      ReferenceResampling
          ? TSpriteClip{std::numeric_limits<int64_t>::min() / 4, std::numeric_limits<int64_t>::min() / 4,
                        std::numeric_limits<int64_t>::max() / 4, std::numeric_limits<int64_t>::max() / 4}
          : RegionClip(plan);
  if (!PrepareSpriteClipped(plan.Flip, plan.Size, plan.FracX, plan.FracY, plan.Angle, clip)) return;
  const int64_t spriteLeft = plan.Ix + SpriteLeft_;
  const int64_t spriteTop = plan.Iy + SpriteTop_;

  // Row by row through the region.
  const TBitmap32& sprite = *Sprite_;
  for (int32_t j = 0; j < sprite.Height; ++j) {
    const int64_t y = spriteTop + j;
    if (y < Top_ || y > Bottom_) continue;
    int64_t xs = spriteLeft;
    int64_t xe = xs + sprite.Width - 1;
    if (xe < Left_ || xs > Right_) return;
    const int32_t row = static_cast<int32_t>(y);
    float* line = ReadRow(row);
    if (line == nullptr) return;
    int64_t skip = 0;
    if (xs < Left_) {
      skip = Left_ - xs;
      xs = Left_;
    }
    if (xe > Right_) xe = Right_;
    const uint32_t* spriteRow = sprite.Pixels.data() + static_cast<size_t>(j) * static_cast<size_t>(sprite.Width);
    CompositeSpan(line + (xs - Left_) * Stride_, spriteRow + skip, xe - xs + 1, plan.Blend);
    CompositedPixels_ += xe - xs + 1;
    if (!WriteRow(row, line)) return;
    if (ShowRendering) ShowRow(row, line);
  }
}

void TParticleRenderer::ShowRow(int32_t y, const float* line) {
  if (Stride_ == 4) {
    tsxRenderDisplayScanline(line, Left_, Right_, y, Bottom_);
    return;
  }
  const size_t pixels = LineFloats_ / 5;
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 4; ++c) DisplayLine_[i * 4 + static_cast<size_t>(c)] = line[i * 5 + static_cast<size_t>(c)];
  tsxRenderDisplayScanline(DisplayLine_.data(), Left_, Right_, y, Bottom_);
}

void TParticleRenderer::CompositeSpan(float* pixels, const uint32_t* sprite, int64_t count,
                                      const TBlend& b) const {
  if (count <= 0) return;
  if (ReferenceRows) {
    const float w = b.W, d = b.D;
    // The plain loop, the reference for the specialised ones.
    const int stride = Stride_;
    const int depth = stride - 1;
    const bool coverage = stride == 5;
    const bool soft = b.InvSoft != 0;
    for (int64_t k = 0; k < count; ++k) {
      float* P = pixels + k * stride;
      if (d == 0) {
        if (!(P[depth] > w)) continue;
      } else {
        const float r = NextTableRandom();
        if (!(w + r * d < P[depth])) continue;
      }
      const uint32_t s = sprite[k];
      float a = static_cast<float>(AlphaOf(s)) * b.AlphaScale;
      if (a == 0) continue;
      // Soft intersections: t runs from 0 where the particle meets the image's surface to 1 at
      // the soft distance in front of it.
      float t = 1;
      if (soft) {
        t = (std::sqrt(P[depth]) - b.Z) * b.InvSoft;
        if (!(t > 0)) continue;
        if (!(t < 1)) t = 1;
        if (b.Mode != RenderPaint) a = a * t;
      }
      const float sc[3] = {static_cast<float>(RedOf(s)), static_cast<float>(GreenOf(s)),
                           static_cast<float>(BlueOf(s))};
      for (int c = 0; c < 3; ++c) {
        switch (b.Mode) {
          case RenderIlluminate: P[c] = P[c] + a * b.F[c] * sc[c]; break;
          case RenderPaint:
            P[c] = soft && t < 1 ? (1 - t) * P[c] + t * (a * b.F[c] * sc[c]) : a * b.F[c] * sc[c];
            break;
          case RenderColorAlpha: P[c] = (1 - a) * P[c] + a * b.F[c] * sc[c]; break;
          default: P[c] = (1 - a) * P[c] + a * b.F[c]; break;
        }
      }
      // Coverage: "over" for the modes that blend by alpha, full for "Paint" (as far as it is
      // not faded), none for "Illuminate", whose light composites by adding.
      if (coverage) {
        switch (b.Mode) {
          case RenderIlluminate: break;
          case RenderPaint: P[3] = soft && t < 1 ? (1 - t) * P[3] + t : 1; break;
          default: P[3] = a + (1 - a) * P[3]; break;
        }
      }
      if (b.Mode == RenderPaint) P[depth] = w;
    }
    return;
  }
  int cursor = RandomTableCursor();
  BlendSpanAt(pixels, sprite, count, b, cursor);
  SetRandomTableCursor(cursor);
}

void TParticleRenderer::BlendSpanAt(float* pixels, const uint32_t* sprite, int64_t count, const TBlend& b,
                                    int& cursor) const {
  const TSpanBlend blend{b.W, b.D, b.AlphaScale, b.F, Table_, b.Z, b.InvSoft};
  const bool coverage = Stride_ == 5;
  switch (b.Mode) {
    case RenderIlluminate: BlendSpanMode<RenderIlluminate>(pixels, sprite, count, blend, coverage, cursor); break;
    case RenderPaint: BlendSpanMode<RenderPaint>(pixels, sprite, count, blend, coverage, cursor); break;
    case RenderColorAlpha: BlendSpanMode<RenderColorAlpha>(pixels, sprite, count, blend, coverage, cursor); break;
    default: BlendSpanMode<RenderPureAlpha>(pixels, sprite, count, blend, coverage, cursor); break;
  }
}

// ---- Rows. The reference reads and writes every row through the line buffer; the fast path
// keeps a copy of each row it touched until the end of the pass.

float* TParticleRenderer::ReadRow(int32_t y) {
  if (Buffer_ == nullptr || LineFloats_ == 0) return nullptr;
  const int32_t line = y - Top_;
  if (ReferenceRows || !KeepRows_) {
    return tssScreenBufferGetScanLine(Buffer_, line, LineFormat_, Line_.data()) != 0 ? Line_.data() : nullptr;
  }
  const size_t rows = static_cast<size_t>(int64_t{Bottom_} - Top_ + 1);
  if (!Rows_) {
    Rows_ = std::make_unique_for_overwrite<float[]>(rows * LineFloats_);
    RowState_.assign(rows, 0);
  }
  float* row = Rows_.get() + static_cast<size_t>(line) * LineFloats_;
  uint8_t& state = RowState_[static_cast<size_t>(line)];
  if (state == 0) {
    if (tssScreenBufferGetScanLine(Buffer_, line, LineFormat_, row) == 0) return nullptr;
    state = 1;
  }
  return row;
}

bool TParticleRenderer::WriteRow(int32_t y, const float* line) {
  if (ReferenceRows || !KeepRows_) return tssScreenBufferSetScanLine(Buffer_, y - Top_, LineFormat_, line) != 0;
  RowState_[static_cast<size_t>(y - Top_)] = 2;
  return true;
}

void TParticleRenderer::FlushRows() {
  if (Rows_) {
    for (size_t line = 0; line < RowState_.size(); ++line)
      if (RowState_[line] == 2)
        tssScreenBufferSetScanLine(Buffer_, static_cast<int32_t>(line), LineFormat_,
                                   Rows_.get() + line * LineFloats_);
  }
  Rows_.reset();
  RowState_.clear();
}

namespace {
TParticleRenderer* Installed = nullptr;
}  // namespace

TParticleRenderer* Renderer() { return Installed; }
void InstallRenderer(TParticleRenderer* renderer) { Installed = renderer; }
