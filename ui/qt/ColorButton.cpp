// The coloured buttons: painted by hand so that every platform style shows the same colours.
#include "ui/qt/ColorButton.h"

#include <QPainter>

TColorButton::TColorButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAttribute(Qt::WA_Hover);
  QFont f = font();
  f.setBold(true);
  setFont(f);
}

void TColorButton::SetColors(const QColor& color, const QColor& highlight) {
  Color_ = color;
  Highlight_ = highlight;
  update();
}

void TColorButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const bool lit = isDown() || underMouse();
  const QRect r = rect();
  p.fillRect(r, lit ? Highlight_ : Color_);
  // A raised edge, sunken while pressed.
  p.setPen(isDown() ? Color_.darker(160) : Highlight_.lighter(130));
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(isDown() ? Highlight_.lighter(130) : Color_.darker(160));
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
  if (hasFocus()) {
    p.setPen(QPen(Qt::white, 1, Qt::DotLine));
    p.drawRect(r.adjusted(2, 2, -3, -3));
  }
  p.setPen(isEnabled() ? Qt::white : Qt::lightGray);
  p.setFont(font());
  p.drawText(r, Qt::AlignCenter, text());
}
