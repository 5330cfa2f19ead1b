// The studio's Render Animation of the fountain example: 24 frames at its 640 × 360 written as PNG
// files, in the studio's window with the real plug-in (offscreen Qt). Through the render pipeline
// each frame's file is written on the writer thread while the next frame renders. SerialWrites
// renders the same frames and writes each file before the next frame, on one thread, as the
// studio's own loop did before it rendered through the pipeline: the figure to compare with.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "stage/ImageFiles.h"
#include "stage/RenderPipeline.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"

namespace {

constexpr int Last = 23;

stage::studio::TMainWindow& Window() {
  static stage::studio::TMainWindow* const window = [] {
    auto* w = new stage::studio::TMainWindow;
    w->SetPlugin(stage::studio::LoadStudioPlugin(VANTREL_PLUGIN));
    w->OpenScene(VANTREL_EXAMPLES_DIR "/fountain/scene.json");
    return w;
  }();
  return *window;
}

void PerFrame(benchmark::State& state) {
  state.counters["s_per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * (Last + 1),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void StudioRenderAnimation(benchmark::State& state) {
  stage::studio::TMainWindow& window = Window();
  QTemporaryDir dir;
  for (auto _ : state)
    if (window.RenderAnimation({0, Last, dir.filePath("####.png")}) != Last + 1) state.SkipWithError("frames missing");
  PerFrame(state);
}

void SerialWrites(benchmark::State& state) {
  Window();
  QTemporaryDir dir;
  stage::TStage& stage = stage::Stage();
  stage.View.Width = stage.Render.Width;
  stage.View.Height = stage.Render.Height;
  const stage::TImageWriteOptions options = stage::FrameWriteOptions(stage);
  for (auto _ : state)
    stage.RenderSequence(0, Last, [&](float frame, const stage::TScreenBuffer& image) {
      const QString file = dir.filePath(QString("%1.png").arg(static_cast<int>(frame), 4, 10, QChar('0')));
      stage::WriteImage(file.toStdString(), image, options);
    });
  PerFrame(state);
}

}  // namespace

BENCHMARK(StudioRenderAnimation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(SerialWrites)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
