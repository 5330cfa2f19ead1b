// The final-render pass over the emitter list and the renderer.
#include "ui/FinalRenderPass.h"

#include <chrono>
#include <exception>

#include "engine/RandomTables.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/ParticleSubmit.h"
#include "render/Render.h"
#include "ui/EmitterMan.h"

void TFinalRenderPass::Begin(std::function<void(int percent)> onProgress) {
  RandomSeed = RunSeed;
  Renderer_.OnProgress = std::move(onProgress);
  Renderer_.ForgetReportedImages();
  Emitters_.RenderBegin();
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
