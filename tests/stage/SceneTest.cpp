// The scene tree through the host interface: keyed transforms composed with the parents',
// the same scene built in code and read from a file, posing, sizes, key ranges, navigation, and
// the notices of the selection's changes.
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

#include "StageTestUtil.h"
#include "hostapi/TsxApi5.h"
#include "stage/SceneFile.h"

using stage_test::ExpectMatrixNear;
using stage_test::ExpectVecNear;

namespace {

class SceneTest : public stage_test::StageTest {
 protected:
  // An arm sliding along X from 0 to 10 while turning 90° about Z over frames 0..10, holding a
  // box one unit out along its X axis, scaled by 2; and a still plane beside it.
  void BuildInCode() {
    stage::TNode& arm = S().Scene.AddGroup("Arm");
    arm.Position.SetKey(0, {0, 0, 0});
    arm.Position.SetKey(10, {10, 0, 0});
    arm.Rotation.SetKey(0, {0, 0, 0});
    arm.Rotation.SetKey(10, {0, 0, 90});
    stage::TMeshSource box;
    box.Kind = stage::TPrimitive::Box;
    box.Size = {1, 2, 3};
    stage::TNode& hand = S().Scene.AddPrimitive("Hand", box, &arm);
    hand.Position.Rest = {1, 0, 0};
    hand.Scale.Rest = {2, 2, 2};
    stage::TMeshSource plane;
    plane.Kind = stage::TPrimitive::Plane;
    plane.Size = {4, 4, 0};
    S().Scene.AddPrimitive("Floor", plane).Position.Rest = {0, 0, -1};
  }

  static constexpr const char* kSameSceneJson = R"({
    "vantrelScene": 1,
    "nodes": [
      {"name": "Arm", "type": "group",
       "position": [{"frame": 0, "value": [0, 0, 0]}, {"frame": 10, "value": [10, 0, 0]}],
       "rotation": [{"frame": 0, "value": [0, 0, 0]}, {"frame": 10, "value": [0, 0, 90]}],
       "children": [
         {"name": "Hand", "type": "mesh", "position": [1, 0, 0], "scale": [2, 2, 2],
          "mesh": {"primitive": "box", "size": [1, 2, 3]}}
       ]},
      {"name": "Floor", "type": "mesh", "position": [0, 0, -1],
       "mesh": {"primitive": "plane", "size": [4, 4]}}
    ]
  })";

  CtsxTxmx3f TransformOf(const char* name) {
    CtsxTxmx3f m;
    tsxGNodeGetTransform(stage::TScene::Handle(S().Scene.FindByName(name)), &m);
    return m;
  }
};

TEST_F(SceneTest, ChildComposesWithInterpolatedParent) {
  BuildInCode();
  tsxAnimSetActiveTime(5);
  EXPECT_EQ(tsxAnimGetActiveTime(), 5.0f);
  const CtsxTxmx3f m = TransformOf("Hand");
  const float c = static_cast<float>(std::cos(std::numbers::pi / 4));
  // Parent at (5, 0, 0) turned 45°; the child one unit out along the parent's X, scaled by 2.
  const CtsxTxmx3f expected{{{2 * c, -2 * c, 0, 5 + c}, {2 * c, 2 * c, 0, c}, {0, 0, 2, 0}}};
  ExpectMatrixNear(m, expected);
  // Before the first key and after the last, the end keys hold.
  tsxAnimSetActiveTime(-3);
  ExpectMatrixNear(TransformOf("Arm"), CtsxTxmx3f{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}});
  tsxAnimSetActiveTime(25);
  ExpectMatrixNear(TransformOf("Arm"), CtsxTxmx3f{{{0, -1, 0, 10}, {1, 0, 0, 0}, {0, 0, 1, 0}}});
}

TEST_F(SceneTest, FileAndCodeGiveTheSameTransforms) {
  BuildInCode();
  const float frames[] = {0, 2.5f, 5, 7, 10, 20};
  std::vector<CtsxTxmx3f> fromCode;
  for (float f : frames) {
    tsxAnimSetActiveTime(f);
    fromCode.push_back(TransformOf("Hand"));
    fromCode.push_back(TransformOf("Floor"));
  }
  stage_test::WriteText(Dir / "same.json", kSameSceneJson);
  stage::ResetStage();
  const auto warnings = stage::LoadSceneFile(S(), Dir / "same.json");
  EXPECT_TRUE(warnings.empty());
  for (size_t i = 0; i < std::size(frames); ++i) {
    tsxAnimSetActiveTime(frames[i]);
    SCOPED_TRACE(frames[i]);
    // Exactly equal: both paths evaluate the same keys.
    const CtsxTxmx3f a = TransformOf("Hand"), b = TransformOf("Floor");
    EXPECT_EQ(std::memcmp(&a, &fromCode[2 * i], sizeof a), 0);
    EXPECT_EQ(std::memcmp(&b, &fromCode[2 * i + 1], sizeof b), 0);
  }
}

TEST_F(SceneTest, PosingOneObjectMovesItsParentsAndSubtreeOnly) {
  BuildInCode();
  tsxAnimSetActiveTime(0);
  tsxGNODE* arm = stage::TScene::Handle(S().Scene.FindByName("Arm"));
  tsxAnimSetActiveTimeObject(arm, 10);
  EXPECT_EQ(tsxAnimGetActiveTime(), 0.0f);  // the scene's time stays
  CtsxVector3f t;
  CtsxTxmx3f hand = TransformOf("Hand");
  tsxGetMxTranslation3f(&t, &hand);
  ExpectVecNear(t, 10, 1, 0);  // the child follows its parent's pose
  ExpectVecNear({TransformOf("Floor").m[0][3], TransformOf("Floor").m[1][3], TransformOf("Floor").m[2][3]}, 0, 0, -1);
  // Setting the scene's time poses everything again.
  tsxAnimSetActiveTimeScene(0);
  hand = TransformOf("Hand");
  tsxGetMxTranslation3f(&t, &hand);
  ExpectVecNear(t, 1, 0, 0);
  // Posing the child poses its parent with it: the hand stands where it is at frame 10.
  tsxAnimSetActiveTimeObject(stage::TScene::Handle(S().Scene.FindByName("Hand")), 10);
  hand = TransformOf("Hand");
  tsxGetMxTranslation3f(&t, &hand);
  ExpectVecNear(t, 10, 1, 0);
  EXPECT_EQ(S().Scene.FindByName("Arm")->PoseFrame, 10.0f);
  EXPECT_EQ(S().Scene.FindByName("Floor")->PoseFrame, 0.0f);
  EXPECT_EQ(tsxAnimGetActiveTime(), 0.0f);
}

TEST_F(SceneTest, SizeIsAlongOwnAxesWithScale) {
  BuildInCode();
  tsxAnimSetActiveTime(5);  // the parent is turned 45°: sizes stay along the box's own axes
  CtsxVector3f size;
  tsxGNodeGetSize(stage::TScene::Handle(S().Scene.FindByName("Hand")), &size);
  ExpectVecNear(size, 2, 4, 6);
  tsxGNodeGetSize(stage::TScene::Handle(S().Scene.FindByName("Floor")), &size);
  ExpectVecNear(size, 4, 4, 0);
  // A group is bounded by its children, in its own space.
  tsxGNodeGetSize(stage::TScene::Handle(S().Scene.FindByName("Arm")), &size);
  ExpectVecNear(size, 2, 4, 6);
}

TEST_F(SceneTest, NavigationTypesAndKeyRanges) {
  BuildInCode();
  tsxGNODE* arm = stage::TScene::Handle(S().Scene.FindByName("Arm"));
  tsxGNODE* hand = stage::TScene::Handle(S().Scene.FindByName("Hand"));
  tsxGNODE* floor = stage::TScene::Handle(S().Scene.FindByName("Floor"));
  EXPECT_EQ(tsxGNodeGetParent(hand), arm);
  EXPECT_EQ(tsxGNodeGetParent(arm), nullptr);
  EXPECT_EQ(tsxGNodeGetRoot(hand), arm);
  EXPECT_EQ(tsxGNodeGetRoot(floor), floor);
  EXPECT_EQ(tsxGNodeGetFirstChild(arm), hand);
  EXPECT_EQ(tsxGNodeGetNext(hand), nullptr);
  EXPECT_EQ(tsxGNodeGetNext(arm), floor);
  EXPECT_EQ(tsxSobjGetType(arm), tsxTYPE_GROUP);
  EXPECT_EQ(tsxSobjGetType(hand), tsxTYPE_POLYHEDRON);

  float first = -1, last = -1;
  EXPECT_EQ(tsxSobjGetMinMaxTime(arm, &first, &last), 1);
  EXPECT_EQ(first, 0.0f);
  EXPECT_EQ(last, 10.0f);
  EXPECT_EQ(tsxSobjGetMinMaxTime(floor, &first, &last), 0);
  EXPECT_EQ(first, 0.0f);
  EXPECT_EQ(last, 0.0f);

  tsxSelectSobj(hand, 0, 0);
  tsxSelectUp();
  EXPECT_EQ(S().Scene.Selected(), S().Scene.FindByName("Arm"));
  tsxSelectUp();  // nothing above the top: the selection stays
  EXPECT_EQ(S().Scene.Selected(), S().Scene.FindByName("Arm"));

  // Deleting a node takes its subtree; its handles are then unknown to the host.
  tsxSobjDelete(arm);
  EXPECT_EQ(tsxSobjGetType(hand), tsxTYPE_NONE);
  EXPECT_EQ(tsxGNodeGetParent(hand), nullptr);
  EXPECT_EQ(S().Scene.Selected(), nullptr);
  EXPECT_EQ(S().Scene.Roots().size(), 1u);
}

TEST_F(SceneTest, EulerRotationIsRightHandedXThenYThenZ) {
  // 90° about Z takes X to Y; 90° about X takes Y to Z; X is applied first.
  const CtsxTxmx3f rz = stage::EulerRotation({0, 0, 90});
  CtsxVector3f v{1, 0, 0}, r;
  tsxRotateVect3f(&v, &r, &rz);
  ExpectVecNear(r, 0, 1, 0);
  const CtsxTxmx3f rxz = stage::EulerRotation({90, 0, 90});
  v = {0, 1, 0};
  tsxRotateVect3f(&v, &r, &rxz);  // X turns Y to Z; Z leaves Z alone
  ExpectVecNear(r, 0, 0, 1);
  // The same sense as the host's rotation operation.
  CtsxTxmx3f m;
  const CtsxVector3f origin{0, 0, 0}, zAxis{0, 0, 1};
  tsxMakeRotMx3f(&origin, &zAxis, static_cast<float>(std::numbers::pi / 2), &m, 0);
  ExpectMatrixNear(m, rz);
}

TEST_F(SceneTest, AxesPositionMovesTheObjectAndKeysWhenAnimated) {
  BuildInCode();
  tsxGNODE* floor = stage::TScene::Handle(S().Scene.FindByName("Floor"));
  const CtsxVector3f p{3, 4, 5};
  tsxMNodeSetAxesPosition(floor, &p);
  CtsxTxmx3f m;
  tsxGNodeGetTransform(floor, &m);
  ExpectVecNear({m.m[0][3], m.m[1][3], m.m[2][3]}, 3, 4, 5);
  // On an animated node it sets a key at the node's pose.
  tsxAnimSetActiveTime(5);
  stage::TNode* arm = S().Scene.FindByName("Arm");
  tsxMNodeSetAxesPosition(stage::TScene::Handle(arm), &p);
  EXPECT_EQ(arm->Position.Keys().size(), 3u);
  ExpectVecNear(arm->Position.At(5), 3, 4, 5);
}

// What a subscriber of the general events saw at each "selection changed": the host's answer
// to what is selected, and how many nodes the scene held then.
struct TSelectionNotice {
  tsxSOBJ* Selected;
  int Nodes;
  friend bool operator==(const TSelectionNotice&, const TSelectionNotice&) = default;
};
std::vector<TSelectionNotice> SelectionNotices;

void NoteSelection(int, const void* record) {
  if (*static_cast<const int32_t*>(record) != tsxGENERAL_SELECTION) return;
  int nodes = 0;
  stage::Stage().Scene.ForEach([&](stage::TNode&) { ++nodes; });
  SelectionNotices.push_back({tsxHostGetSelectedSobj(), nodes});
}

// Every change of the selection is told once, after it happened, whoever made it; selecting the
// selected node again, an unknown handle, or deleting a node that is not selected tells nothing.
// A deleted selection is told once the node has gone.
TEST_F(SceneTest, SelectionChangesAreToldOnceAfterTheyHappen) {
  BuildInCode();  // Arm (with Hand), Floor
  S().Scene.AddGroup("Rig");
  auto handle = [&](const char* name) { return stage::TScene::Handle(S().Scene.FindByName(name)); };
  tsxSOBJ* arm = handle("Arm");
  tsxSOBJ* hand = handle("Hand");
  tsxSOBJ* floor = handle("Floor");
  tsxSOBJ* rig = handle("Rig");
  int notANode = 0;
  ASSERT_TRUE(S().Subscribe(tsxEVENTS_GENERAL, &NoteSelection, true));
  SelectionNotices.clear();
  const struct {
    const char* Step;
    std::function<void()> Act;
    std::vector<TSelectionNotice> Told;
  } steps[] = {
      {"a plug-in selects", [&] { tsxSelectSobj(hand, 0, 0); }, {{hand, 4}}},
      {"the same again", [&] { tsxSelectSobj(hand, 0, 0); }, {}},
      {"up to the parent", [] { tsxSelectUp(); }, {{arm, 4}}},
      {"up at the top", [] { tsxSelectUp(); }, {}},
      {"an unknown handle", [&] { tsxSelectSobj(reinterpret_cast<tsxSOBJ*>(&notANode), 0, 0); }, {}},
      {"the user selects", [&] { S().Scene.Select(S().Scene.FindByName("Floor")); }, {{floor, 4}}},
      {"another node deleted", [&] { tsxSobjDelete(arm); }, {}},
      {"the selection deleted", [&] { tsxSobjDelete(floor); }, {{nullptr, 1}}},
      {"nothing, again", [&] { S().Scene.Select(nullptr); }, {}},
      {"another node selected", [&] { tsxSelectSobj(rig, 0, 0); }, {{rig, 1}}},
      {"a new scene", [&] { S().NewScene(); }, {{nullptr, 0}}},
  };
  for (const auto& step : steps) {
    SelectionNotices.clear();
    step.Act();
    EXPECT_EQ(SelectionNotices, step.Told) << step.Step;
  }
  S().Subscribe(tsxEVENTS_GENERAL, &NoteSelection, false);
}

TEST_F(SceneTest, UnknownHandlesAnswerNothing) {
  int notANode = 0;
  auto* h = reinterpret_cast<tsxGNODE*>(&notANode);
  EXPECT_EQ(tsxGNodeGetParent(h), nullptr);
  EXPECT_EQ(tsxGNodeGetRoot(nullptr), nullptr);
  EXPECT_EQ(tsxSobjGetType(h), tsxTYPE_NONE);
  EXPECT_EQ(tsxPolyhGetNbrFaces(h), 0);
  EXPECT_EQ(tsxPolyhGetVxArray(h), nullptr);
  CtsxTxmx3f m;
  tsxGNodeGetTransform(h, &m);
  ExpectMatrixNear(m, CtsxTxmx3f{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}});
  tsxSobjDelete(h);
  tsxGNodeSetName(h, "x");
}

}  // namespace
