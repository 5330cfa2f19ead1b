// The preview: the controller's pixels, clicks and the menu key.
#include "ui/qt/MapPreviewBox.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TMapPreviewBox::TMapPreviewBox(QWidget* parent) : QWidget(parent) {
  setObjectName("MapPreview");
  setFixedSize(MapPreviewSize, MapPreviewSize);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void TMapPreviewBox::SetController(TImageMapsController* controller) {
  Controller_ = controller;
  update();
}

void TMapPreviewBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!Controller_) {
    p.fillRect(rect(), Qt::white);
    return;
  }
  const std::vector<uint32_t> pixels = Controller_->PreviewPixels();
  if (pixels.size() != static_cast<size_t>(MapPreviewSize) * MapPreviewSize) return;
  const QImage image(reinterpret_cast<const uchar*>(pixels.data()), MapPreviewSize, MapPreviewSize,
                     MapPreviewSize * 4, QImage::Format_RGB32);
  p.drawImage(0, 0, image);
  if (hasFocus()) {
    p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TMapPreviewBox::mouseReleaseEvent(QMouseEvent* e) {
  if (!rect().contains(e->position().toPoint())) return;
  if (e->button() == Qt::LeftButton && OnLeftClick) OnLeftClick(e->position().toPoint(), e->modifiers());
  if (e->button() == Qt::RightButton && OnMenu) OnMenu(e->position().toPoint());
}

void TMapPreviewBox::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Menu && OnMenu) {
    OnMenu(rect().center());
    return;
  }
  QWidget::keyPressEvent(e);
}

void TMapPreviewBox::contextMenuEvent(QContextMenuEvent* e) { e->accept(); }
