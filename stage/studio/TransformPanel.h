// The transform panel: position, rotation (degrees about X, Y, Z) and scale of the selected node
// at the current frame, and "Set Key", which keys all three at the current frame. An edit of a
// field changes the node at once (the key at the current frame when the channel is animated,
// else its rest value) and tells the plug-in's transform callback of every custom object it
// moved.
#pragma once

#include <QWidget>
#include <array>

#include "stage/Node.h"

class QDoubleSpinBox;
class QPushButton;
class QLabel;

namespace stage::studio {

class TTransformPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TTransformPanel(QWidget* parent = nullptr);

  // Shows the selected node's values at the scene's time (or empty, disabled fields).
  void ShowSelection();
  // Keys position, rotation and scale of the selection at the scene's time.
  void SetKey();
  QDoubleSpinBox* Field(int channel, int axis) const { return Fields_[static_cast<size_t>(channel * 3 + axis)]; }
  QPushButton* SetKeyButton() const { return SetKey_; }

 signals:
  // The selection's transform or keys changed.
  void Edited();

 private:
  void Apply(int channel);
  std::array<QDoubleSpinBox*, 9> Fields_{};
  QPushButton* SetKey_;
  QLabel* Title_;
  bool Quiet_ = false;
};

// Tells the plug-in that every custom object in node's subtree moved.
void NotifyMoved(TNode& node);

}  // namespace stage::studio
