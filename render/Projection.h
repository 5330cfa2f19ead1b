// World points onto the active view's drawport and onto the render image, through the host's
// view matrices, and the projected width of a particle's sprite. The matrices are kept in a
// program-wide cache with a view part and a render part, each stale until first read; callers
// refresh it where the host may have changed them (once per system and frame in a final render,
// per particle in the preview). Not thread-safe: one caller at a time, as the host runs them.
#pragma once

#include "engine/VectorData.h"
#include "hostapi/TsxApi5.h"

struct TParticle;
struct TRenderAttributes;

// out: x and y in drawport pixels (y downwards), z the view depth (1 in a view whose mode is
// neither perspective 0 nor 4). refresh re-reads the view part of the cache from the host.
void WorldToViewport(const TVec3f& point, TVec3f& out, bool refresh);
// The same, x and y in render-image pixels. refresh re-reads both parts of the cache.
void WorldToRender(const TVec3f& point, TVec3f& out, bool refresh);

// The projected full width of the particle's sprite, in drawport or render pixels: the
// distance along x between the particle's ScreenPos (which the matching projection must have
// filled) and the point one sprite width along the view's horizontal axis. Reads the view's
// eye-to-world matrix at every call; uses the cached projection without refreshing it.
float ViewportSpriteSize(const TParticle& particle, const TRenderAttributes& attributes);
float RenderSpriteSize(const TParticle& particle, const TRenderAttributes& attributes);

// The active view's projection as a value, read from the host once (for a whole preview frame)
// and then used from any thread: the world-to-view transform, the view centre and mode, and the
// view's horizontal axis in world space.
struct TViewProjection {
  CtsxTxmx3f WorldToView{};
  float Cx = 0, Cy = 0;
  int ViewMode = 0;
  CtsxVector3f AxisX{};
};
TViewProjection CurrentViewProjection();
// WorldToViewport and ViewportSpriteSize (for a sprite size in world units) with that view; the
// same floats, without touching the cache. Thread-safe.
void ProjectToViewport(const TViewProjection& view, const TVec3f& point, TVec3f& out);
float ViewportSpriteSize(const TViewProjection& view, const TParticle& particle, float size);

// Marks both parts of the cache stale, as they are when the plug-in loads.
void MarkProjectionStale();
