// The projection cache and the projections of world points through the host's view matrices.
#include "render/Projection.h"

#include <cmath>

#include "engine/Particle.h"
#include "hostapi/TsxApi5.h"
#include "engine/RenderAttributes.h"

namespace {

struct TViewPart {
  TViewProjection View;
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

void ReadView(TViewProjection& view) {
  tsxAViewGetWorld2VportTxmx(&view.WorldToView);
  int32_t width = 0, height = 0;
  tsxAViewGetDrawportSize(&width, &height);
  view.Cx = static_cast<float>(width - 1) / 2.0f;
  view.Cy = static_cast<float>(height - 1) / 2.0f;
  view.ViewMode = tsxAViewGetViewMode();
}

void RefreshViewPart() {
  ReadView(ViewCache.View);
  ViewCache.Stale = false;
}

// The view's horizontal axis in world space.
CtsxVector3f ViewAxisX() {
  CtsxTxmx3f eyeToWorld{};
  tsxAViewGetEye2WorldTxmx(&eyeToWorld);
  const CtsxVector3f unitX{1, 0, 0};
  CtsxVector3f q{};
  tsxRotateVect3f(&unitX, &q, &eyeToWorld);
  return q;
}

void RefreshRenderPart() {
  tsxRENDERDATA data{};
  tsxRenderGetData(&data);
  int32_t width = 0, height = 0;
  tsxAViewGetDrawportSize(&width, &height);
  tsxAviewGetEyeToRenderTxmx(width, height, data.width, data.height, data.pixelAspect, RenderCache.M);
  RenderCache.Stale = false;
}

// The point one sprite width from the particle along the view's horizontal axis.
TVec3f SpriteEdge(const CtsxVector3f& axisX, const TParticle& particle, float size) {
  CtsxVector3f q = axisX;
  tsxMulScalar3f(&q, size);
  const CtsxVector3f position = ToHost(particle.RenderPosition);
  tsxAddVec3f(&q, &position);
  return {q.x, q.y, q.z};
}

// The projected x of the point one sprite width from the particle along the view's x axis.
float SpriteSize(const TParticle& particle, const TRenderAttributes& attributes,
                 void (*project)(const TVec3f&, TVec3f&, bool)) {
  TVec3f projected;
  project(SpriteEdge(ViewAxisX(), particle, attributes.Size), projected, false);
  return std::fabs(projected.x - particle.ScreenPos.x);
}

}  // namespace

TViewProjection CurrentViewProjection() {
  TViewProjection view;
  ReadView(view);
  view.AxisX = ViewAxisX();
  return view;
}

void ProjectToViewport(const TViewProjection& view, const TVec3f& point, TVec3f& out) {
  const CtsxVector3f in = ToHost(point);
  CtsxVector3f p{};
  tsxTransformVect3f(&in, &p, &view.WorldToView);
  if (view.ViewMode != 0 && view.ViewMode != 4) p.z = 1;
  out.x = view.Cx + (p.x / p.z) * view.Cx;
  out.y = view.Cy + (p.y / p.z) * view.Cy;
  out.z = p.z;
}

float ViewportSpriteSize(const TViewProjection& view, const TParticle& particle, float size) {
  TVec3f projected;
  ProjectToViewport(view, SpriteEdge(view.AxisX, particle, size), projected);
  return std::fabs(projected.x - particle.ScreenPos.x);
}

void WorldToViewport(const TVec3f& point, TVec3f& out, bool refresh) {
  if (refresh || ViewCache.Stale) RefreshViewPart();
  ProjectToViewport(ViewCache.View, point, out);
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
