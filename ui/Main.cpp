// The main panel's controller: rendering switches, the final-render pass and creation actions.
#include "ui/Main.h"

#include "ui/ShowFailure.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "engine/Errors.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"

namespace {

// A menu action of the view.
template <typename F>
void Guarded(F&& action) {
  ShowFailure(std::forward<F>(action));
}

}  // namespace

TMain::TMain() {
  ClearFpuExceptions();
  BitmapCache().LocateHandler = &LocateTexture;
  InstallRenderer(&Renderer);
  Renderer.DrawMode = DrawWireBoxes;

  // The edit layer: a recorded, undone or redone step is a change of the scene; the host's
  // deletions take their objects' steps with them.
  History.OnChanged = [this] { SceneChanged(); };
  FinalRender.OnStepped = [this] { Timeline.RenderStepped(); };
  Emitters.OnDeleting = [this](const TEmitterObject& emitter) {
    History.Forget(emitter.Id);
    for (const auto& slot : emitter.Systems) History.Forget(slot->Id);
  };
  Toolbox.OnDeleting = [this](const TToolObject& tool) { History.Forget(tool.Id); };
  Emitters.OnChanged = [this] { ViewsChanged(); };
  // The emitter manager's edits are steps of the history, each touching its emitter object.
  Emitters.EditStep = [this](const char* name, TObjectId emitter, const std::function<void()>& edit) {
    {
      TEditScope step(History, name, {{TRecordKind::Emitter, emitter}});
      Guarded(edit);
    }
    StatusChanged();
  };
  // The system properties panel shows the system the emitter manager has selected.
  Emitters.ShowSystem = [this](TObjectId slot) { Properties.ShowSystem(slot); };
  Properties.OnSystemShown = [this](TObjectId slot) { Maps.ShowSystem(slot); };
  Emitters.NewEmitterHook = [this] {
    if (NewEmitter()) SceneChanged();
  };
  Emitters.CueCardsVisible = [this] { return CueCardsVisible; };
  Emitters.ToggleCues = [this] { ToggleCuesAction(); };
  Toolbox.OnChanged = [this] { ViewsChanged(); };
  // The tool properties' curve editor follows the preview on curves over frames.
  Toolbox.OnShowFrame = [this](int32_t frame) { ToolProps.MoveMarker(frame); };
  ToolboxControl.OnNewTool = [this](TToolKind kind) { NewToolAction(kind); };
  ToolProps.CueCardsShown = [this] { return CueCardsVisible; };
  ToolProps.OnHideCueCards = [this] {
    if (CueCardsVisible) ToggleCuesAction();
  };
  // The toolbox's "Properties" fold follows the emitter manager's: its header works that fold,
  // and a splitter move there gives it the same height.
  ToolboxControl.EmitterFoldExpanded = [this] { return Emitters.FoldExpanded; };
  ToolboxControl.SetEmitterFoldExpanded = [this](bool expanded) { Emitters.SetFoldExpanded(expanded); };
  Emitters.OnFoldHeight = [this](int height) { ToolboxControl.SetFoldHeight(height); };
  // During a preview the curve page's current-frame line follows the emitter's local frame on
  // curves over frames.
  Emitters.OnShowFrame = [this](float localFrame) {
    const TVarSeries* curve = Curves.Shown() ? Objects.Curve(*Curves.Shown()) : nullptr;
    if (curve && !IsPercentKind(curve->XKind)) Curves.SetMarker(localFrame);
  };
  Workers.SetThreads(WorkerThreadsFromEnvironment(&ThreadsProblem_));
  Renderer.Workers = &Workers;
  Emitters.Workers = &Workers;
}

TMain::~TMain() {
  if (View_) View_->ControllerGone();
  History.OnChanged = nullptr;
  Emitters.OnChanged = Toolbox.OnChanged = nullptr;
  Emitters.EditStep = nullptr;
  Emitters.NewEmitterHook = Emitters.ToggleCues = nullptr;
  Emitters.ShowSystem = nullptr;
  Toolbox.OnShowFrame = nullptr;
  Emitters.OnFoldHeight = nullptr;
  Properties.OnSystemShown = nullptr;
  Emitters.CueCardsVisible = nullptr;
  if (::Renderer() == &Renderer) InstallRenderer(nullptr);
  BitmapCache().LocateHandler = nullptr;
}

void TMain::StatusChanged() {
  if (View_) View_->Refresh();
  if (OnStatusChanged) OnStatusChanged();
}

TMainPanelState TMain::PanelState() const {
  TMainPanelState s;
  s.PlayShowsStop = PlayShowsStop;
  s.StatusText = StatusText;
  s.ShuttleStatusText = ShuttleStatusText;
  s.MainProgress = MainProgress;
  s.ShuttleProgress = ShuttleProgress;
  s.DrawMode = DrawMode();
  s.EnableRendering = Switches.EnableRendering;
  s.DepthDithering = Switches.DepthDithering;
  s.ShowRendering = Switches.ShowRendering;
  s.AnimateObjects = AnimateObjects;
  s.WireframeAlphaHints = WireframeAlphaHints();
  s.CueCardsVisible = CueCardsVisible;
  s.CanLoadEmitterSettings = Emitters.ActionEnabled(TEmitterAction::LoadEmitterSettings);
  s.UndoName = History.UndoName();
  s.RedoName = History.RedoName();
  return s;
}

void TMain::SceneChanged() {
  if (NotifyHost) NotifyHost();
  ViewsChanged();
}

void TMain::HostSelectionChanged(tsxSOBJ* sceneObject) {
  if (!sceneObject) return;
  Emitters.HostSelected(sceneObject);
  ToolboxControl.HostSelected(sceneObject);
  // The panel shows the page of what the user selected: an emitter's or a tool's.
  if (View_ && Emitters.FindEmitter(sceneObject)) View_->ShowPage(TMainPage::Emitters);
  if (View_ && Toolbox.FindTool(sceneObject) >= 0) View_->ShowPage(TMainPage::Tools);
}

void TMain::ViewsChanged() {
  ShowCurrentCurve();
  // The toolbox's refresh: the current tool stays listed and the properties panel shows it.
  ToolboxControl.Refresh();
  Maps.SceneChanged();
  Properties.SceneChanged();
  // The main panel's view shows the emitter manager's too.
  if (View_)
    View_->Refresh();
  else if (Emitters.View())
    Emitters.View()->Changed();
}

void TMain::ShowCurrentCurve() {
  std::optional<TCurveRef> visibility;
  if (const TEmitterObject* e = Emitters.CurrentEmitter; e && !Emitters.CurrentSystem)
    visibility = TCurveRef{TCurveSet::Visibility, e->Id, 0};
  // Only a new selection changes the shown curve; any other change redraws what it shows. A
  // system's curves are the system properties' to show.
  if (visibility != PageCurve_ && (visibility || Curves.Shown() == PageCurve_)) {
    PageCurve_ = visibility;
    Curves.ShowCurve(visibility);
  } else {
    PageCurve_ = visibility;
    Curves.SceneChanged();
  }
}

void TMain::UndoAction() {
  Guarded([this] { History.Undo(); });
  Emitters.ValidateSelection();
  ViewsChanged();
}

void TMain::RedoAction() {
  Guarded([this] { History.Redo(); });
  Emitters.ValidateSelection();
  ViewsChanged();
}


// Creating and deleting scene objects is the host's: those actions are no steps of the history.
void TMain::EmitterAction(TEmitterAction action) {
  Guarded([&] { Emitters.RunAction(action); });
  StatusChanged();
}

void TMain::NewToolAction(TToolKind kind) {
  Guarded([this, kind] {
    NewTool(kind);
    SceneChanged();
  });
  StatusChanged();
}

void TMain::SceneLoaded() {
  // Steps belong to the scene they were made in.
  History.Clear();
  // The scene renders as it would in a host that just started: nothing of the scene before.
  Switches.ResetForScene(!FirstClick);
  if (View_) View_->Refresh();
  ApplySceneSettings();
  StatusChanged();
}

void TMain::ApplySceneSettings() {
  // A damaged text is shown and the rest of the switches keep their state.
  try {
    // The switches the scene keeps may differ from the panel's.
    if (Switches.ApplyScene() && View_) View_->Refresh();
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
}

int32_t TMain::LeftClick() {
  if (FirstClick) {
    FirstClick = false;
    // It turns rendering on; a scene loaded before it may have done so already, and then the
    // click must not turn it off again.
    if (!Switches.EnableRendering) EnableRenderingAction();
  }
  if (View_) View_->ShowPanel();
  if (OnShowPanel) OnShowPanel();
  return 0;
}

TEmitterObject* TMain::NewEmitter() {
  tsxSelectUp();
  Emitters.CurrentSystem = nullptr;
  tsxSOBJ* sceneObject = CreateEmitterObject ? CreateEmitterObject() : nullptr;
  if (!sceneObject) {
    if (!CreateEmitterObject) Platform().Beep();
    return nullptr;
  }
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->AddSystem();
  emitter->SceneObject = sceneObject;
  TEmitterObject& added = Emitters.AddEmitter(std::move(emitter));
  Emitters.Select(&added);
  return &added;
}

TToolObject& TMain::NewTool(TToolKind kind) {
  auto tool = std::make_unique<TToolObject>(kind);
  tsxSOBJ* sceneObject = CreateToolObject ? CreateToolObject(kind) : nullptr;
  if (!CreateToolObject) Platform().Beep();
  if (tool->Modifier()) tool->Modifier()->SceneObject = sceneObject;
  return Toolbox.AddTool(std::move(tool));
}

void TMain::RenderBegin() {
  // The scene's switches first; a damaged text is shown and the render goes on with the rest.
  ApplySceneSettings();
  if (!ThreadsProblem_.empty()) {
    Platform().ShowMessage(ThreadsProblem_);
    ThreadsProblem_.clear();
  }
  Timeline.RenderBegun();
  try {
    FinalRender.Begin([this](int percent) { ReportRenderProgress(percent); });
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
  ClearFpuExceptions();
}

void TMain::ViewDrawn() {
  if (PreviewRunning || PlayShowsStop) return;
  Timeline.ViewDrawn();
}

void TMain::PostProcess(const tssPostProcessData& postData) {
  PreviewRunning = false;
  const TFinalRenderPass::TReport report = FinalRender.Composite(postData);
  if (report.Done) {
    const int minutes = static_cast<int>(report.Milliseconds / 60000u);
    const int seconds = static_cast<int>((report.Milliseconds / 1000u) % 60u);
    StatusText = Format(" Rendered %d particles in %.2d:%.2d", report.Particles, minutes, seconds);
    ShuttleStatusText = Format(" %d parts in %.2d:%.2d", report.Particles, minutes, seconds);
  } else {
    StatusText = ShuttleStatusText = "";
    Platform().ShowMessage(report.Error);
  }
  MainProgress = {};
  ShuttleProgress = {};
  Platform().SetStatusText(StatusText);
  StatusChanged();
  ClearFpuExceptions();
}

void TMain::ReportRenderProgress(int percent) {
  if (percent % 5 != 0) return;
  MainProgress.Position = percent;
  MainProgress.Caption = "Rendering " + std::to_string(percent) + "% Complete";
  ShuttleProgress.Position = percent;
  ShuttleProgress.Caption = std::to_string(percent) + "%";
  StatusChanged();
}
