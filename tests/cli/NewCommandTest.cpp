// `vantrel new` run as a user runs it: a scene from every preset renders particles with the real
// plug-in, the same bytes twice, from a folder that holds none of the pictures; the list; the
// refusals, which lose nothing.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "VantrelProgram.h"

namespace fs = std::filesystem;

namespace {

// The preset names `vantrel new --list` gives, each the first word of its line.
std::vector<std::string> FirstWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) words.push_back(line.substr(0, line.find(' ')));
  return words;
}

}  // namespace

TEST_F(VantrelProgram, NewSceneOfEveryPresetRendersParticlesRepeatably) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  TRun list = Run("new --list");
  ASSERT_EQ(list.Code, 0) << list.Err;
  const std::vector<std::string> presets = FirstWords(list.Out);
  for (const char* wanted : {"fire", "smoke", "rain", "snow", "sparks", "fountain", "magic-dust", "fireflies",
                             "explosion", "dust-trail"})
    EXPECT_NE(std::find(presets.begin(), presets.end(), wanted), presets.end()) << wanted << " in\n" << list.Out;

  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  for (const std::string& name : presets) {
    SCOPED_TRACE(name);
    const std::string scene = name + ".json";
    TRun run = Run("new " + scene + " --preset " + name);
    ASSERT_EQ(run.Code, 0) << run.Err;
    // The scene's last frame, twice from a fresh start, and the host's image alone (the fixture
    // plug-in draws no particles). The render runs in a folder without the pictures: they come
    // from the data folder, without a question or a message.
    TRun info = Run(Fixture + "info " + scene);
    ASSERT_EQ(info.Code, 0) << info.Err;
    const size_t at = info.Out.find(" to ", info.Out.find(", frames "));
    ASSERT_NE(at, std::string::npos) << info.Out;
    const std::string frame = std::to_string(std::stoll(info.Out.substr(at + 4)));
    run = Run(real + "render " + scene + " -f " + frame + " -o a.png");
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Err.find("Could not find"), std::string::npos) << run.Err;
    ASSERT_EQ(Run(real + "render " + scene + " -f " + frame + " -o b.png").Code, 0);
    ASSERT_EQ(Run(Fixture + "render " + scene + " -f " + frame + " -o host.png").Code, 0);
    EXPECT_TRUE(ReadFile(Dir / "a.png") == ReadFile(Dir / "b.png")) << "two renders differ";

    int w = 0, h = 0;
    const std::vector<uint8_t> frameRgb = ReadPng(Dir / "a.png", w, h), host = ReadPng(Dir / "host.png", w, h);
    ASSERT_EQ(frameRgb.size(), host.size());
    ASSERT_GE(w * h, 320 * 180);
    // Pixel 0 is the fixture's mark; particles change at least one pixel in a hundred.
    size_t changed = 0;
    for (size_t i = 3; i + 2 < frameRgb.size(); i += 3)
      if (std::abs(frameRgb[i] - host[i]) + std::abs(frameRgb[i + 1] - host[i + 1]) +
              std::abs(frameRgb[i + 2] - host[i + 2]) > 12)
        ++changed;
    EXPECT_GT(changed, static_cast<size_t>(w * h / 100)) << "hardly any particles";
  }
}

TEST_F(VantrelProgram, NewRefusesWithoutLosingAnything) {
  // An unknown preset: a usage error that names the presets, and no file.
  TRun run = Run("new a.json --preset campfire");
  EXPECT_EQ(run.Code, 2);
  EXPECT_NE(run.Err.find("there is no preset \"campfire\"; the presets are fire, smoke"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "a.json"));
  // No scene, no preset, a list with a scene: usage errors.
  EXPECT_EQ(Run("new --preset fire").Code, 2);
  run = Run("new a.json");
  EXPECT_EQ(run.Code, 2);
  EXPECT_NE(run.Err.find("needs --preset NAME; the presets are fire,"), std::string::npos) << run.Err;
  EXPECT_EQ(Run("new a.json --list").Code, 2);
  EXPECT_FALSE(fs::exists(Dir / "a.json"));

  // An existing file stays as it was unless --force; then it is replaced.
  std::ofstream(Dir / "mine.json") << "my own scene";
  run = Run("new mine.json --preset smoke");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("mine.json exists; give --force to replace it"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile(Dir / "mine.json"), "my own scene");
  run = Run("new mine.json --preset smoke --force");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(ReadFile(Dir / "mine.json").find("\"objectType\": \"VNTX_Emitter\""), std::string::npos);
  // Missing folders are made.
  EXPECT_EQ(Run("new shots/today/rain.json --preset rain").Code, 0);
  EXPECT_TRUE(fs::exists(Dir / "shots/today/rain.json"));

  // A folder that cannot be written: the reason, and nothing left behind.
  fs::create_directories(Dir / "locked");
  fs::permissions(Dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  const bool enforced = access((Dir / "locked").c_str(), W_OK) != 0;  // root writes anyway
  run = Run("new locked/fire.json --preset fire");
  if (enforced) {
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("cannot write locked/fire.json: Permission denied"), std::string::npos) << run.Err;
    EXPECT_TRUE(fs::is_empty(Dir / "locked"));
  }
  fs::permissions(Dir / "locked", fs::perms::owner_all);
  // A scene path under a file is refused the same way, whoever runs it.
  run = Run("new mine.json/fire.json --preset fire");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("cannot write mine.json/fire.json: "), std::string::npos) << run.Err;
  // A folder given as the scene.
  run = Run("new shots --preset fire --force");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("shots is a folder"), std::string::npos) << run.Err;
}
