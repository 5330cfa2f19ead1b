// The final-render pass: at the host's render begin every emitter is rewound to the frame before
// the rendered one; for each rendered frame every emitter steps to it and its particles are
// composited into the host's image. The panel shows what the pass reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "hostapi/TsxApi5.h"

class TEmitterMan;
class TParticleRenderer;

class TFinalRenderPass {
 public:
  TFinalRenderPass(TEmitterMan& emitters, TParticleRenderer& renderer) : Emitters_(emitters), Renderer_(renderer) {}

  // Seconds the last pass spent bringing the systems to the frame and handing their particles
  // over (Stepping), and compositing and showing them (Compositing); for benchmarks.
  struct TPassTimes {
    double Stepping = 0;
    double Compositing = 0;
  } LastPassTimes;

  // What one frame's pass did.
  struct TReport {
    bool Done = false;       // false: it failed, with Error saying why
    int32_t Particles = 0;   // composited
    uint32_t Milliseconds = 0;
    std::string Error;
  };

  // Called whenever every emitter object stands at the host's current frame: after each frame of
  // the rewind and after each rendered frame's stepping (the timeline keeps these frames).
  std::function<void()> OnStepped;

  // Render begin: reseeds the generator, hands the renderer the progress reporter (called with
  // the percentage done) and rewinds every emitter. Throws on failure.
  void Begin(std::function<void(int percent)> onProgress);
  // One rendered frame. A failure (an image that cannot be decoded) is reported; what was
  // composited before it is shown all the same. The host's time is restored in every case.
  TReport Composite(const tssPostProcessData& postData);

 private:
  TEmitterMan& Emitters_;
  TParticleRenderer& Renderer_;
};
