// Drawing the graph and forwarding input.
#include "ui/qt/CurveChart.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// The colours the editor draws with (TColor values are 0x00BBGGRR).
const QColor CurveColor(255, 0, 0);         // 0x0000FF
const QColor MarkerLineColor(0x80, 0x40, 0);  // 0x004080
const QColor GridColor(226, 226, 226);
const QColor BandColor(0, 0, 160);

int Buttons(Qt::MouseButtons b) {
  return (b & Qt::LeftButton ? ButtonLeft : 0) | (b & Qt::RightButton ? ButtonRight : 0) |
         (b & Qt::MiddleButton ? ButtonMiddle : 0);
}

int Button(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return ButtonLeft;
    case Qt::RightButton: return ButtonRight;
    case Qt::MiddleButton: return ButtonMiddle;
    default: return 0;
  }
}

int Modifiers(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? ModShift : 0) | (m & Qt::ControlModifier ? ModCtrl : 0) |
         (m & Qt::AltModifier ? ModAlt : 0);
}

// A tick step of 1, 2 or 5 times a power of ten, no finer than least, leaving about minPixels
// between labels.
double TickStep(double range, double pixels, double least, double minPixels) {
  if (!(range > 0) || !(pixels > 0)) return 1;
  const double wanted = std::max(range * minPixels / pixels, least);
  const double power = std::pow(10.0, std::floor(std::log10(wanted)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= wanted) return m * power;
  return 10 * power;
}

QString Number(double v, double step) {
  int decimals = 0;
  while (decimals < 6 && std::abs(step * std::pow(10.0, decimals) - std::round(step * std::pow(10.0, decimals))) > 1e-9)
    ++decimals;
  if (std::abs(v) < step * 1e-6) v = 0;  // no "-0"
  return QString::number(v, 'f', decimals);
}

}  // namespace

TCurveChart::TCurveChart(QWidget* parent) : QWidget(parent) {
  setObjectName("CurveChart");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(160, 120);
  setAutoFillBackground(false);
}

void TCurveChart::SetController(TCurveEditorController* controller) {
  Controller_ = controller;
  UpdatePlotFrame();
  update();
}

void TCurveChart::UpdatePlotFrame() {
  if (Controller_)
    Controller_->SetPlotFrame(MarginLeft, MarginTop, std::max(1, width() - MarginLeft - MarginRight),
                              std::max(1, height() - MarginTop - MarginBottom));
}

TPlotMapping TCurveChart::PlotMapping() const {
  if (Controller_) return Controller_->Mapping();
  TPlotMapping m;
  m.Left = MarginLeft, m.Top = MarginTop;
  m.Width = std::max(1, width() - MarginLeft - MarginRight);
  m.Height = std::max(1, height() - MarginTop - MarginBottom);
  return m;
}

void TCurveChart::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdatePlotFrame();
}

void TCurveChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  const TCurveEditorState s = Controller_ ? Controller_->EditorState() : TCurveEditorState();
  const TPlotMapping m = PlotMapping();
  const QRectF plot(m.Left, m.Top, m.Width, m.Height);
  p.fillRect(plot, Qt::white);

  // Grid, ticks and their labels. The horizontal axis counts whole frames or percents.
  QFont small = font();
  small.setPixelSize(10);
  p.setFont(small);
  const QFontMetrics fm(small);
  const double xStep = TickStep(m.XMax - m.XMin, m.Width, 1, 44);
  const double yStep = TickStep(m.YMax - m.YMin, m.Height, s.ValueStep > 0 ? s.ValueStep : 0.01, 22);
  for (double x = std::ceil(m.XMin / xStep) * xStep; x <= m.XMax + xStep * 1e-9; x += xStep) {
    const double px = m.PixelX(x);
    p.setPen(GridColor);
    p.drawLine(QPointF(px, m.Top), QPointF(px, m.Top + m.Height));
    p.setPen(Qt::black);
    p.drawLine(QPointF(px, m.Top + m.Height), QPointF(px, m.Top + m.Height + 4));
    // the minor tick, half way
    p.drawLine(QPointF(m.PixelX(x + xStep / 2), m.Top + m.Height), QPointF(m.PixelX(x + xStep / 2), m.Top + m.Height + 2));
    const QString label = Number(x, xStep);
    p.drawText(QPointF(px - fm.horizontalAdvance(label) / 2.0, m.Top + m.Height + 5 + fm.ascent()), label);
  }
  for (double y = std::ceil(m.YMin / yStep) * yStep; y <= m.YMax + yStep * 1e-9; y += yStep) {
    const double py = m.PixelY(y);
    p.setPen(GridColor);
    p.drawLine(QPointF(m.Left, py), QPointF(m.Left + m.Width, py));
    p.setPen(Qt::black);
    p.drawLine(QPointF(m.Left - 4, py), QPointF(m.Left, py));
    const QString label = Number(y, yStep);
    p.drawText(QPointF(m.Left - 6 - fm.horizontalAdvance(label), py + fm.ascent() / 2.0 - 1), label);
  }
  p.setPen(Qt::black);
  p.drawRect(plot);
  if (!s.AxisTitle.empty()) {
    const QString title = QString::fromStdString(s.AxisTitle);
    p.drawText(QRectF(m.Left, height() - fm.height() - 2, m.Width, fm.height()), Qt::AlignHCenter, title);
  }

  p.save();
  p.setClipRect(plot.adjusted(-4, -4, 4, 4));
  p.setRenderHint(QPainter::Antialiasing);
  // The current-frame line.
  if (s.MarkerX >= m.XMin && s.MarkerX <= m.XMax) {
    QPen pen(MarkerLineColor, 1, Qt::DotLine);
    p.setPen(pen);
    const double px = m.PixelX(s.MarkerX);
    p.drawLine(QPointF(px, m.Top), QPointF(px, m.Top + m.Height));
  }
  // The curve, as it evaluates.
  if (Controller_ && s.HasCurve) {
    const std::vector<TCurvePoint> line = Controller_->Polyline(m);
    QPainterPath path;
    for (size_t i = 0; i < line.size(); ++i) {
      const QPointF q(m.PixelX(line[i].X), m.PixelY(line[i].Y));
      if (i == 0)
        path.moveTo(q);
      else
        path.lineTo(q);
    }
    p.setPen(QPen(CurveColor, 1.5));
    p.drawPath(path);
    // The keys.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (size_t i = 0; i < s.Keys.size(); ++i) {
      const QPointF q(m.PixelX(s.Keys[i].X), m.PixelY(s.Keys[i].Y));
      const bool chosen = static_cast<int>(i) == s.SelectedKey && hasFocus();
      p.setPen(QPen(Qt::black, chosen ? 2 : 1));
      p.setBrush(CurveColor);
      const double r = chosen ? 4 : 3;
      p.drawRect(QRectF(q.x() - r, q.y() - r, 2 * r, 2 * r));
    }
  }
  p.restore();
  // The marks: each key's x and value on two lines, above it on a short arrow, kept inside the
  // widget so that the keys at the ends keep theirs whole.
  if (Controller_ && s.HasCurve && s.ShowMarks) {
    QFont markFont = font();
    markFont.setPointSize(7);
    p.setFont(markFont);
    const QFontMetrics mf(markFont);
    for (const TCurvePoint& k : s.Keys) {
      const QPointF q(m.PixelX(k.X), m.PixelY(k.Y));
      if (!plot.adjusted(-1, -1, 1, 1).contains(q)) continue;
      const QString text = Number(k.X, std::nearbyint(k.X) == k.X ? 1 : 0.01) + "\n" +
                           Number(k.Y, s.ValueStep > 0 ? s.ValueStep : 0.01);
      const QRectF box = mf.boundingRect(QRect(0, 0, 200, 100), 0, text).adjusted(-2, -1, 2, 1);
      QPointF at(q.x() - box.width() / 2 - box.left(), q.y() - 12 - box.height() - box.top());
      at.setX(std::clamp(at.x(), 1.0 - box.left(), width() - box.width() - 3 - box.left()));
      at.setY(std::max(at.y(), 1.0 - box.top()));
      p.setPen(Qt::black);
      p.drawLine(q, QPointF(q.x(), q.y() - 12));
      p.fillRect(box.translated(at + QPointF(2, 2)), QColor(128, 128, 128));  // the shadow
      p.fillRect(box.translated(at), QColor(255, 255, 225));
      p.drawText(box.translated(at), Qt::AlignCenter, text);
    }
  }
  p.save();
  if (s.Banding) {
    p.setPen(QPen(BandColor, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(QPointF(m.PixelX(s.BandFrom.X), m.PixelY(s.BandFrom.Y)),
                      QPointF(m.PixelX(s.BandTo.X), m.PixelY(s.BandTo.Y)))
                   .normalized());
  }
  p.restore();
  if (hasFocus()) {
    p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  setCursor(s.HandCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TCurveChart::mousePressEvent(QMouseEvent* e) {
  if (!Controller_) return;
  UpdatePlotFrame();
  Controller_->MousePress(Button(e->button()), e->position().x(), e->position().y(), Modifiers(e->modifiers()));
}

void TCurveChart::mouseMoveEvent(QMouseEvent* e) {
  if (!Controller_) return;
  Controller_->MouseMove(e->position().x(), e->position().y(), Buttons(e->buttons()), Modifiers(e->modifiers()));
}

void TCurveChart::mouseReleaseEvent(QMouseEvent* e) {
  if (!Controller_) return;
  const TCurveMenu menu =
      Controller_->MouseRelease(Button(e->button()), e->position().x(), e->position().y(), Modifiers(e->modifiers()));
  if (menu != TCurveMenu::None && OnMenu) OnMenu(menu, e->position().toPoint());
}

void TCurveChart::mouseDoubleClickEvent(QMouseEvent* e) {
  // Not a press: the second click of a double click adds a key and grabs nothing.
  if (!Controller_ || e->button() != Qt::LeftButton) return;
  Controller_->DoubleClick(e->position().x(), e->position().y(), Modifiers(e->modifiers()));
}

void TCurveChart::keyPressEvent(QKeyEvent* e) {
  if (!Controller_) return;
  const int mods = Modifiers(e->modifiers());
  switch (e->key()) {
    case Qt::Key_Left: Controller_->KeyPress(TCurveKey::Left, mods); return;
    case Qt::Key_Right: Controller_->KeyPress(TCurveKey::Right, mods); return;
    case Qt::Key_Up: Controller_->KeyPress(TCurveKey::Up, mods); return;
    case Qt::Key_Down: Controller_->KeyPress(TCurveKey::Down, mods); return;
    case Qt::Key_Delete: Controller_->KeyPress(TCurveKey::Delete, mods); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (OnEditValues) OnEditValues();
      return;
    case Qt::Key_Menu: {
      const TCurveMenu menu = Controller_->KeyboardMenu();
      const TCurveEditorState s = Controller_->EditorState();
      const TPlotMapping m = PlotMapping();
      QPoint at(static_cast<int>(m.Left + m.Width / 2), static_cast<int>(m.Top + m.Height / 2));
      if (menu == TCurveMenu::Key && s.MenuKey >= 0 && s.MenuKey < static_cast<int>(s.Keys.size()))
        at = QPoint(static_cast<int>(m.PixelX(s.Keys[static_cast<size_t>(s.MenuKey)].X)),
                    static_cast<int>(m.PixelY(s.Keys[static_cast<size_t>(s.MenuKey)].Y)));
      if (menu != TCurveMenu::None && OnMenu) OnMenu(menu, at);
      return;
    }
    default: QWidget::keyPressEvent(e);
  }
}

void TCurveChart::contextMenuEvent(QContextMenuEvent* e) {
  // The right button's release decides; the keyboard's menu key is handled above.
  e->accept();
}
