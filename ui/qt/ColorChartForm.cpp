// A gradient editor's view: controls and the stop menu, each forwarding to the controller.
#include "ui/qt/ColorChartForm.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt/ColorStrip.h"

namespace {

// A folder (open) or a disk (save), drawn: the module carries no image files.
QIcon FileIcon(bool save) {
  QPixmap pixmap(18, 18);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(60, 60, 60), 1));
  if (save) {
    p.setBrush(QColor(40, 70, 150));
    p.drawRect(QRectF(2.5, 2.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 2.5, 7, 5));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4.5, 10.5, 9, 5));
  } else {
    p.setBrush(QColor(230, 190, 80));
    p.drawRect(QRectF(1.5, 5.5, 15, 10));
    p.drawRect(QRectF(1.5, 3.5, 6, 2));
  }
  return QIcon(pixmap);
}

}  // namespace

TColorChartForm::TColorChartForm(TGradientEditorController& controller, QWidget* parent)
    : QWidget(parent), Controller_(&controller) {
  setObjectName("ColorChartForm");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(2, 2, 2, 0);
  bar->setSpacing(3);
  AddButton = new QPushButton("Add", this);
  AddButton->setObjectName("AddButton");
  ClearButton = new QPushButton("Clear", this);
  ClearButton->setObjectName("ClearButton");
  ModeBox = new QComboBox(this);
  ModeBox->setObjectName("ModeBox");
  ModeBox->addItems({"Gradient Color", "Random Color"});
  OpenButton = new QToolButton(this);
  OpenButton->setObjectName("OpenButton");
  OpenButton->setToolTip("Open...");
  OpenButton->setIcon(FileIcon(false));
  OpenButton->setAutoRaise(true);
  SaveButton = new QToolButton(this);
  SaveButton->setObjectName("SaveButton");
  SaveButton->setToolTip("Save...");
  SaveButton->setIcon(FileIcon(true));
  SaveButton->setAutoRaise(true);
  bar->addWidget(AddButton);
  bar->addWidget(ClearButton);
  bar->addWidget(ModeBox);
  bar->addStretch(1);
  bar->addWidget(OpenButton);
  bar->addWidget(SaveButton);
  column->addLayout(bar);
  Strip = new TColorStrip(this);
  column->addWidget(Strip, 1);
  Hint = new QLabel("(right-click point for options, dbl-click for picker)", this);
  Hint->setObjectName("Hint");
  Hint->setAlignment(Qt::AlignCenter);
  column->addWidget(Hint);

  StopPopup = new QMenu(this);
  StopPopup->setObjectName("StopPopup");
  AddColorItem = StopPopup->addAction("Add Color");
  DeleteColorItem = StopPopup->addAction("Delete Color");
  ColorPickerItem = StopPopup->addAction("Color Picker");
  StopPopup->addSeparator();
  OpenGradientItem = StopPopup->addAction("Open Gradient...");
  SaveGradientItem = StopPopup->addAction("Save Gradient...");

  connect(AddButton, &QPushButton::clicked, this, [this] { Ask([](auto& c) { c.AddAction(); }); });
  connect(AddColorItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.AddAction(); }); });
  connect(ClearButton, &QPushButton::clicked, this, [this] { Ask([](auto& c) { c.ClearAction(); }); });
  connect(ModeBox, &QComboBox::currentIndexChanged, this, [this](int i) { Ask([i](auto& c) { c.SetColorMode(i); }); });
  connect(OpenButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.OpenAction(); }); });
  connect(OpenGradientItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.OpenAction(); }); });
  connect(SaveButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.SaveAction(); }); });
  connect(SaveGradientItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.SaveAction(); }); });
  connect(DeleteColorItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.DeleteStopAction(); }); });
  connect(ColorPickerItem, &QAction::triggered, this, [this] { Ask([](auto& c) { c.PickColorAction(); }); });
  Strip->OnMenu = [this](QPoint at) {
    Changed();  // the entries' enabled states follow the stop the menu is for
    StopPopup->popup(Strip->mapToGlobal(at));
  };

  Strip->SetController(Controller_);
  controller.AttachView(this);
  Changed();
}

TColorChartForm::~TColorChartForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

void TColorChartForm::ControllerGone() {
  Controller_ = nullptr;
  Strip->SetController(nullptr);
}

void TColorChartForm::Changed() {
  if (!Controller_) return;
  const TGradientEditorState s = Controller_->EditorState();
  for (QWidget* w : {static_cast<QWidget*>(AddButton), static_cast<QWidget*>(ClearButton),
                     static_cast<QWidget*>(ModeBox), static_cast<QWidget*>(OpenButton),
                     static_cast<QWidget*>(SaveButton)})
    w->setEnabled(s.HasGradient);
  {
    const QSignalBlocker quiet(ModeBox);  // showing a mode writes nothing
    ModeBox->setCurrentIndex(s.ColorMode == 1 ? 1 : 0);
  }
  for (QAction* a : {AddColorItem, OpenGradientItem, SaveGradientItem}) a->setEnabled(s.HasGradient);
  DeleteColorItem->setEnabled(s.DeleteEnabled);
  ColorPickerItem->setEnabled(s.PickerEnabled);
  Strip->update();
}
