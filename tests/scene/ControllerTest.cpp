// The emitter manager's and the toolbox's host-callback half, driven by the stage through real
// custom object types: payloads written and read through scene files, clones and deletions.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/FanModifier.h"
#include "engine/RandomTables.h"
#include "stage/Stage.h"
#include "ui/EmitterMan.h"
#include "ui/Toolbox.h"

namespace {

using stage::Stage;

// The callbacks the stage calls route to the controllers under test.
TEmitterMan* Emitters = nullptr;
TToolbox* Toolbox = nullptr;

int EmitterFile(tsxSOBJ* obj, tsxFILE* file, int direction, int) {
  if (direction == 1) Emitters->WritePayload(obj, file);
  else Emitters->ReadPayload(obj, file);
  return 1;
}
int EmitterClone(tsxSOBJ* obj, tsxSOBJ* clone) {
  Emitters->CloneEmitter(obj, clone);
  return 1;
}
int EmitterDelete(tsxSOBJ* obj) {
  Emitters->EmitterDeleted(obj);
  return 1;
}
int ToolFile(tsxSOBJ* obj, tsxFILE* file, int direction, int) {
  if (direction == 1) Toolbox->WritePayload(obj, file);
  else Toolbox->ReadPayload(obj, file);
  return 1;
}
int ToolClone(tsxSOBJ* obj, tsxSOBJ* clone) {
  Toolbox->CloneTool(obj, clone);
  return 1;
}
int ToolDelete(tsxSOBJ* obj) {
  Toolbox->ToolDeleted(obj);
  return 1;
}

class Controllers : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    Emitters = &emitters;
    Toolbox = &toolbox;
    tsxSOBJCALLBACKS e{};
    e.version = 3;
    e.onDelete = EmitterDelete;
    e.onClone = EmitterClone;
    e.onFile = EmitterFile;
    emitterType = tsxObjectDefine(1, "VNTX_Emitter", &e, 0);
    tsxSOBJCALLBACKS t = e;
    t.onDelete = ToolDelete;
    t.onClone = ToolClone;
    t.onFile = ToolFile;
    fanType = tsxObjectDefine(1, "VNTX_Fan", &t, 0);
  }
  void TearDown() override {
    stage::ResetStage();
    Emitters = nullptr;
    Toolbox = nullptr;
  }
  stage::TNode& NewObject(int type) {
    stage::TNode* n = Stage().Scene.CreateCustom(type);
    Stage().Scene.AddToScene(*n);
    return *n;
  }
  TEmitterMan emitters;
  TToolbox toolbox;
  int emitterType = 0, fanType = 0;
};

tsxSOBJ* H(stage::TNode& n) { return stage::TScene::Handle(&n); }

}  // namespace

TEST_F(Controllers, EmitterPayloadRoundTripsThroughTheScene) {
  stage::TNode& node = NewObject(emitterType);
  auto e = std::make_unique<TEmitterObject>();
  e->SceneObject = H(node);
  e->Name = "Smoke";
  e->FrameOffset = 7;
  e->AddSystem().System.SpatialDither = 0.5f;
  emitters.AddEmitter(std::move(e));

  const std::vector<uint8_t> payload = Stage().Files.Write(node);
  ASSERT_GT(payload.size(), 8u);
  int32_t version = 0, length = 0;
  std::memcpy(&version, payload.data(), 4);
  std::memcpy(&length, payload.data() + 4, 4);
  EXPECT_EQ(version, 101);
  EXPECT_EQ(static_cast<size_t>(length), payload.size() - 8);

  TEmitterMan loaded;
  Emitters = &loaded;
  Stage().Files.Read(node, payload);
  ASSERT_EQ(loaded.EmitterList.size(), 1u);
  EXPECT_EQ(loaded.CurrentEmitter, loaded.EmitterList[0].get());
  EXPECT_EQ(loaded.CurrentEmitter->SceneObject, H(node));
  EXPECT_EQ(loaded.CurrentEmitter->Name, "Smoke");
  EXPECT_EQ(loaded.CurrentEmitter->FrameOffset, 7);
  EXPECT_EQ(loaded.CurrentEmitter->Systems[0]->System.SpatialDither, 0.5f);

  // Payloads that create nothing: an old version, no data, a header cut short.
  for (std::vector<uint8_t> bad : {std::vector<uint8_t>{99, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4},
                                   std::vector<uint8_t>{101, 0, 0, 0, 0, 0, 0, 0},
                                   std::vector<uint8_t>{101, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF},
                                   std::vector<uint8_t>{101, 0}}) {
    Stage().Files.Read(node, bad);
    EXPECT_EQ(loaded.EmitterList.size(), 1u);
  }
  // A length beyond the data reads what is there.
  std::vector<uint8_t> long_ = payload;
  const int32_t huge = 1 << 30;
  std::memcpy(long_.data() + 4, &huge, 4);
  Stage().Files.Read(node, long_);
  ASSERT_EQ(loaded.EmitterList.size(), 2u);
  EXPECT_EQ(loaded.EmitterList[1]->Name, "Smoke");

  // An object without an emitter writes no bytes.
  stage::TNode& bare = NewObject(emitterType);
  EXPECT_TRUE(Stage().Files.Write(bare).empty());
}

TEST_F(Controllers, EmitterCloneAndDelete) {
  stage::TNode& node = NewObject(emitterType);
  auto e = std::make_unique<TEmitterObject>();
  e->SceneObject = H(node);
  e->Name = "Rain";
  e->AddSystem().Name = "Drops";
  e->AddSystem();
  emitters.AddEmitter(std::move(e));

  stage::TNode& copy = Stage().Scene.Clone(node);
  ASSERT_EQ(emitters.EmitterList.size(), 2u);
  TEmitterObject& clone = *emitters.EmitterList[1];
  EXPECT_EQ(emitters.CurrentEmitter, &clone);
  EXPECT_EQ(clone.SceneObject, H(copy));
  EXPECT_EQ(clone.Name, "Rain");
  ASSERT_EQ(clone.Systems.size(), 2u);
  EXPECT_EQ(clone.Systems[0]->Name, "Drops");

  // Deleting the selected emitter's object empties the selection.
  emitters.Select(&clone, clone.Systems[1].get());
  emitters.DeleteEmitter();
  EXPECT_EQ(emitters.EmitterList.size(), 1u);
  EXPECT_EQ(emitters.CurrentEmitter, nullptr);
  EXPECT_EQ(emitters.CurrentSystem, nullptr);

  // The clone of an object without an emitter is a default emitter without slots.
  stage::TNode& bare = NewObject(emitterType);
  Stage().Scene.Clone(bare);
  ASSERT_EQ(emitters.EmitterList.size(), 2u);
  EXPECT_EQ(emitters.EmitterList[1]->Name, "Emitter");
  EXPECT_TRUE(emitters.EmitterList[1]->Systems.empty());
}

TEST_F(Controllers, SystemActions) {
  auto e = std::make_unique<TEmitterObject>();
  TEmitter& only = e->AddSystem();
  TEmitterObject& emitter = emitters.AddEmitter(std::move(e));
  emitters.Select(&emitter, &only);
  emitters.DeleteSystem();  // never the last slot
  EXPECT_EQ(emitter.Systems.size(), 1u);
  only.Name = "Embers";
  only.System.RenderMode = RenderPaint;
  emitters.DuplicateSystem();
  ASSERT_EQ(emitter.Systems.size(), 2u);
  EXPECT_EQ(emitters.CurrentSystem, emitter.Systems[1].get());
  EXPECT_EQ(emitter.Systems[1]->Name, "Embers");
  EXPECT_EQ(emitter.Systems[1]->System.RenderMode, RenderPaint);
  emitters.DeleteSystem();
  EXPECT_EQ(emitter.Systems.size(), 1u);
  EXPECT_EQ(emitters.CurrentSystem, nullptr);
  emitters.AddSystem();
  EXPECT_EQ(emitter.Systems.size(), 2u);
  EXPECT_EQ(emitters.CurrentSystem, emitter.Systems[1].get());
}

TEST_F(Controllers, ToolPayloadCloneAndDelete) {
  stage::TNode& node = NewObject(fanType);
  auto tool = std::make_unique<TToolObject>(ToolFan);
  auto* fan = static_cast<TPlaneFanModifier*>(tool->Modifier());
  fan->SceneObject = H(node);
  fan->Falloff = FalloffSquared;
  fan->ToolLifespan = 40;
  fan->Power().AddKey(10, 15);
  tool->Name = "Wind";
  toolbox.AddTool(std::move(tool));

  stage::TNode& copy = Stage().Scene.Clone(node);
  ASSERT_EQ(toolbox.Tools.size(), 2u);
  TToolObject& clone = *toolbox.Tools[1];
  EXPECT_EQ(toolbox.CurrentTool, &clone);
  EXPECT_EQ(clone.Name, "Wind");
  EXPECT_EQ(clone.SceneObject(), H(copy));
  auto* clonedFan = static_cast<TPlaneFanModifier*>(clone.Modifier());
  EXPECT_EQ(clonedFan->Falloff, FalloffSquared);
  EXPECT_EQ(clonedFan->ToolLifespan, 40);
  EXPECT_EQ(clonedFan->Power().AllKeys(), fan->Power().AllKeys());
  EXPECT_EQ(ActiveModifiers.size(), 2u);

  const std::vector<uint8_t> payload = Stage().Files.Write(node);
  int32_t version = 0;
  std::memcpy(&version, payload.data(), 4);
  EXPECT_EQ(version, 100);
  Stage().Files.Read(copy, payload);
  EXPECT_EQ(toolbox.Tools.size(), 3u);

  Stage().Scene.Delete(node);
  EXPECT_EQ(toolbox.Tools.size(), 2u);
  EXPECT_EQ(toolbox.FindTool(H(node)), -1);
  EXPECT_EQ(ActiveModifiers.size(), 2u);
  toolbox.Tools.clear();
  EXPECT_TRUE(ActiveModifiers.empty());
}
