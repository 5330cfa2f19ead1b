// The preview's drawing of one particle on the active view: a dot, a box or a circle in the
// particle's colour, placed by its image's origin.
#include <cmath>

#include "engine/Particle.h"
#include "engine/Rounding.h"
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

void TParticleRenderer::DrawPreviewParticle(TParticle& particle, const TRenderAttributes& attributes,
                                            TDrawSurface& canvas) {
  // Every preview particle re-reads the view: the user may move it between frames.
  WorldToViewport(particle.RenderPosition, particle.ScreenPos, true);
  if (!(particle.ScreenPos.z > 0.0001f)) return;

  float w = ViewportSpriteSize(particle, attributes) * 0.6f;
  if (!(w > 0 && w <= 1024)) return;
  if (DrawMode == DrawDots) w = 2;

  // The square's corners, by the image's origin; the vertical offset skips the caption.
  const float left = particle.ScreenPos.x - w * attributes.Options.OriginX;
  const float top = particle.ScreenPos.y - w * attributes.Options.OriginY;
  int32_t l, t, r, b;
  if (!RoundPixel(left, l) || !RoundPixel(top, t) || !RoundPixel(left + w, r) || !RoundPixel(top + w, b)) return;
  if (!RoundPixel(static_cast<double>(t) + VerticalOffset, t) || !RoundPixel(static_cast<double>(b) + VerticalOffset, b)) return;

  // The colour; with alpha hints a fading particle fades to black.
  const float k = WireframeAlphaHints ? attributes.Alpha : 1.0f;
  TColorVector colour{particle.Color.r * k * attributes.Color.r, particle.Color.g * k * attributes.Color.g,
                      particle.Color.b * k * attributes.Color.b, 0};
  ClampColor(colour);
  TColor color = 0;
  VectorToColor(colour, color);

  canvas.SetBrushColor(color);
  canvas.SetPenColor(color);
  canvas.SetBrushHollow(DrawMode == DrawWireCircles);
  switch (DrawMode) {
    case DrawDots:
    case DrawSolidBoxes: canvas.FillRect(l, t, r, b); break;
    case DrawWireBoxes: canvas.FrameRect(l, t, r, b); break;
    case DrawWireCircles:
    case DrawSolidCircles: canvas.Ellipse(l, t, r, b); break;
    default: break;
  }
}
