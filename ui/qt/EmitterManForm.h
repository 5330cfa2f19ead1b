// The emitter manager's view on the main panel's "Emitters" page: the header naming what the
// panel acts on, the tree of emitters and their systems, and below a splitter the "Properties"
// fold with the three pages (blank, emitter, system properties). A thin view over the emitter
// manager's controller (ui/EmitterManager.h): every input goes to it, and Changed shows its state.
// Its actions are the File menu's emitter and system entries too.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <set>
#include <vector>

#include "ui/EmitterManager.h"
#include "ui/qt/VarChartForm.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

class TEmitterManForm : public QWidget, public TEmitterManagerView {
 public:
  // curveEditor: the curve editor the panels share (placed on the Visibility tab while an
  // emitter alone is selected); systemPage: the system properties panel (shown when a system is
  // selected). Both stay owned by whoever holds them when this form goes. Attaches itself to the
  // controller as its view; detaches when it goes.
  TEmitterManForm(TEmitterManagerController& controller, TVarChartForm* curveEditor, QWidget* systemPage,
                  QWidget* parent);
  ~TEmitterManForm() override;

  QLabel* SubjectLabel;  // "Emitter › Particles"
  QSplitter* Splitter;
  QTreeWidget* Tree;
  QMenu* TreePopup;
  QAction* Actions[EmitterActionCount];
  // The fold: its title button and what it folds.
  QToolButton* FoldButton;
  QWidget* FoldBody;
  QStackedWidget* Pages;
  QLabel* BlankPage;
  QWidget* EmitterPage;
  QWidget* SystemPage;
  QTabWidget* EmitterTabs;  // "Settings", "Visibility"
  QSpinBox* FrameOffsetEdit;
  QSpinBox* FreezeFrameEdit;
  QCheckBox *MoreParticlesBox, *BiggerParticlesBox, *FasterParticlesBox, *OlderParticlesBox, *StrongerGravityBox;
  QWidget* VisibilityTab;
  QFrame* CueCard;
  QToolButton* CueCardButton;

  QAction* Action(TEmitterAction a) const { return Actions[static_cast<int>(a)]; }

  // The curve editor leaves the Visibility tab for the system properties: they take it into
  // their layout. Unset, it waits hidden.
  std::function<void(TVarChartForm*)> AdoptCurveEditor;
  // The main panel follows the fold: before it collapses (its height then), after it collapsed
  // (its new height), before it expands.
  std::function<void(int)> FoldCollapsing;
  std::function<void(int)> FoldCollapsed;
  std::function<void()> FoldExpanding;

  // ---- TEmitterManagerView.
  void Changed() override;
  void ControllerGone() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildTree(const TEmitterManagerState& state);
  void ShowTree(const TEmitterManagerState& state);
  void ShowPages(const TEmitterManagerState& state);
  void ShowFold(const TEmitterManagerState& state);
  void PlaceCurveEditor(bool onVisibility);
  void ItemChanged(QTreeWidgetItem* item);
  void OpenTreeMenu(QPoint at);
  void AutoScaleClicked();
  // The node whose state box is at a viewport position, or null.
  QTreeWidgetItem* StateIconAt(QPoint at) const;
  template <typename F>
  void Ask(F f) {
    if (Controller_) f(*Controller_);
  }

  TEmitterManagerController* Controller_;
  QPointer<TVarChartForm> CurveEditor_;  // may go before this form
  std::vector<TEmitterRow> Rows_;  // what the tree shows
  std::set<int> Collapsed_;        // emitter nodes the user folded
  int Filling_ = 0;                // the tree is being filled: its signals are ours
  int UpdateGuard_ = 0;            // the auto-scale boxes are being filled
  bool FoldShown_ = true;
  bool CurveOnVisibility_ = false;
};
