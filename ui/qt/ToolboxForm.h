// The toolbox's view on the main panel's "Tools" page: the list of tools with their check boxes
// and the "Tool" and "Kind" columns, and below it the "Properties" fold holding the tool
// properties panel. A thin view over the controller (ui/ToolboxPanel.h). Keyboard: the arrows
// choose rows, Space toggles Active, F2 renames, Delete asks the host to delete the tool's
// object, the menu key opens the row's menu.
#pragma once

#include <QWidget>

#include "ui/ToolboxPanel.h"

class QAction;
class QFrame;
class QMenu;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TToolPropsForm;

// The icon of an index of the main panel's image list, as the tools use them.
QIcon ToolImage(int index);

class TToolboxForm : public QWidget, public TToolboxView {
 public:
  TToolboxForm(TToolboxController& toolbox, TToolPropsController& properties, QWidget* parent);
  ~TToolboxForm() override;

  QTreeWidget* ToolObjectsListView;
  QToolButton* FoldHeader;  // "Properties"
  QFrame* ToolPropsFold;
  TToolPropsForm* ToolProps;
  QMenu* RowMenu;
  QAction *RenameItem, *DeleteItem;
  QAction* NewToolItems[6];  // in the order of NewToolActions

  // ---- TToolboxView.
  void Changed() override;
  void ControllerGone() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int CurrentRow() const;
  template <typename F>
  void Ask(F f) {
    if (Controller_ && !Loading_) f(*Controller_);
  }
  TToolboxController* Controller_;
  bool Loading_ = false;
};
