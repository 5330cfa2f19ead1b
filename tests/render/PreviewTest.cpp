// The preview's drawing of particles on the headless drawing surface: the five draw modes,
// placement and rounding, the vertical offset, the size limit and the alpha hints.
#include "RenderFixture.h"
#include "hostapi/DrawSurface.h"
#include "hostapi/Platform.h"

using namespace rendertest;

namespace {

constexpr uint32_t White = 0xFFFFFF;

struct TBox {
  int32_t Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1;  // inclusive, of drawn pixels
  int Count = 0;
};

TBox Drawn(const THeadlessDrawSurface& s) {
  TBox b;
  for (int32_t y = 0; y < s.Height(); ++y)
    for (int32_t x = 0; x < s.Width(); ++x)
      if (s.At(x, y) != 0) {
        b.Left = std::min(b.Left, x), b.Right = std::max(b.Right, x);
        b.Top = std::min(b.Top, y), b.Bottom = std::max(b.Bottom, y);
        ++b.Count;
      }
  return b;
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    SetOrthoStage();
    Surface.Resize(OrthoSize, OrthoSize + 40);
  }
  // Draws a white particle at world x, z (drawport pixel 64 + x, 64 − z).
  TBox Draw(float x, float z, float size, uint8_t mode, float alpha = 1) {
    Surface.Clear();
    R.DrawMode = mode;
    TParticle p = ParticleAt(x, 0, z);
    R.DrawPreviewParticle(p, Attributes(size, alpha), Surface);
    return Drawn(Surface);
  }
  THeadlessDrawSurface Surface;
  TParticleRenderer R;
};

TEST_F(Preview, DotsAreTwoPixelsWhateverTheSize) {
  for (float size : {0.5f, 10.0f, 1000.0f}) {
    const TBox b = Draw(0, 0, size, DrawDots);
    EXPECT_EQ(b.Count, 4) << size;
    EXPECT_EQ(b.Left, 63);
    EXPECT_EQ(b.Top, 63 + 20);
  }
}

TEST_F(Preview, RoundsEdgesHalfToEvenAndAddsTheVerticalOffset) {
  // Centre 63.5: the dot's edges 62.5 and 64.5 round to 62 and 64.
  R.VerticalOffset = 0;
  TBox b = Draw(-0.5f, 0.5f, 1, DrawDots);
  EXPECT_EQ(b.Left, 62);
  EXPECT_EQ(b.Right, 63);
  EXPECT_EQ(b.Top, 62);
  R.VerticalOffset = 7;
  b = Draw(-0.5f, 0.5f, 1, DrawDots);
  EXPECT_EQ(b.Top, 69);
  EXPECT_EQ(b.Left, 62);
}

TEST_F(Preview, ShapesByDrawMode) {
  // Width 0.6 × 20 = 12 around pixel (64, 64): columns 58..69, rows 58..69 before the offset.
  R.VerticalOffset = 0;
  struct Case {
    uint8_t mode;
    bool centreDrawn;
    bool cornerDrawn;
  };
  const Case cases[] = {
      {DrawWireBoxes, false, true},
      {DrawWireCircles, false, false},
      {DrawSolidBoxes, true, true},
      {DrawSolidCircles, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    const TBox b = Draw(0, 0, 20, c.mode);
    EXPECT_EQ(b.Left, 58);
    EXPECT_EQ(b.Right, 69);
    EXPECT_EQ(b.Top, 58);
    EXPECT_EQ(b.Bottom, 69);
    EXPECT_EQ(Surface.At(64, 64) == White, c.centreDrawn);
    EXPECT_EQ(Surface.At(58, 58) == White, c.cornerDrawn);
  }
}

TEST_F(Preview, NothingAboveA1024PixelWidthOrBehindTheEye) {
  for (uint8_t mode = 0; mode <= 4; ++mode) EXPECT_EQ(Draw(0, 0, 1707, mode).Count, 0) << int{mode};
  EXPECT_GT(Draw(0, 0, 1706, DrawSolidBoxes).Count, 0);  // 1706 × 0.6 = 1023.6

  stage::Stage().View.Camera.Projection = stage::TProjection::Perspective;
  Surface.DrawCalls = 0;
  R.DrawMode = DrawSolidBoxes;
  TParticle behind = ParticleAt(0, -20, 0);  // the eye is at y = −10
  R.DrawPreviewParticle(behind, Attributes(1), Surface);
  EXPECT_EQ(Surface.DrawCalls, 0);
}

TEST_F(Preview, AlphaHintsDarkenTheColour) {
  R.VerticalOffset = 0;
  R.WireframeAlphaHints = false;
  Draw(0, 0, 20, DrawSolidBoxes, 0.5f);
  EXPECT_EQ(Surface.At(64, 64), White);
  R.WireframeAlphaHints = true;
  Draw(0, 0, 20, DrawSolidBoxes, 0.5f);
  EXPECT_EQ(Surface.At(64, 64), 0x808080u);  // 127.5 rounds half to even to 128
}

TEST(PreviewSurface, HeadlessPlatformDrawsIntoItsImage) {
  TDrawSurface* surface = Platform().ViewSurface(nullptr);
  ASSERT_NE(surface, nullptr);
  surface->SetBrushColor(0x123456);
  surface->FillRect(1, 2, 3, 4);
  auto& headless = static_cast<THeadlessDrawSurface&>(*surface);
  EXPECT_EQ(headless.At(1, 2), 0x123456u);
  EXPECT_EQ(headless.At(2, 3), 0x123456u);
  EXPECT_EQ(headless.At(3, 3), 0u);
}

}  // namespace
