// The final-render pass over the emitter list and the renderer.
#include "ui/FinalRenderPass.h"

#include <chrono>
#include <exception>

#include "engine/RandomTables.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "render/ParticleImages.h"
#include "render/ParticleSubmit.h"
#include "render/Render.h"
#include "ui/EmitterMan.h"

namespace {

// Looks up every picture the rendered systems may draw before the first frame, so that a missing
// one is asked about and reported now, naming it as the scene writes it, its system and its
// emitter, rather than at whichever frame its first particle appears (after frames were written
// with the built-in picture in its place). A picture that cannot be decoded is left to the
// frame that draws it, which reports it.
void LookUpPictures(TEmitterMan& emitters) {
  for (auto& emitter : emitters.EmitterList) {
    if (emitter->Enabled == 0) continue;
    for (auto& slot : emitter->Systems) {
      if (!slot->Enabled) continue;
      TParticleMapSource& maps = slot->System.Maps;
      for (int i = 0; i < maps.ImageCount(); ++i) {
        const std::string written = maps.Entry(i).Name;
        if (written == DefaultImageName) continue;
        TImageRef image;
        try {
          image = ImageAt(maps, i);
        } catch (const std::exception&) {
          continue;
        }
        // A picture the user did not locate keeps its name; the built-in image stands in for it.
        if (image == DefaultImage())
          Platform().ShowMessage("The picture \"" + written + "\" of the system \"" + slot->Name +
                                 "\" of the emitter \"" + emitter->Name +
                                 "\" cannot be found; the built-in picture stands in for it.");
      }
    }
  }
}

}  // namespace

void TFinalRenderPass::Begin(std::function<void(int percent)> onProgress) {
  RandomSeed = RunSeed;
  Renderer_.OnProgress = std::move(onProgress);
  Renderer_.ForgetReportedImages();
  LookUpPictures(Emitters_);
  Emitters_.RenderBegin(OnStepped);
}

TFinalRenderPass::TReport TFinalRenderPass::Composite(const tssPostProcessData& postData) {
  TReport report;
  const float hostTime = tsxAnimGetActiveTime();
  const uint32_t start = Platform().TickCount();
  try {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    Renderer_.BeginRender(postData);
    Emitters_.RenderFrame([this](TParticleSystem& system) { SubmitParticles(system, Renderer_); });
    if (OnStepped) OnStepped();
    const auto t1 = Clock::now();
    Renderer_.RenderAll();
    Renderer_.DisplayAll();
    LastPassTimes = {std::chrono::duration<double>(t1 - t0).count(),
                     std::chrono::duration<double>(Clock::now() - t1).count()};
    ClearFpuExceptions();
    report.Done = true;
    report.Particles = Renderer_.RenderedCount();
    report.Milliseconds = Platform().TickCount() - start;
  } catch (const std::exception& e) {
    ClearFpuExceptions();
    report.Error = e.what();
    // What was composited before the failure is in the image; the host shows it.
    try {
      Renderer_.DisplayAll();
    } catch (...) {
    }
    ClearFpuExceptions();
  }
  tsxAnimSetActiveTimeScene(hostTime);
  ClearFpuExceptions();
  return report;
}
