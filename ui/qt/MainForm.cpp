// The main panel's view: builds the controls and menus, forwards every input to TMain and shows
// its state.
#include "ui/qt/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "ui/qt/ColorButton.h"
#include "ui/qt/EmitterManForm.h"
#include "ui/qt/ParticleMapsForm.h"
#include "ui/qt/PropsForm.h"
#include "ui/qt/ShuttleForm.h"
#include "ui/qt/ToolboxForm.h"
#include "ui/qt/VarChartForm.h"

namespace {

constexpr int ClientWidth = 400, ClientHeight = 470;
constexpr int ControlRowHeight = 40, StatusRowHeight = 16, TabRowHeight = 25;

}  // namespace

QIcon ButtonImage(int index) {
  // Two arrows toward a corner (19: shrink into the shuttle) or away from it (18: grow).
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 128), 1.6));
  p.drawRect(QRectF(1.5, 1.5, 13, 13));
  const bool grow = index == 18;
  const QPointF from = grow ? QPointF(5, 11) : QPointF(12, 4);
  const QPointF to = grow ? QPointF(12, 4) : QPointF(5, 11);
  p.drawLine(from, to);
  const QPointF head[3] = {to, to + (grow ? QPointF(-4, 0) : QPointF(4, 0)), to + (grow ? QPointF(0, 4) : QPointF(0, -4))};
  p.setBrush(QColor(0, 0, 128));
  p.drawPolygon(head, 3);
  return QIcon(pixmap);
}

namespace {

void ShowPlayState(TColorButton* button, bool stop) {
  button->setText(stop ? "Stop" : "Play");
  if (stop)
    button->SetColors(buttoncolors::Stop, buttoncolors::StopHighlight);
  else
    button->SetColors(buttoncolors::Play, buttoncolors::PlayHighlight);
}

void ShowProgress(QProgressBar* bar, int position, const std::string& caption) {
  bar->setValue(position);
  bar->setFormat(QString::fromStdString(caption));
}

}  // namespace

TMainForm::TMainForm(TMainPanelController& main, QWidget* owner)
    : QMainWindow(owner, Qt::Window), Main_(&main), Owner_(owner) {
  setObjectName("VantrelMainPanel");
  setWindowTitle("VNTX 1.0");
  QFont f("Arial");
  f.setPixelSize(11);
  setFont(f);

  auto* client = new QWidget(this);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  // ---- Control row.
  auto* controls = new QWidget(client);
  controls->setFixedHeight(ControlRowHeight);
  auto* row = new QHBoxLayout(controls);
  row->setContentsMargins(4, 7, 4, 7);
  row->setSpacing(5);
  ShrinkButton = new QToolButton(controls);
  ShrinkButton->setAutoRaise(true);
  ShrinkButton->setIcon(ButtonImage(19));
  ShrinkButton->setToolTip("Shrink to the shuttle");
  ShrinkButton->setFixedSize(24, 24);
  PreviewButton = new TColorButton("Play", controls);
  PreviewButton->setToolTip("Play Animation");
  PreviewButton->setFixedSize(56, 25);
  RewindButton = new TColorButton("Rewind", controls);
  RewindButton->SetColors(buttoncolors::Rewind, buttoncolors::RewindHighlight);
  RewindButton->setFixedSize(56, 25);
  DrawModeBox = new QComboBox(controls);
  DrawModeBox->addItems({" Dots", " Wire Boxes", " Wire Circles", " Solid Boxes ", " Solid Circles"});
  DrawModeBox->setFixedWidth(100);
  RenderBox = new QCheckBox("Enable Rendering", controls);
  row->addWidget(ShrinkButton);
  row->addWidget(PreviewButton);
  row->addWidget(RewindButton);
  row->addWidget(DrawModeBox);
  row->addWidget(RenderBox);
  row->addStretch(1);
  column->addWidget(controls);

  // ---- Status row.
  auto* status = new QWidget(client);
  status->setFixedHeight(StatusRowHeight);
  auto* statusRow = new QHBoxLayout(status);
  statusRow->setContentsMargins(0, 0, 0, 0);
  statusRow->setSpacing(0);
  StatusBar = new QLabel(status);
  StatusBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  RenderProgress = new QProgressBar(status);
  RenderProgress->setFixedWidth(168);
  RenderProgress->setRange(0, 100);
  RenderProgress->setValue(0);
  RenderProgress->setTextVisible(true);
  RenderProgress->setFormat("");
  RenderProgress->setAlignment(Qt::AlignCenter);
  RenderProgress->setStyleSheet(
      "QProgressBar { border: 1px solid gray; background: white; color: black; }"
      "QProgressBar::chunk { background: lime; }");
  statusRow->addWidget(StatusBar, 1);
  statusRow->addWidget(RenderProgress);
  column->addWidget(status);

  // ---- Tab row and pages.
  TabControl1 = new QTabBar(client);
  TabControl1->addTab("Emitters");
  TabControl1->addTab("Tools");
  TabControl1->setDrawBase(false);
  TabControl1->setExpanding(false);
  TabControl1->setFixedHeight(TabRowHeight);
  TabControl1->setStyleSheet(
      "QTabBar::tab { border: 1px outset gray; padding: 2px 10px; margin: 1px; background: palette(button); }"
      "QTabBar::tab:selected { border-style: inset; background: palette(midlight); }");
  column->addWidget(TabControl1);
  Pages = new QStackedWidget(client);
  EmitterManagerPage = new QFrame(Pages);
  ToolboxPage = new QFrame(Pages);
  EmitterManagerPage->setObjectName("EmitterManagerPage");
  ToolboxPage->setObjectName("ToolboxPage");
  CurveEditor = new TVarChartForm(main.CurveEditor(), EmitterManagerPage);
  CurveEditor->setObjectName("CurveEditor");
  CurveEditor->hide();
  auto* emitterColumn = new QVBoxLayout(EmitterManagerPage);
  emitterColumn->setContentsMargins(0, 0, 0, 0);
  // The system properties panel is the emitter manager's third page; the shared curve editor
  // goes back into its curve page whenever the emitter page lets go of it.
  SystemProps = new TPropsForm(main.SystemProperties(), nullptr);
  EmitterMan = new TEmitterManForm(main.EmitterManager(), CurveEditor, SystemProps, EmitterManagerPage);
  EmitterMan->AdoptCurveEditor = [this](TVarChartForm* editor) { SystemProps->AdoptCurveEditor(editor); };
  // The image maps editor fills the system properties' render page.
  MapsEditor = new TParticleMapsForm(main.ImageMaps(), SystemProps->MapsFrame());
  SystemProps->MapsFrame()->layout()->addWidget(MapsEditor);
  MapsEditor->OnHideCueCards = [this] {
    if (Main_) Main_->ToggleCuesAction();
  };
  emitterColumn->addWidget(EmitterMan);
  EmitterMan->FoldCollapsing = [this](int height) { FoldCollapsing(height); };
  EmitterMan->FoldCollapsed = [this](int height) { FoldCollapsed(height); };
  EmitterMan->FoldExpanding = [this] { FoldExpanding(); };
  auto* toolColumn = new QVBoxLayout(ToolboxPage);
  toolColumn->setContentsMargins(0, 0, 0, 0);
  Toolbox = new TToolboxForm(main.ToolboxPanel(), main.ToolProperties(), ToolboxPage);
  toolColumn->addWidget(Toolbox);
  Pages->addWidget(EmitterManagerPage);
  Pages->addWidget(ToolboxPage);
  column->addWidget(Pages, 1);
  setCentralWidget(client);

  // Named as on the form, so that a host's or a test's code finds them without our headers.
  ShrinkButton->setObjectName("ShrinkButton");
  PreviewButton->setObjectName("PreviewButton");
  RewindButton->setObjectName("RewindButton");
  DrawModeBox->setObjectName("DrawModeBox");
  RenderBox->setObjectName("RenderBox");
  StatusBar->setObjectName("StatusBar");
  RenderProgress->setObjectName("RenderProgress");
  TabControl1->setObjectName("TabControl1");

  BuildMenus();
  // A panel that floats over the host falls behind it at every click: where the host's window
  // has dock areas, the panel docks at its side instead, hidden until the plug-in's button. The
  // dock is made before the shuttle, so that the host's window frees it (and with it this form,
  // which frees the shuttle) first.
  Dock = nullptr;
  if (auto* host = qobject_cast<QMainWindow*>(owner)) {
    Dock = new QDockWidget(windowTitle(), host);
    Dock->setObjectName("VantrelPanelDock");
    Dock->setWidget(this);
    host->addDockWidget(Qt::RightDockWidgetArea, Dock);
    Dock->hide();
    show();  // shown with its dock, which the host may bring back from an earlier run
    // Closing the dock ends a run under way, as closing the panel's own window does.
    Dock->installEventFilter(this);
  }
  Shuttle = new TShuttleForm(owner);
  Shuttle->setObjectName("VantrelShuttle");
  Shuttle->setWindowTitle(windowTitle());

  // ---- Input goes to the controller. Play returns when the run it started has ended; the
  // panel may have gone meanwhile (its owner closed), so nothing of it is touched after.
  connect(PreviewButton, &QPushButton::clicked, this, [this] { Ask(&TMainPanelController::PlayClicked); });
  connect(Shuttle->PreviewButton, &QPushButton::clicked, this, [this] { Ask(&TMainPanelController::PlayClicked); });
  connect(RewindButton, &QPushButton::clicked, this, [this] { Ask(&TMainPanelController::RewindClicked); });
  connect(Shuttle->RewindButton, &QPushButton::clicked, this, [this] { Ask(&TMainPanelController::RewindClicked); });
  connect(ShrinkButton, &QToolButton::clicked, this, [this] { Shrink(); });
  connect(Shuttle->GrowButton, &QToolButton::clicked, this, [this] { Grow(); });
  connect(DrawModeBox, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (Main_) Main_->SetDrawMode(i);
  });
  connect(RenderBox, &QCheckBox::clicked, this, [this] { AskAndRefresh(&TMainPanelController::EnableRenderingAction); });
  connect(TabControl1, &QTabBar::currentChanged, this, [this](int i) { Pages->setCurrentIndex(i >= 0 && i < Pages->count() ? i : 0); });
  // Closing the host's window ends a run under way first, so that the host's own questions
  // (save the scene?) take input again.
  if (Owner_) Owner_->installEventFilter(this);
  main.AttachView(this);

  // The designed client area below the menu is also the smallest one.
  const int menuHeight = menuBar()->sizeHint().height();
  resize(ClientWidth, ClientHeight + menuHeight);
  setMinimumSize(ClientWidth, ClientHeight + menuHeight);

  Refresh();
}

QWidget* TMainForm::Frame() const { return Dock ? static_cast<QWidget*>(Dock) : const_cast<TMainForm*>(this); }

TMainForm::~TMainForm() {
  GateInput(false);
  if (Main_) {
    // A run under way must not draw for a panel that is gone.
    if (Main_->PanelState().PlayShowsStop) Main_->StopAnimateAction();
    Main_->AttachView(nullptr);
  }
  delete Shuttle.data();
}

void TMainForm::ControllerGone() {
  GateInput(false);
  Main_ = nullptr;
  CurveEditor->ControllerGone();
  EmitterMan->ControllerGone();
  // A plug-in unloading after the application has gone leaves the windows as they are.
  if (!QCoreApplication::instance()) return;
  Frame()->hide();
  if (Shuttle) Shuttle->hide();
}

void TMainForm::Ask(void (TMainPanelController::*action)()) {
  if (Main_) (Main_->*action)();
}

void TMainForm::AskAndRefresh(void (TMainPanelController::*action)()) {
  if (!Main_) return;
  (Main_->*action)();
  Refresh();
}

void TMainForm::BuildMenus() {
  // The emitter and system entries are the emitter manager's actions, enabled by it.
  QMenu* file = menuBar()->addMenu("File");
  file->setToolTipsVisible(true);
  QAction** items[EmitterActionCount] = {&NewEmitterItem,  &DeleteEmitterItem,   &LoadEmitterItem,
                                         &SaveEmitterItem, &AddSystemItem,       &DeleteSystemItem,
                                         &DuplicateSystemItem, &LoadSystemItem, &SaveSystemItem};
  for (int a = 0; a < EmitterActionCount; ++a) {
    if (EmitterActionText(static_cast<TEmitterAction>(a)).SeparatorBefore) file->addSeparator();
    *items[a] = EmitterMan->Actions[a];
    file->addAction(EmitterMan->Actions[a]);
  }
  file->addSeparator();
  EnableRenderingItem = file->addAction("Enable Rendering", this,
                                        [this] { AskAndRefresh(&TMainPanelController::EnableRenderingAction); });
  DepthDitheringItem = file->addAction("Depth Dithering", this,
                                       [this] { AskAndRefresh(&TMainPanelController::DepthDitheringAction); });
  ShowRenderingItem = file->addAction("Show Rendering (Slow)", this,
                                      [this] { AskAndRefresh(&TMainPanelController::ShowRenderingAction); });

  // Every edit a panel makes can be taken back; the entries name the step.
  QMenu* edit = menuBar()->addMenu("Edit");
  UndoItem = edit->addAction("Undo", this, [this] { AskAndRefresh(&TMainPanelController::UndoAction); });
  UndoItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  RedoItem = edit->addAction("Redo", this, [this] { AskAndRefresh(&TMainPanelController::RedoAction); });
  RedoItem->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  for (QAction* a : {UndoItem, RedoItem}) a->setShortcutContext(Qt::WindowShortcut);

  // The toolbox's six actions with their captions and icons, in the menu's own order.
  QMenu* toolbox = menuBar()->addMenu("Toolbox");
  const TToolKind menuOrder[6] = {ToolDeflector, ToolAttractor, ToolRepulsor, ToolGravitron, ToolFan, ToolLeader};
  for (int i = 0; i < 6; ++i) {
    const TToolKind kind = menuOrder[i];
    const TNewToolAction& action = *std::find_if(std::begin(NewToolActions), std::end(NewToolActions),
                                                 [kind](const TNewToolAction& a) { return a.Kind == kind; });
    NewToolItems[i] = toolbox->addAction(ToolImage(action.Icon), action.Caption, this, [this, kind] {
      if (Main_) Main_->NewToolAction(kind);
    });
  }

  QMenu* preview = menuBar()->addMenu("Preview");
  AnimateObjectsItem = preview->addAction("Animate Objects", this,
                                          [this] { AskAndRefresh(&TMainPanelController::AnimateObjectsAction); });
  WireframeAlphaHintsItem = preview->addAction("Wireframe Alpha Hints", this,
                                               [this] { AskAndRefresh(&TMainPanelController::WireframeAlphaHintsAction); });

  QMenu* help = menuBar()->addMenu("Help");
  HelpTopicsItem = help->addAction("Topics && Contents", this, [this] { Ask(&TMainPanelController::HelpTopicsAction); });
  ToggleCuesItem = help->addAction("Toggle Cue Cards", this, [this] { Ask(&TMainPanelController::ToggleCuesAction); });

  for (QAction* a : {EnableRenderingItem, DepthDitheringItem, ShowRenderingItem, AnimateObjectsItem, WireframeAlphaHintsItem})
    a->setCheckable(true);
}

void TMainForm::Refresh() {
  if (!Main_) return;
  const TMainPanelState state = Main_->PanelState();
  ShowPlayState(PreviewButton, state.PlayShowsStop);
  if (Shuttle) ShowPlayState(Shuttle->PreviewButton, state.PlayShowsStop);
  StatusBar->setText(QString::fromStdString(state.StatusText));
  ShowProgress(RenderProgress, state.MainProgress.Position, state.MainProgress.Caption);
  {
    const QSignalBlocker block(DrawModeBox);
    DrawModeBox->setCurrentIndex(state.DrawMode);
  }
  RenderBox->setChecked(state.EnableRendering);
  EnableRenderingItem->setChecked(state.EnableRendering);
  DepthDitheringItem->setChecked(state.DepthDithering);
  ShowRenderingItem->setChecked(state.ShowRendering);
  AnimateObjectsItem->setChecked(state.AnimateObjects);
  WireframeAlphaHintsItem->setChecked(state.WireframeAlphaHints);
  EmitterMan->Changed();
  MapsEditor->SetCueCardsVisible(state.CueCardsVisible);
  UndoItem->setText(QString::fromStdString(state.UndoName.empty() ? "Undo" : "Undo " + state.UndoName));
  UndoItem->setEnabled(!state.UndoName.empty());
  RedoItem->setText(QString::fromStdString(state.RedoName.empty() ? "Redo" : "Redo " + state.RedoName));
  RedoItem->setEnabled(!state.RedoName.empty());
  if (Shuttle) Shuttle->Refresh(state);
}

void TMainForm::PreviewChanged() {
  GateInput(Main_ && Main_->PanelState().PlayShowsStop);
  Refresh();
}

void TMainForm::PlaceBesideOwner() {
  if (Placed_ || !Owner_) return;
  Placed_ = true;
  const QRect owner = Owner_->frameGeometry();
  const QScreen* screen = Owner_->screen();
  const QRect room = screen ? screen->availableGeometry() : QRect();
  const int gap = 8;
  QPoint at(owner.right() + 1 + gap, owner.top() + 60);
  if (room.isValid() && at.x() + width() > room.right()) at.setX(owner.right() - width() - 2 * gap);
  move(at);
}

void TMainForm::ShowPage(TMainPage page) { TabControl1->setCurrentIndex(static_cast<int>(page)); }

void TMainForm::ShowPanel() {
  if (!Main_) return;
  Refresh();  // the first click may have switched rendering on
  if (!Shuttle->isVisible()) {
    // A panel coming into view opens with its properties folded.
    if (!Frame()->isVisible()) Main_->EmitterManager().SetFoldExpanded(false);
    if (Dock) {
      show();
      Dock->show();
      Dock->raise();
      return;
    }
    PlaceBesideOwner();
    show();
    if (isMinimized()) showNormal();
    raise();
  } else if (Shuttle->isMinimized()) {
    Shuttle->showNormal();
  }
}

void TMainForm::Shrink() {
  Shuttle->move(Dock ? Dock->mapToGlobal(QPoint(0, 0)) : pos());
  Frame()->hide();
  Shuttle->show();
}

void TMainForm::Grow() {
  if (!Dock) move(Shuttle->pos());
  Shuttle->hide();
  show();
  if (Dock) Dock->show();
}

void TMainForm::FoldCollapsing(int foldHeight) { FoldRemembered_ = foldHeight; }

void TMainForm::FoldCollapsed(int newFoldHeight) {
  FoldRemembered_ -= newFoldHeight;
  setMinimumHeight(minimumHeight() - FoldRemembered_);
  resize(width(), height() - FoldRemembered_);
}

void TMainForm::FoldExpanding() {
  resize(width(), height() + FoldRemembered_);
  setMinimumHeight(minimumHeight() + FoldRemembered_);
}

void TMainForm::GateInput(bool running) {
  if (!Main_) running = false;
  if (running == Gated_ || !qApp) return;
  Gated_ = running;
  if (running)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // Closing the shuttle during a run (the gate sees every window's events then) ends it as
  // closing the panel or its dock does: no window would be left to stop it from but Escape. The
  // plug-in's button brings the panel back.
  if ((watched == Owner_ || (Dock && watched == Dock) || watched == Shuttle.data()) &&
      event->type() == QEvent::Close) {
    if (Main_ && Main_->PanelState().PlayShowsStop) Main_->StopAnimateAction();
    return false;
  }
  if (!Gated_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      break;
    default:
      return false;
  }
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
    return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;  // windows and the application get their own events
  // The shuttle may already be gone while the host's window closes.
  QWidget* shuttlePreview = Shuttle ? Shuttle->PreviewButton : nullptr;
  QWidget* shuttleRewind = Shuttle ? Shuttle->RewindButton : nullptr;
  for (QWidget* open : {static_cast<QWidget*>(PreviewButton), static_cast<QWidget*>(RewindButton), shuttlePreview,
                        shuttleRewind, static_cast<QWidget*>(DrawModeBox)}) {
    if (!open) continue;
    if (widget == open || open->isAncestorOf(widget) ||
        (open == DrawModeBox && widget->window()->parentWidget() &&
         DrawModeBox->isAncestorOf(widget->window()->parentWidget())))
      return false;
  }
  return true;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing the panel stops a preview under way; a stopped one is left as it is (the host's
  // frame stays where the user put it).
  if (Main_ && Main_->PanelState().PlayShowsStop) Main_->StopAnimateAction();
  event->accept();
}

std::unique_ptr<TMainForm> CreateMainPanel(TMainPanelController& main, QWidget* owner) {
  return std::make_unique<TMainForm>(main, owner);
}
