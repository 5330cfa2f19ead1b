// The shuttle's view: grow button, Play and Rewind, and a status row split from its progress bar.
#include "ui/qt/ShuttleForm.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/qt/ColorButton.h"
#include "ui/qt/MainForm.h"

TShuttleForm::TShuttleForm(QWidget* owner) : QWidget(owner, Qt::Tool) {
  QFont f("Arial");
  f.setPixelSize(9);
  setFont(f);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(2, 2, 2, 1);
  column->setSpacing(2);
  auto* top = new QHBoxLayout;
  top->setSpacing(3);
  GrowButton = new QToolButton(this);
  GrowButton->setAutoRaise(true);
  GrowButton->setIcon(ButtonImage(18));
  GrowButton->setToolTip("Grow to the main panel");
  GrowButton->setFixedSize(22, 24);
  PreviewButton = new TColorButton("Play", this);
  PreviewButton->setToolTip("Play Animation");
  PreviewButton->setFixedHeight(24);
  RewindButton = new TColorButton("Rewind", this);
  RewindButton->SetColors(buttoncolors::Rewind, buttoncolors::RewindHighlight);
  RewindButton->setFixedHeight(24);
  top->addWidget(GrowButton);
  top->addWidget(PreviewButton, 1);
  top->addWidget(RewindButton, 1);
  column->addLayout(top);

  BottomRow = new QSplitter(Qt::Horizontal, this);
  BottomRow->setChildrenCollapsible(false);
  BottomRow->setHandleWidth(3);
  StatusBar = new QLabel(BottomRow);
  StatusBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  StatusBar->setMinimumWidth(32);
  RenderProgress = new QProgressBar(BottomRow);
  RenderProgress->setRange(0, 100);
  RenderProgress->setTextVisible(true);
  RenderProgress->setFormat("");
  RenderProgress->setAlignment(Qt::AlignCenter);
  RenderProgress->setMinimumWidth(32);
  RenderProgress->setStyleSheet(
      "QProgressBar { border: 1px solid gray; background: white; color: black; }"
      "QProgressBar::chunk { background: lime; }");
  BottomRow->addWidget(StatusBar);
  BottomRow->addWidget(RenderProgress);
  BottomRow->setSizes({182 - 42 - 7, 42});
  column->addWidget(BottomRow, 1);
  setFixedSize(182, 49);
  // Named as on the form, so that a host's or a test's code finds them without our headers.
  GrowButton->setObjectName("GrowButton");
  PreviewButton->setObjectName("PreviewButton");
  RewindButton->setObjectName("RewindButton");
}

void TShuttleForm::Refresh(const TMainPanelState& state) {
  StatusBar->setText(QString::fromStdString(state.ShuttleStatusText));
  RenderProgress->setValue(state.ShuttleProgress.Position);
  RenderProgress->setFormat(QString::fromStdString(state.ShuttleProgress.Caption));
}
