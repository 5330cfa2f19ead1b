// The main panel's controller: rendering switches, the final-render pass and creation actions.
#include "ui/Main.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
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
  Workers.SetThreads(WorkerThreadsFromEnvironment(&ThreadsProblem_));
  Renderer.Workers = &Workers;
  Emitters.Workers = &Workers;
}

TMain::~TMain() {
  if (View_) View_->ControllerGone();
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
  s.EnableRendering = EnableRendering;
  s.DepthDithering = DepthDithering;
  s.ShowRendering = ShowRendering;
  s.AnimateObjects = AnimateObjects;
  s.WireframeAlphaHints = WireframeAlphaHints();
  s.CueCardsVisible = CueCardsVisible;
  s.CanLoadEmitterSettings = Emitters.CurrentEmitter && !Emitters.CurrentSystem;
  return s;
}

namespace {

// A menu action of the view: a failure is shown to the user, never thrown into the toolkit.
template <typename F>
void Guarded(F&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ClearFpuExceptions();
    Platform().ShowMessage(e.what());
  }
}

}  // namespace

void TMain::NewEmitterAction() {
  Guarded([this] { NewEmitter(); });
  StatusChanged();
}

void TMain::DeleteEmitterAction() {
  Guarded([this] { Emitters.DeleteEmitter(); });
  StatusChanged();
}

void TMain::AddSystemAction() {
  Guarded([this] { Emitters.AddSystem(); });
  StatusChanged();
}

void TMain::DeleteSystemAction() {
  Guarded([this] { Emitters.DeleteSystem(); });
  StatusChanged();
}

void TMain::DuplicateSystemAction() {
  Guarded([this] { Emitters.DuplicateSystem(); });
  StatusChanged();
}

void TMain::LoadEmitterSettingsAction() {
  Guarded([this] { Emitters.LoadEmitterSettingsFromDialog(); });
  StatusChanged();
}

void TMain::NewToolAction(TToolKind kind) {
  Guarded([this, kind] { NewTool(kind); });
  StatusChanged();
}

void TMain::EnableRenderingAction() {
  const bool wanted = !EnableRendering;
  EnableRendering = SwitchPostProcess ? SwitchPostProcess(wanted) : false;
  SceneSettingsChanged();
}

void TMain::DepthDitheringAction() {
  DepthDithering = !DepthDithering;
  Renderer.DepthDithering = DepthDithering;
  SceneSettingsChanged();
}

void TMain::SoftIntersectionsAction() {
  SoftIntersections = !SoftIntersections;
  Renderer.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged();
}

void TMain::SetSoftDistance(float distance) {
  if (!(distance > 0) || !std::isfinite(distance))
    throw EVantrelError("The soft intersection distance must be a number above 0");
  SoftDistance = distance;
  Renderer.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged();
}

void TMain::SceneSettingsChanged() {
  if (WriteSceneSettings) WriteSceneSettings(RenderSettingsText());
}

std::string TMain::RenderSettingsText() const {
  char distance[32];
  std::snprintf(distance, sizeof distance, "%.9g", static_cast<double>(SoftDistance));
  return std::string("enableRendering=") + (EnableRendering ? "1" : "0") + " depthDithering=" +
         (DepthDithering ? "1" : "0") + " softIntersections=" + (SoftIntersections ? "1" : "0") +
         " softDistance=" + distance;
}

void TMain::ApplyRenderSettings(const std::string& text) {
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    const size_t eq = pair.find('=');
    const std::string key = pair.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
    auto flag = [&](bool& into) {
      if (value != "0" && value != "1")
        throw EVantrelError("Render settings of the scene: " + key + " must be 0 or 1, not \"" + value + "\"");
      into = value == "1";
    };
    if (key == "enableRendering") {
      bool on = false;
      flag(on);
      if (on != EnableRendering) {
        EnableRendering = SwitchPostProcess ? SwitchPostProcess(on) : false;
      }
    } else if (key == "depthDithering") {
      flag(DepthDithering);
    } else if (key == "softIntersections") {
      flag(SoftIntersections);
    } else if (key == "softDistance") {
      char* end = nullptr;
      const float d = std::strtof(value.c_str(), &end);
      if (value.empty() || end != value.c_str() + value.size() || !(d > 0) || !std::isfinite(d))
        throw EVantrelError("Render settings of the scene: softDistance must be a number above 0, not \"" + value + "\"");
      SoftDistance = d;
    }
    Renderer.DepthDithering = DepthDithering;
    Renderer.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  }
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
  try {
    if (ReadSceneSettings)
      if (const std::optional<std::string> settings = ReadSceneSettings()) {
        ApplyRenderSettings(*settings);
        if (View_) View_->Refresh();  // the switches the scene keeps may differ from the panel's
      }
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
  if (!ThreadsProblem_.empty()) {
    Platform().ShowMessage(ThreadsProblem_);
    ThreadsProblem_.clear();
  }
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
