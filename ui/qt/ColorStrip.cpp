// The gradient strip: painting and input.
#include "ui/qt/ColorStrip.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

const QColor LabelColor(255, 255, 0);  // 0x00FFFF
constexpr double ArrowLength = 14;

int Button(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return ButtonLeft;
    case Qt::RightButton: return ButtonRight;
    case Qt::MiddleButton: return ButtonMiddle;
    default: return 0;
  }
}

QColor FromRef(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

QString PositionText(double p) { return QString::number(p, 'g', 6); }

}  // namespace

TColorStrip::TColorStrip(QWidget* parent) : QWidget(parent) {
  setObjectName("ColorStrip");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumHeight(70);
}

void TColorStrip::SetController(TGradientEditorController* controller) {
  Controller_ = controller;
  UpdateFrame();
  update();
}

QRect TColorStrip::PlotArea() const { return rect().adjusted(Margin, Margin, -Margin, -Margin); }

void TColorStrip::UpdateFrame() {
  if (!Controller_) return;
  const QRect r = PlotArea();
  Controller_->SetStripFrame(r.left(), r.top(), r.width(), r.height());
}

void TColorStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateFrame();
}

void TColorStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  const QRect area = PlotArea();
  p.setPen(palette().mid().color());
  p.drawRect(area.adjusted(-1, -1, 0, 0));
  if (!Controller_) return;
  UpdateFrame();
  const TGradientEditorState s = Controller_->EditorState();
  if (!s.HasGradient) {
    setCursor(Qt::ArrowCursor);
    return;
  }
  // The gradient, one column a pixel.
  const std::vector<uint32_t> columns = Controller_->StripColumns(area.width());
  for (size_t c = 0; c < columns.size(); ++c) {
    p.setPen(FromRef(columns[c]));
    const int x = area.left() + static_cast<int>(c);
    p.drawLine(x, area.top(), x, area.bottom());
  }
  // The markers, then their labels above and to the right at 45°.
  QFont font = p.font();
  font.setPointSize(6);
  p.setFont(font);
  const QFontMetrics metrics(font);
  for (size_t i = 0; i < s.Stops.size(); ++i) {
    const TGradientMarker& m = s.Stops[i];
    const QPointF at(m.PixelX, s.LineY);
    const bool current = static_cast<int>(i) == s.CurrentStop || static_cast<int>(i) == s.SelectedStop;
    const QRectF marker(at.x() - MarkerSize / 2.0, at.y() - MarkerSize / 2.0, MarkerSize, MarkerSize);
    p.setPen(QPen(current ? Qt::white : Qt::black, 1));
    p.setBrush(FromRef(m.Color));
    p.drawRect(marker);
    if (static_cast<int>(i) == s.SelectedStop && hasFocus()) {
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(Qt::black, 1, Qt::DotLine));
      p.drawRect(marker.adjusted(-2, -2, 2, 2));
    }
  }
  for (const TGradientMarker& m : s.Stops) {
    const QPointF at(m.PixelX, s.LineY);
    // Up and to the right; near the right end up and to the left, so that the label stays whole.
    const bool leftwards = at.x() > area.right() - 40;
    const QPointF tip = at + QPointF(leftwards ? -ArrowLength : ArrowLength, -ArrowLength) / std::sqrt(2.0);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(at, tip);
    p.save();
    p.translate(tip);
    p.rotate(leftwards ? 45 : -45);
    const QString text = PositionText(m.Position);
    const double width = metrics.horizontalAdvance(text) + 4;
    const QRectF box(leftwards ? -width : 0, -metrics.height() / 2.0 - 1, width, metrics.height() + 2);
    p.fillRect(box.translated(1, 1), QColor(0, 0, 0, 110));  // the shadow
    p.fillRect(box, LabelColor);
    p.drawText(box, Qt::AlignCenter, text);
    p.restore();
  }
  if (hasFocus()) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  setCursor(s.HandCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TColorStrip::mousePressEvent(QMouseEvent* e) {
  if (!Controller_) return;
  setFocus(Qt::MouseFocusReason);
  UpdateFrame();
  Controller_->MousePress(Button(e->button()), e->position().x(), e->position().y());
}

void TColorStrip::mouseMoveEvent(QMouseEvent* e) {
  if (!Controller_) return;
  Controller_->MouseMove(e->position().x(), e->position().y());
}

void TColorStrip::mouseReleaseEvent(QMouseEvent* e) {
  if (!Controller_) return;
  if (Controller_->MouseRelease(Button(e->button()), e->position().x(), e->position().y()) && OnMenu)
    OnMenu(e->position().toPoint());
}

void TColorStrip::mouseDoubleClickEvent(QMouseEvent* e) {
  // The second press of a double click drags nothing: it opens the picker.
  if (!Controller_ || e->button() != Qt::LeftButton) return;
  Controller_->DoubleClick(e->position().x(), e->position().y());
}

void TColorStrip::keyPressEvent(QKeyEvent* e) {
  if (!Controller_) return;
  const int mods = e->modifiers() & Qt::ShiftModifier ? ModShift : 0;
  switch (e->key()) {
    case Qt::Key_Left: Controller_->KeyPress(TGradientKey::Left, mods); return;
    case Qt::Key_Right: Controller_->KeyPress(TGradientKey::Right, mods); return;
    case Qt::Key_Delete: Controller_->KeyPress(TGradientKey::Delete, mods); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: Controller_->KeyPress(TGradientKey::Enter, mods); return;
    case Qt::Key_Menu: {
      if (!Controller_->KeyboardMenu() || !OnMenu) return;
      const TGradientEditorState s = Controller_->EditorState();
      QPoint at = PlotArea().center();
      if (s.CurrentStop >= 0 && s.CurrentStop < static_cast<int>(s.Stops.size()))
        at = QPoint(static_cast<int>(s.Stops[static_cast<size_t>(s.CurrentStop)].PixelX), static_cast<int>(s.LineY));
      OnMenu(at);
      return;
    }
    default: QWidget::keyPressEvent(e);
  }
}

void TColorStrip::contextMenuEvent(QContextMenuEvent* e) {
  // The right button's release decides; the keyboard's menu key is handled above.
  e->accept();
}
