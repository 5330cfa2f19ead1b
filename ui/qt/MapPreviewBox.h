// The image maps editor's 128 × 128 preview: shows the pixels the controller computes, and hands
// clicks on to the form (a left click with its modifiers, a right click or the menu key for the
// options menu).
#pragma once

#include <QWidget>
#include <functional>

#include "ui/ImageMaps.h"

class TMapPreviewBox : public QWidget {
 public:
  explicit TMapPreviewBox(QWidget* parent);
  void SetController(TImageMapsController* controller);

  std::function<void(QPoint at, Qt::KeyboardModifiers modifiers)> OnLeftClick;
  std::function<void(QPoint at)> OnMenu;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  TImageMapsController* Controller_ = nullptr;
};
