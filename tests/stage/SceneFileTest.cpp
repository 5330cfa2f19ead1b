// Scene files: damaged files refused with a message naming the file and where, leaving the
// stage as it was; warnings for unknown keys; meshes from OBJ files and from code; atomic saves;
// base64.
#include <fstream>
#include <sstream>

#include "StageTestUtil.h"
#include "hostapi/TsxApi5.h"
#include "stage/Base64.h"
#include "stage/SceneFile.h"

namespace {

class SceneFileTest : public stage_test::StageTest {
 protected:
  std::filesystem::path Write(const std::string& name, const std::string& text) {
    stage_test::WriteText(Dir / name, text);
    return Dir / name;
  }

  // The message of the error a load raises, or "" when it loads.
  std::string LoadError(const std::filesystem::path& path) {
    try {
      stage::LoadSceneFile(S(), path);
    } catch (const stage::ESceneFileError& e) {
      return e.what();
    }
    return "";
  }

  static constexpr const char* kGood = R"({
  "vantrelScene": 1,
  "time": 4,
  "camera": {"eye": [0, -20, 5], "target": [0, 0, 1], "projection": "perspective", "fieldOfView": 40},
  "render": {"width": 320, "height": 200, "frames": [0, 24], "background": [0.1, 0.2, 0.3]},
  "nodes": [
    {"name": "Ball", "type": "mesh", "mesh": {"primitive": "sphere", "radius": 2, "segments": 8, "rings": 4},
     "position": [{"frame": 0, "value": [0, 0, 0]}, {"frame": 8, "value": [0, 0, 8]}]},
    {"name": "Floor", "type": "mesh", "mesh": {"primitive": "grid", "size": [10, 10], "divisions": [2, 3]}}
  ]
})";
};

TEST_F(SceneFileTest, GoodFileSetsCameraRenderTimeAndNodes) {
  EXPECT_TRUE(stage::LoadSceneFile(S(), Write("good.json", kGood)).empty());
  EXPECT_EQ(tsxAnimGetActiveTime(), 4.0f);
  EXPECT_EQ(S().View.Camera.FieldOfView, 40.0f);
  EXPECT_EQ(S().Render.Width, 320);
  EXPECT_EQ(S().View.Width, 320);  // the drawport follows the render size unless given
  EXPECT_EQ(S().Render.LastFrame, 24.0f);
  tsxGNODE* ball = stage::TScene::Handle(S().Scene.FindByName("Ball"));
  EXPECT_EQ(tsxPolyhGetNbrFaces(ball), 8 * 4);
  EXPECT_EQ(tsxPolyhGetNbrVxs(ball), 2 + 8 * 3);
  CtsxTxmx3f m;
  tsxGNodeGetTransform(ball, &m);
  EXPECT_FLOAT_EQ(m.m[2][3], 4);  // posed at the file's time
  EXPECT_EQ(tsxPolyhGetNbrFaces(stage::TScene::Handle(S().Scene.FindByName("Floor"))), 6);
}

TEST_F(SceneFileTest, DamagedFilesAreRefusedWithWhereAndWhat) {
  const std::string good = kGood;
  struct Case {
    const char* Name;
    std::string Text;
    std::vector<std::string> MessageHas;
  };
  const Case cases[] = {
      {"truncated", good.substr(0, good.size() / 2), {"truncated.json", "line "}},
      {"syntax", "{\n  \"vantrelScene\": 1,\n  \"nodes\": [,]\n}", {"syntax.json", "line 3, column 13"}},
      {"empty", "", {"empty.json", "empty"}},
      {"binary", std::string("\x89PNG\r\n\x1a\n\0\0", 10), {"binary.json", "line 1"}},
      {"not a scene", R"({"nodes": []})", {"not a Vantrel scene file"}},
      {"newer", R"({"vantrelScene": 9})", {"/vantrelScene", "newer"}},
      {"vector", R"({"vantrelScene": 1, "camera": {"eye": [0, 1]}})", {"/camera/eye", "3 numbers"}},
      {"number", R"({"vantrelScene": 1, "nodes": [{"type": "group", "position": [0, "x", 0]}]})",
       {"/nodes/0/position/1", "expected a number"}},
      {"type", R"({"vantrelScene": 1, "nodes": [{"type": "light"}]})", {"/nodes/0/type", "light"}},
      {"primitive", R"({"vantrelScene": 1, "nodes": [{"type": "mesh", "mesh": {"primitive": "torus"}}]})",
       {"/nodes/0/mesh/primitive", "torus"}},
      {"radius", R"({"vantrelScene": 1, "nodes": [{"type": "mesh", "mesh": {"primitive": "sphere", "radius": -1}}]})",
       {"/nodes/0/mesh", "radius"}},
      {"obj", R"({"vantrelScene": 1, "nodes": [{"type": "group", "children": [{"type": "mesh", "mesh": {"obj": "nowhere.obj"}}]}]})",
       {"/nodes/0/children/0/mesh/obj", "nowhere.obj"}},
      {"payload", R"({"vantrelScene": 1, "nodes": [{"type": "object", "objectType": "T", "payload": "A*=="}]})",
       {"/nodes/0/payload", "base64"}},
      {"key", R"({"vantrelScene": 1, "nodes": [{"type": "group", "scale": [{"frame": 1}]}]})",
       {"/nodes/0/scale/0", "value"}},
      {"size", R"({"vantrelScene": 1, "render": {"width": 0}})", {"/render/width"}},
      {"samples", R"({"vantrelScene": 1, "render": {"samples": 5}})", {"/render/samples", "1 to 4"}},
      {"alpha", R"({"vantrelScene": 1, "render": {"backgroundAlpha": 1.5}})", {"/render/backgroundAlpha", "0 to 1"}},
      {"settings", R"({"vantrelScene": 1, "pluginSettings": {"Vantrel": 1}})", {"/pluginSettings/Vantrel", "text"}},
      {"region", R"({"vantrelScene": 1, "render": {"width": 10, "height": 10, "region": [5, 0, 2, 9]}})",
       {"/render/region/2"}},
      {"faces", R"({"vantrelScene": 1, "nodes": [{"type": "mesh", "mesh": {"vertices": [[0,0,0]], "faces": [[0, 3]]}}]})",
       {"/nodes/0/mesh/faces/0/1"}},
      // A syntax error names the key it lies in; a long string is not repeated whole.
      {"long string", R"({"vantrelScene": 1, "nodes": [{"name": "a", "comment": ")" + std::string(5000, 'x') + "\n\"}]}",
       {"line 1, column", "(in /nodes/0/comment)", "must be escaped", "x…'"}},
      {"literal", R"({"a": [1, {"b": [2, tru]}]})", {"(in /a/1/b/1)", "invalid literal"}},
      // Where a value at fault stands, whichever part of the reader finds the fault.
      {"placed", "{\n  \"vantrelScene\": 1,\n  \"nodes\": [\n    {\"type\": \"group\"},\n    {\"type\": \"light\"}]}",
       {"line 5, column 14", "/nodes/1/type"}},
      {"first line", R"({"vantrelScene": 1, "nodes": [{"type": "light"}]})", {"line 1, column 40"}},
      // Numbers beyond double range and invalid literals: the text as written, where, and what
      // was expected.
      {"huge", R"({"vantrelScene": 1, "time": 1e400})", {"huge.json: line 1, column 29", "1e400", "expected"}},
      {"nan", R"({"vantrelScene": 1, "time": NaN})", {"nan.json: line 1, column 29", "'NaN'", "expected"}},
      {"infinity", "{\"vantrelScene\": 1,\n \"time\": -Infinity}", {"line 2, column 10", "Infinity", "expected"}},
      {"tru", R"({"vantrelScene": 1, "nodes": [{"type": "group", "visible": tru}]})",
       {"line 1, column 60", "'tru'", "expected"}},
  };
  for (const Case& c : cases) {
    const std::string message = LoadError(Write(std::string(c.Name) + ".json", c.Text));
    ASSERT_FALSE(message.empty()) << c.Name << " loaded";
    for (const std::string& part : c.MessageHas)
      EXPECT_NE(message.find(part), std::string::npos) << c.Name << ": " << message;
    EXPECT_LT(message.size(), 400u) << c.Name << ": " << message;
    // Every error in a file says where and what was expected.
    EXPECT_NE(message.find(std::string(c.Name) + ".json: line "), std::string::npos) << message;
    if (std::string(c.Name) != "obj")  // a file that cannot be opened is no fault of the text
      EXPECT_NE(message.find("expected"), std::string::npos) << c.Name << ": " << message;
  }
  EXPECT_NE(LoadError(Dir / "absent.json").find("cannot open"), std::string::npos);
}

// A path through thousands of nested levels is cut to its start and end: the message stays short.
TEST_F(SceneFileTest, DeepNestingGivesAShortMessage) {
  std::string nodes;
  constexpr int kLevels = 100000;
  for (int i = 0; i < kLevels; ++i) nodes += R"({"type": "group", "children": [)";
  for (int i = 0; i < kLevels; ++i) nodes += "]}";
  const std::string message = LoadError(Write("deep.json", R"({"vantrelScene": 1, "nodes": [)" + nodes + "]}"));
  ASSERT_FALSE(message.empty());
  EXPECT_LT(message.size(), 300u) << message.substr(0, 600);
  EXPECT_NE(message.find("deep.json: line 1, column "), std::string::npos) << message;
  EXPECT_NE(message.find("/nodes/0/children/"), std::string::npos) << message;
  EXPECT_NE(message.find("nested deeper"), std::string::npos) << message;
}

// Settings nested 100,000 levels deep inside an object (no plug-in reads them here) are refused
// before any reader or writer walks them.
TEST_F(SceneFileTest, DeepSettingsAreRefusedNotWalked) {
  constexpr int kLevels = 100000;
  const std::string deep = std::string(kLevels, '[') + std::string(kLevels, ']');
  const std::string message = LoadError(Write(
      "deep.json", R"({"vantrelScene": 1, "nodes": [{"type": "object", "objectType": "Other", "settings": {"a": )" +
                       deep + "}}]}"));
  EXPECT_NE(message.find("nested deeper than 600 levels"), std::string::npos) << message.substr(0, 600);
  EXPECT_NE(message.find("/nodes/0/settings/a/0/0/"), std::string::npos) << message.substr(0, 600);
  EXPECT_LT(message.size(), 300u);
}

// Forty spheres of 1024 segments and rings, a few lines of text, would take gigabytes: the
// scene is refused before they are built, saying how much they would need. One of them loads.
TEST_F(SceneFileTest, MeshesThatWouldTakeGigabytesAreRefused) {
  const std::string sphere =
      R"({"type": "mesh", "mesh": {"primitive": "sphere", "radius": 1, "segments": 1024, "rings": 1024}})";
  std::string nodes = sphere;
  EXPECT_EQ(LoadError(Write("one.json", R"({"vantrelScene": 1, "nodes": [)" + nodes + "]}")), "");
  for (int i = 1; i < 40; ++i) nodes += ", " + sphere;
  const std::string message = LoadError(Write("many.json", R"({"vantrelScene": 1, "nodes": [)" + nodes + "]}"));
  EXPECT_NE(message.find("meshes would need about"), std::string::npos) << message;
  EXPECT_NE(message.find("more than the 1.0 GB they may take"), std::string::npos) << message;
  EXPECT_NE(message.find("/nodes/"), std::string::npos) << message;
}

// A key given twice in one object is refused at the second one, as an unknown key would be,
// rather than the first silently dropped.
TEST_F(SceneFileTest, DuplicateKeysAreRefused) {
  const struct {
    const char* Text;
    const char* Says;
  } cases[] = {
      {"{\"vantrelScene\": 1, \"time\": 2, \"time\": 3}", "line 1, column 32: /time: this key is given twice"},
      {"{\"vantrelScene\": 1,\n \"nodes\": [{\"type\": \"group\"},\n {\"type\": \"group\", \"name\": \"a\", \"name\": \"b\"}]}",
       "line 3, column 33: /nodes/1/name: this key"},
      {"{\"vantrelScene\": 1, \"nodes\": [{\"type\": \"object\", \"objectType\": \"Other\", \"settings\": "
       "{\"systems\": [{\"lifespan\": 3, \"lifespan\": 4}]}}]}",
       "/nodes/0/settings/systems/0/lifespan: this key is given twice in one object; give each key once"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const std::string message = LoadError(Write("twice.json", c.Text));
    EXPECT_NE(message.find(c.Says), std::string::npos) << message;
  }
  // The same key in two objects, and a key's name as a text value, are no duplicates.
  EXPECT_EQ(LoadError(Write("fine.json", R"({"vantrelScene": 1, "nodes": [{"type": "group", "name": "type"},
                                            {"type": "group", "name": "name"}]})")), "");
}

// Keys in any order load as the keys set one by one in the file's order: sorted, a later key at
// the same frame replacing an earlier one.
TEST_F(SceneFileTest, KeysInAnyOrderLoadSorted) {
  const auto warnings = stage::LoadSceneFile(S(), Write("keys.json", R"({"vantrelScene": 1, "nodes": [
    {"name": "N", "type": "group", "position": [
      {"frame": 9, "value": [9, 0, 0]}, {"frame": 3, "value": [3, 0, 0]}, {"frame": 6, "value": [6, 0, 0]},
      {"frame": 3, "value": [30, 0, 0]}, {"frame": -1, "value": [-1, 0, 0]}]}]})"));
  EXPECT_TRUE(warnings.empty());
  stage::TChannel expected;
  for (auto [f, x] : {std::pair{9.f, 9.f}, {3.f, 3.f}, {6.f, 6.f}, {3.f, 30.f}, {-1.f, -1.f}})
    expected.SetKey(f, {x, 0, 0});
  const auto& keys = S().Scene.FindByName("N")->Position.Keys();
  ASSERT_EQ(keys.size(), expected.Keys().size());
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].Frame, expected.Keys()[i].Frame) << i;
    EXPECT_EQ(keys[i].Value.x, expected.Keys()[i].Value.x) << i;
  }
}

TEST_F(SceneFileTest, RefusedFileLeavesTheStageAsItWas) {
  stage::LoadSceneFile(S(), Write("good.json", kGood));
  const std::string bad = R"({"vantrelScene": 1, "time": 9, "nodes": [{"type": "group"}, {"type": "mesh"}]})";
  EXPECT_FALSE(LoadError(Write("bad.json", bad)).empty());
  EXPECT_EQ(tsxAnimGetActiveTime(), 4.0f);
  EXPECT_EQ(S().Scene.Roots().size(), 2u);
  EXPECT_NE(S().Scene.FindByName("Ball"), nullptr);
}

// An unknown key is refused with its path and, for a typing mistake, the key it likely meant; a
// known key in the wrong kind of node is a warning.
TEST_F(SceneFileTest, UnknownKeysAreRefusedWithTheClosestKnownOne) {
  const struct {
    const char* Text;
    const char* Says;
  } cases[] = {
      {R"({"vantrelScene": 1, "camra": {"eye": [0, -5, 0]}})",
       "/camra: unknown key; did you mean \"camera\"?; expected one of \"vantrelScene\", \"time\""},
      {R"({"vantrelScene": 1, "lights": []})", "/lights: unknown key; expected one of"},
      {R"({"vantrelScene": 1, "camera": {"feildOfView": 30}})", "/camera/feildOfView: unknown key; did you mean \"fieldOfView\"?"},
      {R"({"vantrelScene": 1, "nodes": [{"type": "group", "colour": [1, 0, 0]}]})",
       "/nodes/0/colour: unknown key; did you mean \"color\"?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const std::string message = LoadError(Write("extra.json", c.Text));
    EXPECT_NE(message.find(c.Says), std::string::npos) << message;
    EXPECT_NE(message.find("extra.json: line 1, column "), std::string::npos) << message;
  }
  const auto warnings = stage::LoadSceneFile(
      S(), Write("misplaced.json", R"({"vantrelScene": 1, "nodes": [{"type": "group", "payload": "AA=="}]})"));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("/nodes/0/payload: only object nodes have a payload, ignored"), std::string::npos);
}

TEST_F(SceneFileTest, ObjMeshesLoadRelativeToTheScene) {
  std::filesystem::create_directories(Dir / "meshes");
  stage_test::WriteText(Dir / "meshes" / "shape.obj",
                        "# a quad and a triangle\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\n"
                        "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\nf 1 2 5\n");
  Write("obj.json", R"({"vantrelScene": 1, "nodes": [{"name": "Shape", "type": "mesh", "mesh": {"obj": "meshes/shape.obj"}}]})");
  EXPECT_TRUE(stage::LoadSceneFile(S(), Dir / "obj.json").empty());
  tsxPOLYHEDRON* p = stage::TScene::Handle(S().Scene.FindByName("Shape"));
  ASSERT_EQ(tsxPolyhGetNbrFaces(p), 2);
  EXPECT_EQ(tsxPolyhGetNbrVxs(p), 5);
  EXPECT_EQ(tsxPolyhGetNbrUV(p), 4);
  tsxFACE** faces = tsxPolyhGetFaceptrArray(p);
  EXPECT_EQ(faces[0]->nbrCorners, 4);
  EXPECT_EQ(faces[0]->corners[2].vxIndex, 2);
  EXPECT_EQ(faces[0]->corners[2].uvIndex, 2);
  EXPECT_EQ(faces[1]->corners[2].vxIndex, 4);
  CtsxVector3f n;
  EXPECT_EQ(tsxPolyhGetFaceNormal(p, faces[0], &n), 1);
  stage_test::ExpectVecNear(n, 0, 0, 1);
  EXPECT_EQ(tsxPolyhGetFaceNormal(p, faces[1], &n), 1);
  stage_test::ExpectVecNear(n, 0, -1, 0);
  // A face pointer of another polyhedron is not this one's.
  tsxFACE other{};
  EXPECT_EQ(tsxPolyhGetFaceNormal(p, &other, &n), 0);

  // Skin weights mean nothing to the stage: never handed to the mesh library (which converts a
  // huge joint number to int unchecked and refuses a negative one), they leave the mesh as is.
  stage_test::WriteText(Dir / "meshes" / "weights.obj",
                        "v 0 0 0\nv 1 0 0\nv 0 1 0\nvw 0 1e30 0.5\n  vw 1 -1 0.5\nvw\t2 0 1\nf 1 2 3\n");
  Write("weights.json", R"({"vantrelScene": 1, "nodes": [{"name": "W", "type": "mesh", "mesh": {"obj": "meshes/weights.obj"}}]})");
  EXPECT_EQ(LoadError(Dir / "weights.json"), "");
  EXPECT_EQ(tsxPolyhGetNbrFaces(stage::TScene::Handle(S().Scene.FindByName("W"))), 1);

  // A broken OBJ is refused with its name.
  stage_test::WriteText(Dir / "meshes" / "bad.obj", "v 0 0 0\nf 1 2 3\n");
  Write("bad.json", R"({"vantrelScene": 1, "nodes": [{"type": "mesh", "mesh": {"obj": "meshes/bad.obj"}}]})");
  const std::string message = LoadError(Dir / "bad.json");
  EXPECT_NE(message.find("bad.obj"), std::string::npos) << message;
}

TEST_F(SceneFileTest, SaveAndLoadKeepEverything) {
  stage::LoadSceneFile(S(), Write("good.json", kGood));
  stage::TPolyhedron tri;
  tri.AddVertex({0, 0, 0});
  tri.AddVertex({1, 0, 0});
  tri.AddVertex({0, 1, 0});
  const int32_t face[3] = {0, 1, 2};
  tri.AddFace(face);
  stage::TNode& made = S().Scene.AddPolyhedron("Made", tri, S().Scene.FindByName("Floor"));
  made.Color = {0.25f, 0.5f, 1};
  made.Visible = false;
  made.Rotation.SetKey(2, {0.1f, 0, 0});
  S().Render.UseRegion = true;
  S().Render.RegionRight = 7;
  S().Render.RegionBottom = 9;
  S().Render.Samples = 3;
  S().PluginSettings["Vantrel"] = "depthDithering=1";
  stage::SaveSceneFile(S(), Dir / "saved.json");
  std::ifstream in(Dir / "saved.json");
  std::stringstream first;
  first << in.rdbuf();
  EXPECT_NE(first.str().find("0.1,"), std::string::npos);  // floats written as people write them

  stage::ResetStage();
  EXPECT_TRUE(stage::LoadSceneFile(S(), Dir / "saved.json").empty());
  stage::SaveSceneFile(S(), Dir / "again.json");
  std::ifstream in2(Dir / "again.json");
  std::stringstream second;
  second << in2.rdbuf();
  EXPECT_EQ(first.str(), second.str());
  stage::TNode* back = S().Scene.FindByName("Made");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Parent()->Name, "Floor");
  EXPECT_EQ(back->Mesh->FaceCount(), 1);
  EXPECT_FALSE(back->Visible);
  EXPECT_EQ(S().Render.RegionBottom, 9);
  EXPECT_EQ(S().Render.Samples, 3);
  EXPECT_EQ(S().PluginSettings["Vantrel"], "depthDithering=1");
}

TEST_F(SceneFileTest, FailedSaveLeavesTheOldFile) {
  stage::LoadSceneFile(S(), Write("good.json", kGood));
  EXPECT_THROW(stage::SaveSceneFile(S(), Dir / "missing" / "x.json"), stage::ESceneFileError);
  // Saving over a file replaces it whole and leaves no temporary file.
  stage::SaveSceneFile(S(), Dir / "good.json");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Dir)) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_TRUE(stage::LoadSceneFile(S(), Dir / "good.json").empty());
}

TEST(Base64, EncodesAndRefusesMalformedText) {
  const std::pair<std::vector<uint8_t>, std::string> table[] = {
      {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"},
      {{0, 255, 128, 7}, "AP+ABw=="}};
  for (const auto& [bytes, text] : table) {
    EXPECT_EQ(stage::EncodeBase64(bytes), text);
    EXPECT_EQ(stage::DecodeBase64(text), bytes) << text;
  }
  for (const char* bad : {"Zg=", "Zg", "Z===", "Zh==", "Zm9v\n", "Zg==Zg==", "=Zg=", "Zm 9"})
    EXPECT_FALSE(stage::DecodeBase64(bad).has_value()) << bad;
}

}  // namespace
