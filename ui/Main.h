// The main panel's controller: the single particle renderer, the emitter manager and the
// toolbox, the switches that steer final rendering ("Enable Rendering", "Depth Dithering",
// "Show Rendering (Slow)"), the status texts and progress rows of the main panel and the
// shuttle, the final-render pass, and the actions that create emitters and tools. Toolkit-free:
// a view or a command-line host reads its state. The host binding supplies the services below
// through the hooks (object creation, shader registration).
#pragma once

#include <cstdint>
#include <functional>
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

  // ---- Plain state a view or a host reads.
  bool EnableRendering = false;
  bool DepthDithering = false;
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
  void ShowRenderingAction();
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
};
