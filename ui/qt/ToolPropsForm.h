// The tool properties panel's view: the tree of the shown tool's entries on the left, a
// splitter, and the pages without tabs on the right (no tool, the six kinds' pages, "Lifespan",
// and the curve page with its cue card over the panel's own curve editor). A thin view over the
// controller (ui/ToolboxPanel.h): loading a field never sends it back.
#pragma once

#include <QWidget>

#include "ui/ToolboxPanel.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QLabel;
class QSplitter;
class QStackedWidget;
class QTreeWidget;
class TVarChartForm;

class TToolPropsForm : public QWidget, public TToolPropsView {
 public:
  TToolPropsForm(TToolPropsController& controller, QWidget* parent);
  ~TToolPropsForm() override;

  QTreeWidget* ToolPropsTree;
  QSplitter* Splitter;
  QStackedWidget* Pages;  // in the order of TToolPage
  QLabel* NoToolLabel;
  // Scale fields of the deflector, fan and gravitron pages; lists of the fan, attractor,
  // repulsor and leader pages.
  QDoubleSpinBox *DeflectorScale, *FanScale, *GravitronScale;
  QCheckBox* AbsorbsBox;
  QComboBox *FanFalloff, *AttractorFalloff, *RepulsorFalloff, *LeaderFalloff;
  QCheckBox* InfiniteBox;
  QDoubleSpinBox *LifespanField, *LivesField;
  QFrame* CueCard;
  TVarChartForm* CurveEditor;

  // ---- TToolPropsView.
  void Changed() override;
  void ControllerGone() override;

 private:
  template <typename F>
  void Ask(F f) {
    if (Controller_ && !Loading_) f(*Controller_);
  }
  TToolPropsController* Controller_;
  bool Loading_ = false;
};
