// The preview of 50,000 live particles: one frame's stepping pass and drawing pass (wire boxes
// on the headless view surface, every particle projected with a fresh view), without the
// frame-rate cap. The cap allows 33 ms a frame; what is left of it is the host's. PreviewFrame
// does the same for a number of particles, a draw mode and a number of threads, and reports the
// process's CPU time per frame (all threads) beside the wall clock.
#include <benchmark/benchmark.h>

#include <ctime>

#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"

namespace {

void Constant(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(8192, value);
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// state.range(0) live particles, draw mode state.range(1), state.range(2) threads.
void PreviewFrame(benchmark::State& state) {
  stage::ResetStage();
  InstallPlatform(nullptr);
  RandomSeed = 0;
  InitRandomTable();
  tsxSOBJCALLBACKS callbacks{};
  callbacks.version = 3;
  const int type = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
  stage::TNode* node = stage::Stage().Scene.CreateCustom(type);
  stage::Stage().Scene.AddToScene(*node);
  stage::Stage().View.Camera.Eye = {0, -30, 5};
  stage::Stage().View.Camera.Target = {0, 0, 5};

  TMain main;
  main.Workers.SetThreads(static_cast<int>(state.range(2)));
  auto owned = std::make_unique<TEmitterObject>();
  owned->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
  TEmitter& slot = owned->AddSystem();
  Constant(slot.System.Flow, static_cast<double>(state.range(0)) / 100.0);
  Constant(slot.Emitter.Lifespan, 100);
  main.Emitters.AddEmitter(std::move(owned));
  main.SetDrawMode(static_cast<int>(state.range(1)));
  main.PreviewFrame = 0;
  for (int i = 0; i < 120; ++i) {
    main.StepPreviewFrame();
    main.PreviewFrame += 1;
  }
  auto& surface = static_cast<THeadlessPlatform&>(Platform()).Surface;
  double stepping = 0, drawing = 0;
  const double cpuStart = ProcessSeconds();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    main.StepPreviewFrame();
    auto t1 = std::chrono::steady_clock::now();
    surface.Clear();
    main.DrawPreviewFrame(surface);
    auto t2 = std::chrono::steady_clock::now();
    main.EndPreviewFrame(false);
    stepping += std::chrono::duration<double>(t1 - t0).count();
    drawing += std::chrono::duration<double>(t2 - t1).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["particles"] = main.ParticlesDrawn;
  state.counters["stepping_ms"] = stepping * 1000 / n;
  state.counters["drawing_ms"] = drawing * 1000 / n;
  state.counters["cpu_ms_per_frame"] = (ProcessSeconds() - cpuStart) * 1000 / n;
  main.Emitters.EmitterList.clear();
  stage::ResetStage();
}

}  // namespace

// The preview as the studio plays it: 50,000 in wire boxes on every core.
BENCHMARK(PreviewFrame)->Name("PreviewFrame50k")->Args({50000, DrawWireBoxes, MachineThreads()})->Unit(benchmark::kMillisecond);
BENCHMARK(PreviewFrame)
    ->ArgNames({"live", "mode", "threads"})
    ->ArgsProduct({{50000}, {DrawDots}, {1, 2}})
    ->ArgsProduct({{200000}, {DrawDots, DrawWireCircles}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
