// The curve editor's view: the top bar ("Clear" and the zoom buttons), the graph, the key menu
// and the graph menu, and the "Edit Keyframe" dialog. A thin view over the curve editor's
// controller (ui/CurveEditor.h): it draws the controller's state and forwards every input.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/CurveEditor.h"

class QAction;
class QMenu;
class QPushButton;
class QToolButton;
class TCurveChart;
class TEditKeyframeForm;

class TVarChartForm : public QWidget, public TCurveEditorView {
 public:
  // Attaches itself to the controller as its view; detaches when it goes.
  TVarChartForm(TCurveEditorController& controller, QWidget* parent);
  ~TVarChartForm() override;

  QPushButton* ClearButton;
  QToolButton *UnzoomButton, *ZoomOutYButton, *ZoomInYButton, *ZoomOutXButton, *ZoomInXButton;
  TCurveChart* Chart;
  QMenu* KeyframePopup;
  QMenu* ChartPopup;
  QAction *EditValuesItem, *DeleteKeyframeItem, *ShowMarksAction, *LinearAction, *UnzoomItem, *ChartUnzoomItem;

  // "Edit Values": shows the dialog for the controller's key near the mouse; on "Ok" the
  // controller takes its numbers. With OnDialog set, the dialog is handed to it instead of being
  // run: it plays the user (types into the fields, accepts or rejects).
  void EditValues();
  std::function<void(TEditKeyframeForm&)> OnDialog;

  // ---- TCurveEditorView.
  void Changed() override;
  void ControllerGone() override;

 private:
  void OpenMenu(TCurveMenu menu, QPoint at);
  template <typename F>
  void Ask(F f) {
    if (Controller_) f(*Controller_);
  }
  TCurveEditorController* Controller_;
};
