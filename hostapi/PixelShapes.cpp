// Rectangles and ellipses as spans of pixel rows.
#include "hostapi/PixelShapes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// Pixels from to end (exclusive) of a row, four at a time. The colour is a copy the row's pixels
// cannot alias, so it stays in a register (std::fill reads it through its reference per pixel).
void FillPixels(uint32_t* from, uint32_t* end, uint32_t color) {
  const uint32_t four[4] = {color, color, color, color};
  for (; end - from >= 4; from += 4) std::memcpy(from, four, sizeof four);
  for (; from < end; ++from) *from = color;
}

// Pixels x0 to x1 (exclusive) of row y, which must lie inside the rows; clipped to their width.
bool Span(const TPixelRows& rows, int64_t y, int64_t x0, int64_t x1, uint32_t color) {
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, rows.Width);
  if (x0 >= x1) return false;
  uint32_t* row = rows.Pixels + y * rows.Stride;
  FillPixels(row + x0, row + x1, color);
  return true;
}

// The rows of the rectangle inside the surface, [From, To); none when From ≥ To.
struct TRowRange {
  int64_t From, To;
};
TRowRange VisibleRows(const TPixelRows& rows, int32_t top, int32_t bottom) {
  return {std::max<int64_t>(top, 0), std::min<int64_t>(bottom, rows.Height)};
}

// A row's pixels inside the ellipse, From to To inclusive; empty when From > To.
struct TRun {
  int64_t From = 1, To = 0;
  bool Empty() const { return From > To; }
};

// The ellipse inscribed in a rectangle, row by row. A pixel (x, y) is inside when its centre is:
//   ((x + ½ − cx) / rx)² + ((y + ½ − cy) / ry)² ≤ 1,
// evaluated exactly so in doubles. The offsets from the centre are exact (integers and halves
// far below 2^52), so a row's inside pixels are one run symmetric about cx (its right end is
// left + right − 1 − its left end), and row y's run is that of row top + bottom − 1 − y. Each
// rounded step is monotonic, so the test only gets truer towards the centre: going down the top
// half, a row's left end is at or left of the row above's.
//
// An ellipse of the preview's sizes has the left ends of its top half walked once, row after
// row, from the middle outwards, with one exact test per row and per pixel moved; a larger one
// finds each row's left end from the ellipse's equation, settled on the exact test.
class TEllipseRows {
 public:
  TEllipseRows(int32_t left, int32_t top, int32_t right, int32_t bottom)
      : L_(left), T_(top), R_(right), B_(bottom),
        Cx_((static_cast<double>(left) + right) / 2), Cy_((static_cast<double>(top) + bottom) / 2),
        Rx_((static_cast<double>(right) - left) / 2), Ry_((static_cast<double>(bottom) - top) / 2) {
    Walked_ = B_ - T_ <= 2 * kWalkedRows && R_ - L_ <= kWalkedWidth;
    if (!Walked_) return;
    int64_t a = (Ends() >> 1) + 1;  // past the middle: nothing inside yet
    for (int64_t i = 0; 2 * i < B_ - T_; ++i) {
      const double fy = RowTerm(T_ + i);
      while (a > L_ && Inside(a - 1, fy)) --a;
      LeftEnds_[static_cast<size_t>(i)] = static_cast<int32_t>(a - L_);
    }
  }

  TRun Run(int64_t y) const {
    if (y < T_ || y >= B_) return {};
    const int64_t a = Walked_ ? L_ + LeftEnds_[static_cast<size_t>(std::min(y - T_, B_ - 1 - y))] : LeftEnd(y);
    if (2 * a > Ends()) return {};  // even the middle pixels are outside
    return {a, Ends() - a};
  }

 private:
  static constexpr int64_t kWalkedRows = 2048, kWalkedWidth = 8192;

  int64_t Ends() const { return L_ + R_ - 1; }  // a run's left and right ends add up to this
  double RowTerm(int64_t y) const {
    const double dy = (static_cast<double>(y) + 0.5 - Cy_) / Ry_;
    return dy * dy;
  }
  bool Inside(int64_t x, double fy) const {
    const double dx = (static_cast<double>(x) + 0.5 - Cx_) / Rx_;
    return dx * dx + fy <= 1.0;
  }
  // Row y's left end, past the middle when the row has no pixel inside.
  int64_t LeftEnd(int64_t y) const {
    const double fy = RowTerm(y);
    if (fy > 1.0) return (Ends() >> 1) + 1;
    const double half = Rx_ * std::sqrt(1.0 - fy);
    int64_t a = static_cast<int64_t>(std::ceil(Cx_ - half - 0.5));
    a = std::clamp<int64_t>(a, L_, Ends() >> 1);  // >> rounds down, also below zero
    while (a > L_ && Inside(a - 1, fy)) --a;
    while (2 * a <= Ends() && !Inside(a, fy)) ++a;
    return a;
  }

  int64_t L_, T_, R_, B_;
  double Cx_, Cy_, Rx_, Ry_;
  bool Walked_ = false;
  std::array<int32_t, kWalkedRows> LeftEnds_;  // of the top half's rows, from the left edge
};

// One row of an ellipse, here, between the runs of the rows above and below it; row holds width
// pixels.
bool EllipseRow(uint32_t* row, int64_t width, const TRun& above, const TRun& here, const TRun& below,
                uint32_t pen, uint32_t brush, bool hollow) {
  // The run cut to the surface, once; its parts are cut to that.
  const int64_t x0 = std::max<int64_t>(here.From, 0), x1 = std::min<int64_t>(here.To + 1, width);
  if (here.Empty() || x0 >= x1) return false;
  // Inner pixels are those inside the runs above and below, away from this run's ends.
  const int64_t innerFrom = std::max({here.From + 1, above.From, below.From});
  const int64_t innerTo = std::min({here.To - 1, above.To, below.To});
  if (innerFrom > innerTo || above.Empty() || below.Empty()) {
    FillPixels(row + x0, row + x1, pen);
    return true;
  }
  const int64_t i0 = std::clamp(innerFrom, x0, x1), i1 = std::clamp(innerTo + 1, x0, x1);
  for (int64_t x = x0; x < i0; ++x) row[x] = pen;  // the outline's few pixels
  if (!hollow) FillPixels(row + i0, row + i1, brush);
  for (int64_t x = i1; x < x1; ++x) row[x] = pen;
  return i0 > x0 || i1 < x1 || (!hollow && i1 > i0);
}

}  // namespace

bool FillRectPixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t color) {
  const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, rows.Width);
  const TRowRange ys = VisibleRows(rows, top, bottom);
  if (x0 >= x1 || ys.From >= ys.To) return false;
  for (int64_t y = ys.From; y < ys.To; ++y) {
    uint32_t* row = rows.Pixels + y * rows.Stride;
    FillPixels(row + x0, row + x1, color);
  }
  return true;
}

bool FrameRectPixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                     uint32_t color) {
  if (right <= left || bottom <= top) return false;
  const TRowRange ys = VisibleRows(rows, top, bottom);
  bool wrote = false;
  for (int64_t y = ys.From; y < ys.To; ++y) {
    if (y == top || y == int64_t{bottom} - 1) {
      wrote |= Span(rows, y, left, right, color);
    } else {
      wrote |= Span(rows, y, left, int64_t{left} + 1, color);
      wrote |= Span(rows, y, int64_t{right} - 1, right, color);
    }
  }
  return wrote;
}

// Row by row: a pixel of a row's run is on the outline when it is an end of the run or lies
// outside the run of the row above or below.
bool EllipsePixels(const TPixelRows& rows, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   uint32_t pen, uint32_t brush, bool hollow) {
  if (right <= left || bottom <= top || right <= 0 || left >= rows.Width) return false;
  const TRowRange ys = VisibleRows(rows, top, bottom);
  if (ys.From >= ys.To) return false;
  const TEllipseRows ellipse(left, top, right, bottom);
  bool wrote = false;
  TRun above = ellipse.Run(ys.From - 1), here = ellipse.Run(ys.From);
  for (int64_t y = ys.From; y < ys.To; ++y) {
    const TRun below = ellipse.Run(y + 1);
    wrote |= EllipseRow(rows.Pixels + y * rows.Stride, rows.Width, above, here, below, pen, brush, hollow);
    above = here;
    here = below;
  }
  return wrote;
}
