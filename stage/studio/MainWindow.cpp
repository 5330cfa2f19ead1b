// The studio's main window.
#include "stage/studio/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cmath>

#include "stage/ImageFiles.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/OutputPattern.h"
#include "stage/cli/PluginLoader.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/Recovery.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/SceneSaver.h"
#include "stage/studio/Shortcuts.h"
#include "stage/studio/StudioRender.h"
#include "stage/studio/StudioView.h"
#include "stage/studio/Timeline.h"
#include "stage/studio/TransformPanel.h"

namespace stage::studio {

namespace {

constexpr int kMaxRecent = 8;
const char* const kRecentKey = "recentFiles";
const char* const kDockStateKey = "dockState";

// Changes the cursor to busy for a scope, on every way out.
struct TBusy {
  TBusy() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusy() { QApplication::restoreOverrideCursor(); }
};

QString Text(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName("studio");
  resize(1280, 800);

  View_ = new TStudioView(this);
  View_->setObjectName("view");
  setCentralWidget(View_);

  Outliner_ = new TOutliner(this);
  auto* outlinerDock = new QDockWidget(tr("Outliner"), this);
  outlinerDock->setObjectName("outlinerDock");
  outlinerDock->setWidget(Outliner_);
  addDockWidget(Qt::LeftDockWidgetArea, outlinerDock);

  Transform_ = new TTransformPanel(this);
  auto* transformDock = new QDockWidget(tr("Transform"), this);
  transformDock->setObjectName("transformDock");
  transformDock->setWidget(Transform_);
  addDockWidget(Qt::LeftDockWidgetArea, transformDock);

  Timeline_ = new TTimeline(this);
  auto* timelineDock = new QDockWidget(tr("Timeline"), this);
  timelineDock->setObjectName("timelineDock");
  timelineDock->setWidget(Timeline_);
  timelineDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  timelineDock->setTitleBarWidget(new QWidget(timelineDock));
  addDockWidget(Qt::BottomDockWidgetArea, timelineDock);

  Render_ = new TRenderWindow(this);
  // Renders move the scene's time along: a copy taken during one would not be the scene.
  Recovery_ = new TRecovery({[this] { return Path_; }, [this] { return Modified_ && !Progress_; },
                             [this](const std::filesystem::path& copy) {
                               WithSceneView([&] { SaveSceneSafely(Stage(), copy); });
                             }},
                            this);
  connect(Recovery_, &TRecovery::Failed, this, [this](const QString& why) { statusBar()->showMessage(why); });

  BuildMenus();
  // Tab order: the outliner, the transform panel, the view, the timeline (as the docks read).
  setTabOrder(Transform_->SetKeyButton(), View_);
  setTabOrder(View_, Timeline_->PlayButton());

  connect(Outliner_, &TOutliner::SelectionChanged, this, &TMainWindow::SelectionChanged);
  connect(Outliner_, &TOutliner::SceneEdited, this, &TMainWindow::SceneEdited);
  connect(Transform_, &TTransformPanel::Edited, this, [this] {
    SceneEdited();
    if (TNode* n = Stage().Scene.Selected()) {
      std::vector<float> keys;
      for (const TChannel* c : {&n->Position, &n->Rotation, &n->Scale})
        for (const TKey& k : c->Keys()) keys.push_back(k.Frame);
      Timeline_->SetKeys(keys);
    }
  });
  connect(Timeline_, &TTimeline::FrameChanged, this, &TMainWindow::GoToFrame);
  connect(Timeline_, &TTimeline::RangeChanged, this, [this](int first, int last) {
    Stage().Render.FirstFrame = static_cast<float>(first);
    Stage().Render.LastFrame = static_cast<float>(last);
    Modified_ = true;
    UpdateTitle();
  });
  connect(View_, &TStudioView::SceneCameraChanged, this, [this] {
    Modified_ = true;
    UpdateTitle();
  });
  // The host tells its plug-in when the user leaves the application.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive && Plugin_.OnDeactivate) Plugin_.OnDeactivate();
  });

  // ---- The stage's windows and hooks.
  TStage& stage = Stage();
  stage.WindowSystem = "qt";
  stage.MainWindow = static_cast<QWidget*>(this);
  stage.ViewWindow = static_cast<QWidget*>(View_);
  stage.OnViewRefreshed = [this] {
    // The drawing surfaces the plug-in drew on are erased with the view's own drawings (every
    // one: a program may have laid more than one over the view).
    for (QObject* canvas : View_->findChildren<QObject*>("VantrelViewCanvas"))
      QMetaObject::invokeMethod(canvas, "clear", Qt::DirectConnection);
    View_->update();
    // The plug-in may have selected something (tsxSelectSobj, tsxSelectUp).
    if (Outliner_->selectedItems().value(0) != Outliner_->ItemOf(Stage().Scene.Selected())) {
      Outliner_->ShowSelection();
      Transform_->ShowSelection();
    }
  };
  // A selection the plug-in made (a row chosen in its panel) shows in the outliner at once; the
  // rest of the window follows once the plug-in's call has returned.
  stage.OnSelectionChanged = [this] {
    if (Outliner_->selectedItems().value(0) == Outliner_->ItemOf(Stage().Scene.Selected())) return;
    Outliner_->ShowSelection();
    QMetaObject::invokeMethod(this, [this] { SelectionChanged(); }, Qt::QueuedConnection);
  };
  stage.OnDisplayLine = [this](int32_t y) { Render_->ShowLine(y); };
  // The plug-in changed the scene (a new emitter, an edit in a panel, an undo): the scene has
  // unsaved changes, and the outliner shows the objects as they are now.
  stage.OnPluginChanged = [this] {
    Outliner_->Rebuild();
    SceneEdited();
  };
  // A preview with "Animate Objects" carries the scene's time along, frame by frame, and puts it
  // back when it ends: the timeline shows where it is. Only the frame field and the slider
  // change (quietly, without going to the frame again); they repaint when the preview lets
  // events through.
  stage.OnTimeSet = [this](float frame) {
    if (std::isfinite(frame)) Timeline_->SetFrame(static_cast<int>(std::clamp(std::floor(frame), -1e9f, 1e9f)));
  };
  // What the plug-in does through the host (a new emitter, a deleted tool, its switches) is part
  // of the document: quitting, New and Open ask before they drop it.
  stage.OnSceneChanged = [this] {
    Modified_ = true;
    UpdateTitle();
  };
  // The plug-in's preview asks the host whether to stop at every check it makes: the timeline's
  // own playback stops then, or its redraws would erase the preview's drawing 30 times a second.
  // The preview lets no click but its own through, so it stays stopped until the run ends.
  stage.OnAbortCheck = [this] {
    if (Timeline_->Playing()) Timeline_->Stop();
  };
  stage.OnInterruptCheck = [this, last = qint64(0)]() mutable {
    // The render holds the thread: its Cancel button gets its clicks here, a few times a second.
    if (!Progress_) return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - last < 50) return;
    last = now;
    QCoreApplication::processEvents();
    if (Progress_ && Progress_->wasCanceled()) Stage().Interrupt = true;
  };

  NewScene();
}

TMainWindow::~TMainWindow() {
  TStage& stage = Stage();
  stage.OnViewRefreshed = nullptr;
  stage.OnDisplayLine = nullptr;
  stage.OnInterruptCheck = nullptr;
  stage.OnAbortCheck = nullptr;
  stage.OnTimeSet = nullptr;
  stage.OnPluginChanged = nullptr;
  stage.OnSceneChanged = nullptr;
  stage.OnSelectionChanged = nullptr;
  stage.MainWindow = nullptr;
  stage.ViewWindow = nullptr;
}

void TMainWindow::SetPlugin(TPluginExports plugin) {
  Plugin_ = std::move(plugin);
  if (PluginButton_ || !Plugin_.OnLeftClick) return;
  QToolBar* bar = addToolBar(tr("Plug-ins"));
  bar->setObjectName("pluginBar");
  PluginButton_ = new QToolButton(bar);
  PluginButton_->setObjectName("pluginButton");
  PluginButton_->setText(Plugin_.Title.isEmpty() ? tr("Plug-in") : Plugin_.Title);
  PluginButton_->setToolTip(tr("%1: left click opens its panel, right click its other command").arg(PluginButton_->text()));
  PluginButton_->setContextMenuPolicy(Qt::CustomContextMenu);
  bar->addWidget(PluginButton_);
  connect(PluginButton_, &QToolButton::clicked, this, &TMainWindow::PluginLeftClick);
  connect(PluginButton_, &QToolButton::customContextMenuRequested, this, &TMainWindow::PluginRightClick);
  // The button's two clicks from the keyboard, before the Help menu.
  auto* plugins = new QMenu(tr("&Plug-ins"), this);
  plugins->addAction(PluginButton_->text(), this, &TMainWindow::PluginLeftClick);
  plugins->addAction(tr("%1: Other Command").arg(PluginButton_->text()), this, &TMainWindow::PluginRightClick);
  const QList<QAction*> menus = menuBar()->actions();
  menuBar()->insertMenu(menus.isEmpty() ? nullptr : menus.last(), plugins);
  // The plug-in's panel docked when it loaded: the docks go where the last run left them.
  restoreState(QSettings().value(kDockStateKey).toByteArray());
}

void TMainWindow::PluginLeftClick() {
  if (!Plugin_.OnLeftClick) return;
  PluginClicked_ = true;
  Plugin_.OnLeftClick();
  Outliner_->Rebuild();
  View_->Refresh();
}

void TMainWindow::PluginRightClick() {
  if (!Plugin_.OnRightClick) return;
  Plugin_.OnRightClick();
  Outliner_->Rebuild();
  View_->Refresh();
}

void TMainWindow::BuildMenus() {
  // ---- File
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&New"), QKeySequence::New, this, [this] {
    if (MaybeSave()) NewScene();
  });
  file->addAction(tr("&Open..."), QKeySequence::Open, this, [this] {
    if (!MaybeSave()) return;
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Scene"), QFileInfo(Path_).absolutePath(),
                                                      tr("Scene files (*.json);;All files (*)"));
    if (!path.isEmpty()) OpenScene(path);
  });
  RecentMenu_ = file->addMenu(tr("Open &Recent"));
  FillRecentMenu();
  file->addAction(tr("&Save"), QKeySequence::Save, this, [this] { Save(); });
  file->addAction(tr("Save &As..."), QKeySequence("Ctrl+Shift+S"), this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Scene As"), Path_, tr("Scene files (*.json)"));
    if (!path.isEmpty()) SaveScene(path.endsWith(".json", Qt::CaseInsensitive) ? path : path + ".json");
  });
  file->addSeparator();
  file->addAction(tr("Import &OBJ..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Import OBJ"), QFileInfo(Path_).absolutePath(),
                                                      tr("OBJ meshes (*.obj)"));
    if (!path.isEmpty()) ImportObj(path);
  });
  file->addSeparator();
  file->addAction(tr("E&xit"), QKeySequence("Ctrl+Q"), this, &QWidget::close);

  // ---- Edit: the outliner's selection; the keys act while the outliner has the focus.
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* rename = edit->addAction(tr("&Rename"), QKeySequence(Qt::Key_F2), this, [this] {
    if (QTreeWidgetItem* item = Outliner_->selectedItems().value(0)) Outliner_->editItem(item, 0);
  });
  QAction* remove = edit->addAction(tr("&Delete"), QKeySequence::Delete, this, [this] { Outliner_->DeleteSelected(); });
  for (QAction* a : {rename, remove}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Outliner_->addAction(a);
  }

  // ---- Create
  QMenu* create = menuBar()->addMenu(tr("&Create"));
  const char* names[] = {"&Plane", "&Box", "&Sphere", "&Grid"};
  for (int i = 0; i < 4; ++i) create->addAction(tr(names[i]), this, [this, i] { AddPrimitive(i); });
  create->addAction(tr("G&roup"), this, [this] {
    TNode& g = Stage().Scene.AddGroup("Group");
    Stage().Scene.Select(&g);
    Outliner_->Rebuild();
    SceneEdited();
    SelectionChanged();
  });

  // ---- View
  QMenu* view = menuBar()->addMenu(tr("&View"));
  auto* kinds = new QActionGroup(this);
  const char* viewNames[] = {"&Perspective", "&Camera", "&Top", "&Front", "&Side"};
  QToolBar* viewBar = addToolBar(tr("View"));
  viewBar->setObjectName("viewBar");
  for (int i = 0; i < 5; ++i) {
    QAction* a = view->addAction(tr(viewNames[i]), this, [this, i] { View_->SetKind(static_cast<TViewKind>(i)); });
    a->setShortcut(QKeySequence(QString("Ctrl+%1").arg(i + 1)));
    a->setCheckable(true);
    a->setChecked(i == 0);
    kinds->addAction(a);
    viewBar->addAction(a);
  }
  view->addSeparator();
  QAction* wire = view->addAction(tr("&Wireframe"));
  wire->setCheckable(true);
  wire->setShortcut(QKeySequence("Ctrl+W"));
  connect(wire, &QAction::toggled, this, [this](bool on) { View_->SetShading(on ? TShading::Wireframe : TShading::Solid); });
  QAction* grid = view->addAction(tr("&Ground Grid"));
  grid->setCheckable(true);
  grid->setChecked(true);
  connect(grid, &QAction::toggled, View_, &TStudioView::SetGridShown);
  viewBar->addSeparator();
  viewBar->addAction(wire);

  // ---- Animation: the timeline's play and its first frame; the keys act in the view.
  QMenu* animation = menuBar()->addMenu(tr("&Animation"));
  QAction* play = animation->addAction(tr("&Play/Stop"), QKeySequence(Qt::Key_Space), this, [this] {
    if (Timeline_->Playing())
      Timeline_->Stop();
    else
      Timeline_->Play();
  });
  QAction* rewind = animation->addAction(tr("&Rewind"), QKeySequence(Qt::Key_Home), this, [this] {
    Timeline_->Stop();
    GoToFrame(static_cast<int>(std::floor(Stage().Render.FirstFrame)));
  });
  for (QAction* a : {play, rewind}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    View_->addAction(a);
  }

  // ---- Render
  QMenu* render = menuBar()->addMenu(tr("&Render"));
  render->addAction(tr("Render &Frame"), QKeySequence("F12"), this, [this] { RenderFrame(); });
  render->addAction(tr("Render &Animation..."), QKeySequence("Shift+F12"), this, &TMainWindow::RenderAnimationDialog);

  // ---- Help
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("&User Guide"), QKeySequence::HelpContents, this, &TMainWindow::ShowGuide);
  help->addAction(tr("&Keyboard Shortcuts"), this, [this] { ShowShortcuts(this); });
}

// ---- Documents

void TMainWindow::NewScene() {
  TStage& stage = Stage();
  stage.NewScene();
  stage.Render.FirstFrame = 0;
  stage.Render.LastFrame = 100;
  TCamera camera;
  camera.Eye = {12, -14, 8};
  camera.Target = {0, 0, 1};
  View_->SceneCamera = camera;
  SceneViewWidth_ = stage.Render.Width;
  SceneViewHeight_ = stage.Render.Height;
  Path_.clear();
  SceneLoaded();
  Modified_ = false;
  UpdateTitle();
}

bool TMainWindow::OpenScene(const QString& path) {
  TStage& stage = Stage();
  // The plug-in gets its first click as `vantrel render` gives it, before the scene loads: Render
  // Frame shows the particles from the start rather than after the user happens to click its
  // button, and the switches the scene keeps (rendering off, say) then hold as they do there.
  if (!PluginClicked_) PluginLeftClick();
  std::vector<std::string> warnings;
  try {
    TBusy busy;
    warnings = LoadSceneFile(stage, path.toStdString());
  } catch (const std::exception& e) {
    QMessageBox::critical(this, tr("Open Scene"), Text(e.what()));
    View_->Refresh();
    return false;
  }
  View_->SceneCamera = stage.View.Camera;
  SceneViewWidth_ = stage.View.Width;
  SceneViewHeight_ = stage.View.Height;
  Path_ = QFileInfo(path).absoluteFilePath();
  AddRecent(Path_);
  SceneLoaded();
  Modified_ = false;
  UpdateTitle();
  if (const QString copy = TRecovery::NewerCopy(Path_); !copy.isEmpty()) OfferRecovery(copy);
  if (!warnings.empty()) statusBar()->showMessage(Text(warnings.front()) + (warnings.size() > 1 ? tr(" (and %1 more)").arg(warnings.size() - 1) : QString()));
  return true;
}

void TMainWindow::SceneLoaded() {
  // The last render's picture and the plug-in's counts in the status bar were the old scene's.
  Render_->Clear();
  statusBar()->clearMessage();
  View_->ResetPerspective();
  const TStage& stage = Stage();
  Timeline_->Stop();
  Timeline_->SetRange(static_cast<int>(std::floor(stage.Render.FirstFrame)), static_cast<int>(std::floor(stage.Render.LastFrame)));
  Timeline_->SetFrame(static_cast<int>(std::floor(stage.Scene.Time())));
  Outliner_->Rebuild();
  SelectionChanged();
  View_->Refresh();
}

bool TMainWindow::SaveScene(const QString& path) {
  try {
    TBusy busy;
    WithSceneView([&] { SaveSceneSafely(Stage(), path.toStdString()); });
  } catch (const std::exception& e) {
    QMessageBox::critical(this, tr("Save Scene"), Text(e.what()));
    return false;
  }
  Recovery_->Discard(Path_);
  Path_ = QFileInfo(path).absoluteFilePath();
  Modified_ = false;
  AddRecent(Path_);
  UpdateTitle();
  statusBar()->showMessage(tr("Saved %1").arg(Path_), 5000);
  return true;
}

bool TMainWindow::Save() {
  if (!Path_.isEmpty()) return SaveScene(Path_);
  const QString path = QFileDialog::getSaveFileName(this, tr("Save Scene As"), QString(), tr("Scene files (*.json)"));
  return !path.isEmpty() && SaveScene(path.endsWith(".json", Qt::CaseInsensitive) ? path : path + ".json");
}

bool TMainWindow::MaybeSave() {
  if (!Modified_) return true;
  const auto answer = QMessageBox::question(this, tr("Vantrel Studio"), tr("The scene has changed. Save it?"),
                                            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::Save) return Save();
  Recovery_->Discard(Path_);
  return true;
}

bool TMainWindow::OfferUntitledRecovery() {
  const QString copy = TRecovery::LeftUntitledCopy();
  return !copy.isEmpty() && OfferRecovery(copy);
}

bool TMainWindow::OfferRecovery(const QString& copy) {
  const QFileInfo info(copy);
  const QString scene = Path_.isEmpty() ? tr("an untitled scene") : QFileInfo(Path_).fileName();
  const auto answer = QMessageBox::question(
      this, tr("Recover Scene"),
      tr("The studio stopped before %1 was saved. A recovery copy from %2 was found.\n\nRestore it? "
         "(No keeps the copy until the scene is saved.)")
          .arg(scene, QLocale().toString(info.lastModified(), QLocale::ShortFormat)),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  if (answer != QMessageBox::Yes) return false;
  TStage& stage = Stage();
  try {
    TBusy busy;
    LoadSceneFile(stage, copy.toStdString());
  } catch (const std::exception& e) {
    QMessageBox::critical(this, tr("Recover Scene"), Text(e.what()));
    return false;
  }
  View_->SceneCamera = stage.View.Camera;
  SceneViewWidth_ = stage.View.Width;
  SceneViewHeight_ = stage.View.Height;
  Recovery_->Adopt(copy);
  SceneLoaded();
  Modified_ = true;
  UpdateTitle();
  statusBar()->showMessage(tr("Restored from %1").arg(copy));
  return true;
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  Timeline_->Stop();
  if (MaybeSave()) {
    // Where the docks were (the plug-in's panel among them) is where the next run puts them.
    QSettings().setValue(kDockStateKey, saveState());
    event->accept();
  } else {
    event->ignore();
  }
}

QStringList TMainWindow::RecentFiles() const { return QSettings().value(kRecentKey).toStringList(); }

void TMainWindow::AddRecent(const QString& path) {
  QStringList list = RecentFiles();
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kMaxRecent) list.removeLast();
  QSettings().setValue(kRecentKey, list);
  FillRecentMenu();
}

void TMainWindow::FillRecentMenu() {
  RecentMenu_->clear();
  const QStringList list = RecentFiles();
  for (const QString& path : list)
    RecentMenu_->addAction(path, this, [this, path] {
      if (MaybeSave()) OpenScene(path);
    });
  RecentMenu_->setEnabled(!list.isEmpty());
}

void TMainWindow::UpdateTitle() {
  const QString name = Path_.isEmpty() ? tr("Untitled") : QFileInfo(Path_).fileName();
  setWindowTitle(QString("%1%2 - Vantrel Studio").arg(name, Modified_ ? "*" : ""));
}

void TMainWindow::SceneEdited() {
  Modified_ = true;
  UpdateTitle();
  Transform_->ShowSelection();
  View_->Refresh();
}

void TMainWindow::SelectionChanged() {
  Transform_->ShowSelection();
  std::vector<float> keys;
  if (TNode* n = Stage().Scene.Selected())
    for (const TChannel* c : {&n->Position, &n->Rotation, &n->Scale})
      for (const TKey& k : c->Keys()) keys.push_back(k.Frame);
  Timeline_->SetKeys(keys);
  View_->Refresh();
}

void TMainWindow::GoToFrame(int frame) {
  Timeline_->SetFrame(frame);
  Stage().Scene.SetTime(static_cast<float>(frame));
  Transform_->ShowSelection();
  View_->Refresh();
}

// ---- Scene edits

void TMainWindow::AddPrimitive(int primitive) {
  TMeshSource source;
  source.Kind = static_cast<TPrimitive>(primitive);
  static const char* const names[] = {"Plane", "Box", "Sphere", "Grid"};
  if (source.Kind == TPrimitive::Plane || source.Kind == TPrimitive::Grid) source.Size = {4, 4, 1};
  TNode& node = Stage().Scene.AddPrimitive(names[primitive], source);
  Stage().Scene.Select(&node);
  Outliner_->Rebuild();
  SceneEdited();
  SelectionChanged();
}

bool TMainWindow::ImportObj(const QString& path) {
  TMeshSource source;
  source.Kind = TPrimitive::ObjFile;
  source.ObjPath = QFileInfo(path).absoluteFilePath().toStdString();
  try {
    TBusy busy;
    TPolyhedron mesh = BuildMesh(source, {});
    TNode& node = Stage().Scene.AddPolyhedron(QFileInfo(path).completeBaseName().toStdString(), std::move(mesh), nullptr, source);
    Stage().Scene.Select(&node);
  } catch (const std::exception& e) {
    QMessageBox::critical(this, tr("Import OBJ"), Text(e.what()));
    return false;
  }
  Outliner_->Rebuild();
  SceneEdited();
  SelectionChanged();
  return true;
}

// ---- Rendering

void TMainWindow::WithSceneView(const std::function<void()>& f) {
  TStage& stage = Stage();
  const TCamera camera = stage.View.Camera;
  const int32_t w = stage.View.Width, h = stage.View.Height;
  stage.View.Camera = View_->SceneCamera;
  stage.View.Width = SceneViewWidth_;
  stage.View.Height = SceneViewHeight_;
  View_->SetStageViewLent(true);
  struct TRestore {
    TStage& Stage;
    TStudioView& View;
    TCamera Camera;
    int32_t W, H;
    ~TRestore() {
      Stage.View.Camera = Camera;
      Stage.View.Width = W;
      Stage.View.Height = H;
      View.SetStageViewLent(false);
    }
  } restore{stage, *View_, camera, w, h};
  f();
}

bool TMainWindow::RenderFrame() {
  TStage& stage = Stage();
  Timeline_->Stop();
  const float frame = stage.Scene.Time();
  Render_->show();
  Render_->raise();
  TStudioRenderReport report;
  {
    TBusy busy;
    WithSceneView([&] { report = RenderStudioFrame(frame, *Render_); });
  }
  // The render moved the host's time along; the view shows the frame it showed before.
  stage.Scene.SetTime(frame);
  if (!report.Status.isEmpty()) statusBar()->showMessage(report.Status);
  if (!report.Failure.isEmpty()) QMessageBox::critical(this, tr("Render Frame"), report.Failure);
  View_->Refresh();
  return report.Run.Succeeded();
}

int TMainWindow::RenderAnimation(const TAnimationRequest& request) {
  TStage& stage = Stage();
  Timeline_->Stop();
  std::optional<cli::TOutputPattern> pattern;
  try {
    pattern.emplace(Path_.isEmpty() ? std::filesystem::path("untitled.json") : std::filesystem::path(Path_.toStdString()),
                    request.Pattern.toStdString(), std::nullopt);
  } catch (const std::exception& e) {
    QMessageBox::critical(this, tr("Render Animation"), Text(e.what()));
    return 0;
  }
  if (request.Last < request.First) {
    QMessageBox::critical(this, tr("Render Animation"), tr("The last frame lies before the first."));
    return 0;
  }
  const float before = stage.Scene.Time();
  const int count = request.Last - request.First + 1;
  QProgressDialog progress(tr("Rendering..."), tr("Cancel"), 0, count, this);
  progress.setObjectName("renderProgress");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.setAutoReset(false);
  progress.setAutoClose(false);
  connect(&progress, &QProgressDialog::canceled, this, [] { Stage().Interrupt = true; });
  Progress_ = &progress;
  Render_->show();
  const bool several = count > 1;
  TStudioRenderReport report;
  WithSceneView([&] {
    report = RenderStudioAnimation(
        request.First, request.Last,
        [&](double frame) { return pattern->FramePath(static_cast<long long>(std::floor(frame)), several); },
        pattern->Format(), *Render_, progress);
  });
  Progress_ = nullptr;
  progress.close();
  stage.Interrupt = false;  // closing the dialog counts as its Cancel; the next render starts clear
  stage.Scene.SetTime(before);
  if (!report.Failure.isEmpty()) QMessageBox::critical(this, tr("Render Animation"), report.Failure);
  statusBar()->showMessage(report.Status);
  View_->Refresh();
  return static_cast<int>(report.Run.Times.Frames);
}

void TMainWindow::RenderAnimationDialog() {
  QDialog dialog(this);
  dialog.setWindowTitle(tr("Render Animation"));
  auto* form = new QFormLayout(&dialog);
  auto* first = new QSpinBox(&dialog);
  auto* last = new QSpinBox(&dialog);
  for (QSpinBox* s : {first, last}) s->setRange(-100000, 100000);
  first->setValue(static_cast<int>(std::floor(Stage().Render.FirstFrame)));
  last->setValue(static_cast<int>(std::floor(Stage().Render.LastFrame)));
  const QString scene = Path_.isEmpty() ? QString("untitled") : QFileInfo(Path_).completeBaseName() == "scene"
                                                                    ? QFileInfo(Path_).dir().dirName()
                                                                    : QFileInfo(Path_).completeBaseName();
  auto* out = new QLineEdit(QString("out/%1/####.png").arg(scene), &dialog);
  form->addRow(tr("First frame"), first);
  form->addRow(tr("Last frame"), last);
  form->addRow(tr("Output ('#' for the frame number)"), out);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return;
  RenderAnimation({first->value(), last->value(), out->text()});
}

void TMainWindow::ShowGuide() {
  std::filesystem::path guide;
  try {
    guide = cli::ExecutableFolder() / "Vantrel" / "VNTX.hlp";
  } catch (const std::exception&) {
  }
  QFile file(QString::fromStdString(guide.string()));
  if (!file.open(QIODevice::ReadOnly)) {
    QMessageBox::warning(this, tr("User Guide"), tr("The user guide %1 cannot be read.").arg(file.fileName()));
    return;
  }
  auto* browser = new QTextBrowser;
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setWindowTitle(tr("Vantrel User Guide"));
  browser->setMarkdown(QString::fromUtf8(file.readAll()));
  browser->resize(800, 700);
  browser->show();
}

}  // namespace stage::studio
