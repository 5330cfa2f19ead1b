// Projections through the stage's views, the projection cache, sprite sizes, and what a
// particle system hands the renderer: its render attributes and its submitted particles.
#include <cmath>

#include "RenderFixture.h"

using namespace rendertest;

namespace {

void SetPerspectiveStage(int32_t viewWidth, int32_t viewHeight, int32_t renderWidth, int32_t renderHeight) {
  stage::ResetStage();
  stage::TStage& st = stage::Stage();
  st.View.Camera.Eye = {1, -12, 2};
  st.View.Camera.Target = {0, 0, 0.5f};
  st.View.Width = viewWidth;
  st.View.Height = viewHeight;
  st.Render.Width = renderWidth;
  st.Render.Height = renderHeight;
  MarkProjectionStale();
}

TEST(Projection, LandsOnTheStagesPixels) {
  SetPerspectiveStage(321, 241, 641, 481);
  const stage::TView& view = stage::Stage().View;
  for (const TVec3f& p : {TVec3f{0, 0, 0}, TVec3f{2, 3, -1}, TVec3f{-4, 10, 3}}) {
    TVec3f v, r;
    WorldToViewport(p, v, false);
    WorldToRender(p, r, false);
    const stage::TProjected expected = view.Project({p.x, p.y, p.z});
    EXPECT_FLOAT_EQ(v.x, expected.X);
    EXPECT_FLOAT_EQ(v.y, expected.Y);
    EXPECT_FLOAT_EQ(v.z, expected.Depth);
    // The render image is twice the drawport (in pixel steps).
    EXPECT_FLOAT_EQ(r.x, v.x * 2);
    EXPECT_FLOAT_EQ(r.y, v.y * 2);
    EXPECT_EQ(r.z, v.z);
  }
}

TEST(Projection, OrthographicViewsGiveDepthOne) {
  SetOrthoStage();
  for (const TVec3f& p : {TVec3f{0, 0, 0}, TVec3f{3, 40, -2}, TVec3f{-5, -9, 1}}) {
    TVec3f r;
    WorldToRender(p, r, true);
    EXPECT_EQ(r.z, 1.0f);
    EXPECT_EQ(r.x, 64 + p.x);
    EXPECT_EQ(r.y, 64 - p.z);
  }
}

TEST(Projection, CacheIsStaleAtFirstAndRefreshedOnRequest) {
  SetOrthoStage();
  TVec3f before, cached, refreshed, stale;
  const TVec3f p{3, 0, 0};
  WorldToRender(p, before, false);  // stale: reads the host
  EXPECT_EQ(before.x, 67);
  stage::Stage().View.Camera.Height = 64;  // twice the magnification
  WorldToRender(p, cached, false);
  EXPECT_EQ(cached.x, 67);
  WorldToRender(p, refreshed, true);
  EXPECT_EQ(refreshed.x, 70);
  stage::Stage().View.Camera.Height = 128;
  MarkProjectionStale();
  WorldToViewport(p, stale, false);
  EXPECT_EQ(stale.x, 67);
}

TEST(Projection, SpriteSizesFollowTheViewsHorizontalAxis) {
  SetOrthoStage();
  TParticle p = ParticleAt(5, 0, 5);
  EXPECT_EQ(RenderSpriteSize(p, Attributes(12)), 12);
  WorldToViewport(p.RenderPosition, p.ScreenPos, true);
  EXPECT_EQ(ViewportSpriteSize(p, Attributes(12)), 12);

  // Perspective: the width shrinks with depth.
  SetPerspectiveStage(320, 240, 320, 240);
  TParticle nearP = ParticleAt(0, -6, 0.5f), farP = ParticleAt(0, 6, 0.5f);
  const float nearSize = RenderSpriteSize(nearP, Attributes(1));
  const float farSize = RenderSpriteSize(farP, Attributes(1));
  EXPECT_GT(nearSize, farSize * 2);
  EXPECT_GT(farSize, 1);
}

// ---- The particle system's side.

TParticle LiveParticle(float x, float lifespan, float birth) {
  TParticle p;
  p.Alive = true;
  p.RenderPosition = {x, 0, 0};
  p.Color = {0.5f, 0.25f, 1, 0.75f};
  p.Alpha = 0.5f;
  p.Size = 3;
  p.Lifespan = lifespan;
  p.Birth = birth;
  return p;
}

void SetConstant(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(100, value);
}

TEST(RenderAttributes, ColourSizeAlphaAndImageOptions) {
  TParticleSystem s;
  s.Time = 10;
  s.Particles = {LiveParticle(0, 20, 0)};  // half its life
  SetConstant(s.Intensity, 2);
  SetConstant(s.Size, 1.5);
  SetConstant(s.Alpha, 0.5);
  s.ParticleColors.ResetGradient();
  s.ParticleColors.AddStop(0, 0x0000FF);  // red from the start

  TRenderAttributes a;
  s.ComputeRenderAttributes(0, a);
  TColorVector gradient;
  s.ParticleColors.ColorAt(50, gradient);
  EXPECT_FLOAT_EQ(a.Color.r, gradient.r * 2);
  EXPECT_FLOAT_EQ(a.Color.g, gradient.g * 2);
  EXPECT_FLOAT_EQ(a.Color.b, gradient.b * 2);
  EXPECT_FLOAT_EQ(a.Size, 4.5f);
  EXPECT_FLOAT_EQ(a.Alpha, 0.25f);

  // "Random Color": the particle's own colour, all four floats, times Intensity.
  s.ParticleColorMode = ColorModeRandom;
  s.ComputeRenderAttributes(0, a);
  EXPECT_EQ(a.Color, (TColorVector{1, 0.5f, 2, 0.75f}));

  // The options of the particle's image; an index beyond the list uses entry 0.
  s.Maps.AddImage("second");
  s.Maps.OptionsAt(0).OriginX = 0.25f;
  s.Maps.OptionsAt(1).OriginX = 0.75f;
  s.Particles[0].MapIndex = 1;
  s.ComputeRenderAttributes(0, a);
  EXPECT_EQ(a.Options.OriginX, 0.75f);
  s.Particles[0].MapIndex = 7;
  s.ComputeRenderAttributes(0, a);
  EXPECT_EQ(a.Options.OriginX, 0.25f);
}

TEST(SubmitParticles, QueuesLiveVisibleParticlesProjected) {
  SetOrthoStage();
  TParticleSystem s;
  s.Time = 10;
  s.Particles = {LiveParticle(1, 0, 0), LiveParticle(2, 20, 0), LiveParticle(3, 20, 0), LiveParticle(4, 40, 0)};
  s.Particles[1].Alive = false;
  // Visible for the first half of a life only: the one at 100 % is hidden.
  s.Visibility.Clear();
  s.Visibility.AddKey(0, 1);
  s.Visibility.AddKey(60, 1);
  s.Visibility.AddKey(61, 0);
  s.Visibility.AddKey(100, 0);
  s.Particles[2].Lifespan = 10;

  // The view changed since the cache was last read: the submission refreshes it.
  TVec3f unused;
  WorldToRender(ZeroVec3f, unused, true);
  stage::Stage().View.Camera.Height = 64;

  TParticleRenderer r;
  RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer&) {
    r.BeginRender(d);
    SubmitParticles(s, r);
    EXPECT_EQ(r.QueueCount(), 2);
  });
  for (int i : {0, 3}) {
    SCOPED_TRACE(i);
    const TParticle& p = s.Particles[static_cast<size_t>(i)];
    EXPECT_EQ(p.System, &s);
    EXPECT_EQ(p.Index, i);
    EXPECT_EQ(p.ScreenPos.x, 64 + 2 * p.RenderPosition.x);
    EXPECT_EQ(p.ScreenPos.z, 1);
  }
  EXPECT_EQ(s.Particles[2].System, nullptr);

  // Without an installed renderer nothing is queued; with one, it is.
  SubmitParticles(s);
  InstallRenderer(&r);
  RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer&) {
    r.BeginRender(d);
    SubmitParticles(s);
    EXPECT_EQ(r.QueueCount(), 2);
  });
  InstallRenderer(nullptr);
}

}  // namespace
