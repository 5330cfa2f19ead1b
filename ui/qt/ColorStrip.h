// A gradient editor's strip: the gradient painted column by column as the controller computes it,
// the stops as square markers on one line with their positions on yellow labels at 45°, and a
// focus frame. It forwards mouse and keyboard input to the controller at pixel positions; the
// stop menu and the picker are the form's.
#pragma once

#include <QWidget>
#include <functional>

#include "ui/GradientEditor.h"

class TColorStrip : public QWidget {
 public:
  explicit TColorStrip(QWidget* parent);

  // The controller shown, or null once it is gone.
  void SetController(TGradientEditorController* controller);
  // The plotting area inside the widget (for tests, too).
  QRect PlotArea() const;

  // The stop menu, to open at a widget position.
  std::function<void(QPoint at)> OnMenu;

  static constexpr int Margin = 4;
  static constexpr int MarkerSize = 8;

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
  void UpdateFrame();
  TGradientEditorController* Controller_ = nullptr;
};
