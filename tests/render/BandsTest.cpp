// Compositing in row bands on several threads against the loop on one: a crowd of particles of
// every render mode, from a pixel wide to wider than many bands, overlapping, rotated, cut at the
// image's edges, over surfaces at varied depths, with and without depth dithering, soft
// intersections and coverage, gives the same image bit for bit (colours, coverage and depth),
// the same count of composited pixels and leaves the random table's cursor where one thread does.
// The preview's drawing pass of a system is checked against drawing particle by particle.
#include <cstring>
#include <memory>
#include <vector>

#include "RenderFixture.h"
#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "hostapi/DrawSurface.h"

using namespace rendertest;

namespace {

// A small generator of the test's own, so that the crowd does not move the program's.
struct TDice {
  uint32_t state = 12345;
  float Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  }
  float Between(float a, float b) { return a + (b - a) * Next(); }
};

// One system per render mode (and an unknown one), particles strewn over and past the image.
std::vector<std::unique_ptr<TParticleSystem>> Crowd(int perSystem) {
  TDice dice;
  std::vector<std::unique_ptr<TParticleSystem>> systems;
  for (int32_t mode : {int32_t{RenderPureAlpha}, int32_t{RenderIlluminate}, int32_t{RenderPaint}, int32_t{RenderColorAlpha}, int32_t{7}}) {
    auto s = std::make_unique<TParticleSystem>();
    s->RenderMode = mode;
    s->Time = 10;
    for (int i = 0; i < perSystem; ++i) {
      TParticle p;
      p.Alive = true;
      p.Lifespan = 100;
      p.Alpha = dice.Between(0.2f, 1);
      // Mostly small, some large enough to cover several bands, a few under a pixel.
      p.Size = dice.Next() < 0.1f ? dice.Between(30, 90) : dice.Between(0.5f, 12);
      p.Angle = dice.Between(-180, 180);
      p.Color = {dice.Between(0, 1.5f), dice.Between(0, 1), dice.Between(0, 1), 0};
      p.RenderPosition = {dice.Between(-80, 80), 0, dice.Between(-80, 80)};
      p.Index = i;
      s->Particles.push_back(p);
    }
    s->LiveCount = perSystem;
    systems.push_back(std::move(s));
  }
  return systems;
}

struct TSwitches {
  bool dither, soft, coverage;
};

struct TResult {
  stage::TScreenBuffer Image{1, 1};
  int Cursor = 0;
  int64_t Pixels = 0;
  int32_t Rendered = 0;
};

TResult Composite(int threads, const TSwitches& sw) {
  SetOrthoStage();
  RandomSeed = 0;
  InitRandomTable();  // as the plug-in's start fills it: depth dithering reads it
  stage::Stage().Render.BackgroundAlpha = sw.coverage ? 0.3f : 1.0f;
  TWorkerPool pool(threads);
  TParticleRenderer R;
  R.Workers = &pool;
  R.DepthDithering = sw.dither;
  R.SoftDistance = sw.soft ? 6.0f : 0.0f;
  R.CoverageQuery = sw.coverage ? &tsxHostScreenBufferCoverage : nullptr;
  auto systems = Crowd(300);
  SetRandomTableCursor(37);
  TResult result;
  result.Image = RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer& b) {
    // Surfaces at depths around the particles' (which are all at depth 1 in this view).
    TDice dice{99};
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x)
        if (dice.Next() < 0.7f) b.At(x, y).Depth = dice.Between(0.6f, 9);
    R.BeginRender(d);
    for (auto& s : systems) SubmitParticles(*s, R);
    R.RenderAll();
  });
  result.Cursor = RandomTableCursor();
  result.Pixels = R.CompositedPixels();
  result.Rendered = R.RenderedCount();
  return result;
}

bool SameBytes(const stage::TScreenBuffer& a, const stage::TScreenBuffer& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (std::memcmp(&a.At(x, y), &b.At(x, y), sizeof(stage::TPixel)) != 0) return false;
  return true;
}

TEST(Bands, SameImageAsOneThreadInEveryMode) {
  const TSwitches cases[] = {{false, false, false}, {true, false, false}, {false, true, false},
                             {false, false, true},  {true, true, true}};
  for (const TSwitches& sw : cases) {
    SCOPED_TRACE(::testing::Message() << "dither " << sw.dither << ", soft " << sw.soft << ", coverage " << sw.coverage);
    const TResult one = Composite(1, sw);
    ASSERT_GT(one.Pixels, 100000) << "the crowd should cover the image many times";
    for (const int threads : {2, 3, 8}) {
      const TResult many = Composite(threads, sw);
      EXPECT_TRUE(SameBytes(one.Image, many.Image)) << threads << " threads: " << DifferingPixels(one.Image, many.Image)
                                                   << " pixels differ";
      EXPECT_EQ(many.Cursor, one.Cursor) << threads << " threads";
      EXPECT_EQ(many.Pixels, one.Pixels) << threads << " threads";
      EXPECT_EQ(many.Rendered, one.Rendered) << threads << " threads";
    }
  }
}

TEST(PreviewSystem, DrawsAsParticleByParticle) {
  for (const TPreviewDrawMode mode : {DrawDots, DrawWireBoxes, DrawWireCircles, DrawSolidBoxes, DrawSolidCircles}) {
    SCOPED_TRACE(::testing::Message() << "draw mode " << int{mode});
    auto crowd = Crowd(3000);
    TParticleSystem& s = *crowd[0];
    s.Particles[5].Alive = false;
    s.Visibility.Clear();  // the particles' age is 10 %: hidden from 10 % on, for those born later
    s.Visibility.AddKey(0, 1);
    s.Visibility.AddKey(10, 1);
    s.Visibility.AddKey(11, 0);
    for (size_t i = 0; i < s.Particles.size(); i += 3) s.Particles[i].Birth = -1;  // past 10 %: hidden

    SetOrthoStage();
    THeadlessDrawSurface one(OrthoSize, OrthoSize + 20), many(OrthoSize, OrthoSize + 20);
    TParticleRenderer R;
    R.DrawMode = mode;
    R.WireframeAlphaHints = mode == DrawSolidCircles;
    int32_t visible = 0;
    for (size_t i = 0; i < s.Particles.size(); ++i) {
      TParticle& p = s.Particles[i];
      if (!p.Alive || s.Visibility.Evaluate(100.0 * static_cast<double>(s.LifeFractionOf(p))) == 0) continue;
      ++visible;
      TRenderAttributes a;
      s.ComputeRenderAttributes(static_cast<int>(i), a);
      R.DrawPreviewParticle(p, a, one);
    }
    ASSERT_GT(visible, 1000);
    TWorkerPool pool(3);
    R.Workers = &pool;
    EXPECT_EQ(R.DrawPreviewSystem(s, many), visible);
    int differing = 0;
    for (int32_t y = 0; y < one.Height(); ++y)
      for (int32_t x = 0; x < one.Width(); ++x) differing += one.At(x, y) != many.At(x, y);
    EXPECT_EQ(differing, 0);
  }
}

}  // namespace
