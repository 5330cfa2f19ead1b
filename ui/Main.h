// The main panel's controller: the single particle renderer, the emitter manager and the
// toolbox, the switches that steer final rendering ("Enable Rendering", "Depth Dithering",
// "Soft Intersections", "Show Rendering (Slow)") and the scene's copy of them, the status texts and progress rows of the main panel and the
// shuttle, the final-render pass, and the actions that create emitters and tools. Toolkit-free:
// a view or a command-line host reads its state. The host binding supplies the services below
// through the hooks (object creation, shader registration).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "hostapi/TsxApi5.h"
#include "render/Render.h"
#include "scene/ToolObj.h"
#include "ui/EmitterMan.h"
#include "ui/Toolbox.h"

struct TProgressRow {
  int Position = 0;  // 0 to 100
  std::string Caption;
};

class TMain {
 public:
  // Creation: clears floating-point flags, installs the texture-locating handler and the
  // renderer as the program's.
  TMain();
  // Withdraws the renderer and the locating handler.
  ~TMain();
  TMain(const TMain&) = delete;
  TMain& operator=(const TMain&) = delete;

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
  bool PreviewRunning = false;
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

  // ---- Actions.
  void EnableRenderingAction();
  void DepthDitheringAction();
  // "Soft Intersections": flips the switch; the distance is kept while it is off.
  void SoftIntersectionsAction();
  // The distance of "Soft Intersections" in scene units; throws EVantrelError unless it is a
  // finite number above 0.
  void SetSoftDistance(float distance);
  void ShowRenderingAction();

  // ---- The render switches as the scene keeps them: "enableRendering=1 depthDithering=0
  // softIntersections=0 softDistance=1", pairs separated by spaces. Applying sets the switches a
  // text names (the others keep their state; unknown keys are ignored) and switches rendering
  // through the host as its action does; a value that is not one of the key's values throws
  // EVantrelError naming the key, after the valid pairs before it took effect.
  std::string RenderSettingsText() const;
  void ApplyRenderSettings(const std::string& text);
  // The plug-in's button: the first click turns rendering on. Answers 0.
  int32_t LeftClick();
  // "New Emitter": a new emitter object with one slot, bound to a new scene object; a refused
  // scene object (the host beeps) creates nothing. Answers the new emitter or null.
  TEmitterObject* NewEmitter();
  // The six "New …" tool actions: the tool is listed even when the host refused its scene
  // object (it then has none). Answers the new tool.
  TToolObject& NewTool(TToolKind kind);

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
};
