// A gradient editor's view: the top bar ("Add", "Clear", the colour mode box, "Open..." and
// "Save..."), the strip, the hint line and the stop menu. A thin view over the gradient editor's
// controller (ui/GradientEditor.h): it draws the controller's state and forwards every input.
#pragma once

#include <QWidget>

#include "ui/GradientEditor.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class TColorStrip;

class TColorChartForm : public QWidget, public TGradientEditorView {
 public:
  // Attaches itself to the controller as its view; detaches when it goes.
  TColorChartForm(TGradientEditorController& controller, QWidget* parent);
  ~TColorChartForm() override;

  QPushButton *AddButton, *ClearButton;
  QComboBox* ModeBox;
  QToolButton *OpenButton, *SaveButton;
  TColorStrip* Strip;
  QLabel* Hint;
  QMenu* StopPopup;
  QAction *AddColorItem, *DeleteColorItem, *ColorPickerItem, *OpenGradientItem, *SaveGradientItem;

  // ---- TGradientEditorView.
  void Changed() override;
  void ControllerGone() override;

 private:
  template <typename F>
  void Ask(F f) {
    if (Controller_) f(*Controller_);
  }
  TGradientEditorController* Controller_;
};
