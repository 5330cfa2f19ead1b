// The drawing surface on a Qt view draws exactly the pixels of the headless surface (which the
// preview's tests read), for rectangles and ellipses of every size, partly or wholly off the
// view, with pen and brush colours apart: what the tests check is what the user sees.
#include <gtest/gtest.h>

#include <QWidget>

#include "hostapi/DrawSurface.h"
#include "ui/qt/QtViewCanvas.h"

namespace {

enum TShape { Fill, Frame, HollowEllipse, SolidEllipse };

struct TCase {
  TShape Shape;
  int32_t L, T, R, B;
};

void Draw(TDrawSurface& s, const TCase& c) {
  s.SetPenColor(0x0000FF);     // red
  s.SetBrushColor(0x00FF00);   // green
  s.SetBrushHollow(c.Shape == HollowEllipse);
  switch (c.Shape) {
    case Fill: s.FillRect(c.L, c.T, c.R, c.B); break;
    case Frame: s.FrameRect(c.L, c.T, c.R, c.B); break;
    case HollowEllipse:
    case SolidEllipse: s.Ellipse(c.L, c.T, c.R, c.B); break;
  }
}

TEST(QtViewCanvas, DrawsTheHeadlessSurfacesPixels) {
  constexpr int W = 64, H = 48;
  QWidget view;
  view.resize(W, H);
  TQtViewCanvas canvas(&view);
  ASSERT_EQ(canvas.Image().size(), QSize(W, H));
  std::vector<TCase> cases;
  for (TShape shape : {Fill, Frame, HollowEllipse, SolidEllipse}) {
    for (const TCase& c : std::initializer_list<TCase>{
             {shape, 10, 10, 11, 11},     // one pixel
             {shape, 10, 10, 12, 12},     // two by two (a dot)
             {shape, 5, 7, 8, 20},        // thin and tall
             {shape, 3, 4, 40, 19},       // wide, odd sizes
             {shape, 20, 8, 52, 40},      // a large circle
             {shape, -9, -5, 14, 12},     // off the top left corner
             {shape, 50, 30, 90, 70},     // off the bottom right corner
             {shape, -100, -100, 200, 200},  // around the whole view
             {shape, 70, 10, 80, 20},     // wholly off the view
             {shape, 12, 12, 12, 20},     // empty
         })
      cases.push_back(c);
  }
  for (const TCase& c : cases) {
    THeadlessDrawSurface headless(W, H);
    canvas.clear();
    Draw(headless, c);
    Draw(canvas, c);
    const QImage& image = canvas.Image();
    int wrong = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint32_t want = headless.At(x, y);
        const QRgb got = image.pixel(x, y);
        const bool same = want == 0 ? qAlpha(got) == 0
                                    : got == qRgb(int(want & 0xFF), int((want >> 8) & 0xFF), int((want >> 16) & 0xFF));
        wrong += !same;
      }
    EXPECT_EQ(wrong, 0) << "shape " << c.Shape << " (" << c.L << ", " << c.T << ", " << c.R << ", " << c.B << ")";
  }
}

// What the view shows stays as it was for a copy taken before more is drawn.
TEST(QtViewCanvas, ACopyOfTheImageIsNotDrawnInto) {
  QWidget view;
  view.resize(20, 20);
  TQtViewCanvas canvas(&view);
  canvas.SetBrushColor(0xFFFFFF);
  canvas.FillRect(0, 0, 2, 2);
  const QImage copy = canvas.Image();
  canvas.FillRect(5, 5, 7, 7);
  EXPECT_EQ(qAlpha(copy.pixel(5, 5)), 0);
  EXPECT_EQ(canvas.Image().pixel(5, 5), qRgb(255, 255, 255));
}

}  // namespace
