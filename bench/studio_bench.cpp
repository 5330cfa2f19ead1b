// The studio's view while the user orbits: a scene of 50,000 triangles (a finely divided sphere
// on the ground grid), one orbit step and one full paint of a 1280 × 720 view per iteration, in
// solid and wireframe shading. The figure that matters is frames per second (30 or more keeps
// orbiting smooth).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <numbers>

#include "stage/Stage.h"
#include "stage/studio/StudioView.h"

namespace {

// A lat-long sphere of rings × segments × 2 triangles.
stage::TPolyhedron Sphere(int rings, int segments) {
  stage::TPolyhedron mesh;
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s <= segments; ++s) {
      const double th = std::numbers::pi * r / rings, ph = 2 * std::numbers::pi * s / segments;
      mesh.AddVertex({float(2 * std::sin(th) * std::cos(ph)), float(2 * std::sin(th) * std::sin(ph)), float(2 + 2 * std::cos(th))});
    }
  auto at = [&](int r, int s) { return r * (segments + 1) + s; };
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      const int32_t a[3] = {at(r, s), at(r + 1, s), at(r + 1, s + 1)};
      const int32_t b[3] = {at(r, s), at(r + 1, s + 1), at(r, s + 1)};
      mesh.AddFace(a);
      mesh.AddFace(b);
    }
  return mesh;
}

void Orbit(benchmark::State& state, stage::studio::TShading shading) {
  stage::ResetStage();
  stage::TPolyhedron mesh = Sphere(125, 200);
  const int triangles = mesh.FaceCount();
  stage::Stage().Scene.AddPolyhedron("Ball", std::move(mesh));
  stage::studio::TStudioView view;
  view.resize(1280, 720);
  view.SceneCamera.Eye = {10, -12, 7};
  view.SceneCamera.Target = {0, 0, 2};
  view.ResetPerspective();
  view.SetShading(shading);
  view.Refresh();
  QImage image(1280, 720, QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    view.Orbit(2, 0);
    QPainter painter(&image);
    view.Draw(painter);
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = triangles;
}

void BM_OrbitSolid(benchmark::State& state) { Orbit(state, stage::studio::TShading::Solid); }
void BM_OrbitWireframe(benchmark::State& state) { Orbit(state, stage::studio::TShading::Wireframe); }
BENCHMARK(BM_OrbitSolid)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OrbitWireframe)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
