// The preview's drawing of particles on the active view: a dot, a box or a circle in the
// particle's colour, placed by its image's origin; one particle, or a system's frame at once.
#include <algorithm>
#include <cmath>

#include "engine/Particle.h"
#include "engine/Rounding.h"
#include "engine/WorkerPool.h"
#include "hostapi/DrawSurface.h"
#include "render/Projection.h"
#include "render/Render.h"

namespace {

// Rounded half to even; false when the result is no 32-bit pixel coordinate.
bool RoundPixel(double v, int32_t& out) {
  const double r = RoundHalfEven(v);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  out = static_cast<int32_t>(r);
  return true;
}

}  // namespace

bool TParticleRenderer::PreviewShapeOf(TParticle& particle, const TRenderAttributes& attributes,
                                       const TViewProjection& view, TPreviewShape& shape) const {
  ProjectToViewport(view, particle.RenderPosition, particle.ScreenPos);
  if (!(particle.ScreenPos.z > 0.0001f)) return false;

  float w = ViewportSpriteSize(view, particle, attributes.Size) * 0.6f;
  if (!(w > 0 && w <= 1024)) return false;
  if (DrawMode == DrawDots) w = 2;

  // The square's corners, by the image's origin; the vertical offset skips the caption.
  const float left = particle.ScreenPos.x - w * attributes.Options.OriginX;
  const float top = particle.ScreenPos.y - w * attributes.Options.OriginY;
  int32_t l, t, r, b;
  if (!RoundPixel(left, l) || !RoundPixel(top, t) || !RoundPixel(left + w, r) || !RoundPixel(top + w, b)) return false;
  if (!RoundPixel(static_cast<double>(t) + VerticalOffset, t) || !RoundPixel(static_cast<double>(b) + VerticalOffset, b)) return false;

  // The colour; with alpha hints a fading particle fades to black.
  const float k = WireframeAlphaHints ? attributes.Alpha : 1.0f;
  TColorVector colour{particle.Color.r * k * attributes.Color.r, particle.Color.g * k * attributes.Color.g,
                      particle.Color.b * k * attributes.Color.b, 0};
  ClampColor(colour);
  TColor color = 0;
  VectorToColor(colour, color);
  shape = {l, t, r, b, color};
  return true;
}

void TParticleRenderer::DrawPreviewShape(const TPreviewShape& shape, TDrawSurface& canvas) const {
  canvas.SetBrushColor(shape.Color);
  canvas.SetPenColor(shape.Color);
  canvas.SetBrushHollow(DrawMode == DrawWireCircles);
  DrawPreviewOutline(shape, canvas);
}

void TParticleRenderer::DrawPreviewOutline(const TPreviewShape& shape, TDrawSurface& canvas) const {
  switch (DrawMode) {
    case DrawDots:
    case DrawSolidBoxes: canvas.FillRect(shape.Left, shape.Top, shape.Right, shape.Bottom); break;
    case DrawWireBoxes: canvas.FrameRect(shape.Left, shape.Top, shape.Right, shape.Bottom); break;
    case DrawWireCircles:
    case DrawSolidCircles: canvas.Ellipse(shape.Left, shape.Top, shape.Right, shape.Bottom); break;
    default: break;
  }
}

void TParticleRenderer::DrawPreviewParticle(TParticle& particle, const TRenderAttributes& attributes,
                                            TDrawSurface& canvas) {
  // Every preview particle re-reads the view: the user may move it between frames.
  WorldToViewport(particle.RenderPosition, particle.ScreenPos, true);
  TPreviewShape shape;
  if (PreviewShapeOf(particle, attributes, CurrentViewProjection(), shape)) DrawPreviewShape(shape, canvas);
}

int32_t TParticleRenderer::DrawPreviewSystem(TParticleSystem& system, TDrawSurface& canvas) {
  // The view is read once for the frame; what each particle needs of it is then computed on the
  // workers, chunk by chunk, into one shape per slot, and drawn in slot order.
  TVec3f unused;
  WorldToViewport(ZeroVec3f, unused, true);  // the cache follows the view, as particle by particle
  const TViewProjection view = CurrentViewProjection();
  system.PrepareRenderAttributes();
  const size_t slots = system.Particles.size();
  if (PreviewShapes_.size() < slots) PreviewShapes_.resize(slots);
  constexpr size_t Chunk = 2048;
  const int64_t chunks = static_cast<int64_t>((slots + Chunk - 1) / Chunk);
  PreviewCounts_.assign(static_cast<size_t>(chunks), 0);
  auto shapeChunk = [&](int64_t c) {
    const size_t begin = static_cast<size_t>(c) * Chunk, end = std::min(begin + Chunk, slots);
    int32_t visible = 0;
    TRenderAttributes attributes;
    for (size_t i = begin; i < end; ++i) {
      TParticle& p = system.Particles[i];
      TPreviewShape& shape = PreviewShapes_[i];
      shape.Drawn = false;
      if (!p.Alive) continue;
      if (system.Visibility.Evaluate(100.0 * static_cast<double>(system.LifeFractionOf(p))) == 0) continue;
      ++visible;
      system.RenderAttributesOf(p, attributes);
      shape.Drawn = PreviewShapeOf(p, attributes, view, shape);
    }
    PreviewCounts_[static_cast<size_t>(c)] = visible;
  };
  if (Workers && slots >= PreviewChunkMinimum)
    Workers->Run(chunks, shapeChunk);
  else
    for (int64_t c = 0; c < chunks; ++c) shapeChunk(c);

  int32_t visible = 0;
  for (int32_t n : PreviewCounts_) visible += n;
  // The surface keeps its colours and brush from shape to shape; they are set only when they change.
  bool first = true;
  uint32_t color = 0;
  for (size_t i = 0; i < slots; ++i) {
    const TPreviewShape& shape = PreviewShapes_[i];
    if (!shape.Drawn) continue;
    if (first) {
      DrawPreviewShape(shape, canvas);
      first = false;
    } else {
      if (shape.Color != color) {
        canvas.SetBrushColor(shape.Color);
        canvas.SetPenColor(shape.Color);
      }
      DrawPreviewOutline(shape, canvas);
    }
    color = shape.Color;
  }
  return visible;
}
