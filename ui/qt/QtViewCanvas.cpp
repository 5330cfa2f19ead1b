// The drawing surface on a Qt host's view window.
#include "ui/qt/QtViewCanvas.h"

#include <QEvent>
#include <QPainter>

QColor ColorOfRef(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

TQtViewCanvas::TQtViewCanvas(QWidget* view) : QWidget(view) {
  setObjectName("VantrelViewCanvas");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  view->installEventFilter(this);
  Fit();
  show();
}

QPainter& TQtViewCanvas::Painter() {
  // One painter for a whole frame of particles: beginning one per rectangle costs more than
  // drawing it.
  if (!Painter_.isActive()) Painter_.begin(&Image_);
  return Painter_;
}

void TQtViewCanvas::EndPainting() {
  if (Painter_.isActive()) Painter_.end();
}

void TQtViewCanvas::Fit() {
  EndPainting();
  QWidget* view = parentWidget();
  setGeometry(0, 0, view->width(), view->height());
  if (Image_.size() != size()) {
    Image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    Image_.fill(Qt::transparent);
  }
}

bool TQtViewCanvas::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) Fit();
  return QWidget::eventFilter(watched, event);
}

void TQtViewCanvas::clear() {
  EndPainting();
  Image_.fill(Qt::transparent);
  Dirty_ = false;
  update();
}

// Rectangles take their right and bottom edges exclusive, as the windowing system's do.
void TQtViewCanvas::FillRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  Painter().fillRect(QRect(QPoint(l, t), QPoint(r - 1, b - 1)), ColorOfRef(Brush_));
  Dirty_ = true;
}

void TQtViewCanvas::FrameRect(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  QPainter& p = Painter();
  p.setPen(ColorOfRef(Brush_));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(QPoint(l, t), QPoint(r - 1, b - 1)).adjusted(0, 0, -1, -1));
  Dirty_ = true;
}

void TQtViewCanvas::Ellipse(int32_t l, int32_t t, int32_t r, int32_t b) {
  if (r <= l || b <= t) return;
  QPainter& p = Painter();
  p.setPen(ColorOfRef(Pen_));
  if (Hollow_)
    p.setBrush(Qt::NoBrush);
  else
    p.setBrush(ColorOfRef(Brush_));
  p.drawEllipse(QRect(QPoint(l, t), QPoint(r - 2, b - 2)));
  Dirty_ = true;
}

void TQtViewCanvas::Flush() {
  EndPainting();
  if (!Dirty_) return;
  Dirty_ = false;
  repaint();
}

void TQtViewCanvas::paintEvent(QPaintEvent*) {
  EndPainting();
  QPainter p(this);
  p.drawImage(0, 0, Image_);
}
