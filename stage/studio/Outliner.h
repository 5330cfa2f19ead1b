// The outliner: the stage's scene tree as a tree view. Clicking selects the node in the scene;
// double-clicking or F2 renames it; dragging a node onto a group makes it that group's child
// (onto empty space: the top level); Delete deletes it with its subtree (the plug-in's delete
// callbacks run for its custom objects).
#pragma once

#include <QTreeWidget>

#include "stage/Node.h"

namespace stage::studio {

class TOutliner : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TOutliner(QWidget* parent = nullptr);

  // Rebuilds the tree from the scene and shows the scene's selection.
  void Rebuild();
  // Shows the scene's selection without rebuilding.
  void ShowSelection();
  // The item of a node, or null.
  QTreeWidgetItem* ItemOf(const TNode* node) const;
  static TNode* NodeOf(const QTreeWidgetItem* item);

  // Moves node under parent (a group, or null for the top level) as a drop does; false when
  // the scene refuses (a parent inside the node, a parent that is not a group).
  bool MoveInto(TNode& node, TNode* parent);
  void DeleteSelected();

 signals:
  // The user selected, renamed, moved or deleted something.
  void SelectionChanged();
  void SceneEdited();

 protected:
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Quiet_ = false;
};

}  // namespace stage::studio
