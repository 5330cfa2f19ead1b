// Composites 10,000 particles of 16 to 64 pixels into a 1920 × 1080 float image through the
// stage, in each render mode, with and without depth dithering, with and without the image's
// coverage channel and soft intersections, on the fast paths and on the plain reference paths;
// reports sprites and composited pixels per second. CompositeThreads composites a 1280 × 720
// frame of a number of sprites of a size on 1 and 2 threads (row bands).
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <random>

#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "render/Projection.h"
#include "render/ParticleSubmit.h"
#include "render/Render.h"
#include "stage/Stage.h"

namespace {

constexpr int32_t Width = 1920, Height = 1080;
constexpr int ParticleCount = 10000;

std::function<void(const tssPostProcessData&, stage::TScreenBuffer&)> Body;
void PostProcess(const tssPostProcessData* data) {
  Body(*data, *stage::Stage().ActiveBuffer(data->buffer));
}

// An orthographic view with about one world unit per pixel; particles 16..64 units wide spread
// over the image at depths that differ (they sort), with the Default image.
std::unique_ptr<TParticleSystem> MakeScene(int32_t mode, int32_t Width = ::Width, int32_t Height = ::Height,
                                           int count = ParticleCount, float minSize = 16, float maxSize = 64) {
  stage::ResetStage();
  stage::TStage& st = stage::Stage();
  st.View.Camera.Projection = stage::TProjection::Orthographic;
  st.View.Camera.Height = static_cast<float>(Height);
  st.View.Width = Width;
  st.View.Height = Height;
  st.Render.Width = Width;
  st.Render.Height = Height;
  MarkProjectionStale();

  auto s = std::make_unique<TParticleSystem>();
  s->RenderMode = mode;
  s->ParticleColorMode = ColorModeRandom;
  s->Maps.OptionsAt(0).AlphaMaster = 1;
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> x(-Width / 2.0f, Width / 2.0f), z(-Height / 2.0f, Height / 2.0f),
      depth(-5, 5), size(minSize, maxSize), unit(0, 1);
  for (int i = 0; i < count; ++i) {
    TParticle p;
    p.Alive = true;
    p.RenderPosition = {x(rng), depth(rng), z(rng)};
    p.Color = {unit(rng), unit(rng), unit(rng), 0};
    p.Alpha = 0.5f + unit(rng) / 2;
    p.Size = size(rng);
    p.Angle = unit(rng) * 360;
    s->Particles.push_back(p);
  }
  return s;
}

// Composites the system once per iteration into the stage's image (cleared between, untimed) and
// reports sprites and pixels per second.
void CompositePasses(benchmark::State& state, TParticleSystem& system, TParticleRenderer& renderer) {
  int64_t sprites = 0, pixels = 0;
  Body = [&](const tssPostProcessData& data, stage::TScreenBuffer& buffer) {
    const stage::TPixel background{0.1f, 0.2f, 0.3f, 0, std::numeric_limits<float>::infinity()};
    for (auto _ : state) {
      state.PauseTiming();
      buffer.Fill(background);
      SetRandomTableCursor(0);
      state.ResumeTiming();
      renderer.BeginRender(data);
      SubmitParticles(system, renderer);
      renderer.RenderAll();
      sprites += renderer.RenderedCount();
      pixels += renderer.CompositedPixels();
    }
  };
  stage::Stage().RegisterShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&PostProcess), true);
  stage::Stage().RenderFrame(0);
  Body = nullptr;
  state.counters["sprites_per_s"] = benchmark::Counter(static_cast<double>(sprites), benchmark::Counter::kIsRate);
  state.counters["pixels_per_s"] = benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kIsRate);
}

void Composite(benchmark::State& state) {
  const int32_t mode = static_cast<int32_t>(state.range(0));
  const bool dither = state.range(1) != 0;
  const bool plain = state.range(2) != 0;
  const bool coverage = state.range(3) != 0;
  const bool soft = state.range(4) != 0;
  std::unique_ptr<TParticleSystem> system = MakeScene(mode);
  TParticleRenderer renderer;
  renderer.DepthDithering = dither;
  renderer.ReferenceRows = plain;
  renderer.ReferenceResampling = plain;
  renderer.CoverageQuery = coverage ? &tsxHostScreenBufferCoverage : nullptr;
  renderer.SoftDistance = soft ? 2.0f : 0.0f;
  CompositePasses(state, *system, renderer);
  state.SetLabel(std::string(plain ? "plain" : "fast") + (dither ? ", dithered" : "") +
                 (coverage ? ", coverage" : "") + (soft ? ", soft" : ""));
}

// state.range(0) sprites of state.range(1) pixels (half to one and a half times) over a 1280 × 720
// frame in "Color Alpha" with depth dithering, on state.range(2) threads.
void CompositeThreads(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const float size = static_cast<float>(state.range(1));
  std::unique_ptr<TParticleSystem> system = MakeScene(RenderColorAlpha, 1280, 720, count, size / 2, size * 1.5f);
  TWorkerPool pool(static_cast<int>(state.range(2)));
  TParticleRenderer renderer;
  renderer.Workers = &pool;
  renderer.DepthDithering = true;
  CompositePasses(state, *system, renderer);
  state.counters["threads"] = static_cast<double>(state.range(2));
}

BENCHMARK(CompositeThreads)
    ->ArgNames({"sprites", "size", "threads"})
    ->ArgsProduct({{20000}, {16}, {1, 2}})
    ->ArgsProduct({{1000, 5000, 20000, 50000}, {8, 32}, {1, 2}})
    ->ArgsProduct({{2000}, {64, 128}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(Composite)
    ->ArgNames({"mode", "dither", "plain", "coverage", "soft"})
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {0}, {0, 1}, {0}})
    ->ArgsProduct({{0, 1, 2, 3}, {0}, {0}, {0, 1}, {1}})
    ->Args({0, 0, 1, 0, 0})
    ->Args({3, 1, 1, 0, 0})
    ->Args({3, 0, 1, 1, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
