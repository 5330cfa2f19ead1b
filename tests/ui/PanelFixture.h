// The stage, a headless platform with scripted answers and the real main panel's controller with
// one emitter of one system: what the gradient and image maps editors' tests start from.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "stage/Stage.h"
#include "ui/Main.h"

class PanelFixture : public ::testing::Test {
 public:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    InstallPlatform(std::move(p));
    BitmapCache().Clear();
    SetPictureFolder({});
    dir = std::filesystem::temp_directory_path() /
          ("vantrel-panels-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    SetDataFolder((dir / "data").string() + "/");
    tsxSOBJCALLBACKS callbacks{};
    callbacks.version = 3;
    emitterType = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
    main = std::make_unique<TMain>();
    main->NotifyHost = [this] { ++hostNotices; };
    stage::TNode* node = stage::Stage().Scene.CreateCustom(emitterType);
    stage::Stage().Scene.AddToScene(*node);
    auto e = std::make_unique<TEmitterObject>();
    e->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    e->AddSystem();
    emitter = &main->Emitters.AddEmitter(std::move(e));
    slot = emitter->Systems[0].get();
  }
  void TearDown() override {
    main.reset();
    InstallPlatform(nullptr);
    BitmapCache().Clear();
    SetDataFolder({});
    SetPictureFolder({});
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    stage::ResetStage();
  }

  std::vector<uint8_t> SlotBytes() const {
    TMemoryStream s;
    slot->WriteTo(s, false);
    return s.TakeData();
  }
  // The edit makes one step named `step`: undo gives back the slot's exact bytes (then
  // afterUndo checks what is shown), redo the edit's, and the host hears of it.
  void ExpectOneStep(const std::string& step, const std::function<void()>& edit,
                     const std::function<void()>& afterUndo = {}) {
    const std::vector<uint8_t> before = SlotBytes();
    const int notices = hostNotices;
    edit();
    const std::vector<uint8_t> after = SlotBytes();
    ASSERT_NE(after, before);
    EXPECT_EQ(main->PanelState().UndoName, step);
    EXPECT_EQ(main->History.UndoCount(), 1u);
    EXPECT_GT(hostNotices, notices);
    main->UndoAction();
    EXPECT_EQ(SlotBytes(), before);
    if (afterUndo) afterUndo();
    EXPECT_EQ(main->PanelState().RedoName, step);
    main->RedoAction();
    EXPECT_EQ(SlotBytes(), after);
  }
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::filesystem::path path = dir / name;
    std::filesystem::create_directories(path.parent_path());
    TFileWriteStream s(path.string());
    if (!bytes.empty()) s.Write(bytes.data(), bytes.size());
    s.Commit();
    return path.string();
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  TEmitterObject* emitter = nullptr;
  TEmitter* slot = nullptr;
  std::filesystem::path dir;
  int emitterType = 0;
  int hostNotices = 0;
};
