// The main panel's controller: rendering switches, the final-render pass and creation actions.
#include "ui/Main.h"

#include <chrono>
#include <exception>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "render/ParticleSubmit.h"

TMain::TMain() {
  ClearFpuExceptions();
  BitmapCache().LocateHandler = &LocateTexture;
  InstallRenderer(&Renderer);
  Renderer.DrawMode = DrawWireBoxes;
}

TMain::~TMain() {
  if (::Renderer() == &Renderer) InstallRenderer(nullptr);
  BitmapCache().LocateHandler = nullptr;
}

void TMain::StatusChanged() {
  if (OnStatusChanged) OnStatusChanged();
}

void TMain::EnableRenderingAction() {
  const bool wanted = !EnableRendering;
  EnableRendering = SwitchPostProcess ? SwitchPostProcess(wanted) : false;
}

void TMain::DepthDitheringAction() {
  DepthDithering = !DepthDithering;
  Renderer.DepthDithering = DepthDithering;
}

void TMain::ShowRenderingAction() {
  ShowRendering = !ShowRendering;
  Renderer.ShowRendering = ShowRendering;
}

int32_t TMain::LeftClick() {
  if (FirstClick) {
    FirstClick = false;
    EnableRenderingAction();
  }
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
  try {
    RandomSeed = RunSeed;
    Renderer.OnProgress = [this](int percent) { ReportRenderProgress(percent); };
    Renderer.ForgetReportedImages();
    Emitters.RenderBegin();
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
  ClearFpuExceptions();
}

void TMain::PostProcess(const tssPostProcessData& postData) {
  PreviewRunning = false;
  const float hostTime = tsxAnimGetActiveTime();
  const uint32_t start = Platform().TickCount();
  try {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    Renderer.BeginRender(postData);
    Emitters.RenderFrame([this](TParticleSystem& system) { SubmitParticles(system, Renderer); });
    const auto t1 = Clock::now();
    Renderer.RenderAll();
    Renderer.DisplayAll();
    LastPassTimes = {std::chrono::duration<double>(t1 - t0).count(),
                     std::chrono::duration<double>(Clock::now() - t1).count()};
    ClearFpuExceptions();
    const uint32_t elapsed = Platform().TickCount() - start;
    const int minutes = static_cast<int>(elapsed / 60000u);
    const int seconds = static_cast<int>((elapsed / 1000u) % 60u);
    StatusText = Format(" Rendered %d particles in %.2d:%.2d", Renderer.RenderedCount(), minutes, seconds);
    ShuttleStatusText = Format(" %d parts in %.2d:%.2d", Renderer.RenderedCount(), minutes, seconds);
  } catch (const std::exception& e) {
    ClearFpuExceptions();
    StatusText = ShuttleStatusText = "";
    Platform().ShowMessage(e.what());
    // What was composited before the failure is in the image; the host shows it.
    try {
      Renderer.DisplayAll();
    } catch (...) {
    }
    ClearFpuExceptions();
  }
  MainProgress = {};
  ShuttleProgress = {};
  Platform().SetStatusText(StatusText);
  StatusChanged();
  tsxAnimSetActiveTimeScene(hostTime);
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
