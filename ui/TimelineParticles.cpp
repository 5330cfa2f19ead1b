// The timeline's particles: frames brought about as a render brings them, kept in the frame
// cache, and drawn into the host's view when it is drawn again.
#include "ui/TimelineParticles.h"

#include <exception>

#include "engine/RandomTables.h"
#include "engine/Rounding.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/Render.h"
#include "scene/EmitterObj.h"
#include "ui/EmitterMan.h"

namespace {

constexpr uint32_t StyleSystemMenu = 0x80000;
constexpr uint32_t StyleCaption = 0xC00000;

// Puts the host's time back when the stepping that moved it is over, on every path.
struct TRestoreTime {
  float Time = tsxAnimGetActiveTime();
  ~TRestoreTime() {
    tsxAnimSetActiveTimeScene(Time);
    ClearFpuExceptions();
  }
};

}  // namespace

TTimelineParticles::TTimelineParticles(TEmitterMan& emitters, TParticleRenderer& renderer)
    : Emitters_(emitters), Renderer_(renderer) {
  std::string problem;
  Cache.SetCapacity(FrameCacheMBFromEnvironment(&problem) << 20);
  // A setting that cannot be read keeps the default; nothing is shown before there is a panel.
}

std::vector<TEmitterObject*> TTimelineParticles::Objects() const {
  std::vector<TEmitterObject*> objects;
  objects.reserve(Emitters_.EmitterList.size());
  for (const auto& emitter : Emitters_.EmitterList) objects.push_back(emitter.get());
  return objects;
}

void TTimelineParticles::CheckInputs(const std::vector<TEmitterObject*>& objects) {
  std::vector<uint8_t> inputs = SimulationInputs(objects);
  if (inputs == Inputs_) return;
  if (Cache.Count() > 0) Cache.DropFrom(Inputs_.empty() ? 0 : EditFrame(Inputs_, inputs, Cache.Frames().back()));
  Inputs_ = std::move(inputs);
}

void TTimelineParticles::Keep(int64_t frame, const std::vector<TEmitterObject*>& objects) {
  Cache.Store(frame, objects, HostPoses(objects));
}

void TTimelineParticles::StartOver(const std::vector<TEmitterObject*>& objects) {
  RandomSeed = RunSeed;
  Emitters_.ShareWorkers();
  Emitters_.DrawOnBudget();
  for (TEmitterObject* object : objects) object->ResetForRender();
}

int64_t TTimelineParticles::StartFor(int64_t frame, const std::vector<TEmitterObject*>& objects) {
  const int64_t kept = Cache.NearestAtOrBefore(frame);
  if (kept < 0) return -1;
  // A host pose that differs from the one the frame was stepped with (an object moved or keyed
  // since) may change every frame after it: nothing kept can be trusted then.
  tsxAnimSetActiveTimeScene(static_cast<float>(kept));
  if (HostPoses(objects) != Cache.PosesOf(kept) || !Cache.Restore(kept, objects)) {
    Cache.Clear();
    return -1;
  }
  return kept;
}

void TTimelineParticles::BringTo(int64_t frame) {
  const std::vector<TEmitterObject*> objects = Objects();
  TRestoreTime restore;
  CheckInputs(objects);
  if (frame < 0) {
    // Before the first frame a render only resets; an object with a negative frame offset may
    // still have frames of its own there, stepped in one go as a render steps them.
    StartOver(objects);
    const float f = static_cast<float>(frame);
    tsxAnimSetActiveTimeScene(f);
    SceneFrame = f;
    for (TEmitterObject* object : objects) object->StepForRender(f);
    return;
  }
  int64_t at = StartFor(frame, objects);
  if (at < 0) StartOver(objects);
  // Frame by frame, as a render's rewind and its rendered frame step them.
  while (at < frame) {
    const float f = static_cast<float>(++at);
    tsxAnimSetActiveTimeScene(f);
    SceneFrame = f;
    for (TEmitterObject* object : objects) object->StepForRender(f);
    Keep(at, objects);
  }
}

int32_t TTimelineParticles::ViewDrawn() {
  if (Busy_ || Rendering_) return 0;
  Busy_ = true;
  ViewShown_ = true;
  struct Done {
    bool& busy;
    ~Done() { busy = false; }
  } done{Busy_};
  int32_t drawn = 0;
  try {
    ClearFpuExceptions();
    const float time = tsxAnimGetActiveTime();
    BringTo(RoundToInt64(time));
    void* window = tsxAViewGetHwnd();
    ClearFpuExceptions();
    if (!window) return 0;
    TDrawSurface* canvas = Platform().ViewSurface(window);
    if (!canvas) return 0;
    // A view window with a caption but no system menu draws below its caption.
    Renderer_.VerticalOffset = 0;
    const uint32_t style = Platform().WindowStyle(window);
    if (!(style & StyleSystemMenu) && (style & StyleCaption)) Renderer_.VerticalOffset = Platform().CaptionHeight();
    try {
      for (const auto& emitter : Emitters_.EmitterList) {
        // What a render of the frame shows: the objects it steps there.
        if (emitter->RenderedLocalFrame(time) < 0) continue;
        emitter->CollectSurfaceSources();
        for (const auto& slot : emitter->Systems)
          if (slot->Enabled) drawn += Renderer_.DrawPreviewSystem(slot->System, *canvas);
      }
    } catch (...) {
      Platform().ReleaseViewSurface(window, canvas);
      throw;
    }
    Platform().ReleaseViewSurface(window, canvas);
  } catch (const std::exception& e) {
    // Whatever was kept may be half made: it goes, and the user hears why nothing shows.
    Cache.Clear();
    Inputs_.clear();
    Platform().ShowMessage(e.what());
  }
  ClearFpuExceptions();
  return drawn;
}

void TTimelineParticles::RenderBegun() {
  Rendering_ = true;
  if (!ViewShown_) return;  // a host without views (the command line) has no use for the frames
  CheckInputs(Objects());
  RenderNext_ = 0;
}

void TTimelineParticles::RenderStepped() {
  if (RenderNext_ < 0) return;
  const int64_t frame = RoundToInt64(tsxAnimGetActiveTime());
  if (frame != RenderNext_) {
    RenderNext_ = -1;
    return;
  }
  Keep(frame, Objects());
  ++RenderNext_;
}
