// The main panel's controller. It owns the single particle renderer and the parts the panel
// shows, each a unit of its own: the emitter manager and the toolbox, the render switches
// (ui/RenderSwitches.h), the final-render pass (ui/FinalRenderPass.h), the panels' edit layer
// and the curve and image maps editors. Itself it holds what the panel and the shuttle show (status texts,
// progress rows), the preview's animation driver (ui/Animate.cpp) with the Play protocol, and
// the actions that create emitters and tools. Toolkit-free: a view or a command-line host reads
// its state. The host binding supplies the services below through the hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "hostapi/DrawSurface.h"
#include "engine/WorkerPool.h"
#include "hostapi/TsxApi5.h"
#include "render/Render.h"
#include "scene/ToolObj.h"
#include "ui/CurveEdit.h"
#include "ui/EditHistory.h"
#include "ui/EmitterMan.h"
#include "ui/FinalRenderPass.h"
#include "ui/ImageMapsEdit.h"
#include "ui/MainPanel.h"
#include "ui/RenderSwitches.h"
#include "ui/SceneObjects.h"
#include "ui/SystemProps.h"
#include "ui/ToolProperties.h"
#include "ui/Toolbox.h"
#include "ui/ToolboxControl.h"
#include "ui/TimelineParticles.h"

// Its view, when there is one, is a TMainPanelView attached through the controller's seam
// (ui/MainPanel.h); the hooks On… below serve programs that watch the controller in-process.
class TMain : public TMainPanelController {
 public:
  // Creation: clears floating-point flags, installs the texture-locating handler and the
  // renderer as the program's.
  TMain();
  // Withdraws the renderer and the locating handler; an attached view is told the controller
  // is gone.
  ~TMain() override;
  TMain(const TMain&) = delete;
  TMain& operator=(const TMain&) = delete;

  // The threads that stepping, compositing and the preview's drawing share: VANTREL_THREADS of
  // them, else every core. Declared first, so that it outlives everything that uses it.
  TWorkerPool Workers;
  TParticleRenderer Renderer;
  TEmitterMan Emitters;
  TToolbox Toolbox;
  // The panels' edit layer: references resolved on every use, the undo history, and the panels
  // that edit through them.
  TSceneObjects Objects{Emitters, Toolbox};
  TEditHistory History{Objects};
  TCurveEdit Curves{Objects, History};
  TImageMapsEdit Maps{Objects, History};
  TSystemProps Properties{*this};
  // The "Tools" page: the tool properties panel (with its own curve editor) and the toolbox.
  TToolProperties ToolProps{Objects, History};
  TToolboxControl ToolboxControl{Toolbox, History, ToolProps};
  TRenderSwitches Switches{Renderer};
  TFinalRenderPass FinalRender{Emitters, Renderer};
  // The particles the host's view shows at the timeline's frame, and the frames kept for it.
  TTimelineParticles Timeline{Emitters, Renderer};

  // ---- Services of the host binding. Unset hooks act as a host that refuses.
  // A new scene object of the emitter type, or null.
  std::function<tsxSOBJ*()> CreateEmitterObject;
  // A new scene object of a tool kind's type, or null.
  std::function<tsxSOBJ*(TToolKind)> CreateToolObject;
  // Tells the host that the plug-in changed the scene (objects added or removed, settings
  // edited), so that it can mark the scene modified. Unset: the host is not told.
  std::function<void()> NotifyHost;

  // The plug-in changed the scene: the host hears of it and every view shows it.
  void SceneChanged();
  // The host's selection changed to sceneObject (null: nothing selected): the emitter manager's
  // tree and the toolbox's rows follow it (TEmitterMan::HostSelected,
  // TToolboxControl::HostSelected), and the panel's view brings the page of an emitter or a tool
  // to the front. Nothing is written and the host is asked nothing.
  void HostSelectionChanged(tsxSOBJ* sceneObject);

  // ---- Plain state a view or a host reads.
  bool FirstClick = true;
  std::string StatusText;         // the main panel's status line
  std::string ShuttleStatusText;  // the shuttle's
  TProgressRow MainProgress;
  TProgressRow ShuttleProgress;
  // Called when a status text or a progress row changed, so that a view can redraw.
  std::function<void()> OnStatusChanged;

  // ---- The preview's state (the animation driver's and the Play buttons').
  // A run is under way; Stop, a final render and the driver clear it.
  bool PreviewRunning = false;
  // Set by any Rewind button: the run ends at its next check and a new one starts.
  bool RewindRequested = false;
  double PreviewFrame = 0;       // the scene frame the preview is at
  float StartFrame = 0;          // the host's frame when the current run started
  // Both Play buttons show "Stop" in the Stop colours, from StartAnimateAction to
  // StopAnimateAction; "Play" in the Play colours otherwise.
  bool PlayShowsStop = false;
  bool AnimateObjects = false;   // "Animate Objects": the run carries the host's time along
  bool CueCardsVisible = true;
  int32_t ParticlesDrawn = 0;    // in the last drawing pass
  int32_t FramesSinceReport = 0;
  uint32_t ReportTick = 0;
  // The help file "Topics && Contents" opens; the host binding sets it.
  std::string HelpFile;
  // Called when PlayShowsStop changed.
  std::function<void()> OnPreviewChanged;
  // Called with the new visibility when "Toggle Cue Cards" ran.
  std::function<void(bool visible)> OnCueCardsChanged;
  // The plug-in's button asks for the panel: a view shows the main panel, or restores the
  // shuttle when that is the one shown.
  std::function<void()> OnShowPanel;

  // ---- The render switches' entries (Switches does the work).
  void EnableRenderingAction() override { Switches.EnableRenderingAction(); }
  void DepthDitheringAction() override { Switches.DepthDitheringAction(); }
  void ShowRenderingAction() override { Switches.ShowRenderingAction(); }
  // A scene was loaded: the panel takes the switches it keeps, and the undo history starts anew.
  void SceneLoaded();
  // The plug-in's button: the first click turns rendering on (where a loaded scene has not done
  // so already); every click asks the view to show the panel (OnShowPanel). Answers 0.
  int32_t LeftClick();

  // ---- Preview actions (ui/Animate.cpp).
  // Play on the main panel or the shuttle. While a run is under way it only clears
  // PreviewRunning and a Rewind the run has not seen yet (the run ends at its next check and
  // does not start again). Otherwise it runs the preview until Stop,
  // Escape, the host's abort or a final render, starting again after every Rewind; the host
  // thread is held meanwhile, events being handled at the driver's checks. A failure ends the
  // run and is shown to the user.
  void PlayClicked() override;
  void RewindClicked() override { RewindRequested = true; }
  // Records the host's frame, sets PreviewRunning, shows Stop on both buttons.
  void StartAnimateAction();
  // Clears PreviewRunning and a pending Rewind, shows Play on both buttons and, with "Animate
  // Objects", puts the host back on the start frame. Called during a run (a panel closing), it
  // ends the run at its next check for good.
  void StopAnimateAction() override;
  // The draw-mode box: 0 " Dots" … 4 " Solid Circles"; other indexes are ignored.
  void SetDrawMode(int index) override;
  int DrawMode() const { return Renderer.DrawMode; }
  void AnimateObjectsAction() override { AnimateObjects = !AnimateObjects; }
  void WireframeAlphaHintsAction() override { Renderer.WireframeAlphaHints = !Renderer.WireframeAlphaHints; }
  bool WireframeAlphaHints() const { return Renderer.WireframeAlphaHints; }
  void ToggleCuesAction() override;
  // "Topics && Contents": the help file's contents in the platform's help viewer; a platform
  // that cannot show it says so.
  void HelpTopicsAction() override;

  // ---- The animation driver (ui/Animate.cpp).
  // Rewind requested, Escape down, or the host's abort check, in that order; handles waiting
  // events first.
  bool AbortRequested();
  // One run, entered with PreviewRunning set; returns when it ends. Needs the view's drawing
  // surface: without one it returns at once.
  void RunPreview();
  // The passes of one preview frame, public for benchmarks. The stepping pass brings every
  // enabled emitter object to PreviewFrame; the drawing pass draws every visible particle into
  // canvas and answers how many it drew; the end of a frame notifies the panels, advances
  // PreviewFrame, caps the rate (unless capRate is false) and reports every 31 frames.
  void StepPreviewFrame();
  int32_t DrawPreviewFrame(TDrawSurface& canvas);
  void EndPreviewFrame(bool capRate = true);
  // Frames per second since the last report, 0 when no time has passed.
  double RateSinceReport();
  // "New Emitter": a new emitter object with one slot, bound to a new scene object; a refused
  // scene object (the host beeps) creates nothing. Answers the new emitter or null.
  TEmitterObject* NewEmitter();
  // The six "New …" tool actions: the tool is listed even when the host refused its scene
  // object (it then has none). Answers the new tool.
  TToolObject& NewTool(TToolKind kind);

  // ---- The view's seam (ui/MainPanel.h). The menu actions show a failure to the user.
  TMainPanelState PanelState() const override;
  void AttachView(TMainPanelView* view) override { View_ = view; }
  TMainPanelView* View() const { return View_; }
  // The emitter manager's actions (Emitters.RunAction), a failure shown to the user.
  void EmitterAction(TEmitterAction action);
  void NewEmitterAction() override { EmitterAction(TEmitterAction::NewEmitter); }
  void DeleteEmitterAction() override { EmitterAction(TEmitterAction::DeleteEmitter); }
  void AddSystemAction() override { EmitterAction(TEmitterAction::AddSystem); }
  void DeleteSystemAction() override { EmitterAction(TEmitterAction::DeleteSystem); }
  void DuplicateSystemAction() override { EmitterAction(TEmitterAction::DuplicateSystem); }
  void LoadEmitterSettingsAction() override { EmitterAction(TEmitterAction::LoadEmitterSettings); }
  void NewToolAction(TToolKind kind) override;
  void UndoAction() override;
  void RedoAction() override;
  TCurveEditorController& CurveEditor() override { return Curves; }
  TImageMapsController& ImageMaps() override { return Maps; }
  TEmitterManagerController& EmitterManager() override { return Emitters; }
  TSystemPropsController& SystemProperties() override { return Properties; }
  TToolboxController& ToolboxPanel() override { return ToolboxControl; }
  TToolPropsController& ToolProperties() override { return ToolProps; }

  // ---- The host's render events, through the final-render pass.
  // Render begin: takes the switches the scene keeps, then reseeds, installs the progress
  // reporter and rewinds every emitter. A failure is shown to the user.
  void RenderBegin();
  // One rendered frame (ends a preview under way): every emitter object steps to the host's
  // frame and its particles are composited into the image; the status lines say how many. A
  // failure (an image that cannot be decoded) is shown to the user.
  void PostProcess(const tssPostProcessData& postData);
  // The render ended (finished, aborted or failed): the timeline's particles show again.
  void RenderEnded() { Timeline.RenderEnded(); }
  // The host drew its active view again: the particles of the host's frame are drawn into it, as
  // a render of that frame has them (not while the preview runs: it draws its own).
  void ViewDrawn();
  // Moves both progress rows at every 5 percent.
  void ReportRenderProgress(int percent);

 private:
  void StatusChanged();
  // The list, the selection or an object changed: every view shows it (the host is not told).
  void ViewsChanged();
  // An emitter selected alone shows its Visibility curve in the shared curve editor; a curve of
  // an emitter no longer selected alone leaves it (the system properties show their own).
  void ShowCurrentCurve();
  // Takes the switches the scene keeps, if any.
  void ApplySceneSettings();
  void PreviewChanged();
  void SetStatus(const std::string& text);
  bool AcquireView();
  void ReleaseView();
  // Both answer false when the catch-up was aborted (Stop, Escape, Rewind, the host's abort).
  bool PrepareRun();
  bool CatchUp(size_t emitterIndex, size_t slotIndex);

  std::string ThreadsProblem_;  // a VANTREL_THREADS that could not be used, shown at render begin
  void* ViewWindow_ = nullptr;          // the window ViewCanvas_ was acquired on
  TDrawSurface* ViewCanvas_ = nullptr;  // the platform's; held during a run
  bool InPlay_ = false;                 // inside PlayClicked's loop
  TMainPanelView* View_ = nullptr;      // not owned
  std::optional<TCurveRef> PageCurve_;  // the Visibility curve shown, if any
};
