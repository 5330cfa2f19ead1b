// The curve editor's graph: axes with their ticks and title, the curve as the controller computes
// it, the keys as red squares (with their labels when "Show Marks" is on), the current-frame line
// and a zoom rectangle. It forwards mouse and keyboard input to the controller at pixel positions;
// the menus and the dialog are the form's.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/CurveEditor.h"

class TCurveChart : public QWidget {
 public:
  explicit TCurveChart(QWidget* parent);

  // The controller shown, or null once it is gone.
  void SetController(TCurveEditorController* controller);
  // The plot rectangle inside the widget, as the controller maps it (for tests, too).
  TPlotMapping PlotMapping() const;

  // A menu to open at a widget position; Enter on a key.
  std::function<void(TCurveMenu menu, QPoint at)> OnMenu;
  std::function<void()> OnEditValues;

  // Margins of the plot inside the widget, in pixels.
  static constexpr int MarginLeft = 46, MarginRight = 10, MarginTop = 10, MarginBottom = 36;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void UpdatePlotFrame();
  TCurveEditorController* Controller_ = nullptr;
};
