// The main panel: the play controls of the preview, the draw-mode box, "Enable Rendering", the
// status and progress row, the "Emitters" and "Tools" tabs over the emitter manager's and the
// toolbox's pages, and the menus. A thin view over TMain: every action goes to the controller,
// and Refresh shows what the controller holds, on this form and on the shuttle it owns.
#pragma once

#include <QMainWindow>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QTabBar;
class QToolButton;
class TColorButton;
class TMain;
class TShuttleForm;

class TMainForm : public QMainWindow {
 public:
  // owner: the host's main window the panel floats above, or null for a window of its own.
  // Binds the controller's notifications to this form; they are unbound when it goes.
  TMainForm(TMain& main, QWidget* owner);
  ~TMainForm() override;

  // ---- Controls, named as the panel's designer named them.
  QToolButton* ShrinkButton;
  TColorButton* PreviewButton;
  TColorButton* RewindButton;
  QComboBox* DrawModeBox;
  QCheckBox* RenderBox;
  QLabel* StatusBar;
  QProgressBar* RenderProgress;
  QTabBar* TabControl1;
  QStackedWidget* Pages;
  QFrame* EmitterManagerPage;  // the emitter manager docks here
  QFrame* ToolboxPage;         // the toolbox docks here
  TShuttleForm* Shuttle;

  // ---- Menu entries.
  QAction *NewEmitterItem, *DeleteEmitterItem, *LoadEmitterItem, *SaveEmitterItem;
  QAction *AddSystemItem, *DeleteSystemItem, *DuplicateSystemItem, *LoadSystemItem, *SaveSystemItem;
  QAction *EnableRenderingItem, *DepthDitheringItem, *ShowRenderingItem;
  QAction *AnimateObjectsItem, *WireframeAlphaHintsItem;
  QAction *HelpTopicsItem, *ToggleCuesItem;
  QAction* NewToolItems[6];  // Deflector, Attractor, Repulsor, Gravitron, Fan, Leader

  // Shows the controller's state on both forms.
  void Refresh();
  // The plug-in's button: the main panel, restored when minimised, unless the shuttle is the
  // one shown; then a minimised shuttle is restored.
  void ShowPanel();
  void Shrink();
  void Grow();

  // The emitter manager's "Properties" fold: before it collapses, after it collapsed (the form
  // and its smallest height shrink by the height the fold lost), before it expands (both grow
  // back by that much).
  void FoldCollapsing(int foldHeight);
  void FoldCollapsed(int newFoldHeight);
  void FoldExpanding();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  bool eventFilter(QObject* watched, QEvent* event) override;
  // While a run holds the thread, user input reaches only Play, Rewind and the draw-mode box of
  // either form (and Escape, which the platform reads): the rest of the program waits, as it
  // would if no event were handled at all.
  void GateInput(bool running);
  bool Gated_ = false;
  TMain& Main_;
  int FoldRemembered_ = 0;
};

// The seam to a host's windows: makes the main panel (and with it the shuttle) over the
// controller, floating above the given window (both are its child windows). The caller owns the
// panel and must free it before that window and before the controller.
std::unique_ptr<TMainForm> CreateMainPanel(TMain& main, QWidget* owner);

// Images of the flat buttons: 18 grows the shuttle into the panel, 19 shrinks the panel.
class QIcon;
QIcon ButtonImage(int index);
