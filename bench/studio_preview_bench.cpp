// The preview of 50,000 live particles in the studio, without the frame-rate cap: one frame as
// the driver runs it in the studio's window (offscreen Qt) with the Qt platform, split into its
// costs: the stepping pass; the view's refresh (the custom objects draw their wireframes, the
// drawing surface is erased); the drawing pass into the view's drawing surface; and showing the
// frame (the studio's view repaints with the particles over it, as at the driver's checks). One
// benchmark per draw mode; a floor plane under the emitter, in solid shading as the studio
// opens. The cap allows 33 ms a frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>

#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "stage/MeshSource.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/StudioView.h"
#include "ui/Main.h"
#include "ui/qt/QtPlatform.h"

namespace {

void Constant(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(8192, value);
}

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void StudioPreviewFrame50k(benchmark::State& state) {
  stage::studio::TMainWindow window;  // the stage's view and main window are its
  window.resize(1280, 800);
  window.show();
  QApplication::processEvents();
  InstallPlatform(std::make_unique<TQtPlatform>());
  RandomSeed = 0;
  InitRandomTable();

  stage::TMeshSource floor;
  floor.Kind = stage::TPrimitive::Plane;
  floor.Size = {14, 14, 1};
  stage::Stage().Scene.AddPrimitive("Floor", floor);
  tsxSOBJCALLBACKS callbacks{};
  callbacks.version = 3;
  const int type = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
  stage::TNode* node = stage::Stage().Scene.CreateCustom(type);
  stage::Stage().Scene.AddToScene(*node);
  window.View()->SceneCamera.Eye = {0, -30, 5};
  window.View()->SceneCamera.Target = {0, 0, 5};
  window.View()->ResetPerspective();
  window.View()->Refresh();

  {
    TMain main;
    auto owned = std::make_unique<TEmitterObject>();
    owned->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    TEmitter& slot = owned->AddSystem();
    Constant(slot.System.Flow, 500);  // 500 born and 500 dying a frame: 50,000 live
    Constant(slot.Emitter.Lifespan, 100);
    main.Emitters.AddEmitter(std::move(owned));
    main.SetDrawMode(static_cast<int>(state.range(0)));
    for (int i = 0; i < 110; ++i) {
      main.StepPreviewFrame();
      main.PreviewFrame += 1;
    }
    TDrawSurface* canvas = Platform().ViewSurface(tsxAViewGetHwnd());

    using Clock = std::chrono::steady_clock;
    double stepping = 0, refreshing = 0, drawing = 0, showing = 0;
    for (auto _ : state) {
      const auto t0 = Clock::now();
      main.StepPreviewFrame();
      const auto t1 = Clock::now();
      tsxAViewRefresh();
      const auto t2 = Clock::now();
      main.DrawPreviewFrame(*canvas);
      const auto t3 = Clock::now();
      Platform().ProcessEvents();
      const auto t4 = Clock::now();
      main.EndPreviewFrame(false);
      stepping += Ms(t1 - t0);
      refreshing += Ms(t2 - t1);
      drawing += Ms(t3 - t2);
      showing += Ms(t4 - t3);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["particles"] = main.ParticlesDrawn;
    state.counters["stepping_ms"] = stepping / n;
    state.counters["refresh_ms"] = refreshing / n;
    state.counters["drawing_ms"] = drawing / n;
    state.counters["showing_ms"] = showing / n;
    state.counters["frame_ms"] = (stepping + refreshing + drawing + showing) / n;
    Platform().ReleaseViewSurface(tsxAViewGetHwnd(), canvas);
  }
  InstallPlatform(nullptr);
  stage::ResetStage();
}

}  // namespace

BENCHMARK(StudioPreviewFrame50k)
    ->ArgName("draw_mode")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
