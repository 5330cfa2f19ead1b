// The image's coverage and soft intersections: what each render mode adds to the alpha of a host
// that keeps coverage, that a host without it keeps today's colours and depths, and how a sprite
// fades where it comes close to the image's surface.
#include <cmath>
#include <functional>

#include "RenderFixture.h"

using namespace rendertest;

namespace {

constexpr uint32_t Opaque = PackBgra(64, 128, 255, 255);  // red 255, green 128, blue 64

class Compositing : public ::testing::Test {
 protected:
  void SetUp() override {
    SetOrthoStage();
    R.SourceImage = SolidImage(16, 16, Opaque);
    R.RenderMode = RenderPureAlpha;
    R.MaxSize = 1024;
  }
  stage::TScreenBuffer DrawOne(const TRenderAttributes& a,
                               const std::function<void(stage::TScreenBuffer&)>& prepare = {}) {
    TParticle p = ParticleAt(0, 0, 0, {1, 0.5f, 0.25f, 0});
    return RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer& b) {
      if (prepare) prepare(b);
      R.BeginRender(d);
      R.RenderParticle(p, a);
    });
  }
  TParticleRenderer R;
};

// The colour one mode composites over a pixel of colour before, with sprite alpha a (and soft
// factor t), the sprite colour s and the particle's factors.
float Expected(int32_t mode, float before, float a, float t, float factor, float s) {
  switch (mode) {
    case RenderIlluminate: return before + (a * t) * (factor / 255) * s;
    case RenderPaint: return t < 1 ? (1 - t) * before + t * (a * (factor / 255) * s) : a * (factor / 255) * s;
    case RenderColorAlpha: return (1 - a * t) * before + (a * t) * (factor / 255) * s;
    default: return (1 - a * t) * before + (a * t) * factor;
  }
}

TEST_F(Compositing, ParticlesAddCoverageByTheOverRule) {
  R.CoverageQuery = &tsxHostScreenBufferCoverage;
  struct Case {
    int32_t mode;
    float background;  // the background's alpha
    float coverage;    // the alpha where the particle is, with its alpha 0.5
  };
  const Case cases[] = {
      {RenderPureAlpha, 0, 0.5f},      {RenderColorAlpha, 0, 0.5f}, {7, 0, 0.5f},
      {RenderPaint, 0, 1},             {RenderIlluminate, 0, 0},    {RenderPureAlpha, 0.4f, 0.5f + 0.5f * 0.4f},
      {RenderColorAlpha, 0.4f, 0.7f},  {RenderPaint, 0.4f, 1},      {RenderIlluminate, 0.4f, 0.4f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", background alpha " << c.background);
    stage::Stage().Render.BackgroundAlpha = c.background;
    R.RenderMode = c.mode;
    const stage::TScreenBuffer image = DrawOne(Attributes(8, 0.5f));
    EXPECT_TRUE(R.UpdatesCoverage());
    const stage::TPixel& px = image.At(64, 64);
    EXPECT_NEAR(px.A, c.coverage, 1e-6);
    // The background is premultiplied, and the colours composite over it as they always did.
    const float bg[3] = {0.2f * c.background, 0.3f * c.background, 0.4f * c.background};
    const float got[3] = {px.R, px.G, px.B}, f[3] = {1, 0.5f, 0.25f}, s[3] = {255, 128, 64};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], Expected(c.mode, bg[k], 0.5f, 1, f[k], s[k]), 1e-6) << k;
    // Outside the sprite the background stays as it was.
    EXPECT_EQ(image.At(10, 10).A, c.background);
    EXPECT_EQ(image.At(10, 10).R, bg[0]);
  }
}

TEST_F(Compositing, RowsShownAtOnceShowTheColoursOfLinesWithAlpha) {
  R.CoverageQuery = &tsxHostScreenBufferCoverage;
  R.ShowRendering = true;
  stage::Stage().Render.BackgroundAlpha = 0.5f;
  R.RenderMode = RenderColorAlpha;
  const stage::TScreenBuffer image = DrawOne(Attributes(8, 0.5f));
  ASSERT_TRUE(R.UpdatesCoverage());
  for (int32_t x = 58; x <= 70; ++x) {
    const stage::TPixel& shown = stage::Stage().Display->At(x, 64);
    EXPECT_EQ(shown.R, image.At(x, 64).R) << x;
    EXPECT_EQ(shown.G, image.At(x, 64).G) << x;
    EXPECT_EQ(shown.B, image.At(x, 64).B) << x;
  }
}

TEST_F(Compositing, WithoutTheHostsCoverageTheAlphaIsTheHosts) {
  stage::Stage().Render.BackgroundAlpha = 0;
  for (int32_t mode : {0, 1, 2, 3}) {
    R.RenderMode = mode;
    R.CoverageQuery = nullptr;
    const stage::TScreenBuffer plain = DrawOne(Attributes(8, 0.5f));
    EXPECT_FALSE(R.UpdatesCoverage());
    EXPECT_EQ(plain.At(64, 64).A, 0) << mode;
    R.CoverageQuery = &tsxHostScreenBufferCoverage;
    const stage::TScreenBuffer covered = DrawOne(Attributes(8, 0.5f));
    EXPECT_EQ(DifferingPixels(plain, covered), 0) << "colours and depths are the same, mode " << mode;
  }
}

TEST_F(Compositing, SoftIntersectionsFadeSpritesNearTheSurface) {
  // The particle's depth is 1. Pixels of the row hold surfaces at depths 1 + gap.
  const float gaps[] = {0.25f, 0.5f, 1.0f, 2.0f, INFINITY};
  auto surfaces = [&](stage::TScreenBuffer& b) {
    for (int i = 0; i < 5; ++i) b.At(61 + i, 64).Depth = (1 + gaps[i]) * (1 + gaps[i]);
    b.At(66, 64).Depth = 0.5f;  // in front of the particle: hidden, as without soft intersections
  };
  for (bool coverage : {false, true}) {
    R.CoverageQuery = coverage ? &tsxHostScreenBufferCoverage : nullptr;
    stage::Stage().Render.BackgroundAlpha = coverage ? 0.0f : 1.0f;
    for (int32_t mode : {0, 1, 2, 3}) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << (coverage ? ", coverage" : ""));
      R.RenderMode = mode;
      R.SoftDistance = 0;
      const stage::TScreenBuffer hard = DrawOne(Attributes(8, 0.5f), surfaces);
      R.SoftDistance = 1;
      const stage::TScreenBuffer soft = DrawOne(Attributes(8, 0.5f), surfaces);
      const stage::TScreenBuffer empty = RenderThroughStage([&](const tssPostProcessData&, stage::TScreenBuffer& b) { surfaces(b); });
      const float f[3] = {1, 0.5f, 0.25f}, s[3] = {255, 128, 64};
      for (int i = 0; i < 5; ++i) {
        const float t = std::min(gaps[i], 1.0f);
        const stage::TPixel& bg = empty.At(61 + i, 64);
        const stage::TPixel& px = soft.At(61 + i, 64);
        const float before[3] = {bg.R, bg.G, bg.B}, got[3] = {px.R, px.G, px.B};
        for (int k = 0; k < 3; ++k)
          EXPECT_NEAR(got[k], Expected(mode, before[k], 0.5f, t, f[k], s[k]), 1e-6) << "gap " << gaps[i] << " channel " << k;
        if (coverage) {
          const float a = mode == RenderPaint ? 1 : 0.5f * t;
          const float expectedA = mode == RenderIlluminate ? 0 : mode == RenderPaint ? t : a;
          EXPECT_NEAR(px.A, expectedA, 1e-6) << "gap " << gaps[i];
        }
        if (t == 1) {
          EXPECT_TRUE(SamePixel(px, hard.At(61 + i, 64))) << "gap " << gaps[i];
        }
      }
      EXPECT_TRUE(SamePixel(soft.At(66, 64), empty.At(66, 64)));
      // Off, every pixel is as without the switch.
      R.SoftDistance = 0;
      EXPECT_EQ(DifferingPixels(DrawOne(Attributes(8, 0.5f), surfaces), hard), 0);
    }
  }
}

}  // namespace
