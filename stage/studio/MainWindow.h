// The studio's main window: the active view in the middle, the outliner and the transform panel
// docked at the side, the timeline at the bottom, the plug-in's button on the toolbar, and the
// File, Create, View, Render and Help menus. It owns the document (the scene file's path and
// whether the scene changed since it was saved) and wires the stage's hooks to its widgets.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <filesystem>
#include <functional>

#include "stage/View.h"

class QToolButton;
class QMenu;
class QProgressDialog;

namespace stage::studio {

class TStudioView;
class TOutliner;
class TTransformPanel;
class TTimeline;
class TRenderWindow;
class TRecovery;

// The plug-in's exports the studio calls after start-up; all null when no plug-in is loaded.
struct TPluginExports {
  int (*OnLeftClick)() = nullptr;
  void (*OnRightClick)() = nullptr;
  void (*OnDeactivate)() = nullptr;
  QString Title;
};

// What Render Animation asks for.
struct TAnimationRequest {
  int First = 0, Last = 0;
  QString Pattern;  // '#' runs stand for the frame number
};

class TMainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Makes the window and points the stage's windows and hooks at it; the plug-in comes after
  // (it may look for the host's windows while it starts up).
  explicit TMainWindow(QWidget* parent = nullptr);
  // Unhooks the stage.
  ~TMainWindow() override;
  // The loaded plug-in's exports: the toolbar gets its button.
  void SetPlugin(TPluginExports plugin);

  // ---- Documents. Each reports a failure in a message box and answers false; the scene is
  // then as it was.
  void NewScene();
  bool OpenScene(const QString& path);
  bool SaveScene(const QString& path);
  bool Save();             // to the document's file, or Save As when it has none
  const QString& DocumentPath() const { return Path_; }
  bool Modified() const { return Modified_; }
  QStringList RecentFiles() const;
  // Asks to save a modified scene; false when the user cancels. Discarding the changes removes
  // the scene's recovery copy.
  bool MaybeSave();
  // Offers the recovery copy an untitled scene's studio left when it stopped before saving;
  // true when it was restored. Opening a scene offers that scene's copy likewise.
  bool OfferUntitledRecovery();
  TRecovery* Recovery() const { return Recovery_; }

  // ---- Scene edits of the Create menu.
  void AddPrimitive(int primitive);  // stage::TPrimitive without ObjFile
  bool ImportObj(const QString& path);

  // ---- Rendering, through the stage's render pipeline as `vantrel render` renders: render
  // init and begin at the first frame, the host's image, the post-process shader, render end;
  // the files written as the command line writes them; a message of the plug-in fails the run.
  // Renders the current frame into the render window; false (with a message) on failure.
  bool RenderFrame();
  // Renders frames First..Last into files, with a progress dialog whose Cancel reaches the
  // plug-in through tsxRenderCheckInterrupt. Answers the frames written; a cancel or a failure
  // stops early (a failure with a message, which names what the plug-in reported).
  int RenderAnimation(const TAnimationRequest& request);
  // The progress dialog of the animation render running now, or null.
  QProgressDialog* Progress() const { return Progress_; }

  // ---- The plug-in.
  void PluginLeftClick();
  void PluginRightClick();

  // Frame changes from the timeline: sets the host's time and refreshes.
  void GoToFrame(int frame);

  TStudioView* View() const { return View_; }
  TOutliner* Outliner() const { return Outliner_; }
  TTransformPanel* TransformPanel() const { return Transform_; }
  TTimeline* Timeline() const { return Timeline_; }
  TRenderWindow* RenderWindow() const { return Render_; }
  QToolButton* PluginButton() const { return PluginButton_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void SceneLoaded();
  void SceneEdited();
  void SelectionChanged();
  void UpdateTitle();
  void AddRecent(const QString& path);
  void FillRecentMenu();
  void ShowGuide();
  void RenderAnimationDialog();
  // Runs f with the stage's view set to the scene's camera and stored drawport (renders and
  // saves use the scene's view, not the one the user navigates), then restores it.
  void WithSceneView(const std::function<void()>& f);
  // Asks whether to restore the scene from a recovery copy and does so: the document keeps its
  // path and has unsaved changes. True when restored.
  bool OfferRecovery(const QString& copy);

  TPluginExports Plugin_;
  TStudioView* View_;
  TOutliner* Outliner_;
  TTransformPanel* Transform_;
  TTimeline* Timeline_;
  TRenderWindow* Render_;
  TRecovery* Recovery_;
  QToolButton* PluginButton_ = nullptr;
  QMenu* RecentMenu_ = nullptr;
  QProgressDialog* Progress_ = nullptr;
  QString Path_;
  bool Modified_ = false;
  bool PluginClicked_ = false;  // the plug-in's button has had its first click
  // The scene's stored drawport size (its camera lives in the view).
  int32_t SceneViewWidth_ = 640, SceneViewHeight_ = 480;
};

}  // namespace stage::studio
