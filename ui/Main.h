// The main panel's controller: the single particle renderer, the emitter manager and the
// toolbox, the switches that steer final rendering ("Enable Rendering", "Depth Dithering",
// "Soft Intersections", "Show Rendering (Slow)") and the scene's copy of them, the preview
// ("Animate Objects", "Wireframe Alpha Hints", the draw mode), the status texts and progress rows
// of the main panel and the shuttle, the final-render pass, the preview's animation driver
// (ui/Animate.cpp), and the actions that create emitters and tools. Toolkit-free: a view or a
// command-line host reads its state. The host binding supplies the services below through the
// hooks (object creation, shader registration).
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
#include "ui/EmitterMan.h"
#include "ui/MainPanel.h"
#include "ui/Toolbox.h"

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

  // ---- Services of the host binding. Unset hooks act as a host that refuses.
  // A new scene object of the emitter type, or null.
  std::function<tsxSOBJ*()> CreateEmitterObject;
  // A new scene object of a tool kind's type, or null.
  std::function<tsxSOBJ*(TToolKind)> CreateToolObject;
  // Switches the post-process shader's registration and answers the state it ends in.
  std::function<bool(bool)> SwitchPostProcess;
  // The render switches the scene keeps (RenderSettingsText): read from the host at render
  // begin (nothing when the scene holds none), written to it whenever a switch changes. Unset:
  // the host keeps none.
  std::function<std::optional<std::string>()> ReadSceneSettings;
  std::function<void(const std::string&)> WriteSceneSettings;

  // ---- Plain state a view or a host reads.
  bool EnableRendering = false;
  bool DepthDithering = false;
  bool SoftIntersections = false;
  float SoftDistance = 1;         // scene units, above 0
  bool ShowRendering = false;
  bool FirstClick = true;
  std::string StatusText;         // the main panel's status line
  std::string ShuttleStatusText;  // the shuttle's
  TProgressRow MainProgress;
  TProgressRow ShuttleProgress;
  // Seconds the last pass spent bringing the systems to the frame and handing their particles
  // over (Stepping), and compositing and showing them (Compositing); for benchmarks.
  struct TPassTimes {
    double Stepping = 0;
    double Compositing = 0;
  } LastPassTimes;
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

  // ---- Actions.
  void EnableRenderingAction() override;
  void DepthDitheringAction() override;
  // "Soft Intersections": flips the switch; the distance is kept while it is off.
  void SoftIntersectionsAction();
  // The distance of "Soft Intersections" in scene units; throws EVantrelError unless it is a
  // finite number above 0.
  void SetSoftDistance(float distance);
  void ShowRenderingAction() override;

  // ---- The render switches as the scene keeps them: "enableRendering=1 depthDithering=0
  // softIntersections=0 softDistance=1", pairs separated by spaces. Applying sets the switches a
  // text names (the others keep their state; unknown keys are ignored) and switches rendering
  // through the host as its action does; a value that is not one of the key's values throws
  // EVantrelError naming the key, after the valid pairs before it took effect.
  std::string RenderSettingsText() const;
  void ApplyRenderSettings(const std::string& text);
  // The plug-in's button: the first click turns rendering on; every click asks the view to
  // show the panel (OnShowPanel). Answers 0.
  int32_t LeftClick();

  // ---- Preview actions (ui/Animate.cpp).
  // Play on the main panel or the shuttle. While a run is under way it only clears
  // PreviewRunning (the run ends at its next check). Otherwise it runs the preview until Stop,
  // Escape, the host's abort or a final render, starting again after every Rewind; the host
  // thread is held meanwhile, events being handled at the driver's checks. A failure ends the
  // run and is shown to the user.
  void PlayClicked() override;
  void RewindClicked() override { RewindRequested = true; }
  // Records the host's frame, sets PreviewRunning, shows Stop on both buttons.
  void StartAnimateAction();
  // Clears PreviewRunning, shows Play on both buttons and, with "Animate Objects", puts the host
  // back on the start frame.
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
  void NewEmitterAction() override;
  void DeleteEmitterAction() override;
  void AddSystemAction() override;
  void DeleteSystemAction() override;
  void DuplicateSystemAction() override;
  void LoadEmitterSettingsAction() override;
  void NewToolAction(TToolKind kind) override;

  // ---- The final-render pass.
  // The host's render-begin: reseeds, installs the progress reporter, rewinds every emitter.
  // A failure is shown to the user.
  void RenderBegin();
  // One rendered frame: every emitter object steps to the host's frame and its particles are
  // composited into the image. A failure (an image that cannot be decoded) is shown to the
  // user; the host's time is restored in every case.
  void PostProcess(const tssPostProcessData& postData);
  // Moves both progress rows at every 5 percent.
  void ReportRenderProgress(int percent);

 private:
  void StatusChanged();
  void SceneSettingsChanged();
  void PreviewChanged();
  void SetStatus(const std::string& text);
  bool AcquireView();
  void ReleaseView();
  void PrepareRun();
  void CatchUp(size_t emitterIndex, size_t slotIndex);

  std::string ThreadsProblem_;  // a VANTREL_THREADS that could not be used, shown at render begin
  void* ViewWindow_ = nullptr;          // the window ViewCanvas_ was acquired on
  TDrawSurface* ViewCanvas_ = nullptr;  // the platform's; held during a run
  bool InPlay_ = false;                 // inside PlayClicked's loop
  TMainPanelView* View_ = nullptr;      // not owned
};
