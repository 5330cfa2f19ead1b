// The host's own image of a frame at 1920 × 1080: a few thousand triangles (a grid floor, a
// ring of spheres and boxes) drawn through the z-buffer, alone and as the whole frame the stage
// renders (background, geometry, full-size result) with no shader registered.
#include <benchmark/benchmark.h>

#include "stage/HostRender.h"
#include "stage/Stage.h"

namespace {

// Returns the number of triangles the scene's faces split into.
int64_t BuildScene(stage::TStage& s) {
  s.Render.Width = 1920;
  s.Render.Height = 1080;
  s.View.Width = 1920;
  s.View.Height = 1080;
  s.View.Camera.Eye = {0, -30, 12};
  s.View.Camera.Target = {0, 0, 0};
  s.View.Camera.FieldOfView = 45;
  stage::TMeshSource floor;
  floor.Kind = stage::TPrimitive::Grid;
  floor.Size = {60, 60, 0};
  floor.DivisionsX = floor.DivisionsY = 20;
  s.Scene.AddPrimitive("Floor", floor);
  for (int i = 0; i < 12; ++i) {
    stage::TMeshSource sphere;
    sphere.Kind = stage::TPrimitive::Sphere;
    sphere.Radius = 2;
    sphere.Segments = 24;
    sphere.Rings = 12;
    stage::TNode& n = s.Scene.AddPrimitive("Ball", sphere);
    n.Position.Rest = {static_cast<float>(i % 4) * 8 - 12, static_cast<float>(i / 4) * 8 - 8, 2};
    stage::TMeshSource box;
    box.Kind = stage::TPrimitive::Box;
    box.Size = {3, 3, 3};
    s.Scene.AddPrimitive("Box", box).Position.Rest = {n.Position.Rest.x + 4, n.Position.Rest.y, 1.5f};
  }
  int64_t triangles = 0;
  s.Scene.ForEach([&](stage::TNode& n) {
    if (!n.Mesh) return;
    for (int32_t f = 0; f < n.Mesh->FaceCount(); ++f) triangles += n.Mesh->Face(f).nbrCorners - 2;
  });
  return triangles;
}

void BM_DrawPolyhedra1080p(benchmark::State& state) {
  stage::ResetStage();
  stage::TStage& s = stage::Stage();
  const int64_t triangles = BuildScene(s);
  stage::TScreenBuffer buffer(1920, 1080);
  for (auto _ : state) {
    stage::ClearToBackground(buffer, s.Render);
    stage::DrawPolyhedra(s.Scene, s.View, s.Render, buffer);
    benchmark::DoNotOptimize(buffer.At(960, 540));
  }
  state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_DrawPolyhedra1080p)->Unit(benchmark::kMillisecond);

void BM_RenderFrame1080p(benchmark::State& state) {
  stage::ResetStage();
  stage::TStage& s = stage::Stage();
  const int64_t triangles = BuildScene(s);
  for (auto _ : state) {
    const stage::TScreenBuffer image = s.RenderFrame(0);
    benchmark::DoNotOptimize(image.At(960, 540));
  }
  state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_RenderFrame1080p)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
