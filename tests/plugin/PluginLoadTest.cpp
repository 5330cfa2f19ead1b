// The built module as a host loads it: dlopen of vantrel.tsx beside a program that links the
// stage library, the five exports, the object types and shader it registers, and a rendered
// frame of a scene file whose emitter the module reads through its callbacks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tests/StageViews.h"

namespace {

using stage::Stage;

template <typename F>
F Export(void* module, const char* name) {
  return reinterpret_cast<F>(dlsym(module, name));
}

int LitPixels(const stage::TScreenBuffer& image) {
  int lit = 0;
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x) lit += image.At(x, y).R > 0.01f;
  return lit;
}

// A scene file with an orthographic view of the origin and one emitter holding one default
// slot, its payload written by the plug-in's own record code.
std::filesystem::path WriteScene() {
  stage::ResetStage();
  stage::TStage& st = Stage();
  stagetest::SetOrthographicView(65);

  TEmitterObject emitter;
  emitter.AddSystem();
  TMemoryStream record;
  emitter.WriteTo(record);
  TMemoryStream payload;
  WriteField(payload, EmitterRecordVersion);
  WriteField(payload, static_cast<int32_t>(record.Data().size()));
  payload.Write(record.Data().data(), record.Data().size());
  st.Scene.AddUnresolvedCustom("Emitter", "VNTX_Emitter", payload.Data());
  const auto path = std::filesystem::temp_directory_path() / "vantrel-plugin-load-test.json";
  stage::SaveSceneFile(st, path);
  stage::ResetStage();
  return path;
}

TEST(PluginModule, LoadsRegistersAndRendersParticles) {
  const auto scene = WriteScene();

  // The module finds the stage library this program already holds: one host for both.
  void* module = dlopen(VANTREL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  void* ownHost = dlopen("libtsxapi.so", RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(ownHost, nullptr) << "the stage library is not shared with the module";
  if (ownHost) dlclose(ownHost);

  // Only the five entry points are visible.
  auto getVersion = Export<tsxGETVERSIONFUNC>(module, "tsxGetVersion");
  auto getData = Export<tsxGETDATAFUNC>(module, "tsxGetData");
  auto leftClick = Export<tsxONLEFTCLICKFUNC>(module, "tsxOnLeftClick");
  ASSERT_TRUE(getVersion && getData && leftClick);
  EXPECT_NE(dlsym(module, "tsxOnRightClick"), nullptr);
  EXPECT_NE(dlsym(module, "tsxDeactivate"), nullptr);
  EXPECT_EQ(dlsym(module, "_Z10PlugStatev"), nullptr);

  EXPECT_EQ(getVersion(), 430);
  tsxPLUGINDATA record;
  std::memset(&record, 0x55, sizeof record);
  getData(&record, 12);
  EXPECT_STREQ(record.title, "Vantrel");
  EXPECT_STREQ(record.author, "Kestrune");
  EXPECT_EQ(record.bitmapId, 100);
  EXPECT_EQ(record.stringId, 0);
  const std::vector<std::string> names = {"VNTX_Emitter", "VNTX_Deflector", "VNTX_Fan", "VNTX_Attractor",
                                          "VNTX_Repulsor", "VNTX_Leader", "VNTX_Gravitron"};
  ASSERT_EQ(Stage().Types.All().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Stage().Types.All()[i].Name, names[i]);
    EXPECT_EQ(Stage().Types.All()[i].PluginId, 12);
  }
  EXPECT_EQ(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  EXPECT_EQ(leftClick(), 0);
  EXPECT_NE(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);

  const auto warnings = stage::LoadSceneFile(Stage(), scene);
  EXPECT_TRUE(warnings.empty());
  std::vector<stage::TScreenBuffer> frames;
  ASSERT_TRUE(Stage().RenderSequence(10, 11, [&](float, const stage::TScreenBuffer& image) { frames.push_back(image); }));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_GT(LitPixels(frames[0]), 0);
  EXPECT_GT(LitPixels(frames[1]), 0);
  EXPECT_FLOAT_EQ(tsxAnimGetActiveTime(), 11.0f);

  // The scene saved again holds the module's payload for the emitter.
  const auto saved = std::filesystem::temp_directory_path() / "vantrel-plugin-load-test-saved.json";
  stage::SaveSceneFile(Stage(), saved);
  EXPECT_GT(std::filesystem::file_size(saved), 100u);
  std::filesystem::remove(saved);
  std::filesystem::remove(scene);
}

}  // namespace
