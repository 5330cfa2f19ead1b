// The stage, a headless platform with scripted answers and the real main panel's controller with
// one emitter of one system: what the gradient and image maps editors' tests start from. The
// emitter and tool types' delete, clone and file callbacks reach the controller as the plug-in's
// binding wires them, the host makes new emitter and tool objects, and a test may let the
// controller follow the host's selection notices as the binding does.
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
#include "tests/ui/StageTools.h"
#include "ui/Main.h"

class PanelFixture : public ::testing::Test {
 public:
  // The controller the scene objects' callbacks and the host's notices reach.
  static inline TMain* Current = nullptr;
  static int EmitterFile(tsxSOBJ* obj, tsxFILE* file, int direction, int) {
    if (direction == 1)
      Current->Emitters.WritePayload(obj, file);
    else
      Current->Emitters.ReadPayload(obj, file);
    return 1;
  }
  static int EmitterClone(tsxSOBJ* obj, tsxSOBJ* clone) {
    Current->Emitters.CloneEmitter(obj, clone);
    return 1;
  }
  static int EmitterDelete(tsxSOBJ* obj) {
    Current->Emitters.EmitterDeleted(obj);
    return 1;
  }
  static int ToolFile(tsxSOBJ* obj, tsxFILE* file, int direction, int) {
    if (direction == 1)
      Current->Toolbox.WritePayload(obj, file);
    else
      Current->Toolbox.ReadPayload(obj, file);
    return 1;
  }
  static int ToolClone(tsxSOBJ* obj, tsxSOBJ* clone) {
    Current->Toolbox.CloneTool(obj, clone);
    return 1;
  }
  static int ToolDelete(tsxSOBJ* obj) {
    Current->Toolbox.ToolDeleted(obj);
    return 1;
  }
  static void GeneralEvent(int, const void* record) {
    if (Current && *static_cast<const int32_t*>(record) == tsxGENERAL_SELECTION)
      Current->HostSelectionChanged(tsxHostGetSelectedSobj());
  }
  // From now on the host's selection notices reach the controller, as the plug-in's binding has
  // them delivered.
  void FollowHostSelection() { stage::Stage().Subscribe(tsxEVENTS_GENERAL, &GeneralEvent, true); }

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
    callbacks.onDelete = &EmitterDelete;
    callbacks.onClone = &EmitterClone;
    callbacks.onFile = &EmitterFile;
    emitterType = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
    callbacks.onDelete = &ToolDelete;
    callbacks.onClone = &ToolClone;
    callbacks.onFile = &ToolFile;
    toolTypes = DefineToolTypes(callbacks);
    main = std::make_unique<TMain>();
    Current = main.get();
    main->NotifyHost = [this] { ++hostNotices; };
    main->CreateEmitterObject = [this]() -> tsxSOBJ* {
      stage::TNode* node = stage::Stage().Scene.CreateCustom(emitterType);
      stage::Stage().Scene.AddToScene(*node);
      return stage::TScene::Handle(node);
    };
    main->CreateToolObject = [this](TToolKind kind) { return NewToolObject(toolTypes, kind); };
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
    Current = nullptr;
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
  std::vector<int> toolTypes;  // in kind order, deflector first
  int hostNotices = 0;
};
