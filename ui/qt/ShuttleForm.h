// The shuttle: a small tool window with the play controls alone, shown instead of the main panel
// when the user shrinks it. A view over the main panel's controller; the main form makes it.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QSplitter;
class QToolButton;
class TColorButton;
class TMain;

class TShuttleForm : public QWidget {
 public:
  // owner: the window the shuttle stays above (the host's main window), or null.
  TShuttleForm(TMain& main, QWidget* owner);

  QToolButton* GrowButton;
  TColorButton* PreviewButton;
  TColorButton* RewindButton;
  QSplitter* BottomRow;
  QLabel* StatusBar;
  QProgressBar* RenderProgress;

  // Shows the controller's state: the Play button, the status text and the progress row.
  void Refresh();

 private:
  TMain& Main_;
};
