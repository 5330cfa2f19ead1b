// The shuttle: a small tool window with the play controls alone, shown instead of the main panel
// when the user shrinks it. It shows the main panel controller's state; the main form makes it
// and forwards its buttons.
#pragma once

#include <QWidget>

#include "ui/MainPanel.h"

class QLabel;
class QProgressBar;
class QSplitter;
class QToolButton;
class TColorButton;

class TShuttleForm : public QWidget {
 public:
  // owner: the window the shuttle stays above (the host's main window), or null.
  explicit TShuttleForm(QWidget* owner);

  QToolButton* GrowButton;
  TColorButton* PreviewButton;
  TColorButton* RewindButton;
  QSplitter* BottomRow;
  QLabel* StatusBar;
  QProgressBar* RenderProgress;

  // Shows the controller's state: the status text and the progress row (the main form keeps
  // the Play button in step with its own).
  void Refresh(const TMainPanelState& state);
};
