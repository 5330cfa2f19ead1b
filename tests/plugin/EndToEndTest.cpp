// End to end: the stage loads the built vantrel.tsx as the host does, loads a bundled example
// scene (the module reads its emitters and tools through its callbacks), renders frames, and
// the particles land where the scene puts them; a fresh start and a saved-and-reloaded scene
// render the very same image.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tests/plugin/StartedModule.h"

namespace fs = std::filesystem;

namespace {

using stage::Stage;

class EndToEnd : public ::testing::Test {
 protected:
  // One module per process, as in a host: loaded, registered and switched on once.
  static void SetUpTestSuite() {
    stage::ResetStage();
    Module = StartPluginModule(VANTREL_PLUGIN_PATH);
  }

  void SetUp() override {
    if (!Module) GTEST_SKIP() << "the module did not load";
    Stage().Scene.Clear();
    Dir = fs::temp_directory_path() / ("vantrel-e2e-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  void Load(const fs::path& scene) {
    Stage().Scene.Clear();
    const auto warnings = stage::LoadSceneFile(Stage(), scene);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
  }

  // Frames first..last as the host renders them (one render begin), the last one answered.
  stage::TScreenBuffer Render(float first, float last) {
    stage::TScreenBuffer result(1, 1);
    EXPECT_TRUE(Stage().RenderSequence(first, last, [&](float, const stage::TScreenBuffer& image) { result = image; }));
    return result;
  }

  // The host's image alone: the post-process shader withdrawn for one frame.
  stage::TScreenBuffer HostImage(float frame) {
    const auto shader = Stage().Shader(tssSHADER_POSTPROCESS);
    Stage().RegisterShader(tssSHADER_POSTPROCESS, shader, false);
    stage::TScreenBuffer image = Stage().RenderFrame(frame);
    Stage().RegisterShader(tssSHADER_POSTPROCESS, shader, true);
    return image;
  }

  // The largest brightening of red + green + blue in the 7 × 7 pixels around a world point.
  static float Brightening(const stage::TScreenBuffer& with, const stage::TScreenBuffer& without, CtsxVector3f at) {
    const stage::TProjected p = Stage().View.Project(at);
    const int cx = static_cast<int>(p.X), cy = static_cast<int>(p.Y);
    float most = 0;
    for (int y = cy - 3; y <= cy + 3; ++y)
      for (int x = cx - 3; x <= cx + 3; ++x) {
        if (x < 0 || y < 0 || x >= with.Width() || y >= with.Height()) continue;
        const auto& a = with.At(x, y);
        const auto& b = without.At(x, y);
        most = std::max(most, (a.R + a.G + a.B) - (b.R + b.G + b.B));
      }
    return most;
  }

  static bool Same(const stage::TScreenBuffer& a, const stage::TScreenBuffer& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
      for (int32_t x = 0; x < a.Width(); ++x)
        if (std::memcmp(&a.At(x, y), &b.At(x, y), sizeof a.At(x, y)) != 0) return false;
    return true;
  }

  static inline void* Module = nullptr;
  fs::path Dir;
  const fs::path Fountain = fs::path(VANTREL_EXAMPLES_DIR) / "fountain" / "scene.json";
};

}  // namespace

TEST_F(EndToEnd, FountainParticlesRiseAboveTheEmitter) {
  Load(Fountain);
  const stage::TScreenBuffer frame = Render(29, 30);
  const stage::TScreenBuffer host = HostImage(30);
  // The emitter sits at (0, 0, 0.45) and sprays upwards: after 30 frames the column reaches
  // beyond 2 units; the floor far to the side has seen no particle yet, nor has the sky's corner.
  EXPECT_GT(Brightening(frame, host, {0, 0, 1.2f}), 0.2f);
  EXPECT_GT(Brightening(frame, host, {0, 0, 2.2f}), 0.2f);
  EXPECT_EQ(Brightening(frame, host, {6.5f, 0, 0.01f}), 0);
  EXPECT_TRUE(std::memcmp(&frame.At(2, 2), &host.At(2, 2), sizeof frame.At(2, 2)) == 0);
  // Rendering the same frames again from a fresh start gives the same image.
  EXPECT_TRUE(Same(Render(29, 30), frame));
}

TEST_F(EndToEnd, SavedSceneRendersTheSame) {
  Load(Fountain);
  const stage::TScreenBuffer before = Render(12, 12);
  const fs::path saved = Dir / "saved.json";
  stage::SaveSceneFile(Stage(), saved);
  Load(saved);
  EXPECT_TRUE(Same(Render(12, 12), before));
}

// An emitter or a tool saved without data (a node with no payload) loads as an object of its
// type, with a warning naming it: the plug-in reads nothing and keeps no settings for it, so it
// saves no data either, and the scene loads the same way again.
TEST_F(EndToEnd, ObjectsWithoutDataLoadWithAWarning) {
  // The fountain as scenes stored it before readable settings: every object's data a payload.
  std::ifstream in(fs::path(VANTREL_TEST_DATA) / "payload-scenes" / "fountain.json");
  std::stringstream text;
  text << in.rdbuf();
  std::string scene = text.str();
  // Every payload of the example removed: the nodes keep their type and place only.
  for (size_t at; (at = scene.find("\"payload\"")) != std::string::npos;) {
    const size_t end = scene.find('"', scene.find('"', at + 10) + 1);
    scene.erase(at, end + 1 - at);
    const size_t comma = scene.find_last_not_of(" \n", at - 1);
    if (scene[comma] == ',') scene.erase(comma, 1);
  }
  const fs::path bare = Dir / "bare.json";
  std::ofstream(bare) << scene;
  for (const fs::path& file : {bare, Dir / "saved.json"}) {
    SCOPED_TRACE(file.string());
    Stage().Scene.Clear();
    const auto warnings = stage::LoadSceneFile(Stage(), file);
    ASSERT_EQ(warnings.size(), 2u);  // the fountain and the pool
    for (const std::string& w : warnings)
      EXPECT_NE(w.find("has no data; it is loaded as a new object of its type"), std::string::npos) << w;
    ASSERT_NE(Stage().Scene.FindByName("Fountain"), nullptr);
    EXPECT_GT(Stage().Scene.FindByName("Fountain")->TypeCode(), 0);  // an object of the plug-in's type
    Render(0, 2);
    stage::SaveSceneFile(Stage(), Dir / "saved.json");
  }
}
