// The particle renderer on real stage screen buffers: culling, the blend of each render mode,
// the depth test and its dithering, region clipping, the pass (order, progress, interrupt), the
// fast paths against the plain ones, and a small scene rendered to a picture.
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "RenderFixture.h"
#include "engine/RandomTables.h"

using namespace rendertest;

namespace {

constexpr uint32_t Opaque = PackBgra(64, 128, 255, 255);  // red 255, green 128, blue 64

class Renderer : public ::testing::Test {
 protected:
  void SetUp() override {
    SetOrthoStage();
    R.SourceImage = SolidImage(16, 16, Opaque);
    R.RenderMode = RenderPureAlpha;
    R.MaxSize = 1024;
  }

  // Renders one particle directly; prepare may change the host's image first.
  stage::TScreenBuffer DrawOne(TParticle p, const TRenderAttributes& a,
                               const std::function<void(stage::TScreenBuffer&)>& prepare = {}) {
    return RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer& b) {
      if (prepare) prepare(b);
      R.BeginRender(d);
      R.RenderParticle(p, a);
    });
  }

  stage::TScreenBuffer Empty(const std::function<void(stage::TScreenBuffer&)>& prepare = {}) {
    return RenderThroughStage([&](const tssPostProcessData&, stage::TScreenBuffer& b) {
      if (prepare) prepare(b);
    });
  }

  TParticleRenderer R;
};

TEST_F(Renderer, CullsByDepthSizeAndAlpha) {
  struct Case {
    const char* name;
    float depth;  // 0: as projected (1 in this view)
    float size;
    float alpha;
    int32_t imageWidth, imageHeight, maxSize;
    bool drawn;
  };
  const float justDeeper = std::nextafter(0.0001f, 1.0f);
  const Case cases[] = {
      {"depth exactly 0.0001", 0.0001f, 8, 1, 16, 16, 1024, false},
      {"depth just beyond 0.0001", justDeeper, 8, 1, 16, 16, 1024, true},
      {"depth negative", -2, 8, 1, 16, 16, 1024, false},
      {"width one pixel", 0, 1, 1, 16, 16, 1024, true},
      {"width below one pixel", 0, 0.99f, 1, 16, 16, 1024, false},
      {"width exactly max size", 0, 32, 1, 16, 16, 32, true},
      {"width max size + 0.01", 0, 32.01f, 1, 16, 16, 32, false},
      {"tall image past max size", 0, 10, 1, 8, 32, 32, false},
      {"alpha 0.003", 0, 8, 0.003f, 16, 16, 1024, true},
      {"alpha 0.0029", 0, 8, 0.0029f, 16, 16, 1024, false},
  };
  const stage::TScreenBuffer empty = Empty();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    R.SourceImage = SolidImage(c.imageWidth, c.imageHeight, Opaque);
    R.MaxSize = c.maxSize;
    TParticle p = ParticleAt(0, 0, 0);
    if (c.depth != 0) p.ScreenPos.z = c.depth;
    const stage::TScreenBuffer image = DrawOne(p, Attributes(c.size, c.alpha));
    EXPECT_EQ(DifferingPixels(image, empty) > 0, c.drawn);
  }
}

TEST_F(Renderer, SkipsCornersBeyond32BitPixels) {
  TParticle p = ParticleAt(0, 0, 0);
  const stage::TScreenBuffer empty = Empty();
  for (float x : {3e9f, -3e9f, NAN}) {
    p.ScreenPos.x = x;
    EXPECT_EQ(DifferingPixels(DrawOne(p, Attributes(8)), empty), 0) << x;
  }
}

TEST_F(Renderer, TransparentSpritePixelsLeaveTheImageUntouchedInEveryMode) {
  R.SourceImage = SolidImage(16, 16, PackBgra(255, 255, 255, 0));
  const stage::TScreenBuffer empty = Empty();
  for (int32_t mode : {0, 1, 2, 3, 7}) {
    R.RenderMode = mode;
    EXPECT_EQ(DifferingPixels(DrawOne(ParticleAt(0, 0, 0), Attributes(12)), empty), 0) << "mode " << mode;
  }
}

TEST_F(Renderer, BlendsTheSpriteCentreByRenderMode) {
  // White background: "Illuminate" goes above 1, "Paint" replaces colour and depth.
  SetOrthoStage({1, 1, 1});
  const TColorVector own{1, 0.5f, 0.25f, 0};
  const TColorVector tint{0.5f, 1, 1, 0};
  const float alpha = 0.5f;
  const float a = 255.0f * (alpha / 255);
  const float s[3] = {255, 128, 64};
  const float o[3] = {own.r, own.g, own.b}, t[3] = {tint.r, tint.g, tint.b};
  for (int32_t mode : {0, 1, 2, 3, 7}) {
    SCOPED_TRACE(mode);
    R.RenderMode = mode;
    const stage::TScreenBuffer image = DrawOne(ParticleAt(0, 0, 0, own), Attributes(8, alpha, tint));
    const stage::TPixel& px = image.At(64, 64);
    const float got[3] = {px.R, px.G, px.B};
    for (int c = 0; c < 3; ++c) {
      float expected;
      switch (mode) {
        case 1: expected = 1 + a * (o[c] * t[c] / 255) * s[c]; break;
        case 2: expected = a * (o[c] * t[c] / 255) * s[c]; break;
        case 3: expected = (1 - a) * 1 + a * (o[c] * t[c] / 255) * s[c]; break;
        default: expected = (1 - a) * 1 + a * (o[c] * t[c]); break;
      }
      EXPECT_NEAR(got[c], expected, 1e-6) << "channel " << c;
    }
    if (mode == 1) {
      EXPECT_GT(px.R, 1.0f);
    }
    if (mode == 2) {
      EXPECT_NEAR(px.R, 0.5f * 0.5f, 1e-6);  // half transparent: half the written colour
      EXPECT_EQ(px.Depth, 1.0f);              // the particle's squared depth
    } else {
      EXPECT_TRUE(std::isinf(px.Depth));
    }
  }
}

TEST_F(Renderer, DepthTestIsStrict) {
  // The particle's squared depth is 1 in this view.
  const stage::TScreenBuffer image = DrawOne(ParticleAt(0, 0, 0), Attributes(8), [](stage::TScreenBuffer& b) {
    b.At(64, 64).Depth = 1.0f;
    b.At(65, 64).Depth = std::nextafter(1.0f, 2.0f);
    b.At(63, 64).Depth = 0.5f;
  });
  const stage::TScreenBuffer empty = Empty();
  EXPECT_EQ(image.At(64, 64).R, empty.At(64, 64).R);
  EXPECT_NE(image.At(65, 64).R, empty.At(65, 64).R);
  EXPECT_EQ(image.At(63, 64).R, empty.At(63, 64).R);
}

TEST_F(Renderer, DepthDitheringTakesOneTableValuePerSpanPixel) {
  // A 16-pixel image 8 pixels wide on an integer corner: a 9 × 9 sprite, wholly transparent,
  // so nothing is drawn, but every span pixel still draws its table value.
  R.SourceImage = SolidImage(16, 16, PackBgra(0, 0, 0, 0));
  struct Case {
    const char* name;
    float x;
    bool dither;
    int consumed;
  };
  const Case cases[] = {
      {"inside, dithering on", 0, true, 81},
      {"inside, dithering off", 0, false, 0},
      {"cut by the left edge", -63, true, 6 * 9},  // corner at column −3: columns 0..5 remain
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    R.DepthDithering = c.dither;
    SetRandomTableCursor(7);
    DrawOne(ParticleAt(c.x, 0, 0), Attributes(8));
    EXPECT_EQ(RandomTableCursor(), (7 + c.consumed) % RandomTableSize);
  }
}

TEST_F(Renderer, DepthDitheringJittersTheTestByHalfTheSize) {
  // Depth 1, dither amplitude size / 2 = 4: w = 1 − 2, and each pixel tests w + r·4 < stored.
  R.DepthDithering = true;
  const float stored = 0.5f;  // behind for r > 0.375, in front below
  SetRandomTableCursor(0);
  const stage::TScreenBuffer image = DrawOne(ParticleAt(0, 0, 0), Attributes(8), [&](stage::TScreenBuffer& b) {
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) b.At(x, y).Depth = stored;
  });
  // The sprite spans columns 60..68, rows 60..68, row by row; pixel k of that walk took entry k.
  const stage::TScreenBuffer empty = Empty();
  int k = 0;
  for (int32_t y = 60; y <= 68; ++y)
    for (int32_t x = 60; x <= 68; ++x, ++k) {
      const bool opaque = x < 68 && y < 68;  // the last row and column sample outside the image
      const bool inFront = -1.0f + RandomTableEntry(k) * 4.0f < stored;
      EXPECT_EQ(image.At(x, y).R != empty.At(x, y).R, opaque && inFront) << x << "," << y;
    }
}

TEST_F(Renderer, RegionCutsTheSpriteAtItsEdges) {
  // Columns of distinct colours, so a shifted sprite column shows.
  auto image = std::make_shared<TBitmap32>();
  image->Width = 32;
  image->Height = 32;
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x)
      image->Pixels.push_back(PackBgra(static_cast<uint8_t>(y * 8), static_cast<uint8_t>(255 - x * 8),
                                       static_cast<uint8_t>(x * 8), 200));
  R.SourceImage = image;
  R.RenderMode = RenderColorAlpha;
  const TParticle p = ParticleAt(-20.3f, 0, 5.6f);  // sprite from column 28 to 60
  const TRenderAttributes a = Attributes(32.5f, 0.9f);
  const stage::TScreenBuffer whole = DrawOne(p, a);

  stage::Stage().Render.UseRegion = true;
  stage::Stage().Render.RegionLeft = 40;
  stage::Stage().Render.RegionTop = 50;
  stage::Stage().Render.RegionRight = 100;
  stage::Stage().Render.RegionBottom = 70;
  const stage::TScreenBuffer region = DrawOne(p, a);
  const stage::TScreenBuffer empty = Empty();
  ASSERT_EQ(R.RegionLeft(), 40);
  ASSERT_EQ(R.RegionBottom(), 70);
  int inside = 0;
  for (int32_t y = 0; y < OrthoSize; ++y)
    for (int32_t x = 0; x < OrthoSize; ++x) {
      const bool in = x >= 40 && x <= 100 && y >= 50 && y <= 70;
      const stage::TPixel& expected = in ? whole.At(x, y) : empty.At(x, y);
      ASSERT_TRUE(SamePixel(region.At(x, y), expected)) << x << "," << y;
      inside += in && !SamePixel(expected, empty.At(x, y));
    }
  EXPECT_GT(inside, 100);  // the particle did reach into the region
}

// ---- The pass, with particle systems.

class RenderPass : public Renderer {
 protected:
  // A system whose particles show their own colour, Default image at full alpha master.
  TParticleSystem& AddSystem(int32_t mode) {
    Systems.push_back(std::make_unique<TParticleSystem>());
    TParticleSystem& s = *Systems.back();
    s.RenderMode = mode;
    s.ParticleColorMode = ColorModeRandom;
    s.Maps.OptionsAt(0).AlphaMaster = 1;
    return s;
  }
  static void AddParticle(TParticleSystem& s, float x, float y, float z, float size, const TColorVector& color) {
    TParticle p;
    p.Alive = true;
    p.RenderPosition = {x, y, z};
    p.Color = color;
    p.Alpha = 1;
    p.Size = size;
    s.Particles.push_back(p);
  }
  stage::TScreenBuffer Pass(const std::function<void()>& before = {}) {
    return RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer&) {
      R.BeginRender(d);
      for (auto& s : Systems) SubmitParticles(*s, R);
      if (before) before();
      R.RenderAll();
      R.DisplayAll();
    });
  }
  std::vector<std::unique_ptr<TParticleSystem>> Systems;
};

TEST_F(RenderPass, EqualDepthsKeepSubmissionOrder) {
  TParticleSystem& s = AddSystem(RenderPureAlpha);
  const TColorVector colours[] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 1, 0, 0}, {0, 1, 1, 0}};
  for (const TColorVector& c : colours) AddParticle(s, 0, 0, 0, 40, c);
  const stage::TScreenBuffer image = Pass();
  // The glow is opaque at its centre: the last one submitted is on top.
  const stage::TPixel& px = image.At(64, 64);
  EXPECT_NEAR(px.R, 0, 0.02);
  EXPECT_NEAR(px.G, 1, 0.02);
  EXPECT_NEAR(px.B, 1, 0.02);
  EXPECT_EQ(R.RenderedCount(), 5);
  EXPECT_EQ(R.QueueCount(), 0);
  EXPECT_EQ(R.Sprite(), nullptr);
}

TEST_F(RenderPass, EachParticleIsDrawnFarthestFirstWithItsOwnSystemsSettings) {
  // Submitted near before far: drawn back to front, the near green one ends on top.
  TParticleSystem& nearSystem = AddSystem(RenderPureAlpha);
  AddParticle(nearSystem, 0, 0, 0, 20, {0, 1, 0, 0});
  AddParticle(nearSystem, 0, 0, 40, 20, {1, 1, 1, 0});  // dies after it was queued
  TParticleSystem& farSystem = AddSystem(RenderPureAlpha);
  AddParticle(farSystem, 0, 0, 0, 40, {1, 0, 0, 0});
  // A system whose max size the sprite exceeds, and one whose alpha master is 0.
  TParticleSystem& small = AddSystem(RenderPureAlpha);
  small.MaxParticleSize = 10;
  AddParticle(small, -40, 0, 0, 20, {1, 1, 1, 0});
  TParticleSystem& clear = AddSystem(RenderPureAlpha);
  clear.Maps.OptionsAt(0).AlphaMaster = 0;
  AddParticle(clear, 40, 0, 0, 20, {1, 1, 1, 0});
  const stage::TScreenBuffer empty = Empty();
  const stage::TScreenBuffer image = Pass([&] {
    farSystem.Particles[0].ScreenPos.z = 3;  // the orthographic view puts every particle at depth 1
    nearSystem.Particles[1].Alive = false;
  });
  EXPECT_EQ(R.RenderedCount(), 5);  // the dead one counts: it was queued
  const stage::TPixel& centre = image.At(64, 64);
  EXPECT_NEAR(centre.G, 1, 0.02);
  EXPECT_NEAR(centre.R, 0, 0.02);
  EXPECT_TRUE(SamePixel(image.At(64, 24), empty.At(64, 24))) << "a dead particle was drawn";
  EXPECT_TRUE(SamePixel(image.At(24, 64), empty.At(24, 64))) << "the max size is not the particle's system's";
  EXPECT_TRUE(SamePixel(image.At(104, 64), empty.At(104, 64))) << "the alpha master is not applied";
  // The same two with the settings of the others are drawn.
  small.MaxParticleSize = 2048;
  clear.Maps.OptionsAt(0).AlphaMaster = 1;
  const stage::TScreenBuffer again = Pass();
  EXPECT_FALSE(SamePixel(again.At(24, 64), empty.At(24, 64)));
  EXPECT_FALSE(SamePixel(again.At(104, 64), empty.At(104, 64)));
}

TEST_F(RenderPass, ReportsIntegerPercentBeforeEachParticle) {
  for (int count : {3, 100}) {
    Systems.clear();
    TParticleSystem& s = AddSystem(RenderPureAlpha);
    for (int i = 0; i < count; ++i) AddParticle(s, 0, static_cast<float>(i), 0, 0.5f, {1, 1, 1, 0});
    std::vector<int> reported;
    R.OnProgress = [&](int percent) { reported.push_back(percent); };
    Pass();
    ASSERT_EQ(static_cast<int>(reported.size()), count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(reported[static_cast<size_t>(i)], (i + 1) * 100 / count) << i;
  }
}

TEST_F(RenderPass, InterruptBeforeTheFirstParticleLeavesTheImageAndCountsAll) {
  TParticleSystem& s = AddSystem(RenderPaint);
  for (int i = 0; i < 4; ++i) AddParticle(s, static_cast<float>(i * 10), 0, 0, 20, {1, 1, 1, 0});
  TParticle dead;
  s.Particles.push_back(dead);  // not submitted
  const stage::TScreenBuffer empty = Empty();
  std::vector<int> reported;
  R.OnProgress = [&](int percent) { reported.push_back(percent); };
  const stage::TScreenBuffer image = Pass([] { stage::Stage().Interrupt = true; });
  EXPECT_EQ(DifferingPixels(image, empty), 0);
  EXPECT_EQ(R.RenderedCount(), 4);
  EXPECT_EQ(reported, std::vector<int>{25});  // progress comes before the check that stops it
  stage::Stage().Interrupt = false;
}

TEST_F(RenderPass, ShowRenderingDisplaysEachRowAndDisplayAllTheRegion) {
  TParticleSystem& s = AddSystem(RenderIlluminate);
  AddParticle(s, 0, 0, 0, 10, {1, 1, 1, 0});
  Pass();
  EXPECT_EQ(stage::Stage().DisplayCalls, OrthoSize);  // DisplayAll only
  stage::Stage().DisplayCalls = 0;
  R.ShowRendering = true;
  std::map<int32_t, int> shown;  // row → times displayed
  stage::Stage().OnDisplayLine = [&](int32_t y) { ++shown[y]; };
  Pass();
  stage::Stage().OnDisplayLine = nullptr;
  // Each row the sprite covers once as it is composited, a band of rows, then every row of the
  // region once more.
  ASSERT_EQ(shown.size(), static_cast<size_t>(OrthoSize));
  int twice = 0, first = -1, last = -1;
  for (const auto& [y, times] : shown) {
    EXPECT_TRUE(times == 1 || times == 2) << "row " << y << " shown " << times << " times";
    if (times != 2) continue;
    ++twice;
    if (first < 0) first = y;
    last = y;
  }
  EXPECT_GT(twice, 5);
  EXPECT_EQ(last - first + 1, twice) << "one band of rows";
  EXPECT_EQ(stage::Stage().DisplayCalls, OrthoSize + twice);
  // The window shows the composited image.
  const stage::TScreenBuffer image = Pass();
  EXPECT_EQ(stage::Stage().Display->At(64, 64).R, image.At(64, 64).R);
}

// Each particle shows the image its map index and the system's map mode choose: its birth index
// in Fixed mode, advanced by its age in Cycle mode.
TEST_F(RenderPass, EachParticleShowsTheImageItsMapModeChooses) {
  stage::TScreenBuffer red(8, 8), green(8, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      red.At(x, y) = {1, 0, 0, 1, 1};
      green.At(x, y) = {0, 1, 0, 1, 1};
    }
  const std::filesystem::path redPath = TestOutputDir() / "red.png", greenPath = TestOutputDir() / "green.png";
  stage::WritePng(redPath, red);
  stage::WritePng(greenPath, green);
  for (const int32_t mode : {MapFixed, MapCycle}) {
    SCOPED_TRACE(mode == MapFixed ? "Fixed" : "Cycle");
    Systems.clear();
    TParticleSystem& s = AddSystem(RenderPaint);
    s.Maps.SetImageName(0, redPath.string());
    s.Maps.AddImage(greenPath.string());
    s.MapMode = mode;
    s.MapCycleTime = 1;
    s.Time = 1;  // each particle one frame old: Cycle moves it on by one entry
    AddParticle(s, -30, 0, 0, 12, {1, 1, 1, 0});
    s.Particles.back().MapIndex = 0;
    s.Particles.back().Birth = 0;
    AddParticle(s, 30, 0, 0, 12, {1, 1, 1, 0});
    s.Particles.back().MapIndex = 1;
    s.Particles.back().Birth = 0;
    const stage::TScreenBuffer image = Pass();
    const int centre = OrthoSize / 2;
    const auto& left = image.At(centre - 30, centre);
    const auto& right = image.At(centre + 30, centre);
    const bool leftRed = mode == MapFixed;
    EXPECT_EQ(left.R > left.G, leftRed) << left.R << " " << left.G;
    EXPECT_EQ(right.R > right.G, !leftRed) << right.R << " " << right.G;
    EXPECT_GT(std::max(left.R, left.G), 0.05f);  // drawn (a picture without alpha: alpha from intensity)
    EXPECT_GT(std::max(right.R, right.G), 0.05f);
  }
}

// The fast paths (region-clipped fixed-point resampling, rows kept for the pass) against the
// plain ones on a busy scene: every mode, flips, rotations, dithering, a region, sprites cut by
// its edges, particles behind one another.
TEST_F(RenderPass, FastPathsMatchThePlainOnes) {
  // A picture file whose alpha (from its intensity) is nowhere near 0, so that a unit of
  // difference in the filter never decides whether a pixel is touched.
  stage::TScreenBuffer pattern(12, 10);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 12; ++x)
      pattern.At(x, y) = {(128 + 127 * (x % 2)) / 255.0f, (64 + 8 * y) / 255.0f, 200 / 255.0f, 1, 1};
  const std::filesystem::path patternPath = TestOutputDir() / "pattern.png";
  stage::WritePng(patternPath, pattern);

  std::mt19937 rng(5);
  std::uniform_real_distribution<float> pos(-80, 80), size(0.5f, 60), unit(0, 1);
  for (int32_t mode : {0, 1, 2, 3}) {
    TParticleSystem& s = AddSystem(mode);
    for (int k = 0; k < 30; ++k) {
      AddParticle(s, pos(rng), pos(rng) / 10, pos(rng), size(rng), {unit(rng), unit(rng), unit(rng), 0});
      s.Particles.back().Angle = unit(rng) * 720 - 360;
      s.Particles.back().Alpha = unit(rng);
    }
    s.Maps.SetImageName(0, patternPath.string());
    s.Maps.OptionsAt(0).Flip = static_cast<uint8_t>(mode);
    s.Maps.OptionsAt(0).OriginX = unit(rng);
  }
  // A perspective view gives every particle its own depth.
  stage::Stage().View.Camera.Projection = stage::TProjection::Perspective;
  stage::Stage().View.Camera.Eye = {0, -120, 0};
  // A slab the particles stand in and around, for the soft intersections to fade against.
  stage::TMeshSource slab;
  slab.Kind = stage::TPrimitive::Box;
  slab.Size = {90, 6, 90};
  stage::Stage().Scene.AddPrimitive("Slab", slab).Rotation.Rest = {0, 0, 10};
  stage::Stage().Render.UseRegion = true;
  stage::Stage().Render.RegionLeft = 10;
  stage::Stage().Render.RegionTop = 5;
  stage::Stage().Render.RegionRight = 120;
  stage::Stage().Render.RegionBottom = 110;
  R.DepthDithering = true;

  // Every layout: the host's lines with and without coverage, soft intersections off and on.
  struct Variant {
    const char* name;
    bool coverage;
    float soft;
  };
  const Variant variants[] = {{"plain", false, 0}, {"coverage", true, 0}, {"soft", false, 3}, {"both", true, 3}};
  stage::TScreenBuffer withoutCoverage(1, 1);
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    R.CoverageQuery = v.coverage ? &tsxHostScreenBufferCoverage : nullptr;
    R.SoftDistance = v.soft;
    auto run = [&](bool plainRows, bool plainResampling) {
      R.ReferenceRows = plainRows;
      R.ReferenceResampling = plainResampling;
      SetRandomTableCursor(0);
      return Pass();
    };
    const stage::TScreenBuffer plain = run(true, true);
    const stage::TScreenBuffer keptRows = run(false, true);
    EXPECT_EQ(DifferingPixels(plain, keptRows), 0);
    if (v.coverage) {
      for (int32_t y = 0; y < OrthoSize; ++y)
        for (int32_t x = 0; x < OrthoSize; ++x) ASSERT_EQ(plain.At(x, y).A, keptRows.At(x, y).A) << x << "," << y;
      // On an opaque background the coverage changes no colour and no depth.
      if (v.soft == 0) {
        EXPECT_EQ(DifferingPixels(plain, withoutCoverage), 0);
      }
    } else if (v.soft == 0) {
      withoutCoverage = plain;
    }

    // The fixed-point filter may differ by one unit of a sprite byte.
    const stage::TScreenBuffer fast = run(false, false);
    const stage::TScreenBuffer empty = Empty();
    EXPECT_GT(DifferingPixels(fast, empty), 2000);
    double worst = 0;
    for (int32_t y = 0; y < OrthoSize; ++y)
      for (int32_t x = 0; x < OrthoSize; ++x) {
        const stage::TPixel& a = plain.At(x, y);
        const stage::TPixel& b = fast.At(x, y);
        ASSERT_EQ(a.Depth, b.Depth) << x << "," << y;
        for (float d : {a.R - b.R, a.G - b.G, a.B - b.B, a.A - b.A}) worst = std::max(worst, double{std::fabs(d)});
      }
    EXPECT_LT(worst, 0.05);
  }
}

TEST(RendererSprite, FixedPointFilterIsWithinOneUnitOfTheExactOne) {
  SetOrthoStage();
  std::mt19937 rng(11);
  auto image = std::make_shared<TBitmap32>();
  image->Width = 23;
  image->Height = 17;
  for (int i = 0; i < 23 * 17; ++i) image->Pixels.push_back(static_cast<uint32_t>(rng()));
  std::uniform_real_distribution<float> unit(0, 1);
  TParticleRenderer exact, fixed;
  exact.SourceImage = fixed.SourceImage = image;
  exact.ReferenceResampling = true;
  for (int k = 0; k < 200; ++k) {
    const uint8_t flip = static_cast<uint8_t>(k % 4);
    const float size = 1 + unit(rng) * 80, fx = unit(rng) * 2 - 1, fy = unit(rng) * 2 - 1;
    const float angle = unit(rng) * 720 - 360;
    ASSERT_TRUE(exact.PrepareSprite(flip, size, fx, fy, angle));
    ASSERT_TRUE(fixed.PrepareSprite(flip, size, fx, fy, angle));
    const TBitmap32& a = *exact.Sprite();
    const TBitmap32& b = *fixed.Sprite();
    ASSERT_EQ(a.Width, b.Width);
    ASSERT_EQ(a.Height, b.Height);
    ASSERT_EQ(exact.SpriteLeft(), fixed.SpriteLeft());
    for (size_t i = 0; i < a.Pixels.size(); ++i)
      for (int shift = 0; shift < 32; shift += 8) {
        const int da = static_cast<int>((a.Pixels[i] >> shift) & 0xFF) - static_cast<int>((b.Pixels[i] >> shift) & 0xFF);
        ASSERT_LE(std::abs(da), 1) << "case " << k << " pixel " << i;
      }
  }
}

TEST(RendererSprite, MirrorsScalesRotatesAndShifts) {
  // A 2 × 2 image: left column red, right column blue.
  auto image = std::make_shared<TBitmap32>();
  image->Width = 2;
  image->Height = 2;
  const uint32_t red = PackBgra(0, 0, 255, 255), blue = PackBgra(255, 0, 0, 255);
  image->Pixels = {red, blue, red, blue};
  TParticleRenderer r;
  r.SourceImage = image;
  r.ReferenceResampling = true;
  struct Case {
    const char* name;
    uint8_t flip;
    float size, fx;
    int32_t width;
    uint32_t first;  // sprite pixel (0, 0)
  };
  // Size 2 spans 0..1: bounds round(−0.5) = 0 .. round(1.5) = 2, three pixels, the last outside.
  const Case cases[] = {
      {"plain", 0, 2, 0, 3, red},
      {"flip horizontal", 1, 2, 0, 3, blue},
      {"flip vertical", 2, 2, 0, 3, red},
      {"flip both", 3, 2, 0, 3, blue},
      {"shifted half a pixel", 0, 2, 0.5f, 3, 0},
      {"scaled twice", 0, 4, 0, 3, red},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(r.PrepareSprite(c.flip, c.size, c.fx, 0, 0));
    EXPECT_EQ(r.Sprite()->Width, c.width);
    EXPECT_EQ(r.Sprite()->Height, c.width);
    EXPECT_EQ(r.Sprite()->Pixels[0], c.first);
  }
  // Scaled twice, the middle column halves the way from red to blue.
  ASSERT_TRUE(r.PrepareSprite(0, 4, 0, 0, 0));
  EXPECT_EQ(r.Sprite()->At(1, 0), PackBgra(128, 0, 128, 255));

  // A quarter turn, counter-clockwise on screen: the right (blue) end comes on top.
  ASSERT_TRUE(r.PrepareSprite(0, 2, 0, 0, 90));
  const TBitmap32& s = *r.Sprite();
  int32_t top = -1, bottom = -1;
  for (int32_t y = 0; y < s.Height; ++y)
    for (int32_t x = 0; x < s.Width; ++x)
      if (AlphaOf(s.At(x, y)) != 0) {
        if (top < 0) top = y;
        bottom = y;
      }
  ASSERT_LT(top, bottom);
  for (int32_t x = 0; x < s.Width; ++x) {
    if (AlphaOf(s.At(x, top)) != 0) {
      EXPECT_GT(BlueOf(s.At(x, top)), RedOf(s.At(x, top)));
    }
    if (AlphaOf(s.At(x, bottom)) != 0) {
      EXPECT_GT(RedOf(s.At(x, bottom)), BlueOf(s.At(x, bottom)));
    }
  }
}

// ---- A picture: the stage's host render of a box, particles before and behind it.

TEST(RendererPicture, SceneWithABoxAndAParticlePerMode) {
  stage::ResetStage();
  MarkProjectionStale();
  stage::TStage& st = stage::Stage();
  st.View.Camera.Eye = {0, -10, 0};
  st.View.Width = 160;
  st.View.Height = 120;
  st.Render.Width = 160;
  st.Render.Height = 120;
  st.Render.Background = {0.1f, 0.1f, 0.2f};
  stage::TMeshSource box;
  box.Size = {2, 2, 2};
  stage::TNode& node = st.Scene.AddPrimitive("Box", box);
  node.Position.Rest = {2, 0, 0};
  node.Color = {0.8f, 0.8f, 0.8f};

  // A solid picture file: without an alpha channel, its alpha comes from its intensity.
  const std::filesystem::path dir = TestOutputDir();
  stage::TScreenBuffer swatch(8, 8);
  swatch.Fill({1.0f, 128 / 255.0f, 64 / 255.0f, 1, 1});
  const std::filesystem::path swatchPath = dir / "swatch.png";
  stage::WritePng(swatchPath, swatch);
  const float A = static_cast<float>((61 * 255 + 174 * 128 + 21 * 64) >> 8);

  std::vector<std::unique_ptr<TParticleSystem>> systems;
  auto add = [&](int32_t mode, float x, float y, float z) {
    systems.push_back(std::make_unique<TParticleSystem>());
    TParticleSystem& s = *systems.back();
    s.RenderMode = mode;
    s.ParticleColorMode = ColorModeRandom;
    s.Maps.SetImageName(0, swatchPath.string());
    s.Maps.OptionsAt(0).AlphaMaster = 1;
    TParticle p;
    p.Alive = true;
    p.RenderPosition = {x, y, z};
    p.Color = {1, 1, 1, 0};
    p.Alpha = 1;
    p.Size = 0.8f;
    s.Particles.push_back(p);
  };
  add(RenderPureAlpha, -3, -2, 1.5f);
  add(RenderIlluminate, -1, -2, 1.5f);
  add(RenderPaint, -3, -2, -1.5f);
  add(RenderColorAlpha, -1, -2, -1.5f);
  add(RenderPureAlpha, 2, 4, 0);  // behind the box

  TParticleRenderer r;
  const stage::TScreenBuffer host = st.RenderFrame(0);
  const stage::TScreenBuffer image = RenderThroughStage([&](const tssPostProcessData& d, stage::TScreenBuffer&) {
    r.BeginRender(d);
    for (auto& s : systems) SubmitParticles(*s, r);
    r.RenderAll();
    r.DisplayAll();
  });
  stage::WritePng(dir / "box-and-particles.png", image);
  EXPECT_EQ(r.RenderedCount(), 5);

  // Sprite centres: the swatch colour blended by each mode with alpha A / 255.
  const float a = A * (1.0f / 255);
  const float s[3] = {255, 128, 64};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const TParticle& p = systems[i]->Particles[0];
    const int32_t x = static_cast<int32_t>(std::nearbyint(p.ScreenPos.x));
    const int32_t y = static_cast<int32_t>(std::nearbyint(p.ScreenPos.y));
    const stage::TPixel& bg = host.At(x, y);
    const stage::TPixel& px = image.At(x, y);
    const float before[3] = {bg.R, bg.G, bg.B}, after[3] = {px.R, px.G, px.B};
    for (int c = 0; c < 3; ++c) {
      float expected = 0;
      switch (systems[i]->RenderMode) {
        case RenderPureAlpha: expected = (1 - a) * before[c] + a; break;
        case RenderIlluminate: expected = before[c] + a * (1.0f / 255) * s[c]; break;
        case RenderPaint: expected = a * (1.0f / 255) * s[c]; break;
        case RenderColorAlpha: expected = (1 - a) * before[c] + a * (1.0f / 255) * s[c]; break;
      }
      EXPECT_NEAR(after[c], expected, 1e-5) << "channel " << c;
    }
  }
  // The particle behind the box is hidden where the box covers it; the box is untouched.
  const TParticle& hidden = systems[4]->Particles[0];
  const int32_t hx = static_cast<int32_t>(std::nearbyint(hidden.ScreenPos.x));
  const int32_t hy = static_cast<int32_t>(std::nearbyint(hidden.ScreenPos.y));
  ASSERT_FALSE(std::isinf(host.At(hx, hy).Depth));
  EXPECT_TRUE(SamePixel(image.At(hx, hy), host.At(hx, hy)));
  EXPECT_EQ(stage::Stage().Display->At(hx, hy).R, image.At(hx, hy).R);
}

}  // namespace
