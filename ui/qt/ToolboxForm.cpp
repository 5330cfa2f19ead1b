// The toolbox's view.
#include "ui/qt/ToolboxForm.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt/ToolPropsForm.h"

QIcon ToolImage(int index) {
  // Small glyphs in the spirit of the tools' wireframes: a plane for the deflector, blades for
  // the fan, arrows in or out for the attractor and repulsor, a path for the leader, rings for
  // the gravitron.
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 1.4));
  switch (index) {
    case 11:
      p.drawPolygon(QPolygonF({QPointF(1, 11), QPointF(9, 14), QPointF(15, 5), QPointF(7, 2)}));
      p.drawLine(QPointF(4, 1), QPointF(8, 8));
      break;
    case 12:
      for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(90 * i);
        p.drawEllipse(QRectF(-2, -7, 4, 7));
        p.restore();
      }
      break;
    case 14:
    case 15: {
      p.drawEllipse(QRectF(6, 6, 4, 4));
      for (int i = 0; i < 4; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(90 * i + 45);
        const double tip = index == 14 ? -4 : -7.5, back = index == 14 ? -7.5 : -4;
        p.drawLine(QPointF(0, back), QPointF(0, tip));
        p.drawLine(QPointF(-1.5, tip + (index == 14 ? -1.5 : 1.5)), QPointF(0, tip));
        p.drawLine(QPointF(1.5, tip + (index == 14 ? -1.5 : 1.5)), QPointF(0, tip));
        p.restore();
      }
      break;
    }
    case 13: {
      QPainterPath path(QPointF(1, 14));
      path.cubicTo(QPointF(5, 2), QPointF(11, 14), QPointF(15, 2));
      p.drawPath(path);
      p.setBrush(QColor(0, 0, 128));
      p.drawEllipse(QRectF(12.5, 0.5, 4, 4));
      break;
    }
    case 22:
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
      p.setBrush(QColor(0, 0, 128));
      p.drawEllipse(QRectF(7, 7, 2, 2));
      break;
    default:
      break;
  }
  return QIcon(pixmap);
}

TToolboxForm::TToolboxForm(TToolboxController& toolbox, TToolPropsController& properties, QWidget* parent)
    : QWidget(parent), Controller_(&toolbox) {
  setObjectName("ToolboxForm");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  ToolObjectsListView = new QTreeWidget(this);
  ToolObjectsListView->setObjectName("ToolObjectsListView");
  ToolObjectsListView->setColumnCount(2);
  ToolObjectsListView->setHeaderLabels({"Tool", "Kind"});
  ToolObjectsListView->setRootIsDecorated(false);
  ToolObjectsListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ToolObjectsListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ToolObjectsListView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  ToolObjectsListView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  ToolObjectsListView->header()->setStretchLastSection(false);
  ToolObjectsListView->setIconSize(QSize(16, 16));
  ToolObjectsListView->setContextMenuPolicy(Qt::CustomContextMenu);
  ToolObjectsListView->installEventFilter(this);
  column->addWidget(ToolObjectsListView, 1);

  FoldHeader = new QToolButton(this);
  FoldHeader->setObjectName("ToolPropsFoldHeader");
  FoldHeader->setText("Properties");
  FoldHeader->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  FoldHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  column->addWidget(FoldHeader);
  ToolPropsFold = new QFrame(this);
  ToolPropsFold->setObjectName("ToolPropsFold");
  auto* foldColumn = new QVBoxLayout(ToolPropsFold);
  foldColumn->setContentsMargins(0, 0, 0, 0);
  ToolProps = new TToolPropsForm(properties, ToolPropsFold);
  foldColumn->addWidget(ToolProps);
  column->addWidget(ToolPropsFold);

  RowMenu = new QMenu(this);
  RenameItem = RowMenu->addAction("Rename", this, [this] {
    if (QTreeWidgetItem* item = ToolObjectsListView->currentItem()) ToolObjectsListView->editItem(item, 0);
  });
  DeleteItem = RowMenu->addAction("Delete", this, [this] {
    const int row = CurrentRow();
    Ask([&](TToolboxController& c) { c.DeleteRow(row); });
  });
  RowMenu->addSeparator();
  for (size_t i = 0; i < std::size(NewToolActions); ++i) {
    const TNewToolAction a = NewToolActions[i];
    NewToolItems[i] = RowMenu->addAction(ToolImage(a.Icon), a.Caption, this,
                                         [this, a] { Ask([&](TToolboxController& c) { c.NewTool(a.Kind); }); });
  }

  connect(ToolObjectsListView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
    if (item) Ask([&](TToolboxController& c) { c.RowChosen(ToolObjectsListView->indexOfTopLevelItem(item)); });
  });
  // A click on the row that is current already (a new tool's, or after the host selected a mesh)
  // still selects its object, as a click on any other row does.
  connect(ToolObjectsListView, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    if (item == ToolObjectsListView->currentItem())
      Ask([&](TToolboxController& c) { c.RowChosen(ToolObjectsListView->indexOfTopLevelItem(item)); });
  });
  connect(ToolObjectsListView, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    const int row = ToolObjectsListView->indexOfTopLevelItem(item);
    if (column == 0)
      Ask([&](TToolboxController& c) {
        const std::string name = item->text(0).toStdString();
        const bool checked = item->checkState(0) == Qt::Checked;
        const TToolboxState s = c.ToolboxState();
        if (row < 0 || row >= static_cast<int>(s.Rows.size())) return;
        // One signal for both: a check box or a caption changed.
        if (checked != s.Rows[static_cast<size_t>(row)].Active) c.RowChecked(row, checked);
        if (name != s.Rows[static_cast<size_t>(row)].Name) c.RowRenamed(row, name);
      });
  });
  connect(ToolObjectsListView, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QTreeWidgetItem* item = ToolObjectsListView->itemAt(at)) ToolObjectsListView->setCurrentItem(item);
    RenameItem->setEnabled(CurrentRow() >= 0);
    DeleteItem->setEnabled(CurrentRow() >= 0);
    RowMenu->popup(ToolObjectsListView->viewport()->mapToGlobal(at));
  });
  connect(FoldHeader, &QToolButton::clicked, this, [this] { Ask([](TToolboxController& c) { c.FoldHeaderClicked(); }); });

  toolbox.AttachView(this);
  Changed();
}

TToolboxForm::~TToolboxForm() {
  if (Controller_) Controller_->AttachView(nullptr);
}

// The properties panel and its curve editor hear from their own controllers.
void TToolboxForm::ControllerGone() { Controller_ = nullptr; }

int TToolboxForm::CurrentRow() const {
  QTreeWidgetItem* item = ToolObjectsListView->currentItem();
  return item ? ToolObjectsListView->indexOfTopLevelItem(item) : -1;
}

bool TToolboxForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ToolObjectsListView && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    // (While a caption is edited in place its editor has the keys, so Delete edits the text.)
    const int row = CurrentRow();
    Ask([&](TToolboxController& c) { c.DeleteRow(row); });
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TToolboxForm::Changed() {
  if (!Controller_) return;
  const TToolboxState s = Controller_->ToolboxState();
  Loading_ = true;
  // Rows are rebuilt only when they differ, so an edit in place or the keyboard's place is kept.
  bool same = ToolObjectsListView->topLevelItemCount() == static_cast<int>(s.Rows.size());
  for (int i = 0; same && i < ToolObjectsListView->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = ToolObjectsListView->topLevelItem(i);
    const TToolRow& r = s.Rows[static_cast<size_t>(i)];
    same = item->text(0).toStdString() == r.Name && item->text(1).toStdString() == r.KindName &&
           (item->checkState(0) == Qt::Checked) == r.Active && item->data(0, Qt::UserRole).toInt() == r.Icon;
  }
  if (!same) {
    ToolObjectsListView->clear();
    for (const TToolRow& r : s.Rows) {
      auto* item = new QTreeWidgetItem({QString::fromStdString(r.Name), QString::fromStdString(r.KindName)});
      item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
      item->setCheckState(0, r.Active ? Qt::Checked : Qt::Unchecked);
      item->setIcon(0, ToolImage(r.Icon));
      item->setData(0, Qt::UserRole, r.Icon);
      ToolObjectsListView->addTopLevelItem(item);
    }
  }
  if (s.CurrentRow >= 0 && s.CurrentRow < ToolObjectsListView->topLevelItemCount()) {
    QTreeWidgetItem* item = ToolObjectsListView->topLevelItem(s.CurrentRow);
    if (ToolObjectsListView->currentItem() != item) ToolObjectsListView->setCurrentItem(item);
    item->setSelected(true);
  } else {
    ToolObjectsListView->setCurrentItem(nullptr);
  }
  FoldHeader->setArrowType(s.FoldExpanded ? Qt::DownArrow : Qt::RightArrow);
  ToolPropsFold->setVisible(s.FoldExpanded);
  ToolPropsFold->setFixedHeight(s.FoldHeight);
  Loading_ = false;
}
