// The emitter presets of the built data folder through the emitter manager: "Load Emitter
// Settings" starts in their folder, each built file holds what its readable text in the
// repository says, and every picture a preset names lies in the data folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "scene/Settings.h"
#include "stage/Stage.h"
#include "ui/EmitterMan.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

THeadlessPlatform& Headless() { return static_cast<THeadlessPlatform&>(Platform()); }

}  // namespace

TEST(Presets, LoadEmitterSettingsStartsInThePresetsAndLoadsEachAsItsTextSays) {
  stage::ResetStage();
  InstallPlatform(nullptr);
  const std::string data = (fs::path(VANTREL_DATA_DIR) / "").string();
  SetDataFolder(data);
  const fs::path presets = fs::path(VANTREL_DATA_DIR) / "presets";
  const TSettingsJson index = ParseSettingsText(Text(presets / "index.json"));
  ASSERT_GE(index["presets"].size(), 10u);

  TEmitterMan manager;
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->AddSystem();
  TEmitterObject& current = manager.AddEmitter(std::move(emitter));
  manager.Select(&current);
  const TSettingsJson before = EmitterToSettings(current);

  // Cancelled: nothing changes, and the dialog starts in the presets folder again next time.
  EXPECT_FALSE(manager.LoadEmitterSettingsFromDialog());
  EXPECT_EQ(EmitterToSettings(current), before);

  for (const auto& entry : index["presets"]) {
    const std::string name = entry["name"].get<std::string>();
    SCOPED_TRACE(name);
    Headless().FileAnswer = (presets / (name + ".vte")).string();
    ASSERT_TRUE(manager.LoadEmitterSettingsFromDialog());
    EXPECT_TRUE(Headless().Messages.empty()) << Headless().Messages.front();

    // The file the build made holds what the readable text in the repository says.
    TEmitterObject fromText;
    EmitterFromSettings(ParseSettingsText(Text(fs::path(VANTREL_PRESETS_SOURCE) / (name + ".json"))), fromText);
    EXPECT_EQ(EmitterToSettings(current), EmitterToSettings(fromText));

    // Every picture is named relative to the data folder and lies there.
    ASSERT_FALSE(current.Systems.empty());
    for (const auto& slot : current.Systems)
      for (int i = 0; i < slot->System.Maps.ImageCount(); ++i) {
        const std::string file = slot->System.Maps.NameAt(i);
        EXPECT_TRUE(fs::path(file).is_relative()) << file;
        EXPECT_TRUE(fs::is_regular_file(data + file)) << file;
      }
  }
  ASSERT_EQ(Headless().FileDialogFolders.size(), index["presets"].size() + 1);
  for (const std::string& folder : Headless().FileDialogFolders) EXPECT_EQ(fs::path(folder), presets / "");

  // A file picked elsewhere moves the dialog's start there.
  const fs::path elsewhere = fs::temp_directory_path() / ("vantrel-presets-" + std::to_string(getpid()));
  fs::create_directories(elsewhere);
  fs::copy_file(presets / "fire.vte", elsewhere / "mine.vte", fs::copy_options::overwrite_existing);
  Headless().FileAnswer = (elsewhere / "mine.vte").string();
  ASSERT_TRUE(manager.LoadEmitterSettingsFromDialog());
  Headless().FileAnswer.clear();
  manager.LoadEmitterSettingsFromDialog();
  EXPECT_EQ(fs::path(Headless().FileDialogFolders.back()), elsewhere / "");
  fs::remove_all(elsewhere);
  SetDataFolder("");
  InstallPlatform(nullptr);
}
