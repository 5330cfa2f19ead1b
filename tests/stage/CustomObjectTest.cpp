// Custom object types as the plug-in sees them: numbering, creation, the delete and clone
// callbacks, sizes from the bounding-box callback, drawing in the view, payloads written and
// read through the file callback and round-tripping through a scene file, and the entry points
// a plug-in looks up by name.
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "StageTestUtil.h"
#include "hostapi/TsxApi5.h"
#include "stage/SceneFile.h"

namespace {

// What the test type's callbacks saw, in order.
struct TCallLog {
  std::vector<std::string> Calls;
  std::vector<std::vector<uint8_t>> ReadPayloads;
} Log;

std::string NameOf(tsxSOBJ* obj) {
  const stage::TNode* n = stage::Stage().Scene.FromHandle(obj);
  return n ? n->Name : "?";
}

int OnDelete(tsxSOBJ* obj) {
  Log.Calls.push_back("delete " + NameOf(obj));
  return 0;
}

int OnClone(tsxSOBJ* obj, tsxSOBJ* clone) {
  Log.Calls.push_back("clone " + NameOf(obj) + " into a node of type " + std::to_string(tsxSobjGetType(clone)));
  return 0;
}

// Writes a version, a length and then the object's name followed by every byte value, so that
// zeros and high bytes travel; reads back as much as it finds.
int OnFile(tsxSOBJ* obj, tsxFILE* file, int direction, int format) {
  if (format != 0) return 0;
  if (direction == 1) {
    const std::string name = NameOf(obj);
    std::vector<uint8_t> data(name.begin(), name.end());
    for (int b = 0; b < 256; ++b) data.push_back(static_cast<uint8_t>(b));
    const int32_t version = 101, length = static_cast<int32_t>(data.size());
    tsxFILEwrite(&version, 4, 1, file);
    tsxFILEwrite(&length, 4, 1, file);
    tsxFILEwrite(data.data(), 1, data.size(), file);
    Log.Calls.push_back("write " + NameOf(obj));
    return 1;
  }
  std::vector<uint8_t> bytes;
  uint8_t b;
  while (tsxFILEread(&b, 1, 1, file) == 1) bytes.push_back(b);
  // Past the end nothing more comes, however much is asked for.
  uint8_t big[64];
  if (tsxFILEread(big, 1, sizeof big, file) != 0) Log.Calls.push_back("read past the end");
  if (tsxFILEwrite(big, 1, 1, file) != 0) Log.Calls.push_back("wrote into a read file");
  Log.ReadPayloads.push_back(bytes);
  Log.Calls.push_back("read " + NameOf(obj));
  return 1;
}

// The default cube wireframe of a new type, as the plug-in reports and draws it.
const CtsxVector3f kCube[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                               {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const int32_t kCubeLines[] = {0, 1, 2, 3, 0, -2, 4, 5, 6, 7, 4, -2, 0, 4, -2, 1, 5, -2, 2, 6, -2, 3, 7, -1};

int OnBoundingBox(tsxSOBJ* obj, float box[6], const CtsxTxmx3f* transform) {
  CtsxTxmx3f m;
  if (transform)
    m = *transform;
  else
    tsxGNodeGetTransform(obj, &m);
  for (int i = 0; i < 3; ++i) box[i] = 9999, box[i + 3] = -9999;
  for (const CtsxVector3f& p : kCube) {
    CtsxVector3f q;
    tsxTransformVect3f(&p, &q, &m);
    const float v[3] = {q.x, q.y, q.z};
    for (int i = 0; i < 3; ++i) box[i] = std::min(box[i], v[i]), box[i + 3] = std::max(box[i + 3], v[i]);
  }
  return 0;
}

int OnTransform(tsxSOBJ* obj, CtsxTxmx3f* m, uint32_t flags) {
  Log.Calls.push_back("transform " + NameOf(obj) + " to x " + std::to_string(static_cast<int>(m->m[0][3])) +
                      " flags " + std::to_string(flags));
  return 0;
}

int OnChange(tsxSOBJ* obj, int kind) {
  Log.Calls.push_back("change " + NameOf(obj) + " " + std::to_string(kind));
  return 0;
}

void LogGeneral(int, const void* record) {
  Log.Calls.push_back("general " + std::to_string(*static_cast<const int32_t*>(record)));
}

int OnDraw(tsxSOBJ* obj, int state, void* passOn) {
  tsxAViewSetPen(state == 1 ? e_tsxPEN_RED : e_tsxPEN_ACTIVESUB);
  CtsxTxmx3f m;
  tsxGNodeGetTransform(obj, &m);
  return tsxAViewDrawLinelist(&m, kCube, 8, kCubeLines, passOn) ? 1 : 0;
}

tsxSOBJCALLBACKS Table() {
  tsxSOBJCALLBACKS t{};
  t.version = 3;
  t.onDelete = &OnDelete;
  t.onClone = &OnClone;
  t.onFile = &OnFile;
  t.onDraw = &OnDraw;
  t.onBoundingBox = &OnBoundingBox;
  t.onTransform = &OnTransform;
  t.onChange = &OnChange;
  return t;
}

class CustomObjectTest : public stage_test::StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    Log = {};
    const tsxSOBJCALLBACKS table = Table();
    Emitter = tsxObjectDefine(7, "Test_Emitter", &table, 0);
    Tool = tsxObjectDefine(7, "Test_Tool", &table, 0);
  }

  // Creates an object the way the plug-in does.
  tsxSOBJ* Create(int type, const char* name) {
    tsxSOBJ* obj = tsxObjectCreate(type);
    if (!obj) return nullptr;
    const CtsxVector3f origin{0, 0, 0};
    tsxMNodeSetAxesPosition(obj, &origin);
    tsxSceneAddObject(obj, 0);
    tsxGNodeSetName(obj, name);
    return obj;
  }

  int Emitter = 0, Tool = 0;
};

TEST_F(CustomObjectTest, TypesAreNumberedInDefinitionOrder) {
  EXPECT_EQ(Emitter, tsxTYPE_FIRST_CUSTOM);
  EXPECT_EQ(Tool, tsxTYPE_FIRST_CUSTOM + 1);
  const tsxSOBJCALLBACKS table = Table();
  EXPECT_EQ(tsxObjectDefine(7, "Test_Emitter", &table, 0), Emitter);  // same name, same number
  EXPECT_EQ(tsxObjectDefine(7, "Test_Third", &table, 0), tsxTYPE_FIRST_CUSTOM + 2);
  EXPECT_EQ(tsxObjectDefine(7, "", &table, 0), 0);
  EXPECT_EQ(tsxObjectDefine(7, "No_Table", nullptr, 0), 0);
  // Numbers stay below 100; then the host refuses.
  int last = 0;
  for (int i = 0; i < 100; ++i) last = tsxObjectDefine(7, ("Many" + std::to_string(i)).c_str(), &table, 0);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(S().Types.All().back().Number, tsxTYPE_LAST_CUSTOM);
}

TEST_F(CustomObjectTest, CreatedObjectsJoinTheSceneWhenAdded) {
  EXPECT_EQ(tsxObjectCreate(12), nullptr);
  tsxSOBJ* obj = tsxObjectCreate(Tool);
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(tsxSobjGetType(obj), Tool);
  EXPECT_TRUE(S().Scene.Roots().empty());
  EXPECT_EQ(tsxSceneAddObject(obj, 0), 1);
  EXPECT_EQ(tsxSceneAddObject(obj, 0), 0);  // already there
  tsxGNodeSetName(obj, "Test_Tool");
  ASSERT_EQ(S().Scene.Roots().size(), 1u);
  EXPECT_EQ(S().Scene.Roots()[0]->Name, "Test_Tool");
}

TEST_F(CustomObjectTest, DeleteAndCloneCallTheTypeCallbacks) {
  stage::TNode& group = S().Scene.AddGroup("Group");
  tsxSOBJ* a = Create(Emitter, "A");
  tsxSOBJ* b = tsxObjectCreate(Tool);
  S().Scene.AddToScene(*S().Scene.FromHandle(b), &group);
  tsxGNodeSetName(b, "B");

  stage::TNode& copy = S().Scene.Clone(group);
  EXPECT_EQ(copy.Name, "Group");
  ASSERT_EQ(copy.Children().size(), 1u);
  EXPECT_EQ(S().Scene.Roots()[1].get(), &copy);  // right after the original
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"clone B into a node of type " + std::to_string(Tool)}));

  Log.Calls.clear();
  tsxSobjDelete(stage::TScene::Handle(&group));
  tsxSobjDelete(a);
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"delete B", "delete A"}));
  EXPECT_EQ(tsxSobjGetType(a), tsxTYPE_NONE);
  Log.Calls.clear();
  S().Scene.Clear();
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"delete B"}));  // the clone's child
}

TEST_F(CustomObjectTest, HostActionsReachTheCallbacks) {
  tsxSOBJ* obj = Create(Tool, "T");
  stage::TNode* n = S().Scene.FromHandle(obj);
  n->Position.Rest = {4, 0, 0};
  S().NotifyTransform(*n, 2);
  S().NotifyChange(*n, e_tsxCHANGE_NAME);
  S().NotifyChange(S().Scene.AddGroup("G"), 0);  // not a custom object: nothing
  tsxRegisterEventCallback(tsxEVENTS_GENERAL, &LogGeneral, 1);
  S().NewScene();
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"transform T to x 4 flags 2", "change T 2", "general 2",
                                                 "delete T", "general 3"}));
  EXPECT_TRUE(S().Scene.Empty());
}

TEST_F(CustomObjectTest, SizeComesFromTheBoundingBoxCallback) {
  tsxSOBJ* obj = Create(Tool, "Deflector");
  CtsxVector3f size;
  tsxGNodeGetSize(obj, &size);
  stage_test::ExpectVecNear(size, 2, 2, 2);
  stage::TNode* n = S().Scene.FromHandle(obj);
  n->Scale.Rest = {3, 1, 0.5f};
  n->Rotation.Rest = {0, 0, 30};
  tsxGNodeGetSize(obj, &size);
  stage_test::ExpectVecNear(size, 6, 2, 1);
}

TEST_F(CustomObjectTest, RefreshLetsObjectsDrawTheirWireframes) {
  tsxSOBJ* obj = Create(Tool, "Cube");
  S().View.Width = 101;
  S().View.Height = 101;
  S().View.Camera.FieldOfView = 90;
  tsxAViewRefresh();
  ASSERT_EQ(S().View.Lines.size(), 12u);
  EXPECT_EQ(S().View.Lines[0].Pen, e_tsxPEN_RED);
  // Segment 0 runs from corner 0 to corner 1, as the view projects them.
  const stage::TProjected p0 = S().View.Project(kCube[0]), p1 = S().View.Project(kCube[1]);
  EXPECT_NEAR(S().View.Lines[0].X0, p0.X, 1e-3);
  EXPECT_NEAR(S().View.Lines[0].Y1, p1.Y, 1e-3);
  // Selected, it draws with the selection's pen; a refresh erases the old lines first.
  tsxSelectSobj(obj, 0, 0);
  tsxAllViewsRefresh();
  ASSERT_EQ(S().View.Lines.size(), 12u);
  EXPECT_EQ(S().View.Lines[0].Pen, e_tsxPEN_ACTIVESUB);
  EXPECT_EQ(S().View.RefreshCount, 2);
  // Behind the eye, nothing is drawn.
  S().View.Camera.Target = {0, -20, 0};
  tsxAViewRefresh();
  EXPECT_TRUE(S().View.Lines.empty());
}

TEST_F(CustomObjectTest, PayloadsRoundTripThroughASceneFile) {
  Create(Emitter, "First");
  stage::TNode& group = S().Scene.AddGroup("Group");
  tsxSOBJ* second = tsxObjectCreate(Tool);
  S().Scene.AddToScene(*S().Scene.FromHandle(second), &group);
  tsxGNodeSetName(second, "Second");
  stage::SaveSceneFile(S(), Dir / "scene.json");
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"write First", "write Second"}));
  const std::vector<uint8_t> firstPayload = S().Scene.FindByName("First")->StoredPayload;
  ASSERT_EQ(firstPayload.size(), 8u + 5 + 256);

  Log = {};
  const auto warnings = stage::LoadSceneFile(S(), Dir / "scene.json");
  EXPECT_TRUE(warnings.empty());
  // The old objects were deleted, then the new ones read in tree order.
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"delete First", "delete Second", "read First", "read Second"}));
  ASSERT_EQ(Log.ReadPayloads.size(), 2u);
  EXPECT_EQ(Log.ReadPayloads[0], firstPayload);
  EXPECT_EQ(tsxSobjGetType(stage::TScene::Handle(S().Scene.FindByName("Second"))), Tool);
  EXPECT_EQ(S().Scene.FindByName("Second")->Parent()->Name, "Group");
}

TEST_F(CustomObjectTest, ObjectsOfUndefinedTypesKeepTheirData) {
  Create(Emitter, "Kept");
  stage::SaveSceneFile(S(), Dir / "scene.json");
  const std::vector<uint8_t> payload = S().Scene.FindByName("Kept")->StoredPayload;

  stage::ResetStage();  // a host without the plug-in
  const auto warnings = stage::LoadSceneFile(S(), Dir / "scene.json");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("/nodes/0/objectType"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find("Test_Emitter"), std::string::npos);
  stage::TNode* kept = S().Scene.FindByName("Kept");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->TypeCode(), 0);
  stage::SaveSceneFile(S(), Dir / "again.json");

  // With the plug-in back, the data arrives unchanged.
  stage::ResetStage();
  const tsxSOBJCALLBACKS table = Table();
  tsxObjectDefine(7, "Test_Emitter", &table, 0);
  Log = {};
  EXPECT_TRUE(stage::LoadSceneFile(S(), Dir / "again.json").empty());
  ASSERT_EQ(Log.ReadPayloads.size(), 1u);
  EXPECT_EQ(Log.ReadPayloads[0], payload);
}

TEST_F(CustomObjectTest, FileOperationsRefuseHandlesOutsideCallbacks) {
  tsxFILE* stale = nullptr;
  uint8_t b = 1;
  EXPECT_EQ(tsxFILEwrite(&b, 1, 1, stale), 0u);
  EXPECT_EQ(tsxFILEread(&b, 1, 1, stale), 0u);
  tsxFILE fake{};
  EXPECT_EQ(tsxFILEread(&b, 1, 1, &fake), 0u);
}

TEST_F(CustomObjectTest, MainWindowAndShaderRegistrationAreFoundByName) {
  using THwndFunc = tsxHWND (*)(void);
  using TShaderFunc = int (*)(int, void (*)(void), int);
  // As the plug-in finds them: by name in the loaded host library.
  void* lib = dlopen(TSXAPI_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto hwnd = reinterpret_cast<THwndFunc>(dlsym(lib, "tsxGetMainViewHwnd"));
  auto shader = reinterpret_cast<TShaderFunc>(dlsym(lib, "tsxRegisterExternalShader"));
  ASSERT_NE(hwnd, nullptr);
  ASSERT_NE(shader, nullptr);
  EXPECT_NE(hwnd(), nullptr);
  EXPECT_EQ(hwnd(), tsxGetMainViewHwnd());
  EXPECT_NE(tsxAViewGetHwnd(), nullptr);
  S().MainWindowOpen = false;
  EXPECT_EQ(hwnd(), nullptr);
  dlclose(lib);
}

}  // namespace
