// Renders the fountain example at 1280 × 720 for 100 frames with the plug-in running in this
// process on the stage, and reports seconds per frame split into the host's image, the plug-in's
// stepping (simulation and hand-over to the renderer) and its compositing, plus render begin.
// RenderBegin measures the rewind alone: the fountain's emitter, and copies of it, simulated
// from frame 0 to frame 199, all objects together frame by frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"

namespace {

void FountainFrames(benchmark::State& state) {
  const std::filesystem::path scene = std::filesystem::path(VANTREL_EXAMPLES_DIR) / "fountain" / "scene.json";
  if (!std::filesystem::exists(scene)) {
    state.SkipWithError("no fountain example");
    return;
  }
  stage::ResetStage();
  TVantrelPlugin plugin("");
  PlugState().PluginId = 1;
  plugin.PlugInit();
  plugin.Main.EnableRenderingAction();
  stage::LoadSceneFile(stage::Stage(), scene);
  stage::Stage().Render.Width = stage::Stage().View.Width = 1280;
  stage::Stage().Render.Height = stage::Stage().View.Height = 720;

  double host = 0, stepping = 0, compositing = 0, total = 0;
  int frames = 0;
  for (auto _ : state) {
    host = stepping = compositing = 0;
    frames = 0;
    const auto start = std::chrono::steady_clock::now();
    stage::Stage().RenderSequence(0, 99, [&](float, const stage::TScreenBuffer&) {
      host += stage::Stage().LastFrameTimes.HostImage;
      stepping += plugin.Main.FinalRender.LastPassTimes.Stepping;
      compositing += plugin.Main.FinalRender.LastPassTimes.Compositing;
      ++frames;
    });
    total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["frames"] = frames;
  state.counters["s_per_frame"] = total / frames;
  state.counters["host_image_s"] = host / frames;
  state.counters["stepping_s"] = stepping / frames;
  state.counters["compositing_s"] = compositing / frames;
  stage::Stage().Scene.Clear();
}

// The fountain with state.range(0) emitter objects (the first and copies of it), rewound at a
// render begin on frame 200.
void RenderBegin(benchmark::State& state) {
  const std::filesystem::path scene = std::filesystem::path(VANTREL_EXAMPLES_DIR) / "fountain" / "scene.json";
  if (!std::filesystem::exists(scene)) {
    state.SkipWithError("no fountain example");
    return;
  }
  stage::ResetStage();
  TVantrelPlugin plugin("");
  PlugState().PluginId = 1;
  plugin.PlugInit();
  stage::LoadSceneFile(stage::Stage(), scene);
  stage::TNode* fountain = stage::Stage().Scene.FindByName("Fountain");
  if (!fountain) {
    state.SkipWithError("no emitter named Fountain");
    return;
  }
  for (int64_t i = 1; i < state.range(0); ++i) stage::Stage().Scene.Clone(*fountain);
  for (auto _ : state) {
    stage::Stage().Scene.SetTime(200);
    plugin.Main.RenderBegin();
  }
  state.counters["emitters"] = static_cast<double>(plugin.Main.Emitters.EmitterList.size());
  stage::Stage().Scene.Clear();
}

}  // namespace

BENCHMARK(RenderBegin)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(FountainFrames)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
