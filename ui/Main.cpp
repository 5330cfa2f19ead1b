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

  // The edit layer: a recorded, undone or redone step is a change of the scene; the host's
  // deletions take their objects' steps with them.
  History.OnChanged = [this] { SceneChanged(); };
  Emitters.OnDeleting = [this](const TEmitterObject& emitter) {
    History.Forget(emitter.Id);
    for (const auto& slot : emitter.Systems) History.Forget(slot->Id);
  };
  Toolbox.OnDeleting = [this](const TToolObject& tool) { History.Forget(tool.Id); };
  Emitters.OnChanged = [this] { ViewsChanged(); };
  Toolbox.OnChanged = [this] { ViewsChanged(); };
  // During a preview the curve page's current-frame line follows the emitter's local frame on
  // curves over frames.
  Emitters.OnShowFrame = [this](float localFrame) {
    const TVarSeries* curve = Curves.Shown() ? Objects.Curve(*Curves.Shown()) : nullptr;
    if (curve && !IsPercentKind(curve->XKind)) Curves.SetMarker(localFrame);
  };
}

TMain::~TMain() {
  if (View_) View_->ControllerGone();
  History.OnChanged = nullptr;
  Emitters.OnChanged = Toolbox.OnChanged = nullptr;
  if (::Renderer() == &Renderer) InstallRenderer(nullptr);
  BitmapCache().LocateHandler = nullptr;
}

void TMain::StatusChanged() {
  if (View_) View_->Refresh();
  if (OnStatusChanged) OnStatusChanged();
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
  s.UndoName = History.UndoName();
  s.RedoName = History.RedoName();
  return s;
}

void TMain::SceneChanged() {
  if (NotifyHost) NotifyHost();
  ViewsChanged();
}

void TMain::ViewsChanged() {
  ShowCurrentCurve();
  if (View_) View_->Refresh();
}

void TMain::ShowCurrentCurve() {
  std::optional<TCurveRef> flow;
  if (const TEmitterObject* e = Emitters.CurrentEmitter; e && !e->Systems.empty())
    flow = TCurveRef{TCurveSet::System, e->Systems.front()->Id, SystemFlowCurve};
  // Only a new selection changes the page's curve; any other change redraws what it shows.
  if (flow != PageCurve_) {
    PageCurve_ = flow;
    Curves.ShowCurve(flow);
  } else {
    Curves.SceneChanged();
  }
}

template <typename Action>
void TMain::EditCurrentEmitter(const char* name, Action action) {
  std::vector<TRecordRef> touched;
  if (Emitters.CurrentEmitter) touched.push_back({TRecordKind::Emitter, Emitters.CurrentEmitter->Id});
  {
    TEditScope step(History, name, touched);
    Guarded(action);
  }
  StatusChanged();
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
void TMain::NewEmitterAction() {
  Guarded([this] {
    if (NewEmitter()) SceneChanged();
  });
  StatusChanged();
}

void TMain::DeleteEmitterAction() {
  Guarded([this] { Emitters.DeleteEmitter(); });
  StatusChanged();
}

void TMain::AddSystemAction() {
  EditCurrentEmitter("Add System", [this] { Emitters.AddSystem(); });
}

void TMain::DeleteSystemAction() {
  EditCurrentEmitter("Delete System", [this] { Emitters.DeleteSystem(); });
}

void TMain::DuplicateSystemAction() {
  EditCurrentEmitter("Duplicate System", [this] { Emitters.DuplicateSystem(); });
}

void TMain::LoadEmitterSettingsAction() {
  EditCurrentEmitter("Load Emitter Settings", [this] { Emitters.LoadEmitterSettingsFromDialog(); });
}

void TMain::NewToolAction(TToolKind kind) {
  Guarded([this, kind] {
    NewTool(kind);
    SceneChanged();
  });
  StatusChanged();
}

void TMain::EnableRenderingAction() {
  const bool wanted = !EnableRendering;
  EnableRendering = SwitchPostProcess ? SwitchPostProcess(wanted) : false;
  SceneSettingsChanged("enableRendering");
}

void TMain::DepthDitheringAction() {
  DepthDithering = !DepthDithering;
  Renderer.DepthDithering = DepthDithering;
  SceneSettingsChanged("depthDithering");
}

void TMain::SoftIntersectionsAction() {
  SoftIntersections = !SoftIntersections;
  Renderer.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged("softIntersections");
}

void TMain::SetSoftDistance(float distance) {
  if (!(distance > 0) || !std::isfinite(distance))
    throw EVantrelError("The soft intersection distance must be a number above 0");
  SoftDistance = distance;
  Renderer.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged("softDistance");
}

namespace {

// The "key=value" pairs of a settings text, in order.
std::vector<std::pair<std::string, std::string>> SettingsPairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    const size_t eq = pair.find('=');
    pairs.emplace_back(pair.substr(0, eq), eq == std::string::npos ? std::string() : pair.substr(eq + 1));
  }
  return pairs;
}

}  // namespace

void TMain::SceneSettingsChanged(const std::string& changed) {
  if (!WriteSceneSettings) return;
  // The scene's block may hold switches this panel has not seen (a scene loaded since, a host
  // that wrote them); only the switch that changed is taken from the panel, the rest from the
  // scene, keys of other versions kept.
  std::optional<std::string> scene = ReadSceneSettings ? ReadSceneSettings() : std::nullopt;
  if (!scene) {
    WriteSceneSettings(RenderSettingsText());
    return;
  }
  auto stored = SettingsPairs(*scene);
  std::string merged;
  for (const auto& [key, value] : SettingsPairs(RenderSettingsText())) {
    std::string taken = value;
    for (auto it = stored.begin(); it != stored.end(); ++it)
      if (it->first == key) {
        if (key != changed) taken = it->second;
        stored.erase(it);
        break;
      }
    merged += (merged.empty() ? "" : " ") + key + "=" + taken;
  }
  for (const auto& [key, value] : stored) merged += " " + key + (value.empty() ? "" : "=" + value);
  WriteSceneSettings(merged);
  // The panel follows what the scene now holds.
  try {
    ApplyRenderSettings(merged);
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
}

void TMain::SceneLoaded() {
  ApplySceneSettings();
  StatusChanged();
}

void TMain::ApplySceneSettings() {
  // A damaged text is shown and the rest of the switches keep their state.
  try {
    if (ReadSceneSettings)
      if (const std::optional<std::string> settings = ReadSceneSettings()) {
        ApplyRenderSettings(*settings);
        if (View_) View_->Refresh();  // the switches the scene keeps may differ from the panel's
      }
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
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
  ApplySceneSettings();
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
