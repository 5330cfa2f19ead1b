// The emitter manager's view: builds the tree, the fold with its pages and the actions, shows the
// controller's state and forwards every input.
#include "ui/qt/EmitterManForm.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/qt/VarChartForm.h"

namespace {

constexpr int EmitterRole = Qt::UserRole, SystemRole = Qt::UserRole + 1;

// The tree's icons: an emitter (a nozzle with a spray) and a particle system (a cloud of dots).
QIcon NodeIcon(bool emitter) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (emitter) {
    p.setPen(QPen(QColor(0, 0, 128), 1.2));
    p.setBrush(QColor(90, 110, 200));
    p.drawRect(QRectF(2.5, 9.5, 6, 5));
    p.setBrush(QColor(230, 120, 20));
    for (const QPointF& at : {QPointF(10, 5), QPointF(13, 8), QPointF(12, 2.5), QPointF(8, 3)})
      p.drawEllipse(at, 1.5, 1.5);
  } else {
    p.setPen(Qt::NoPen);
    const QColor dots[] = {QColor(230, 120, 20), QColor(200, 40, 40), QColor(240, 180, 30)};
    const QPointF at[] = {{4, 5}, {8, 3}, {12, 6}, {6, 10}, {10, 11}, {13, 13}, {3, 13}};
    for (int i = 0; i < 7; ++i) {
      p.setBrush(dots[i % 3]);
      p.drawEllipse(at[i], 1.8, 1.8);
    }
  }
  return QIcon(pixmap);
}

QLabel* Note(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TEmitterManForm::TEmitterManForm(TEmitterManagerController& controller, TVarChartForm* curveEditor,
                                 QWidget* systemPage, QWidget* parent)
    : QWidget(parent), Controller_(&controller), CurveEditor_(curveEditor) {
  setObjectName("EmitterManForm");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(2, 2, 2, 2);
  column->setSpacing(2);
  SubjectLabel = new QLabel(this);
  SubjectLabel->setObjectName("SubjectLabel");
  QFont bold = SubjectLabel->font();
  bold.setBold(true);
  SubjectLabel->setFont(bold);
  column->addWidget(SubjectLabel);

  // ---- Actions: the tree's context menu and the main panel's File menu.
  for (int a = 0; a < EmitterActionCount; ++a) {
    const TEmitterActionText& text = EmitterActionText(static_cast<TEmitterAction>(a));
    Actions[a] = new QAction(text.Caption, this);
    Actions[a]->setToolTip(text.Hint[0] ? text.Hint : text.Caption);
    Actions[a]->setStatusTip(text.Hint);
    const auto action = static_cast<TEmitterAction>(a);
    connect(Actions[a], &QAction::triggered, this, [this, action] { Ask([action](auto& c) { c.RunAction(action); }); });
  }
  TreePopup = new QMenu(this);
  TreePopup->setObjectName("TreePopup");
  TreePopup->setToolTipsVisible(true);
  for (int a = 0; a < EmitterActionCount; ++a) {
    if (EmitterActionText(static_cast<TEmitterAction>(a)).SeparatorBefore) TreePopup->addSeparator();
    TreePopup->addAction(Actions[a]);
  }

  // ---- The tree over the fold.
  Splitter = new QSplitter(Qt::Vertical, this);
  Splitter->setObjectName("EmitterSplitter");
  Splitter->setChildrenCollapsible(false);
  Tree = new QTreeWidget(Splitter);
  Tree->setObjectName("EmitterTree");
  Tree->setHeaderHidden(true);
  Tree->setColumnCount(1);
  Tree->setContextMenuPolicy(Qt::CustomContextMenu);
  Tree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  Tree->setMinimumHeight(60);
  Tree->installEventFilter(this);
  Tree->viewport()->installEventFilter(this);

  auto* fold = new QWidget(Splitter);
  fold->setObjectName("PropertiesFold");
  auto* foldColumn = new QVBoxLayout(fold);
  foldColumn->setContentsMargins(0, 0, 0, 0);
  foldColumn->setSpacing(0);
  FoldButton = new QToolButton(fold);
  FoldButton->setObjectName("PropertiesFoldButton");
  FoldButton->setText("Properties");
  FoldButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  FoldButton->setCheckable(true);
  FoldButton->setChecked(true);
  FoldButton->setArrowType(Qt::DownArrow);
  FoldButton->setAutoRaise(true);
  FoldButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  FoldButton->setStyleSheet("QToolButton { font-weight: bold; text-align: left; }");
  foldColumn->addWidget(FoldButton);
  FoldBody = new QWidget(fold);
  auto* bodyColumn = new QVBoxLayout(FoldBody);
  bodyColumn->setContentsMargins(0, 0, 0, 0);
  Pages = new QStackedWidget(FoldBody);
  Pages->setObjectName("EmitterPages");
  bodyColumn->addWidget(Pages);
  foldColumn->addWidget(FoldBody, 1);

  // ---- The blank page.
  BlankPage = new QLabel(BlankPageText, Pages);
  BlankPage->setObjectName("BlankPage");
  BlankPage->setWordWrap(true);
  BlankPage->setAlignment(Qt::AlignCenter);
  BlankPage->setMargin(20);

  // ---- The emitter page.
  EmitterPage = new QWidget(Pages);
  EmitterPage->setObjectName("EmitterPage");
  auto* page = new QVBoxLayout(EmitterPage);
  page->setContentsMargins(4, 4, 4, 4);
  auto* header = new QLabel("Emitter Properties", EmitterPage);
  header->setFont(bold);
  page->addWidget(header);
  page->addWidget(Note("Properties that apply to the emitter and all it's systems.", EmitterPage));
  EmitterTabs = new QTabWidget(EmitterPage);
  EmitterTabs->setObjectName("EmitterTabs");
  page->addWidget(EmitterTabs, 1);

  auto* settings = new QWidget(EmitterTabs);
  auto* settingsColumn = new QVBoxLayout(settings);
  auto* form = new QFormLayout();
  FrameOffsetEdit = new QSpinBox(settings);
  FrameOffsetEdit->setObjectName("FrameOffsetEdit");
  FrameOffsetEdit->setRange(-8192, 8192);
  FrameOffsetEdit->setKeyboardTracking(false);
  FrameOffsetEdit->setMinimumWidth(70);
  FrameOffsetEdit->setToolTip("Number of frames to delay the particle system relative to the scene's timeline.");
  FreezeFrameEdit = new QSpinBox(settings);
  FreezeFrameEdit->setObjectName("FreezeFrameEdit");
  FreezeFrameEdit->setRange(0, 8192);
  FreezeFrameEdit->setKeyboardTracking(false);
  FreezeFrameEdit->setMinimumWidth(70);
  FreezeFrameEdit->setToolTip("Frame at which the particle systems' animation freezes");
  auto* freezeRow = new QHBoxLayout();
  freezeRow->addWidget(FreezeFrameEdit);
  freezeRow->addWidget(new QLabel("(0 = never freeze)", settings));
  freezeRow->addStretch(1);
  auto* offsetRow = new QHBoxLayout();
  offsetRow->addWidget(FrameOffsetEdit);
  offsetRow->addStretch(1);
  form->addRow("Frame Offset", offsetRow);
  form->addRow("Freeze Frame", freezeRow);
  settingsColumn->addLayout(form);
  auto* autoScale = new QGroupBox("Auto Scale", settings);
  auto* boxes = new QVBoxLayout(autoScale);
  boxes->addWidget(new QLabel("Wider emitters have", autoScale));
  MoreParticlesBox = new QCheckBox("More particles", autoScale);
  BiggerParticlesBox = new QCheckBox("Bigger particles", autoScale);
  boxes->addWidget(MoreParticlesBox);
  boxes->addWidget(BiggerParticlesBox);
  boxes->addWidget(new QLabel("Taller emitters have", autoScale));
  FasterParticlesBox = new QCheckBox("Faster particles", autoScale);
  OlderParticlesBox = new QCheckBox("Older particles", autoScale);
  StrongerGravityBox = new QCheckBox("Stronger gravity", autoScale);
  for (QCheckBox* b : {FasterParticlesBox, OlderParticlesBox, StrongerGravityBox}) boxes->addWidget(b);
  settingsColumn->addWidget(autoScale);
  settingsColumn->addStretch(1);
  EmitterTabs->addTab(settings, "Settings");

  VisibilityTab = new QWidget(EmitterTabs);
  VisibilityTab->setObjectName("VisibilityTab");
  auto* visibility = new QVBoxLayout(VisibilityTab);
  visibility->setContentsMargins(2, 2, 2, 2);
  CueCard = new QFrame(VisibilityTab);
  CueCard->setObjectName("EmitterCueCard");
  CueCard->setFrameStyle(QFrame::Box | QFrame::Plain);
  CueCard->setStyleSheet("#EmitterCueCard { background: #ffffe1; }");
  auto* cueRow = new QHBoxLayout(CueCard);
  cueRow->setContentsMargins(6, 4, 4, 4);
  cueRow->addWidget(new QLabel("\u00b7 Double-click to add a keyframe. \n\u00b7 Right-click keyframe for delete menu. \n"
                               "\u00b7 Right-click the graph for options.\n\u00b7 Right-drag to scroll the graph.\n"
                               "\u00b7 Alt-click to zoom in.\n\u00b7 Ctrl-drag a zoom rectangle.",
                               CueCard),
                    1);
  CueCardButton = new QToolButton(CueCard);
  CueCardButton->setObjectName("EmitterCueCardButton");
  CueCardButton->setText("\u00d7");
  CueCardButton->setToolTip("Hide Cue Cards");
  CueCardButton->setAutoRaise(true);
  cueRow->addWidget(CueCardButton, 0, Qt::AlignTop);
  visibility->addStretch(0);
  visibility->addWidget(CueCard);
  EmitterTabs->addTab(VisibilityTab, "Visibility");
  EmitterTabs->setCurrentIndex(0);

  // ---- The system properties.
  SystemPage = systemPage ? systemPage : new QWidget(Pages);
  SystemPage->setParent(Pages);
  Pages->addWidget(BlankPage);
  Pages->addWidget(EmitterPage);
  Pages->addWidget(SystemPage);

  Splitter->addWidget(Tree);
  Splitter->addWidget(fold);
  Splitter->setStretchFactor(0, 0);
  Splitter->setStretchFactor(1, 1);
  column->addWidget(Splitter, 1);

  // Tab order down the page: tree, fold, the page's tabs, the fields, the boxes.
  setTabOrder(Tree, FoldButton);
  setTabOrder(FoldButton, EmitterTabs);
  setTabOrder(EmitterTabs, FrameOffsetEdit);
  setTabOrder(FrameOffsetEdit, FreezeFrameEdit);
  setTabOrder(FreezeFrameEdit, MoreParticlesBox);
  setTabOrder(MoreParticlesBox, BiggerParticlesBox);
  setTabOrder(BiggerParticlesBox, FasterParticlesBox);
  setTabOrder(FasterParticlesBox, OlderParticlesBox);
  setTabOrder(OlderParticlesBox, StrongerGravityBox);

  // ---- Input goes to the controller.
  connect(Tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (Filling_ || !item) return;
    const int e = item->data(0, EmitterRole).toInt(), s = item->data(0, SystemRole).toInt();
    Ask([e, s](auto& c) { c.SelectNode(e, s); });
  });
  connect(Tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { ItemChanged(item); });
  connect(Tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (!Filling_) Collapsed_.insert(item->data(0, EmitterRole).toInt());
  });
  connect(Tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (!Filling_) Collapsed_.erase(item->data(0, EmitterRole).toInt());
  });
  connect(Tree, &QWidget::customContextMenuRequested, this, [this](QPoint at) { OpenTreeMenu(at); });
  connect(FrameOffsetEdit, &QSpinBox::valueChanged, this, [this](int v) {
    if (!UpdateGuard_) Ask([v](auto& c) { c.SetFrameOffset(v); });
  });
  connect(FreezeFrameEdit, &QSpinBox::valueChanged, this, [this](int v) {
    if (!UpdateGuard_) Ask([v](auto& c) { c.SetFreezeFrame(v); });
  });
  for (QCheckBox* b : {MoreParticlesBox, BiggerParticlesBox, FasterParticlesBox, OlderParticlesBox, StrongerGravityBox})
    connect(b, &QCheckBox::toggled, this, [this] { AutoScaleClicked(); });
  connect(FoldButton, &QToolButton::clicked, this, [this](bool open) { Ask([open](auto& c) { c.SetFoldExpanded(open); }); });
  connect(Splitter, &QSplitter::splitterMoved, this, [this] {
    if (!Controller_) return;
    const int proposed = Splitter->sizes().value(1);
    const int kept = Controller_->MoveSplitter(proposed);
    if (kept != proposed) {
      const int total = Splitter->sizes().value(0) + proposed;
      const QSignalBlocker block(Splitter);
      Splitter->setSizes({total - kept, kept});
    }
  });
  connect(CueCardButton, &QToolButton::clicked, this, [this] { Ask([](auto& c) { c.ToggleCuesAction(); }); });

  controller.AttachView(this);
  Changed();
}

TEmitterManForm::~TEmitterManForm() {
  if (Controller_) Controller_->AttachView(nullptr);
  // The shared curve editor is not ours: it leaves before our widgets go.
  if (CurveEditor_ && CurveEditor_->parentWidget() == VisibilityTab) {
    CurveEditor_->hide();
    CurveEditor_->setParent(nullptr);
  }
}

void TEmitterManForm::ControllerGone() {
  Controller_ = nullptr;
  for (QAction* a : Actions) a->setEnabled(false);
}

void TEmitterManForm::Changed() {
  if (!Controller_) return;
  const TEmitterManagerState state = Controller_->ManagerState();
  SubjectLabel->setText(QString::fromStdString(state.Subject.empty() ? "No emitter selected" : state.Subject));
  ShowTree(state);
  ShowPages(state);
  ShowFold(state);
  for (int a = 0; a < EmitterActionCount; ++a) Actions[a]->setEnabled(state.ActionEnabled[a]);
  CueCard->setVisible(state.CueCardsVisible);
}

void TEmitterManForm::BuildTree(const TEmitterManagerState& state) {
  // Nodes known before keep their folding; new emitters' nodes open.
  const QIcon emitterIcon = NodeIcon(true), systemIcon = NodeIcon(false);
  Tree->clear();
  for (size_t i = 0; i < state.Rows.size(); ++i) {
    auto* node = new QTreeWidgetItem(Tree);
    node->setIcon(0, emitterIcon);
    node->setData(0, EmitterRole, static_cast<int>(i));
    node->setData(0, SystemRole, -1);
    for (size_t k = 0; k < state.Rows[i].Systems.size(); ++k) {
      auto* child = new QTreeWidgetItem(node);
      child->setIcon(0, systemIcon);
      child->setData(0, EmitterRole, static_cast<int>(i));
      child->setData(0, SystemRole, static_cast<int>(k));
    }
    node->setExpanded(!Collapsed_.count(static_cast<int>(i)) || i >= Rows_.size());
  }
  for (auto it = Collapsed_.begin(); it != Collapsed_.end();)
    it = *it >= static_cast<int>(state.Rows.size()) ? Collapsed_.erase(it) : std::next(it);
}

void TEmitterManForm::ShowTree(const TEmitterManagerState& state) {
  ++Filling_;
  const QSignalBlocker block(Tree);
  bool sameShape = Rows_.size() == state.Rows.size();
  for (size_t i = 0; sameShape && i < Rows_.size(); ++i)
    sameShape = Rows_[i].Systems.size() == state.Rows[i].Systems.size();
  // Texts and states change in place (an edit may be under way in the tree); a new shape builds
  // the nodes anew.
  if (!sameShape) BuildTree(state);
  Rows_ = state.Rows;
  // The state box is drawn from the check state, and switched by this view alone (a click on it
  // must not move the selection).
  const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  auto show = [&](QTreeWidgetItem* item, const TEmitterNode& node) {
    item->setFlags(flags);
    item->setText(0, QString::fromStdString(node.Name));
    item->setCheckState(0, node.Enabled ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(0, node.Enabled ? "Enabled (Space or a click on the box switches it off)" : "Disabled");
  };
  QTreeWidgetItem* selected = nullptr;
  for (size_t i = 0; i < state.Rows.size(); ++i) {
    QTreeWidgetItem* node = Tree->topLevelItem(static_cast<int>(i));
    show(node, state.Rows[i].Emitter);
    for (size_t k = 0; k < state.Rows[i].Systems.size(); ++k) show(node->child(static_cast<int>(k)), state.Rows[i].Systems[k]);
    if (static_cast<int>(i) == state.SelectedEmitter)
      selected = state.SelectedSystem >= 0 ? node->child(state.SelectedSystem) : node;
  }
  if (selected != Tree->currentItem()) {
    if (selected)
      Tree->setCurrentItem(selected);
    else
      Tree->setCurrentItem(nullptr);
  }
  if (selected) Tree->scrollToItem(selected);
  --Filling_;
}

void TEmitterManForm::ShowPages(const TEmitterManagerState& state) {
  Pages->setCurrentWidget(state.Page == TEmitterPage::Blank     ? static_cast<QWidget*>(BlankPage)
                          : state.Page == TEmitterPage::Emitter ? EmitterPage
                                                                : SystemPage);
  ++UpdateGuard_;
  {
    const QSignalBlocker a(FrameOffsetEdit), b(FreezeFrameEdit);
    FrameOffsetEdit->setValue(state.FrameOffset);
    FreezeFrameEdit->setValue(state.FreezeFrame);
  }
  MoreParticlesBox->setChecked(state.WidthScaling & 1);
  BiggerParticlesBox->setChecked(state.WidthScaling & 2);
  FasterParticlesBox->setChecked(state.HeightScaling & 1);
  OlderParticlesBox->setChecked(state.HeightScaling & 2);
  StrongerGravityBox->setChecked(state.HeightScaling & 4);
  --UpdateGuard_;
  PlaceCurveEditor(state.CurveOnVisibility);
}

void TEmitterManForm::PlaceCurveEditor(bool onVisibility) {
  if (!CurveEditor_ || onVisibility == CurveOnVisibility_) return;
  CurveOnVisibility_ = onVisibility;
  if (onVisibility) {
    auto* column = static_cast<QVBoxLayout*>(VisibilityTab->layout());
    column->insertWidget(0, CurveEditor_, 1);
    CurveEditor_->show();
  } else if (AdoptCurveEditor) {
    AdoptCurveEditor(CurveEditor_);
  } else if (CurveEditor_->parentWidget() == VisibilityTab) {
    CurveEditor_->hide();
    VisibilityTab->layout()->removeWidget(CurveEditor_);
  }
}

void TEmitterManForm::ShowFold(const TEmitterManagerState& state) {
  FoldButton->setChecked(state.FoldExpanded);
  FoldButton->setArrowType(state.FoldExpanded ? Qt::DownArrow : Qt::RightArrow);
  Splitter->handle(1)->setEnabled(state.FoldExpanded);
  if (state.FoldExpanded == FoldShown_) return;
  QWidget* fold = Splitter->widget(1);
  if (!state.FoldExpanded) {
    if (FoldCollapsing) FoldCollapsing(fold->height());
    FoldBody->hide();
    fold->setMaximumHeight(FoldButton->sizeHint().height());
    if (FoldCollapsed) FoldCollapsed(FoldButton->sizeHint().height());
  } else {
    if (FoldExpanding) FoldExpanding();
    fold->setMaximumHeight(QWIDGETSIZE_MAX);
    FoldBody->show();
    const int total = Splitter->sizes().value(0) + Splitter->sizes().value(1);
    Splitter->setSizes({std::max(60, total - state.FoldHeight), state.FoldHeight});
  }
  FoldShown_ = state.FoldExpanded;
}

void TEmitterManForm::ItemChanged(QTreeWidgetItem* item) {
  if (Filling_ || !Controller_) return;
  const int e = item->data(0, EmitterRole).toInt(), s = item->data(0, SystemRole).toInt();
  if (e < 0 || static_cast<size_t>(e) >= Rows_.size()) return;
  const TEmitterNode& shown = s < 0 ? Rows_[e].Emitter : Rows_[e].Systems.at(static_cast<size_t>(s));
  const bool enabled = item->checkState(0) == Qt::Checked;
  const std::string text = item->text(0).toStdString();
  if (enabled != shown.Enabled)
    Controller_->ToggleEnabled(e, s);
  else if (text != shown.Name)
    Controller_->RenameNode(e, s, text);  // which shows the stored name, cut or not
}

void TEmitterManForm::OpenTreeMenu(QPoint at) {
  // A right click selects the node under it; the menu key opens the menu at the current node.
  QTreeWidgetItem* item = Tree->itemAt(at);
  if (item && item != Tree->currentItem()) Tree->setCurrentItem(item);
  if (!item && (item = Tree->currentItem())) at = Tree->visualItemRect(item).center();
  TreePopup->popup(Tree->viewport()->mapToGlobal(at));
}

void TEmitterManForm::AutoScaleClicked() {
  if (UpdateGuard_ || !Controller_) return;
  const uint8_t width = (MoreParticlesBox->isChecked() ? 1 : 0) | (BiggerParticlesBox->isChecked() ? 2 : 0);
  const uint8_t height = (FasterParticlesBox->isChecked() ? 1 : 0) | (OlderParticlesBox->isChecked() ? 2 : 0) |
                         (StrongerGravityBox->isChecked() ? 4 : 0);
  Controller_->SetAutoScale(width, height);
}

QTreeWidgetItem* TEmitterManForm::StateIconAt(QPoint at) const {
  QTreeWidgetItem* item = Tree->itemAt(at);
  if (!item) return nullptr;
  // The box sits at the start of the node's cell, before its icon.
  const QRect cell = Tree->visualItemRect(item);
  const int width = Tree->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, Tree) +
                    2 * Tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Tree) + 2;
  return at.x() >= cell.left() && at.x() < cell.left() + width ? item : nullptr;
}

bool TEmitterManForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Tree->viewport() && Controller_ &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
       event->type() == QEvent::MouseButtonDblClick)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      if (QTreeWidgetItem* item = StateIconAt(mouse->position().toPoint())) {
        if (event->type() == QEvent::MouseButtonRelease)
          Controller_->ToggleEnabled(item->data(0, EmitterRole).toInt(), item->data(0, SystemRole).toInt());
        return true;
      }
    }
  }
  if (watched == Tree && event->type() == QEvent::KeyPress && Controller_) {
    auto* key = static_cast<QKeyEvent*>(event);
    QTreeWidgetItem* item = Tree->currentItem();
    if (key->key() == Qt::Key_Delete && item) {
      // A system goes at once (the emitter keeps one); an emitter is the host's to delete.
      const bool system = item->data(0, SystemRole).toInt() >= 0;
      Controller_->RunAction(system ? TEmitterAction::DeleteSystem : TEmitterAction::DeleteEmitter);
      return true;
    }
    if (key->key() == Qt::Key_Space && item) {
      Controller_->ToggleEnabled(item->data(0, EmitterRole).toInt(), item->data(0, SystemRole).toInt());
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
