// The main panel: the play controls of the preview, the draw-mode box, "Enable Rendering", the
// status and progress row, the "Emitters" and "Tools" tabs over the emitter manager's and the
// toolbox's pages, and the menus. A thin view over the main panel's controller, reached only
// through its seam (ui/MainPanel.h) because the form lives in the plug-in's Qt module: every
// action goes to the controller, and Refresh shows what the controller holds, on this form and
// on the shuttle it owns.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "ui/MainPanel.h"
#include "ui/qt/ShuttleForm.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QFrame;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QTabBar;
class QToolButton;
class TColorButton;
class TEmitterManForm;
class TPropsForm;
class TParticleMapsForm;
class TToolboxForm;
class TVarChartForm;

class TMainForm : public QMainWindow, public TMainPanelView {
 public:
  // owner: the host's main window the panel floats above (it goes with that window), or null
  // for a window of its own. Attaches itself to the controller as its view; detaches when it
  // goes.
  TMainForm(TMainPanelController& main, QWidget* owner);
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
  TToolboxForm* Toolbox;
  // The curve editor the emitter page and the system properties share.
  TVarChartForm* CurveEditor;
  TEmitterManForm* EmitterMan;
  TPropsForm* SystemProps;  // the emitter manager's system page
  TParticleMapsForm* MapsEditor;  // in the system properties' render page
  // The shuttle is the host window's child too: that window may free it before this form.
  QPointer<TShuttleForm> Shuttle;
  // In a host whose main window has dock areas, the panel lives in a dock at its right side (the
  // user may float, move or close it; the host keeps where it was); null otherwise.
  QDockWidget* Dock;

  // ---- Menu entries. The emitter and system entries are the emitter manager's actions.
  QAction *NewEmitterItem, *DeleteEmitterItem, *LoadEmitterItem, *SaveEmitterItem;
  QAction *AddSystemItem, *DeleteSystemItem, *DuplicateSystemItem, *LoadSystemItem, *SaveSystemItem;
  QAction *EnableRenderingItem, *DepthDitheringItem, *ShowRenderingItem;
  QAction *AnimateObjectsItem, *WireframeAlphaHintsItem;
  QAction *HelpTopicsItem, *ToggleCuesItem;
  QAction *UndoItem, *RedoItem;  // "Undo Drag Key", "Redo Add System"
  QAction* NewToolItems[6];  // Deflector, Attractor, Repulsor, Gravitron, Fan, Leader

  // ---- The view's seam. Refresh shows the controller's state on both forms.
  void Refresh() override;
  void PreviewChanged() override;
  // The plug-in's button: the main panel, restored when minimised, unless the shuttle is the
  // one shown; then a minimised shuttle is restored. The first time, the panel is placed beside
  // its owner window (or over its right edge when the screen has no room).
  void ShowPanel() override;
  void ShowPage(TMainPage page) override;
  void ControllerGone() override;

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
  // Runs a controller action unless the controller is gone; the second refreshes after.
  void Ask(void (TMainPanelController::*action)());
  void AskAndRefresh(void (TMainPanelController::*action)());
  // Places the panel beside its owner window, the first time it is shown.
  void PlaceBesideOwner();
  bool Gated_ = false;
  bool Placed_ = false;
  TMainPanelController* Main_;  // null once the controller is gone
  QWidget* Owner_;
  int FoldRemembered_ = 0;
  // The panel as the user sees it: its dock, or itself.
  QWidget* Frame() const;
};

// Makes the main panel (and with it the shuttle) over the controller, floating above the given
// window (both are its child windows, so they go with it). A caller that frees the panel itself
// must do so before that window and before the controller.
std::unique_ptr<TMainForm> CreateMainPanel(TMainPanelController& main, QWidget* owner);

// Images of the flat buttons: 18 grows the shuttle into the panel, 19 shrinks the panel.
class QIcon;
QIcon ButtonImage(int index);
