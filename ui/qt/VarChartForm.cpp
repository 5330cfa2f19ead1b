// The curve editor's view: controls, menus and the dialog, each forwarding to the controller.
#include "ui/qt/VarChartForm.h"

#include <QAction>
#include <QCursor>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "ui/qt/CurveChart.h"
#include "ui/qt/EditKeyframeForm.h"

namespace {

// A magnifier with + or − and the axis it zooms, or (axis 0) four arrows into a frame: Unzoom.
QIcon ZoomIcon(char axis, bool in) {
  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(0, 0, 128);
  p.setPen(QPen(ink, 1.4));
  if (axis == 0) {
    p.drawRect(QRectF(4.5, 4.5, 9, 9));
    p.drawLine(QPointF(1, 1), QPointF(4.5, 4.5));
    p.drawLine(QPointF(17, 1), QPointF(13.5, 4.5));
    p.drawLine(QPointF(1, 17), QPointF(4.5, 13.5));
    p.drawLine(QPointF(17, 17), QPointF(13.5, 13.5));
    return QIcon(pixmap);
  }
  p.drawEllipse(QRectF(1.5, 1.5, 10, 10));
  p.setPen(QPen(ink, 2.2));
  p.drawLine(QPointF(10, 10), QPointF(14, 14));
  p.setPen(QPen(ink, 1.4));
  p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
  if (in) p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
  QFont f;
  f.setPixelSize(8);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRectF(11, 9, 7, 9), Qt::AlignCenter, QString(QChar(axis)));
  return QIcon(pixmap);
}

}  // namespace

TVarChartForm::TVarChartForm(TCurveEditorController& controller, QWidget* parent)
    : QWidget(parent), Controller_(&controller) {
  setObjectName("VarChartForm");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(2, 2, 2, 0);
  bar->setSpacing(2);
  ClearButton = new QPushButton("Clear", this);
  ClearButton->setObjectName("ClearButton");
  ClearButton->setToolTip("Clear All Keyframes");
  bar->addWidget(ClearButton);
  const struct {
    QToolButton** button;
    const char* name;
    const char* hint;
    char axis;
    bool in;
  } zooms[] = {{&UnzoomButton, "UnzoomButton", "Unzoom Graph", 0, false},
               {&ZoomOutYButton, "ZoomOutYButton", "Zoom Out Y Axis", 'Y', false},
               {&ZoomInYButton, "ZoomInYButton", "Zoom In Y Axis", 'Y', true},
               {&ZoomOutXButton, "ZoomOutXButton", "Zoom Out X Axis", 'X', false},
               {&ZoomInXButton, "ZoomInXButton", "Zoom In X Axis", 'X', true}};
  for (const auto& z : zooms) {
    auto* b = new QToolButton(this);
    b->setObjectName(z.name);
    b->setToolTip(z.hint);
    b->setIcon(ZoomIcon(z.axis, z.in));
    b->setAutoRaise(true);
    *z.button = b;
    bar->addWidget(b);
  }
  bar->addStretch(1);
  column->addLayout(bar);
  Chart = new TCurveChart(this);
  column->addWidget(Chart, 1);

  // The menus share "Show Marks" and "Linear".
  ShowMarksAction = new QAction("Show Marks", this);
  ShowMarksAction->setCheckable(true);
  LinearAction = new QAction("Linear", this);
  LinearAction->setCheckable(true);
  KeyframePopup = new QMenu(this);
  KeyframePopup->setObjectName("KeyframePopup");
  EditValuesItem = KeyframePopup->addAction("Edit Values");
  DeleteKeyframeItem = KeyframePopup->addAction("Delete Keyframe");
  KeyframePopup->addSeparator();
  KeyframePopup->addAction(ShowMarksAction);
  KeyframePopup->addAction(LinearAction);
  KeyframePopup->addSeparator();
  UnzoomItem = KeyframePopup->addAction("Unzoom");
  ChartPopup = new QMenu(this);
  ChartPopup->setObjectName("ChartPopup");
  ChartPopup->addAction(ShowMarksAction);
  ChartPopup->addAction(LinearAction);
  ChartPopup->addSeparator();
  ChartUnzoomItem = ChartPopup->addAction("Unzoom");

  connect(ClearButton, &QPushButton::clicked, this, [this] { Ask([](auto& c) { c.ClearAction(); }); });
  connect(UnzoomButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.UnzoomAction(); }); });
  connect(ZoomOutYButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.ZoomOutYAction(); }); });
  connect(ZoomInYButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.ZoomInYAction(); }); });
  connect(ZoomOutXButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.ZoomOutXAction(); }); });
  connect(ZoomInXButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.ZoomInXAction(); }); });
  connect(EditValuesItem, &QAction::triggered, this, [this] { EditValues(); });
  connect(DeleteKeyframeItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.DeleteKeyAction(); }); });
  connect(ShowMarksAction, &QAction::triggered, this, [this] { Ask([](auto& c) { c.ShowMarksAction(); }); });
  connect(LinearAction, &QAction::triggered, this, [this] { Ask([](auto& c) { c.LinearAction(); }); });
  connect(UnzoomItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.UnzoomAction(); }); });
  connect(ChartUnzoomItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.UnzoomAction(); }); });
  Chart->OnMenu = [this](TCurveMenu menu, QPoint at) { OpenMenu(menu, at); };
  Chart->OnEditValues = [this] { EditValues(); };

  Chart->SetController(Controller_);
  controller.AttachView(this);
  Changed();
}

TVarChartForm::~TVarChartForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

void TVarChartForm::ControllerGone() {
  Controller_ = nullptr;
  Chart->SetController(nullptr);
}

void TVarChartForm::Changed() {
  if (!Controller_) return;
  const TCurveEditorState s = Controller_->EditorState();
  for (QWidget* w : {static_cast<QWidget*>(ClearButton), static_cast<QWidget*>(UnzoomButton),
                     static_cast<QWidget*>(ZoomOutYButton), static_cast<QWidget*>(ZoomInYButton),
                     static_cast<QWidget*>(ZoomOutXButton), static_cast<QWidget*>(ZoomInXButton)})
    w->setEnabled(s.HasCurve);
  ShowMarksAction->setChecked(s.ShowMarks);
  LinearAction->setChecked(s.Linear);
  LinearAction->setEnabled(s.HasCurve);
  EditValuesItem->setEnabled(s.HasCurve && s.MenuKey >= 0);
  DeleteKeyframeItem->setEnabled(s.DeleteKeyEnabled);
  Chart->update();
}

void TVarChartForm::OpenMenu(TCurveMenu menu, QPoint at) {
  Changed();  // the entries' enabled states follow the key the menu is for
  QMenu* popup = menu == TCurveMenu::Key ? KeyframePopup : ChartPopup;
  popup->popup(Chart->mapToGlobal(at));
}

void TVarChartForm::EditValues() {
  if (!Controller_) return;
  TKeyValues values;
  if (!Controller_->KeyForEditing(values)) return;
  TEditKeyframeForm dialog(values, this);
  dialog.adjustSize();
  dialog.move(QCursor::pos() - QPoint(64, 64));
  // A field shows a value rounded to its decimals; one the user left alone is not written back.
  const double shownX = dialog.KeyframeSpin->value(), shownY = dialog.PropertySpin->value();
  // The controller may go while the dialog is up (the host unloading the plug-in).
  const QPointer<TVarChartForm> alive(this);
  bool ok = false;
  if (OnDialog) {
    OnDialog(dialog);  // plays the user: fills the fields and accepts or rejects
    ok = dialog.result() == QDialog::Accepted;
  } else {
    ok = dialog.exec() == QDialog::Accepted;
  }
  if (!alive || !ok || !Controller_) return;
  const double x = dialog.KeyframeSpin->value(), y = dialog.PropertySpin->value();
  Controller_->ApplyKeyValues(x == shownX ? NAN : x, y == shownY ? NAN : y);
}
