// The drawing surface on a Qt host's view window. Rectangles and ellipses are written straight
// into the image's pixels by the rasteriser the headless surface uses: a preview frame draws tens
// of thousands of them, and a painter's state changes per particle (each has its own colour) cost
// several times the drawing itself. The pixels are those the headless surface draws, so what a
// test reads there is what the view shows.
#include "ui/qt/QtViewCanvas.h"

#include <QEvent>
#include <QPainter>


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

TPixelRows TQtViewCanvas::Rows() {
  // The pixels' address is taken once per frame (taking it may copy an image someone shares).
  if (!Bits_) {
    Bits_ = Image_.bits();
    Rows_ = {reinterpret_cast<uint32_t*>(Bits_), Image_.width(), Image_.height(),
             static_cast<ptrdiff_t>(Image_.bytesPerLine() / sizeof(QRgb))};
  }
  return Rows_;
}

void TQtViewCanvas::FillRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  Dirty_ |= FillRectPixels(Rows(), l, t, r, b, PixelOf(Brush_));
}

void TQtViewCanvas::FrameRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  Dirty_ |= FrameRectPixels(Rows(), l, t, r, b, PixelOf(Brush_));
}

void TQtViewCanvas::Ellipse(int32_t l, int32_t t, int32_t r, int32_t b) {
  Dirty_ |= EllipsePixels(Rows(), l, t, r, b, PixelOf(Pen_), PixelOf(Brush_), Hollow_);
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
