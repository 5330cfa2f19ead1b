// The preview's animation driver and the Play, Stop and Rewind protocol of the main panel: a run
// resets every system, catches it up to the host's frame, then steps, erases and draws the
// active view frame by frame at up to about 30 frames per second until something ends it.
//
// The run holds the host's user-interface thread, as the host expects of its plug-ins; it hands
// waiting events to the platform at each of its checks and while it waits for the frame-rate
// cap, so that Play, Stop, Rewind and Escape reach it, and it sleeps instead of spinning.
#include <algorithm>
#include <exception>

#include "engine/Errors.h"
#include "engine/ParticleModifier.h"
#include "engine/RandomTables.h"
#include "engine/Rounding.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "ui/Main.h"

namespace {

constexpr double MaxPreviewRate = 30.25;  // frames per second
constexpr int32_t FramesPerReport = 31;
constexpr uint32_t MaxWaitStep = 10;      // ms: a waiting run still answers the user this often
constexpr uint32_t StyleSystemMenu = 0x80000;
constexpr uint32_t StyleCaption = 0xC00000;

bool Follow(const TMain& main) { return main.AnimateObjects; }

}  // namespace

// ---- Actions -------------------------------------------------------------------------------

void TMain::PreviewChanged() {
  if (View_) View_->PreviewChanged();
  if (OnPreviewChanged) OnPreviewChanged();
}

void TMain::SetStatus(const std::string& text) {
  StatusText = text;
  Platform().SetStatusText(text);
  StatusChanged();
}

void TMain::StartAnimateAction() {
  StartFrame = tsxAnimGetActiveTime();
  PreviewRunning = true;
  PlayShowsStop = true;
  PreviewChanged();
}

void TMain::StopAnimateAction() {
  PreviewRunning = false;
  // A Rewind not yet seen by the run is dropped with it: a stopped preview stays stopped.
  RewindRequested = false;
  PlayShowsStop = false;
  PreviewChanged();
  if (AnimateObjects) tsxAnimSetActiveTime(StartFrame);
  ClearFpuExceptions();
}

void TMain::PlayClicked() {
  PreviewRunning = !PreviewRunning;
  if (!PreviewRunning) {
    // The running driver sees the flag at its next check; Stop outweighs a Rewind clicked
    // before it that the run has not seen yet.
    RewindRequested = false;
    return;
  }
  // Clicked twice between two checks of a run still under way: the run simply goes on; a run
  // inside the run would share its systems and its view.
  if (InPlay_) return;
  InPlay_ = true;
  try {
    StartAnimateAction();
    for (;;) {
      RewindRequested = false;
      PrepareModifiers();
      RunPreview();
      const bool again = RewindRequested;
      StopAnimateAction();
      if (!again) break;
      StartAnimateAction();
    }
  } catch (const std::exception& e) {
    ReleaseView();
    Platform().SetBusyCursor(false);
    StopAnimateAction();
    Platform().ShowMessage(e.what());
  }
  InPlay_ = false;
}

void TMain::SetDrawMode(int index) {
  if (index >= DrawDots && index <= DrawSolidCircles) Renderer.DrawMode = static_cast<uint8_t>(index);
}

void TMain::ToggleCuesAction() {
  CueCardsVisible = !CueCardsVisible;
  if (OnCueCardsChanged) OnCueCardsChanged(CueCardsVisible);
  ToolProps.SceneChanged();
  Properties.CuesChanged();
  ViewsChanged();
}

void TMain::HelpTopicsAction() {
  if (!Platform().ShowHelp(HelpFile)) Platform().ShowMessage(Format("Cannot open help file %s", HelpFile.c_str()));
}

// ---- The driver ----------------------------------------------------------------------------

bool TMain::AbortRequested() {
  Platform().ProcessEvents();
  if (RewindRequested) return true;
  if (Platform().EscapePressed()) return true;
  ClearFpuExceptions();
  const bool hostAbort = tsxCheckAbort() == 1;
  ClearFpuExceptions();
  return hostAbort;
}

bool TMain::AcquireView() {
  ClearFpuExceptions();
  tsxAllViewsRefresh();
  void* window = tsxAViewGetHwnd();
  ClearFpuExceptions();
  if (!window) return false;
  // A view window with a caption but no system menu draws below its caption.
  Renderer.VerticalOffset = 0;
  const uint32_t style = Platform().WindowStyle(window);
  if (!(style & StyleSystemMenu) && (style & StyleCaption)) Renderer.VerticalOffset = Platform().CaptionHeight();
  ViewCanvas_ = Platform().ViewSurface(window);
  if (!ViewCanvas_) return false;
  ViewWindow_ = window;
  return true;
}

void TMain::ReleaseView() {
  if (ViewCanvas_) Platform().ReleaseViewSurface(ViewWindow_, ViewCanvas_);
  ViewCanvas_ = nullptr;
  ViewWindow_ = nullptr;
}

bool TMain::CatchUp(size_t emitterIndex, size_t slotIndex) {
  TEmitterObject* emitter = Emitters.EmitterList[emitterIndex].get();
  TEmitter* slot = emitter->Systems[slotIndex].get();
  PreviewFrame = tsxAnimGetActiveTime();
  slot->System.Reset();
  slot->FreshStart = true;
  const int64_t n = RoundToInt64(PreviewFrame - emitter->FrameOffset);
  for (int64_t i = 0; i < n; ++i) {
    if (emitter->SceneObject && AnimateObjects) emitter->SetSceneFrame(static_cast<float>(i));
    // The checks hand events to the platform: whatever the user did there (Stop, a deleted
    // emitter) is honoured before the next step.
    const bool abort = AbortRequested();
    if (abort || !PreviewRunning) return false;
    const auto& list = Emitters.EmitterList;
    if (emitterIndex >= list.size() || list[emitterIndex].get() != emitter || slotIndex >= emitter->Systems.size() ||
        emitter->Systems[slotIndex].get() != slot)
      return true;  // the slot is gone; the others still catch up
    slot->StepToFrame(static_cast<double>(i), Follow(*this));
  }
  return true;
}

bool TMain::PrepareRun() {
  RandomSeed = RunSeed;
  Platform().SetBusyCursor(true);
  SetStatus("Preparing animation...");
  bool caughtUp = true;
  Emitters.ShareWorkers();
  try {
    // By index: the list may change under the checks' event handling.
    for (size_t e = 0; caughtUp && e < Emitters.EmitterList.size(); ++e)
      for (size_t s = 0; caughtUp && s < Emitters.EmitterList[e]->Systems.size(); ++s) caughtUp = CatchUp(e, s);
  } catch (...) {
    Platform().SetBusyCursor(false);
    SetStatus("");
    throw;
  }
  Platform().SetBusyCursor(false);
  SetStatus("");
  FramesSinceReport = 0;
  ReportTick = Platform().TickCount();
  // Stop, Escape, Rewind or the host's abort while catching up end the run: a user who gave up
  // waiting does not want it to play (or start over) once the catch-up is done.
  return caughtUp;
}

void TMain::StepPreviewFrame() {
  const bool follow = Follow(*this);
  Emitters.ShareWorkers();  // systems added since the run began
  for (const auto& emitter : Emitters.EmitterList) {
    if (!emitter->Enabled) continue;
    const double a = TruncTowardZero(PreviewFrame);
    const double b = TruncTowardZero(a - emitter->FrameOffset);
    if (b < 0) continue;
    if (follow) emitter->SetSceneFrame(static_cast<float>(b));
    for (const auto& slot : emitter->Systems)
      if (slot->Enabled) slot->StepToFrame(b, follow);
  }
}

int32_t TMain::DrawPreviewFrame(TDrawSurface& canvas) {
  int32_t drawn = 0;
  for (const auto& emitter : Emitters.EmitterList) {
    const double local = PreviewFrame - emitter->FrameOffset;
    if (!emitter->Enabled || emitter->Visibility.Evaluate(local) == 0) continue;
    emitter->CollectSurfaceSources();
    for (const auto& slot : emitter->Systems) {
      if (!slot->Enabled) continue;
      drawn += Renderer.DrawPreviewSystem(slot->System, canvas);
    }
  }
  ParticlesDrawn = drawn;
  return drawn;
}

double TMain::RateSinceReport() {
  const uint32_t elapsed = Platform().TickCount() - ReportTick;
  return elapsed == 0 ? 0.0 : static_cast<double>(FramesSinceReport) / elapsed * 1000.0;
}

void TMain::EndPreviewFrame(bool capRate) {
  const int32_t frame = static_cast<int32_t>(std::clamp(RoundHalfEven(PreviewFrame), -2147483648.0, 2147483647.0));
  Emitters.ShowFrame(frame);
  Toolbox.ShowFrame(frame);
  PreviewFrame += 1.0;
  ++FramesSinceReport;

  // The cap: wait until the average rate since the last report falls below 30.25 frames per
  // second, sleeping for what the arithmetic says is left (a few milliseconds at a time).
  if (capRate) {
    while (RateSinceReport() >= MaxPreviewRate) {
      const uint32_t elapsed = Platform().TickCount() - ReportTick;
      const double due = static_cast<double>(FramesSinceReport) * 1000.0 / MaxPreviewRate;
      const double left = due - elapsed + 1.0;
      Platform().Sleep(static_cast<uint32_t>(std::clamp(left, 1.0, static_cast<double>(MaxWaitStep))));
      Platform().ProcessEvents();
    }
  }

  if (FramesSinceReport >= FramesPerReport) {
    const double rate = RateSinceReport();
    const std::string text = Format(" %d p - %.1f fps - frame %03d", ParticlesDrawn, rate,
                                    static_cast<int>(std::clamp(RoundHalfEven(PreviewFrame), -2147483648.0, 2147483647.0)));
    ShuttleStatusText = text;
    SetStatus(text);
    FramesSinceReport = 0;
    ReportTick = Platform().TickCount();
  }
}

void TMain::RunPreview() {
  if (!AcquireView()) {
    PreviewRunning = false;
    return;
  }
  try {
    if (!PrepareRun()) {
      PreviewRunning = false;
      RewindRequested = false;
    }
    ClearFpuExceptions();
    SceneFrame = tsxAnimGetActiveTime();
    while (PreviewRunning) {
      // The user may have made another view the active one.
      if (tsxAViewGetHwnd() != ViewWindow_) {
        ReleaseView();
        if (!AcquireView()) break;
      }
      StepPreviewFrame();
      if (AbortRequested() || !PreviewRunning) break;
      ClearFpuExceptions();
      tsxAViewRefresh();  // erases the previous frame's drawing
      ClearFpuExceptions();
      ParticlesDrawn = 0;
      DrawPreviewFrame(*ViewCanvas_);
      if (AbortRequested() || !PreviewRunning) break;
      EndPreviewFrame();
    }
  } catch (...) {
    PreviewRunning = false;
    ReleaseView();
    throw;
  }
  PreviewRunning = false;
  ReleaseView();
}
