// Scene files with readable settings, in the stage with the built module: the guide's scene
// renders a red stream over its cube; a scene and its twin holding base64 payloads render the
// very same image; the examples render to the same PNG bytes from their earlier base64 form;
// bad settings refuse the whole scene; saving a base64 scene writes readable settings.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include <unistd.h>

#include "engine/ColorSeries.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "stage/Base64.h"
#include "stage/ImageFiles.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tests/plugin/StartedModule.h"

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

using stage::Stage;

class ReadableScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    stage::ResetStage();
    Module = StartPluginModule(VANTREL_PLUGIN_PATH);
  }

  void SetUp() override {
    if (!Module) GTEST_SKIP() << "the module did not load";
    Stage().Scene.Clear();
    Dir = fs::temp_directory_path() / ("vantrel-readable-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  static void Load(const fs::path& scene) {
    const auto warnings = stage::LoadSceneFile(Stage(), scene);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
  }

  // Frames 0..last as the host renders them, the last one answered.
  static stage::TScreenBuffer Render(float last) {
    stage::TScreenBuffer result(1, 1);
    EXPECT_TRUE(Stage().RenderSequence(0, last, [&](float, const stage::TScreenBuffer& image) { result = image; }));
    return result;
  }

  static stage::TScreenBuffer HostImage(float frame) {
    const auto shader = Stage().Shader(tssSHADER_POSTPROCESS);
    Stage().RegisterShader(tssSHADER_POSTPROCESS, shader, false);
    stage::TScreenBuffer image = Stage().RenderFrame(frame);
    Stage().RegisterShader(tssSHADER_POSTPROCESS, shader, true);
    return image;
  }

  // How much redder than the host's image the 7 × 7 pixels around a world point get at most:
  // red gained minus green gained.
  static float Reddening(const stage::TScreenBuffer& with, const stage::TScreenBuffer& without, CtsxVector3f at) {
    const stage::TProjected p = Stage().View.Project(at);
    float most = 0;
    for (int y = static_cast<int>(p.Y) - 3; y <= static_cast<int>(p.Y) + 3; ++y)
      for (int x = static_cast<int>(p.X) - 3; x <= static_cast<int>(p.X) + 3; ++x) {
        if (x < 0 || y < 0 || x >= with.Width() || y >= with.Height()) continue;
        const auto& a = with.At(x, y);
        const auto& b = without.At(x, y);
        most = std::max(most, (a.R - b.R) - (a.G - b.G));
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

  static json ReadJson(const fs::path& p) {
    std::ifstream in(p);
    return json::parse(in);
  }
  static void WriteJson(const fs::path& p, const json& j) {
    std::ofstream out(p);
    out << j.dump(2);
  }
  static std::vector<uint8_t> Bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  static inline void* Module = nullptr;
  fs::path Dir;
  const fs::path Examples = fs::path(VANTREL_EXAMPLES_DIR);
  const fs::path Guide = Examples / "guide" / "scene.json";
};

TEST_F(ReadableScene, GuideStreamIsRedAboveTheCube) {
  Load(Guide);
  const stage::TScreenBuffer frame = Render(60);
  const stage::TScreenBuffer host = HostImage(60);
  // Falling from the emitter at height 6 and bouncing off the cube's top at 2.
  EXPECT_GT(Reddening(frame, host, {0, 0, 4}), 0.3f);
  EXPECT_GT(Reddening(frame, host, {0, 0, 2.3f}), 0.3f);
  // Nothing red in the sky beside the stream.
  EXPECT_EQ(Reddening(frame, host, {4, 0, 5}), 0);
}

// The guide's scene again, each object's settings replaced by the base64 payload the plug-in
// writes for them.
TEST_F(ReadableScene, Base64TwinRendersTheSameImage) {
  Load(Guide);
  const stage::TScreenBuffer readable = Render(45);
  json twin = ReadJson(Guide);
  for (json& node : twin["nodes"]) {
    if (!node.contains("settings")) continue;
    stage::TNode* n = nullptr;
    for (const auto& root : Stage().Scene.Roots())
      if (root->Name == node["name"].get<std::string>()) n = root.get();
    ASSERT_NE(n, nullptr);
    node.erase("settings");
    node["payload"] = stage::EncodeBase64(Stage().Files.Write(*n));
  }
  WriteJson(Dir / "twin.json", twin);
  Stage().Scene.Clear();
  Load(Dir / "twin.json");
  EXPECT_TRUE(Same(Render(45), readable));
}

// The examples as they were stored before readable settings (base64 payloads) and as they are
// now: the same PNG, byte for byte.
TEST_F(ReadableScene, ExamplesRenderUnchangedAfterConversion) {
  for (const char* name : {"fountain", "snow", "sparks", "swarm", "campfire"}) {
    SCOPED_TRACE(name);
    const json now = ReadJson(Examples / name / "scene.json");
    for (const json& node : now["nodes"]) EXPECT_FALSE(node.contains("payload")) << node["name"];
    Stage().Scene.Clear();
    Load(fs::path(VANTREL_TEST_DATA) / "payload-scenes" / (std::string(name) + ".json"));
    stage::WritePng(Dir / "before.png", Render(24));
    Stage().Scene.Clear();
    Load(Examples / name / "scene.json");
    stage::WritePng(Dir / "after.png", Render(24));
    EXPECT_EQ(Bytes(Dir / "before.png"), Bytes(Dir / "after.png"));
  }
}

// Saved again, a scene stored as base64 payloads holds readable settings, and loading those gives
// every object back with the payload bytes it had.
TEST_F(ReadableScene, SavingABase64SceneWritesReadableSettings) {
  Load(fs::path(VANTREL_TEST_DATA) / "payload-scenes" / "fountain.json");
  const auto payloads = [] {
    std::map<std::string, std::vector<uint8_t>> bytes;
    Stage().Scene.ForEach([&](stage::TNode& n) {
      if (n.Kind() == stage::TNodeKind::Custom) bytes[n.Name] = Stage().Files.Write(n);
    });
    return bytes;
  };
  const auto before = payloads();
  stage::SaveSceneFile(Stage(), Dir / "saved.json");
  const json saved = ReadJson(Dir / "saved.json");
  int objects = 0;
  for (const json& node : saved["nodes"]) {
    if (node["type"] != "object") continue;
    ++objects;
    EXPECT_FALSE(node.contains("payload"));
    ASSERT_TRUE(node.contains("settings"));
  }
  EXPECT_EQ(objects, 2);
  auto node = [&](const char* name) {
    for (const json& n : saved["nodes"])
      if (n["name"] == name) return n;
    return json();
  };
  EXPECT_EQ(node("Fountain")["settings"]["systems"][0]["name"], "Water");
  EXPECT_EQ(node("Pool")["settings"]["elasticity"], 35);

  Stage().Scene.Clear();
  Load(Dir / "saved.json");
  EXPECT_EQ(before.size(), 2u);
  EXPECT_EQ(payloads(), before);
}

// A tool's lifespan page and the gravitron's Infinite go into the scene file and come back, in
// the readable form and in the payload the plug-in holds.
TEST_F(ReadableScene, ToolLifespanLivesAndInfiniteAreKept) {
  const json settings = {{"toolLifespan", 30}, {"toolLives", 2}, {"infinite", true}};
  WriteJson(Dir / "tools.json", {{"vantrelScene", 1},
                                 {"nodes", {{{"name", "Well"}, {"type", "object"}, {"objectType", "VNTX_Gravitron"},
                                             {"settings", settings}}}}});
  Load(Dir / "tools.json");
  ASSERT_EQ(Stage().Scene.Roots().size(), 1u);
  const std::vector<uint8_t> payload = Stage().Files.Write(*Stage().Scene.Roots()[0]);
  stage::SaveSceneFile(Stage(), Dir / "saved.json");
  const json saved = ReadJson(Dir / "saved.json")["nodes"][0]["settings"];
  for (const char* key : {"toolLifespan", "toolLives", "infinite"}) EXPECT_EQ(saved[key], settings[key]) << key;
  Stage().Scene.Clear();
  Load(Dir / "saved.json");
  ASSERT_EQ(Stage().Scene.Roots().size(), 1u);
  EXPECT_EQ(Stage().Files.Write(*Stage().Scene.Roots()[0]), payload);
}

// Objects whose records hold what readable settings cannot (written by another program) are
// saved as their payload; every object comes back from a save and a load with the same bytes,
// and the saved scene loads.
TEST_F(ReadableScene, ForeignRecordsSurviveASaveAndALoad) {
  const struct {
    const char* What;
    std::function<void(TEmitterObject&)> Change;
    bool Readable;
  } cases[] = {
      {"in range", [](TEmitterObject&) {}, true},
      {"a frame offset of 9000", [](TEmitterObject& e) { e.FrameOffset = 9000; }, false},
      {"a curve with one key", [](TEmitterObject& e) { e.Visibility.Clear(); e.Visibility.AddKey(0, 1); }, false},
      {"a list index past its list", [](TEmitterObject& e) { e.Systems[0]->System.MapIndex = 3; }, false},
      {"a gradient without stops", [](TEmitterObject& e) { e.Systems[0]->System.ParticleColors.Assign({}, {}); }, false},
      {"an empty image name", [](TEmitterObject& e) { e.Systems[0]->System.Maps.Assign({{"", {}}}); }, false},
      {"auto-scale bits beyond the five boxes", [](TEmitterObject& e) { e.HeightScaling = 0xF8; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TEmitterObject e;
    e.Name = "Foreign";
    e.AddSystem();
    c.Change(e);
    TMemoryStream record;
    e.WriteTo(record);
    std::vector<uint8_t> payload(8);
    const int32_t header[2] = {EmitterRecordVersion, static_cast<int32_t>(record.Data().size())};
    std::memcpy(payload.data(), header, sizeof header);
    payload.insert(payload.end(), record.Data().begin(), record.Data().end());
    const json scene = {{"vantrelScene", 1},
                        {"nodes", {{{"name", "Foreign"}, {"type", "object"}, {"objectType", "VNTX_Emitter"},
                                    {"payload", stage::EncodeBase64(payload)}}}}};
    WriteJson(Dir / "foreign.json", scene);
    Stage().Scene.Clear();
    Load(Dir / "foreign.json");
    stage::SaveSceneFile(Stage(), Dir / "saved.json");
    const json saved = ReadJson(Dir / "saved.json");
    EXPECT_EQ(saved["nodes"][0].contains("settings"), c.Readable) << saved["nodes"][0].dump();
    Stage().Scene.Clear();
    Load(Dir / "saved.json");
    ASSERT_EQ(Stage().Scene.Roots().size(), 1u);
    EXPECT_EQ(Stage().Files.Write(*Stage().Scene.Roots()[0]), payload);
  }
}

// Bad settings: the message names the file, the object and the path; the scene loaded before
// stays whole.
TEST_F(ReadableScene, BadSettingsRefuseTheWholeScene) {
  Load(Guide);
  const size_t before = Stage().Scene.Roots().size();
  const struct {
    const char* Pointer;
    json Value;
    const char* Says;
  } cases[] = {
      {"/nodes/2/settings/systems/0/lifespan", 0, "outside the curve's range"},
      {"/nodes/2/settings/systems/0/colour", "#ff0000", "unknown key"},
      {"/nodes/2/settings/systems/0/flow", json::parse(R"({"keys": [[0, 1], [40, 2], [20, 3]]})"), "in order of x"},
      {"/nodes/3/settings/scale", 150, "outside the allowed range"},
      {"/nodes/3/settings/kind", "Fan", "not a Fan"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Pointer);
    json bad = ReadJson(Guide);
    bad[json::json_pointer(c.Pointer)] = c.Value;
    WriteJson(Dir / "bad.json", bad);
    try {
      stage::LoadSceneFile(Stage(), Dir / "bad.json");
      ADD_FAILURE() << "loaded";
    } catch (const stage::ESceneFileError& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find((Dir / "bad.json").string()), std::string::npos) << m;
      EXPECT_NE(m.find(c.Says), std::string::npos) << m;
      const std::string object = c.Pointer[7] == '2' ? "\"Stream\"" : "\"Bounce\"";
      EXPECT_NE(m.find(object), std::string::npos) << m;
      EXPECT_NE(m.find(c.Pointer), std::string::npos) << m;
    }
    EXPECT_EQ(Stage().Scene.Roots().size(), before);
  }
}

}  // namespace
