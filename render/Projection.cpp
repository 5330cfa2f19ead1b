// The projection cache and the projections of world points through the host's view matrices.
#include "render/Projection.h"

#include <cmath>

#include "engine/Particle.h"
#include "hostapi/TsxApi5.h"
#include "engine/RenderAttributes.h"

namespace {

struct TViewPart {
  CtsxTxmx3f WorldToView{};
  float Cx = 0, Cy = 0;
  int ViewMode = 0;
  bool Stale = true;
};

struct TRenderPart {
  float M[6] = {};
  bool Stale = true;
};

// Program-wide, shared by the preview and the final render, which never run together.
TViewPart ViewCache;
TRenderPart RenderCache;

CtsxVector3f ToHost(const TVec3f& v) { return {v.x, v.y, v.z}; }

void RefreshViewPart() {
  tsxAViewGetWorld2VportTxmx(&ViewCache.WorldToView);
  int32_t width = 0, height = 0;
  tsxAViewGetDrawportSize(&width, &height);
  ViewCache.Cx = static_cast<float>(width - 1) / 2.0f;
  ViewCache.Cy = static_cast<float>(height - 1) / 2.0f;
  ViewCache.ViewMode = tsxAViewGetViewMode();
  ViewCache.Stale = false;
}

void RefreshRenderPart() {
  tsxRENDERDATA data{};
  tsxRenderGetData(&data);
  int32_t width = 0, height = 0;
  tsxAViewGetDrawportSize(&width, &height);
  tsxAviewGetEyeToRenderTxmx(width, height, data.width, data.height, data.pixelAspect, RenderCache.M);
  RenderCache.Stale = false;
}

// The projected x of the point one sprite width from the particle along the view's x axis.
float SpriteSize(const TParticle& particle, const TRenderAttributes& attributes,
                 void (*project)(const TVec3f&, TVec3f&, bool)) {
  CtsxTxmx3f eyeToWorld{};
  tsxAViewGetEye2WorldTxmx(&eyeToWorld);
  const CtsxVector3f unitX{1, 0, 0};
  CtsxVector3f q{};
  tsxRotateVect3f(&unitX, &q, &eyeToWorld);
  tsxMulScalar3f(&q, attributes.Size);
  const CtsxVector3f position = ToHost(particle.RenderPosition);
  tsxAddVec3f(&q, &position);
  TVec3f projected;
  project(TVec3f{q.x, q.y, q.z}, projected, false);
  return std::fabs(projected.x - particle.ScreenPos.x);
}

}  // namespace

void WorldToViewport(const TVec3f& point, TVec3f& out, bool refresh) {
  if (refresh || ViewCache.Stale) RefreshViewPart();
  const CtsxVector3f in = ToHost(point);
  CtsxVector3f p{};
  tsxTransformVect3f(&in, &p, &ViewCache.WorldToView);
  if (ViewCache.ViewMode != 0 && ViewCache.ViewMode != 4) p.z = 1;
  out.x = ViewCache.Cx + (p.x / p.z) * ViewCache.Cx;
  out.y = ViewCache.Cy + (p.y / p.z) * ViewCache.Cy;
  out.z = p.z;
}

void WorldToRender(const TVec3f& point, TVec3f& out, bool refresh) {
  if (refresh || RenderCache.Stale) RefreshRenderPart();
  TVec3f v;
  WorldToViewport(point, v, refresh);
  const float* m = RenderCache.M;
  out.x = m[0] * v.x + m[1] * v.y + m[2];
  out.y = m[3] * v.x + m[4] * v.y + m[5];
  out.z = v.z;
}

float ViewportSpriteSize(const TParticle& particle, const TRenderAttributes& attributes) {
  return SpriteSize(particle, attributes, WorldToViewport);
}

float RenderSpriteSize(const TParticle& particle, const TRenderAttributes& attributes) {
  return SpriteSize(particle, attributes, WorldToRender);
}

void MarkProjectionStale() {
  ViewCache.Stale = true;
  RenderCache.Stale = true;
}
