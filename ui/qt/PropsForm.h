// The system properties panel's view: the tree of a system's properties on the left and, on the
// right, the page the chosen entry shows (the system's settings, the particle page, the render
// page with the frame the image maps editor docks in, or the curve page with its two tabs over
// the shared curve editor). A thin view over the panel's controller (ui/SystemProperties.h): it
// shows the controller's state and forwards every input.
#pragma once

#include <QWidget>
#include <vector>

#include "ui/SystemProperties.h"

class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QLabel;
class QSpinBox;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TVarChartForm;

class TPropsForm : public QWidget, public TSystemPropsView {
 public:
  // Attaches itself to the controller as its view; detaches when it goes. The tree is fully
  // expanded, on the controller's entry.
  TPropsForm(TSystemPropsController& controller, QWidget* parent);
  ~TPropsForm() override;

  // Takes the shared curve editor into the curve page, under the tabs, and has the controller
  // show this panel's curve in it again.
  void AdoptCurveEditor(TVarChartForm* editor);
  // The frame the image maps editor docks in (a QVBoxLayout without margins), filling the
  // render page above "Render Mode".
  QFrame* MapsFrame() const { return MapsFrame_; }

  // ---- Controls, named as the panel's designer named them.
  QTreeWidget* PropsTree;
  std::vector<QTreeWidgetItem*> Entries;  // by tree position
  QStackedWidget* Pages;                  // in the order of TPropsPage
  QWidget *RenderPage, *SystemPage, *ParticlePage, *CurvePage;
  QSpinBox* LifespanSpin;
  QSpinBox* LivesSpin;
  QComboBox* ShapeBox;
  QDoubleSpinBox* RadiusSpin;
  QComboBox* FocusShapeBox;
  QComboBox* RenderModeBox;
  QFrame *SystemCueCard, *CurveCueCard;
  QToolButton *SystemCueButton, *CurveCueButton;
  QTabBar* CurveTabs;    // "Property" and "Property Jitter", named after the entry
  QFrame* CurveHolder;   // where the curve editor docks

  // ---- TSystemPropsView.
  void Changed() override;
  void ControllerGone() override;

 private:
  template <typename F>
  void Ask(F f) {
    if (Controller_) f(*Controller_);
  }
  TSystemPropsController* Controller_;
  QFrame* MapsFrame_;
};
