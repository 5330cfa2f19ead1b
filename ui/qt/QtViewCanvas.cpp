// The drawing surface on a Qt host's view window. Rectangles and ellipses are written straight
// into the image's pixels: a preview frame draws tens of thousands of them, and a painter's state
// changes per particle (each has its own colour) cost several times the drawing itself. The
// pixels are those the headless surface draws, so what a test reads there is what the view shows.
#include "ui/qt/QtViewCanvas.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

QColor ColorOfRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

namespace {

// 0x00BBGGRR to an opaque pixel of the image.
QRgb PixelOf(uint32_t c) { return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

}  // namespace

TQtViewCanvas::TQtViewCanvas(QWidget* view) : QWidget(view) {
  setObjectName("VantrelViewCanvas");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  view->installEventFilter(this);
  Fit();
  show();
}

void TQtViewCanvas::Fit() {
  QWidget* view = parentWidget();
  setGeometry(0, 0, view->width(), view->height());
  if (Image_.size() != size()) {
    Image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    Image_.fill(Qt::transparent);
    Bits_ = nullptr;
  }
}

bool TQtViewCanvas::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Fit();
  return QWidget::eventFilter(watched, event);
}

void TQtViewCanvas::clear() {
  Bits_ = nullptr;
  Image_.fill(Qt::transparent);
  Dirty_ = false;
  update();
}

void TQtViewCanvas::Span(int64_t y, int64_t x0, int64_t x1, QRgb color) {
  if (y < 0 || y >= Image_.height()) return;
  x0 = std::max<int64_t>(x0, 0);
  x1 = std::min<int64_t>(x1, Image_.width());
  if (x0 >= x1) return;
  // The pixels' address is taken once per frame (taking it may copy an image someone shares).
  if (!Bits_) Bits_ = Image_.bits();
  auto* row = reinterpret_cast<QRgb*>(Bits_ + y * Image_.bytesPerLine());
  std::fill(row + x0, row + x1, color);
  Dirty_ = true;
}

// Rectangles take their right and bottom edges exclusive, as the windowing system's do.
void TQtViewCanvas::FillRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  const QRgb c = PixelOf(Brush_);
  const int64_t y0 = std::max<int64_t>(t, 0), y1 = std::min<int64_t>(b, Image_.height());
  for (int64_t y = y0; y < y1; ++y) Span(y, l, r, c);
}

// A one-pixel outline in the brush colour.
void TQtViewCanvas::FrameRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  const QRgb c = PixelOf(Brush_);
  Span(t, l, r, c);
  Span(int64_t{b} - 1, l, r, c);
  const int64_t y0 = std::max<int64_t>(t, 0), y1 = std::min<int64_t>(b, Image_.height());
  for (int64_t y = y0; y < y1; ++y) {
    Span(y, l, int64_t{l} + 1, c);
    Span(y, int64_t{r} - 1, r, c);
  }
}

// The pixels whose centres lie inside the inscribed ellipse; those with a neighbour outside form
// the outline in the pen colour, the others are filled with the brush unless it is hollow. Row by
// row: a row's inside pixels are one run, and a pixel of it is on the outline when it is an end
// of the run or lies outside the run of the row above or below.
void TQtViewCanvas::Ellipse(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  const double cx = (static_cast<double>(l) + r) / 2, cy = (static_cast<double>(t) + b) / 2;
  const double rx = (static_cast<double>(r) - l) / 2, ry = (static_cast<double>(b) - t) / 2;
  auto inside = [&](int64_t x, int64_t y) {
    if (x < l || x >= r || y < t || y >= b) return false;
    const double dx = (static_cast<double>(x) + 0.5 - cx) / rx, dy = (static_cast<double>(y) + 0.5 - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  struct TRun {
    int64_t From = 1, To = 0;  // inclusive; empty when From > To
  };
  // The run of row y, from the ellipse's equation and settled on the exact test at its ends.
  auto run = [&](int64_t y) {
    TRun run;
    if (y < t || y >= b) return run;
    const double dy = (static_cast<double>(y) + 0.5 - cy) / ry;
    if (dy * dy > 1.0) return run;
    const double half = rx * std::sqrt(1.0 - dy * dy);
    int64_t a = std::max<int64_t>(l, static_cast<int64_t>(std::ceil(cx - half - 0.5)));
    int64_t z = std::min<int64_t>(int64_t{r} - 1, static_cast<int64_t>(std::floor(cx + half - 0.5)));
    while (a > l && inside(a - 1, y)) --a;
    while (a <= z && !inside(a, y)) ++a;
    while (z < int64_t{r} - 1 && inside(z + 1, y)) ++z;
    while (z >= a && !inside(z, y)) --z;
    if (a <= z) run = {a, z};
    return run;
  };
  const QRgb pen = PixelOf(Pen_), brush = PixelOf(Brush_);
  const int64_t y0 = std::max<int64_t>(t, 0), y1 = std::min<int64_t>(b, Image_.height());
  TRun above = run(y0 - 1), here = run(y0);
  for (int64_t y = y0; y < y1; ++y) {
    const TRun below = run(y + 1);
    if (here.From <= here.To) {
      // Inner pixels are those inside the runs above and below, away from this run's ends.
      const int64_t innerFrom = std::max({here.From + 1, above.From, below.From});
      const int64_t innerTo = std::min({here.To - 1, above.To, below.To});
      if (innerFrom > innerTo || above.From > above.To || below.From > below.To) {
        Span(y, here.From, here.To + 1, pen);
      } else {
        Span(y, here.From, innerFrom, pen);
        if (!Hollow_) Span(y, innerFrom, innerTo + 1, brush);
        Span(y, innerTo + 1, here.To + 1, pen);
      }
    }
    above = here;
    here = below;
  }
}

void TQtViewCanvas::Flush() {
  Bits_ = nullptr;
  if (!Dirty_) return;
  Dirty_ = false;
  repaint();
}

void TQtViewCanvas::paintEvent(QPaintEvent*) {
  Bits_ = nullptr;
  QPainter p(this);
  p.drawImage(0, 0, Image_);
}
