// Loading plug-in modules as the host does: errors for missing and broken modules, the calls
// of start-up, and the plug-in's status reaching the program's platform.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "stage/Stage.h"
#include "stage/cli/PluginLoader.h"
#include "stage/PluginStatus.h"

using namespace stage::cli;
namespace fs = std::filesystem;

namespace {

std::string ErrorOf(const fs::path& path) {
  try {
    LoadPlugin(path);
  } catch (const EPluginError& e) {
    return e.what();
  }
  return "(loaded)";
}

}  // namespace

TEST(PluginLoader, MissingAndBrokenModulesAreNamedAndNeverStarted) {
  const fs::path dir = fs::temp_directory_path() / ("vantrel-loader-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "text.tsx") << "not a shared library\n";

  const std::string missing = ErrorOf(dir / "nowhere.tsx");
  EXPECT_NE(missing.find("Plug-in not found: " + (dir / "nowhere.tsx").string()), std::string::npos) << missing;
  EXPECT_NE(missing.find("--plugin"), std::string::npos) << missing;

  const std::string text = ErrorOf(dir / "text.tsx");
  EXPECT_NE(text.find("Cannot load plug-in " + (dir / "text.tsx").string()), std::string::npos) << text;

  EXPECT_EQ(ErrorOf(dir), "Plug-in not found: " + dir.string() +
                              " (build the target vantrel.tsx, or say where it is with --plugin PATH)");

  // The broken module's tsxGetData would subscribe an event callback: nothing may be called.
  const std::string broken = ErrorOf(BROKEN_PLUGIN);
  EXPECT_NE(broken.find("does not export tsxOnLeftClick"), std::string::npos) << broken;
  EXPECT_FALSE(stage::Stage().Shader(tssSHADER_POSTPROCESS));
  fs::remove_all(dir);
}

TEST(PluginLoader, StartsTheModuleAndSharesThePlatform) {
  stage::ResetStage();
  const TPluginInfo info = LoadPlugin(FIXTURE_PLUGIN, 7);
  EXPECT_EQ(info.Version, 430);
  EXPECT_EQ(info.Title, "Fixture");
  EXPECT_EQ(info.Author, "Tests");
  EXPECT_EQ(info.BitmapId, 100);
  EXPECT_EQ(info.StringId, 0);
  EXPECT_EQ(info.LeftClickResult, 0);
  ASSERT_TRUE(stage::Stage().Shader(tssSHADER_POSTPROCESS)) << "the left click registers the shader";

  // The module's status text lands on this program's platform.
  stage::TPluginStatus status;
  stage::Stage().Render.Width = 4;
  stage::Stage().Render.Height = 3;
  const stage::TScreenBuffer image = stage::Stage().RenderFrame(1);
  EXPECT_EQ(image.At(0, 0).G, 1.0f);
  EXPECT_EQ(status.TakeStatus(), " Rendered 1 particles in 00:00");
  EXPECT_EQ(status.TakeStatus(), "");
  stage::Stage().RenderFrame(13);
  EXPECT_EQ(status.NewMessages(), std::vector<std::string>{"Fixture error at frame 13"});
  EXPECT_TRUE(status.NewMessages().empty());
}

TEST(PluginRecord, FieldsWithoutTheirNulAreCutAtTheFieldsEnd) {
  tsxPLUGINDATA record;
  std::memset(&record, 'x', sizeof record);
  record.bitmapId = 0xFFFF;
  TPluginInfo info;
  ReadPluginRecord(record, info);
  EXPECT_EQ(info.Title, std::string(32, 'x'));
  EXPECT_EQ(info.Author, std::string(64, 'x'));
  EXPECT_EQ(info.BitmapId, 0xFFFF);
}
