// Proof of identity: the bundled examples, a scene from every emitter preset and a scene with
// every tool kind (an absorbing deflector with tool lives, a swinging deflector, fan, attractor,
// repulsor, an animated leader and a gravitron; a moving emitter with a frame offset and a frozen
// one; every render mode) are rendered by the plug-in in this process on 1, 2, 3 and 8 threads,
// with depth dithering, soft intersections, coverage and antialiasing switched between runs. The
// particles of every frame (as vantrel-bake writes them), the image bytes (colour, coverage and
// depth) and the generator and table cursor afterwards must not differ by a bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/DeflectorModifier.h"
#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

namespace {

struct TSwitches {
  bool dither = false, soft = false;
  int samples = 1;
  float backgroundAlpha = 1;  // below 1: the image keeps coverage
};

std::string Describe(const TSwitches& s) {
  std::ostringstream out;
  out << "dither " << s.dither << ", soft " << s.soft << ", samples " << s.samples << ", alpha " << s.backgroundAlpha;
  return out.str();
}

// Everything a run leaves, frame after frame.
struct TRun {
  std::vector<std::string> Frames;  // per rendered frame: the CSV rows, then the image's bytes
  uint32_t Seed = 0;
  int Cursor = 0;
  size_t Particles = 0;  // rows of the last frame's CSV
};

TRun Render(const fs::path& scene, int threads, const TSwitches& switches, float first, float last) {
  stage::ResetStage();
  TVantrelPlugin plugin(VANTREL_DATA_DIR "/");
  plugin.Main.Workers.SetThreads(threads);
  plugin.Main.Workers.ParallelStepMinimum = 0;  // the examples are small: use the threads anyway
  PlugState().PluginId = 1;
  plugin.PlugInit();
  plugin.Main.EnableRenderingAction();
  stage::LoadSceneFile(stage::Stage(), scene);
  stage::Stage().Render.Width = stage::Stage().View.Width = 256;
  stage::Stage().Render.Height = stage::Stage().View.Height = 144;
  stage::Stage().Render.Samples = switches.samples;
  stage::Stage().Render.BackgroundAlpha = switches.backgroundAlpha;
  // Scene files keep no tool lives: the absorbing deflector gets them here.
  for (auto& tool : plugin.Main.Toolbox.Tools)
    if (auto* deflector = dynamic_cast<TPlaneDeflectorModifier*>(tool->Modifier()); deflector && deflector->Absorbs)
      deflector->ToolLifespan = 9, deflector->ToolLives = 3;

  // The scene's own switches are read at render begin; these come after them.
  plugin.Main.Switches.ReadSceneSettings = [&]() -> std::optional<std::string> {
    return Format("depthDithering=%d softIntersections=%d softDistance=0.4", switches.dither ? 1 : 0,
                  switches.soft ? 1 : 0);
  };

  TRun run;
  SetRandomTableCursor(0);  // program-wide: each run starts where the last one left it otherwise
  stage::Stage().RenderSequence(first, last, [&](float, const stage::TScreenBuffer& image) {
    std::ostringstream csv;
    WriteParticleCsv(plugin.Main.Emitters, csv);
    std::string frame = csv.str();
    run.Particles = static_cast<size_t>(std::count(frame.begin(), frame.end(), '\n')) - 1;
    for (int32_t y = 0; y < image.Height(); ++y)
      for (int32_t x = 0; x < image.Width(); ++x)
        frame.append(reinterpret_cast<const char*>(&image.At(x, y)), sizeof(stage::TPixel));
    run.Frames.push_back(std::move(frame));
  });
  run.Seed = RandomSeed;
  run.Cursor = RandomTableCursor();
  stage::Stage().Scene.Clear();
  return run;
}

// The first frame where two runs differ, or -1.
int FirstDifference(const TRun& a, const TRun& b) {
  if (a.Frames.size() != b.Frames.size()) return 0;
  for (size_t f = 0; f < a.Frames.size(); ++f)
    if (a.Frames[f] != b.Frames[f]) return static_cast<int>(f);
  return -1;
}

void ExpectSameOnEveryThreadCount(const fs::path& scene, const TSwitches& switches, float first, float last) {
  SCOPED_TRACE(scene.string() + ", " + Describe(switches));
  const TRun one = Render(scene, 1, switches, first, last);
  ASSERT_EQ(one.Frames.size(), static_cast<size_t>(last - first + 1));
  EXPECT_GT(one.Particles, 50u) << "a scene without particles proves nothing";
  for (const int threads : {2, 3, 8}) {
    const TRun many = Render(scene, threads, switches, first, last);
    EXPECT_EQ(FirstDifference(one, many), -1) << threads << " threads: frame " << first + FirstDifference(one, many);
    EXPECT_EQ(many.Seed, one.Seed) << threads << " threads";
    EXPECT_EQ(many.Cursor, one.Cursor) << threads << " threads";
  }
}

const TSwitches Variants[] = {{true, false, 1, 1}, {true, true, 2, 0}, {false, true, 1, 0}, {true, false, 1, 0.5f}};

class ThreadIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("vantrel-threads-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  fs::path Dir;
};

}  // namespace

TEST_F(ThreadIdentity, EveryToolKind) {
  const fs::path scene = fs::path(VANTREL_TEST_DATA) / "every-tool.json";
  for (const TSwitches& switches : Variants) ExpectSameOnEveryThreadCount(scene, switches, 24, 29);
}

TEST_F(ThreadIdentity, Examples) {
  int i = 0;
  for (const auto& entry : fs::directory_iterator(VANTREL_EXAMPLES_DIR)) {
    const fs::path scene = entry.path() / "scene.json";
    if (!fs::exists(scene)) continue;
    ExpectSameOnEveryThreadCount(scene, Variants[i++ % std::size(Variants)], 30, 32);
  }
  EXPECT_GE(i, 5);
}

TEST_F(ThreadIdentity, Presets) {
  const fs::path index = fs::path(VANTREL_DATA_DIR) / "presets" / "index.json";
  ASSERT_TRUE(fs::exists(index));
  int i = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(VANTREL_DATA_DIR) / "presets")) {
    if (entry.path().extension() != ".vte") continue;
    const std::string name = entry.path().stem().string();
    const fs::path scene = Dir / (name + ".json");
    const std::string command = std::string("'") + VANTREL_PROGRAM + "' new '" + scene.string() + "' --preset " + name +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ExpectSameOnEveryThreadCount(scene, Variants[i++ % std::size(Variants)], 30, 32);
  }
  EXPECT_GE(i, 10);
}
