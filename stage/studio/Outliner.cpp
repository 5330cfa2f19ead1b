// The outliner.
#include "stage/studio/Outliner.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <functional>

#include "stage/Stage.h"

namespace stage::studio {

namespace {

QString KindText(const TNode& n) {
  switch (n.Kind()) {
    case TNodeKind::Group: return QStringLiteral("Group");
    case TNodeKind::Polyhedron: return QStringLiteral("Mesh");
    case TNodeKind::Custom: return QString::fromStdString(n.TypeName.empty() ? "Custom" : n.TypeName);
  }
  return {};
}

}  // namespace

TOutliner::TOutliner(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("outliner");
  setColumnCount(2);
  setHeaderLabels({tr("Name"), tr("Type")});
  header()->setSectionResizeMode(0, QHeaderView::Stretch);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragDropMode(QAbstractItemView::InternalMove);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);

  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (Quiet_) return;
    const auto items = selectedItems();
    Stage().Scene.Select(items.empty() ? nullptr : NodeOf(items.front()));
    emit SelectionChanged();
  });
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (Quiet_ || column != 0) return;
    TNode* node = NodeOf(item);
    if (!node) return;
    const std::string name = item->text(0).trimmed().toStdString();
    if (name.empty() || name == node->Name) {
      // An empty name is refused: the old one comes back.
      Quiet_ = true;
      item->setText(0, QString::fromStdString(node->Name));
      Quiet_ = false;
      return;
    }
    node->Name = name;
    emit SceneEdited();
  });
}

TNode* TOutliner::NodeOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  auto* node = reinterpret_cast<TNode*>(item->data(0, Qt::UserRole).value<quintptr>());
  return Stage().Scene.FromHandle(node);  // a stale item finds nothing
}

void TOutliner::Rebuild() {
  Quiet_ = true;
  clear();
  std::function<void(const TNode&, QTreeWidgetItem*)> add = [&](const TNode& n, QTreeWidgetItem* parentItem) {
    auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(n.Name));
    item->setText(1, KindText(n));
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(&n)));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    if (n.Kind() == TNodeKind::Group) flags |= Qt::ItemIsDropEnabled;
    item->setFlags(flags);
    for (const auto& c : n.Children()) add(*c, item);
  };
  for (const auto& r : Stage().Scene.Roots()) add(*r, nullptr);
  invisibleRootItem()->setFlags(invisibleRootItem()->flags() | Qt::ItemIsDropEnabled);
  expandAll();
  Quiet_ = false;
  ShowSelection();
}

QTreeWidgetItem* TOutliner::ItemOf(const TNode* node) const {
  if (!node) return nullptr;
  for (QTreeWidgetItemIterator it(const_cast<TOutliner*>(this)); *it; ++it)
    if ((*it)->data(0, Qt::UserRole).value<quintptr>() == reinterpret_cast<quintptr>(node)) return *it;
  return nullptr;
}

void TOutliner::ShowSelection() {
  Quiet_ = true;
  QTreeWidgetItem* item = ItemOf(Stage().Scene.Selected());
  if (!item && Stage().Scene.Selected()) {
    Quiet_ = false;
    Rebuild();  // the plug-in made or selected a node the tree does not hold yet
    return;
  }
  clearSelection();
  if (item) {
    item->setSelected(true);
    scrollToItem(item);
  }
  Quiet_ = false;
}

bool TOutliner::MoveInto(TNode& node, TNode* parent) {
  if (parent && parent->Kind() != TNodeKind::Group) return false;
  if (!Stage().Scene.Reparent(node, parent)) return false;
  // Its world transform changed with its parent: the plug-in hears of every custom object moved.
  std::function<void(TNode&)> tell = [&](TNode& n) {
    Stage().NotifyTransform(n, 0);
    for (const auto& c : n.Children()) tell(*c);
  };
  tell(node);
  Rebuild();
  emit SceneEdited();
  return true;
}

void TOutliner::DeleteSelected() {
  const auto items = selectedItems();
  TNode* node = items.empty() ? nullptr : NodeOf(items.front());
  if (!node) return;
  if (Stage().Scene.Selected() == node) Stage().Scene.Select(nullptr);
  Stage().Scene.Delete(*node);
  Rebuild();
  emit SceneEdited();
  emit SelectionChanged();
}

void TOutliner::dropEvent(QDropEvent* event) {
  // The scene decides; the tree is rebuilt from it rather than moved by the widget.
  const auto items = selectedItems();
  TNode* node = items.empty() ? nullptr : NodeOf(items.front());
  QTreeWidgetItem* target = itemAt(event->position().toPoint());
  TNode* parent = NodeOf(target);
  // Dropped beside an item rather than on it: into that item's parent.
  if (target && dropIndicatorPosition() != QAbstractItemView::OnItem) parent = NodeOf(target->parent());
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  if (node && node != parent) MoveInto(*node, parent);
}

void TOutliner::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState) {
    DeleteSelected();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

}  // namespace stage::studio
