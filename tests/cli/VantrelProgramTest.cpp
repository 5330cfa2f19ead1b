// The vantrel program itself, run as a user runs it: exit codes, messages, frames written and
// read back, the progress lines, an interruption. Everything happens in a temporary folder.
#include <gtest/gtest.h>

#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A box in front of the camera on a blue-grey background, 32 × 24, frames 0 to 2.
const char* const SmallScene = R"({
  "vantrelScene": 1,
  "camera": {"eye": [0, -10, 0], "target": [0, 0, 0], "fieldOfView": 40},
  "render": {"width": 32, "height": 24, "frames": [0, 2], "background": [0.2, 0.4, 0.6]},
  "nodes": [{"name": "Box", "type": "mesh", "mesh": {"primitive": "box", "size": [2, 2, 2]}},
            {"name": "Rig", "type": "group", "children": [{"name": "Cone", "type": "mesh",
              "mesh": {"primitive": "sphere", "radius": 0.5}, "position": [3, 0, 0]}]}]
})";

struct TRun {
  int Code = -1;
  std::string Out, Err;
};

class VantrelProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("vantrel-cli-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir / "shot");
    std::ofstream(Dir / "shot" / "scene.json") << SmallScene;
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Runs the program in Dir with the arguments (shell-quoted by the caller where needed).
  TRun Run(const std::string& args, const std::string& program = VANTREL_PROGRAM) {
    const std::string command = "cd '" + Dir.string() + "' && '" + program + "' " + args +
                                " >'" + (Dir / "stdout.txt").string() + "' 2>'" + (Dir / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    TRun run;
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    run.Out = Read(Dir / "stdout.txt");
    run.Err = Read(Dir / "stderr.txt");
    return run;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::vector<uint8_t> ReadPng(const fs::path& p, int& w, int& h) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, p.c_str())) return {};
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return {};
    w = static_cast<int>(png.width);
    h = static_cast<int>(png.height);
    return rgb;
  }

  fs::path Dir;
  const std::string Fixture = "--plugin '" FIXTURE_PLUGIN "' ";
};

}  // namespace

TEST_F(VantrelProgram, UsageErrorsAnswerTwo) {
  const char* cases[] = {
      "",                                               // no command
      "paint shot/scene.json",                          // unknown command
      "render",                                         // no scene
      "render shot/scene.json -f 1 -s 0",               // -f excludes -s
      "render shot/scene.json -f 1 -e 2",
      "render shot/scene.json -s x",
      "render shot/scene.json --size 0x10",
      "render shot/scene.json --size 640",
      "render shot/scene.json --format gif",
      "render shot/scene.json -o frames/a.jpg",
      "render shot/scene.json -o frames/a.png --format exr",
      // Numbers beyond what they can mean are refused with a message, not wrapped or thrown.
      "render shot/scene.json -s 99999999999 -e 99999999999",
      "render shot/scene.json -f -99999999999",
      "render shot/scene.json -s 0 -e 16777217",
      "render shot/scene.json --size 99999999999x10",
      "render shot/scene.json --size 640x4294967936",
  };
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const TRun run = Run(Fixture + args);
    EXPECT_EQ(run.Code, 2) << run.Err;
    EXPECT_FALSE(run.Err.empty());
  }
  // Ranges the scene cannot hold are usage errors too, found once the scene is read.
  const TRun late = Run(Fixture + "render shot/scene.json -s 5");
  EXPECT_EQ(late.Code, 2) << late.Err;
  EXPECT_NE(late.Err.find("Start frame 5 lies after the scene's last frame 2"), std::string::npos) << late.Err;
  EXPECT_FALSE(fs::exists(Dir / "out"));
  EXPECT_EQ(Run("--help").Code, 0);
}

// The baking tool range-checks its numbers as the program does: a message and code 2, never an
// uncaught exception.
TEST_F(VantrelProgram, BakeRefusesFramesBeyondRange) {
  for (const char* args : {"--frames 0-99999999999", "--frames -99999999999-0", "--frame 99999999999",
                           "--frames 0-16777217"}) {
    SCOPED_TRACE(args);
    const TRun run = Run(std::string("shot/scene.json --csv out.csv ") + args, VANTREL_BAKE);
    EXPECT_EQ(run.Code, 2) << run.Err;
    EXPECT_NE(run.Err.find("16777216"), std::string::npos) << run.Err;
  }
}

TEST_F(VantrelProgram, UnreadableScenesAndMissingPluginsAnswerOne) {
  std::ofstream(Dir / "broken.json") << "{\"vantrelScene\": 1, \"render\": {\"width\": -3}}";
  std::ofstream(Dir / "cut.json") << "{\"vantrelScene\": 1, \"nodes\": [";

  TRun run = Run(Fixture + "render nowhere.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Cannot open scene file nowhere.json (no such file)"), std::string::npos) << run.Err;

  run = Run(Fixture + "render broken.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("broken.json"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("/render/width"), std::string::npos) << run.Err;

  run = Run(Fixture + "info cut.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("cut.json"), std::string::npos) << run.Err;

  run = Run("--plugin nowhere/vantrel.tsx render shot/scene.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Plug-in not found: nowhere/vantrel.tsx"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "out"));

  run = Run("--plugin '" BROKEN_PLUGIN "' render shot/scene.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("does not export tsxOnLeftClick"), std::string::npos) << run.Err;

  // Frames that cannot be written: a file stands where the folder should be.
  std::ofstream(Dir / "taken") << "a file";
  run = Run(Fixture + "render shot/scene.json -o taken/####.png");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Frame 0: Cannot create folder taken"), std::string::npos) << run.Err;
}

TEST_F(VantrelProgram, RendersEveryFrameOnceAfterOneRenderBegin) {
  const TRun run = Run(Fixture + "render shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  // Render begin raised once (100), then one post-process call per frame.
  for (const char* line : {"frame 0 (1/3): ", "frame 1 (2/3): ", "frame 2 (3/3): "})
    EXPECT_NE(run.Err.find(line), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("out/shot/0000.png -- Rendered 101 particles in 00:00\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("out/shot/0002.png -- Rendered 103 particles in 00:00\n"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find('\r'), std::string::npos) << "no bar when stderr is not a terminal";
  EXPECT_TRUE(run.Out.empty());

  int w = 0, h = 0;
  const std::vector<uint8_t> rgb = ReadPng(Dir / "out/shot/0002.png", w, h);
  ASSERT_EQ(rgb.size(), 32u * 24 * 3);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  // The shader's pixel, the background in a corner, and the box lit in the middle.
  EXPECT_EQ(std::vector<int>(rgb.begin(), rgb.begin() + 3), (std::vector<int>{0, 255, 0}));
  const size_t corner = (23 * 32 + 31) * 3;
  EXPECT_EQ(std::vector<int>(rgb.begin() + corner, rgb.begin() + corner + 3), (std::vector<int>{51, 102, 153}));
  const size_t middle = (12 * 32 + 16) * 3;
  EXPECT_NE(std::vector<int>(rgb.begin() + middle, rgb.begin() + middle + 3), (std::vector<int>{51, 102, 153}));
  EXPECT_TRUE(fs::exists(Dir / "out/shot/0000.png"));
  EXPECT_TRUE(fs::exists(Dir / "out/shot/0001.png"));
  EXPECT_FALSE(fs::exists(Dir / "out/shot/0003.png"));
  for (const auto& entry : fs::directory_iterator(Dir / "out/shot"))
    EXPECT_EQ(entry.path().extension(), ".png") << "no temporary file left: " << entry.path();
}

TEST_F(VantrelProgram, ExrWithSizeAndOneFrame) {
  const TRun run = Run(Fixture + "render shot/scene.json -f 7 --size 64x48 --format exr -o 'exr/take_##'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  const fs::path file = Dir / "exr/take_07.exr";
  ASSERT_TRUE(fs::exists(file)) << run.Err;
  Imf::InputFile exr(file.c_str());
  const Imath::Box2i box = exr.header().dataWindow();
  const int w = box.max.x - box.min.x + 1, h = box.max.y - box.min.y + 1;
  ASSERT_EQ(w, 64);
  ASSERT_EQ(h, 48);
  std::vector<float> g(static_cast<size_t>(w * h)), b(g.size()), z(g.size());
  Imf::FrameBuffer fb;
  fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(g.data()), sizeof(float), sizeof(float) * w));
  fb.insert("B", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(b.data()), sizeof(float), sizeof(float) * w));
  fb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(z.data()), sizeof(float), sizeof(float) * w));
  exr.setFrameBuffer(fb);
  exr.readPixels(box.min.y, box.max.y);
  EXPECT_EQ(g[0], 1.0f);
  EXPECT_EQ(b[0], 0.0f);
  EXPECT_FLOAT_EQ(b[static_cast<size_t>(w * h - 1)], 0.6f);
  EXPECT_TRUE(std::isinf(z[static_cast<size_t>(w * h - 1)]));
  // The box's front face lies 9 units from the eye; the view kept the new aspect.
  EXPECT_NEAR(z[static_cast<size_t>(24 * w + 32)], 9.0f, 1e-3);
}

TEST_F(VantrelProgram, PluginMessagesAreShownAndFailTheRun) {
  const TRun run = Run(Fixture + "render shot/scene.json -s 12 -e 14 -o 'm/####.png'");
  EXPECT_EQ(run.Code, 1) << run.Err;
  EXPECT_NE(run.Err.find("vantrel: the plug-in reports: Fixture error at frame 13\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("the plug-in reported 1 problem"), std::string::npos) << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "m/0014.png")) << "the other frames are still written";
}

TEST_F(VantrelProgram, InterruptStopsTheFrameAndAnswers130) {
  const TRun run = Run(Fixture + "render shot/scene.json -s 64 -e 70 -o 'i/####.png'");
  EXPECT_EQ(run.Code, 130) << run.Err;
  EXPECT_NE(run.Err.find("Interrupted during frame 66 (not written); 2 of 7 frames written"), std::string::npos)
      << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "i/0065.png"));
  EXPECT_FALSE(fs::exists(Dir / "i/0066.png"));
  EXPECT_FALSE(fs::exists(Dir / "i/0067.png"));
}

TEST_F(VantrelProgram, InfoListsNodesAndSettingsEvenWithoutThePlugin) {
  TRun run = Run("--plugin nowhere.tsx info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("Plug-in not found: nowhere.tsx"), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: not loaded"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Render: 32 x 24, frames 0 to 2"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("\n  Box  mesh, 8 vertices, 6 faces\n  Rig  group\n    Cone  mesh, "), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("Emitters and tools:\n  (none)\n"), std::string::npos) << run.Out;

  run = Run(Fixture + "info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: Fixture by Tests, host interface 430"), std::string::npos) << run.Out;
}

// ---- The real plug-in, end to end.

namespace {

std::string FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(VantrelProgram, RealPluginRendersAStageSceneWithoutParticles) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  TRun run = Run(real + "info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: Vantrel by Kestrune, host interface 430"), std::string::npos) << run.Out;

  // Without emitters the plug-in leaves the host's image as it is.
  run = Run(real + "render shot/scene.json -f 1 -o real.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  int w = 0, h = 0;
  const std::vector<uint8_t> withPlugin = ReadPng(Dir / "real.png", w, h);
  ASSERT_EQ(withPlugin.size(), 32u * 24 * 3);
  const size_t corner = (23 * 32 + 31) * 3;
  EXPECT_EQ(std::vector<int>(withPlugin.begin() + corner, withPlugin.begin() + corner + 3),
            (std::vector<int>{51, 102, 153}));
}

// Every bundled example: its last two frames render with particles in them, the same bytes
// again from a fresh start, and the last frame alone equals the last of the two (render begin
// simulates up to it exactly as the frame before did).
TEST_F(VantrelProgram, RealPluginRendersTheExamplesRepeatably) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  std::vector<fs::path> scenes;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR, ec))
    if (fs::exists(entry.path() / "scene.json")) scenes.push_back(entry.path() / "scene.json");
  if (scenes.empty()) GTEST_SKIP() << "no examples in " EXAMPLES_DIR;

  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  for (const fs::path& scene : scenes) {
    SCOPED_TRACE(scene.string());
    TRun info = Run("--plugin '" FIXTURE_PLUGIN "' info '" + scene.string() + "'");
    ASSERT_EQ(info.Code, 0) << info.Err;
    const size_t at = info.Out.find(", frames ");
    ASSERT_NE(at, std::string::npos) << info.Out;
    const long long last = std::stoll(info.Out.substr(info.Out.find(" to ", at) + 4));
    const std::string frames = " -s " + std::to_string(last - 1) + " -e " + std::to_string(last);
    const std::string lastName = std::to_string(last) + ".png";

    TRun run = Run(real + "render '" + scene.string() + "'" + frames + " -o 'a/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    run = Run(real + "render '" + scene.string() + "'" + frames + " -o 'b/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    run = Run(real + "render '" + scene.string() + "' -f " + std::to_string(last) + " -o 'c/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    // The host's image alone: the fixture defines no emitter type, so no particles.
    run = Run("--plugin '" FIXTURE_PLUGIN "' render '" + scene.string() + "' -f " + std::to_string(last) +
              " -o 'host/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;

    const std::string a = FileBytes(Dir / "a" / lastName);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, FileBytes(Dir / "b" / lastName)) << "same frames from a fresh start";
    EXPECT_EQ(FileBytes(Dir / "a" / (std::to_string(last - 1) + ".png")),
              FileBytes(Dir / "b" / (std::to_string(last - 1) + ".png")));
    EXPECT_EQ(a, FileBytes(Dir / "c" / lastName)) << "the last frame alone renders the same";

    int w = 0, h = 0, hw = 0, hh = 0;
    const std::vector<uint8_t> particles = ReadPng(Dir / "a" / lastName, w, h);
    const std::vector<uint8_t> host = ReadPng(Dir / "host" / lastName, hw, hh);
    ASSERT_EQ(particles.size(), host.size());
    size_t changed = 0;
    for (size_t i = 3; i < host.size(); i += 3)  // pixel 0 is the fixture's own
      if (particles[i] != host[i] || particles[i + 1] != host[i + 1] || particles[i + 2] != host[i + 2]) ++changed;
    EXPECT_GT(changed, 0u) << "particles composited over the host's image";
  }
}
