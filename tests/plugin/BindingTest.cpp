// The host binding in-process against the stage: exports and registration, host events, scene
// object types, the shader bridge, and the main panel's controller with the final-render pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"
#include "render/BitmapCache.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tests/StageViews.h"

namespace {

using stage::Stage;

// A headless platform whose clock a test sets.
class TClockPlatform : public THeadlessPlatform {
 public:
  uint32_t TickCount() override { return Ticks.empty() ? 0 : Ticks[Next++ % Ticks.size()]; }
  std::vector<uint32_t> Ticks;
  size_t Next = 0;
};

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    InstallPlatform(nullptr);
  }
  void TearDown() override {
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    stage::ResetStage();
    InstallPlatform(nullptr);
  }
  THeadlessPlatform& Headless() { return static_cast<THeadlessPlatform&>(Platform()); }
};

// ---- Exports and registration ------------------------------------------------------------

TEST_F(Binding, GetDataRunsPlugInitWithTheNewIdBeforeTheRecordIsFilled) {
  TTsx tsx;
  tsx.Title = "Vantrel";
  tsx.Author = "Kestrune";
  tsx.SetResBmpId(100);
  tsx.SetResStringId(0);
  tsxPLUGINDATA record;
  std::memset(&record, 0x55, sizeof record);
  int seenId = 0;
  bool recordEmpty = false;
  tsx.OnPlugInit = [&] {
    seenId = tsx.PluginId();
    recordEmpty = record.title[0] == 0x55 && record.bitmapId == 0x5555;
  };
  tsx.Load();
  EXPECT_EQ(tsx.PluginId(), -1);
  tsxGetData(&record, 7);
  EXPECT_EQ(seenId, 7);
  EXPECT_TRUE(recordEmpty);
  EXPECT_STREQ(record.title, "Vantrel");
  EXPECT_STREQ(record.author, "Kestrune");
  EXPECT_EQ(record.bitmapId, 100);
  EXPECT_EQ(record.stringId, 0);
  EXPECT_EQ(tsxGetVersion(), 430);
}

TEST_F(Binding, TitleAndAuthorFillTheirFieldsExactlyAndLongerOnesAreCut) {
  struct {
    size_t Title, Author;
  } cases[] = {{31, 63}, {32, 64}, {200, 300}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Title << " / " << c.Author);
    TTsx tsx;
    tsx.Title = std::string(c.Title, 'T');
    tsx.Author = std::string(c.Author, 'A');
    tsx.Load();
    tsxPLUGINDATA record;
    std::memset(&record, 0x55, sizeof record);
    tsxGetData(&record, 1);
    const size_t t = std::min<size_t>(c.Title, 31), a = std::min<size_t>(c.Author, 63);
    EXPECT_EQ(std::string(record.title, t), std::string(t, 'T'));
    EXPECT_EQ(record.title[t], 0);
    EXPECT_EQ(std::string(record.author, a), std::string(a, 'A'));
    EXPECT_EQ(record.author[a], 0);
  }
}

TEST_F(Binding, HandlersRunOnlyWhenSetAndDeactivationIsIgnoredWhileShuttingDown) {
  EXPECT_EQ(tsxOnLeftClick(), 0);  // no handler
  tsxOnRightClick();
  int deactivations = 0, rightClicks = 0;
  TTsx tsx;
  tsx.OnLeftClick = [] { return 5; };
  tsx.OnRightClick = [&] { ++rightClicks; };
  tsx.OnDeactivate = [&] { ++deactivations; };
  tsx.Load();
  EXPECT_EQ(tsxOnLeftClick(), 5);
  tsxOnRightClick();
  tsxDeactivate();
  PlugState().ShuttingDown = true;
  tsxDeactivate();
  EXPECT_EQ(rightClicks, 1);
  EXPECT_EQ(deactivations, 1);
}

TEST_F(Binding, AnExportNeverLetsAFailureThrough) {
  TTsx tsx;
  tsx.OnLeftClick = []() -> int32_t { throw std::runtime_error("inside"); };
  tsx.OnPlugInit = [] { throw std::runtime_error("inside"); };
  tsx.Load();
  EXPECT_EQ(tsxOnLeftClick(), 0);
  tsx.Title = "T";
  tsx.Load();
  tsxPLUGINDATA record{};
  EXPECT_NO_THROW(tsxGetData(&record, 3));
  EXPECT_EQ(PlugState().PluginId, 3);
  EXPECT_STREQ(record.title, "T");
}

TEST_F(Binding, HostFunctionsAreFoundByNameAndTheDataFolderFollowsTheExecutable) {
  EXPECT_NE(LookUpHostFunction("tsxRegisterExternalShader"), nullptr);
  EXPECT_EQ(LookUpHostFunction("tsxNoSuchFunction"), nullptr);
  Stage().MainWindowOpen = false;
  EXPECT_EQ(MainViewHwnd(), nullptr);
  Stage().MainWindowOpen = true;
  EXPECT_EQ(MainViewHwnd(), Stage().MainWindowHandle());
  const std::string host = HostFolder();
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(host + "binding_tests"));
  EXPECT_EQ(DataFolderOf(host), host + "Vantrel/");
}

// ---- Host events -------------------------------------------------------------------------

TEST_F(Binding, EventsSubscribeTheirGroupsAndUnsubscribeAllFour) {
  TTsEvents events;
  events.SetEvents(peRender);
  for (int g = 0; g < 4; ++g) EXPECT_FALSE(Stage().Subscribed(g, &TTsEvents::HostCallback));
  events.SetActive(true);
  EXPECT_TRUE(Stage().Subscribed(tsxEVENTS_RENDER, &TTsEvents::HostCallback));
  for (int g : {tsxEVENTS_MOUSE, tsxEVENTS_VIEWMSG, tsxEVENTS_GENERAL})
    EXPECT_FALSE(Stage().Subscribed(g, &TTsEvents::HostCallback));
  events.SetEvents(peMouse | peGeneral);
  EXPECT_FALSE(Stage().Subscribed(tsxEVENTS_RENDER, &TTsEvents::HostCallback));
  EXPECT_TRUE(Stage().Subscribed(tsxEVENTS_MOUSE, &TTsEvents::HostCallback));
  EXPECT_TRUE(Stage().Subscribed(tsxEVENTS_GENERAL, &TTsEvents::HostCallback));
  events.SetActive(false);
  for (int g = 0; g < 4; ++g) EXPECT_FALSE(Stage().Subscribed(g, &TTsEvents::HostCallback));
  // Changing the set while inactive subscribes nothing.
  events.SetEvents(peRender | peViewMsg);
  for (int g = 0; g < 4; ++g) EXPECT_FALSE(Stage().Subscribed(g, &TTsEvents::HostCallback));
}

TEST_F(Binding, EventsReachTheirHandlersAndUnknownCodesReachNone) {
  TTsEvents events;
  std::vector<std::string> calls;
  auto render = [&](const char* name) {
    return [&calls, name](const tsxEventRenderData& d) { calls.push_back(std::string(name) + std::to_string(d.code)); };
  };
  events.OnRenderInit = render("init");
  events.OnRenderBegin = render("begin");
  events.OnRenderEnd = render("end");
  events.OnRenderFrameStart = render("start");
  events.OnRenderFrameEnd = render("fend");
  events.OnRenderAbort = render("abort");
  events.OnRenderError = render("error");
  events.OnMouseMessage = [&](const tsxEventMouseData&) { calls.push_back("mmsg"); };
  events.OnMouseEvent = [&](const tsxEventMouseData&) { calls.push_back("mevent"); };
  events.OnMouseDrag = [&](const tsxEventMouseData&) { calls.push_back("mdrag"); };
  events.OnViewEvent = [&](const tsxEventViewMsgData& d) { calls.push_back("view" + std::to_string(d.code)); };
  events.OnAppStart = [&] { calls.push_back("appstart"); };
  events.OnAppClose = [&] { calls.push_back("appclose"); };
  events.OnSceneClose = [&] { calls.push_back("sceneclose"); };
  events.OnSceneNew = [&] { calls.push_back("scenenew"); };
  events.OnSceneLoad = [&] { calls.push_back("sceneload"); };
  events.OnSelectionChange = [&] { calls.push_back("selection"); };
  events.SetEvents(peRender | peMouse | peViewMsg | peGeneral);
  events.SetActive(true);

  for (int32_t code = 0; code <= 7; ++code) Stage().RaiseRenderEvent(code, 0);
  for (int32_t code = 0; code <= 4; ++code) {
    const tsxEventMouseData m{code, 0, 0, 0};
    Stage().RaiseEvent(tsxEVENTS_MOUSE, &m);
  }
  const tsxEventViewMsgData v{42, nullptr};
  Stage().RaiseEvent(tsxEVENTS_VIEWMSG, &v);
  for (int32_t code = 0; code <= 6; ++code) Stage().RaiseGeneralEvent(code);
  const std::vector<std::string> expected = {"init0", "begin1", "end2", "start3", "fend4", "abort5", "error6",
                                             "mmsg", "mevent", "mdrag", "view42", "appstart", "appclose",
                                             "sceneclose", "scenenew", "sceneload", "selection"};
  EXPECT_EQ(calls, expected);
  // Another group number reaches nothing.
  calls.clear();
  events.Dispatch(9, &v);
  EXPECT_TRUE(calls.empty());
}

TEST_F(Binding, OnlyTheComponentActivatedLastReceivesEvents) {
  TTsEvents first, second;
  int a = 0, b = 0;
  first.OnRenderBegin = [&](const tsxEventRenderData&) { ++a; };
  second.OnRenderBegin = [&](const tsxEventRenderData&) { ++b; };
  first.SetEvents(peRender);
  second.SetEvents(peRender);
  first.SetActive(true);
  second.SetActive(true);
  Stage().RaiseRenderEvent(1, 0);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(TTsEvents::Target(), &second);
}

// ---- Scene object types ------------------------------------------------------------------

int ForeignDelete(tsxSOBJ*) { return 0; }

int DefineForeign(const char* name) {
  tsxSOBJCALLBACKS table{};
  table.version = 3;
  table.onDelete = &ForeignDelete;
  return tsxObjectDefine(99, name, &table, 0);
}

TEST_F(Binding, TypesLandInTheRegistryByNumberWithEmptyEntriesBetween) {
  TTsxExtObj a, b, c, d;
  a.ObjectTypeName = "A";
  b.ObjectTypeName = "B";
  c.ObjectTypeName = "C";
  d.ObjectTypeName = "D";
  a.Define();
  a.Define();  // asked once
  b.Define();
  c.Define();
  EXPECT_EQ(DefineForeign("Other"), 43);
  d.Define();
  EXPECT_EQ(Stage().Types.All().size(), 5u);
  const int numbers[] = {a.SObjType(), b.SObjType(), c.SObjType(), d.SObjType()};
  EXPECT_EQ(std::vector<int>(numbers, numbers + 4), (std::vector<int>{40, 41, 42, 44}));
  const std::vector<TTsxExtObj*> expected = {&a, &b, &c, nullptr, &d};
  EXPECT_EQ(TTsxExtObj::Registry(), expected);
  EXPECT_EQ(TTsxExtObj::FirstTypeNumber(), 40);

  // Lookups: a type's object finds its component; the foreign type finds nothing.
  tsxSOBJ* objD = d.CreateObject();
  ASSERT_NE(objD, nullptr);
  EXPECT_EQ(TTsxExtObj::Lookup(objD), &d);
  EXPECT_EQ(TTsxExtObj::Current(), &d);
  stage::TNode* foreign = Stage().Scene.CreateCustom(43);
  EXPECT_EQ(TTsxExtObj::Lookup(stage::TScene::Handle(foreign)), nullptr);
  EXPECT_EQ(TTsxExtObj::Current(), &d);
}

TEST_F(Binding, AnObjectOfATypeBelowTheFirstFindsNothing) {
  const int below = DefineForeign("Before");
  TTsxExtObj type;
  type.ObjectTypeName = "After";
  type.Define();
  EXPECT_EQ(type.SObjType(), below + 1);
  stage::TNode* obj = Stage().Scene.CreateCustom(below);
  EXPECT_EQ(TTsxExtObj::Lookup(stage::TScene::Handle(obj)), nullptr);
}

TEST_F(Binding, CreatedObjectsAreNamedByTheTypeAndARefusalBeeps) {
  TTsxExtObj type;
  type.ObjectTypeName = "VNTX_Fan";
  EXPECT_EQ(type.CreateObject(), nullptr);  // undefined: the host refuses
  EXPECT_EQ(Headless().Beeps, 1);
  type.Define();
  tsxSOBJ* obj = type.CreateObject();
  ASSERT_NE(obj, nullptr);
  stage::TNode* node = Stage().Scene.FromHandle(obj);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Name, "VNTX_Fan");
  EXPECT_EQ(Stage().Scene.FindByName("VNTX_Fan"), node);
  EXPECT_EQ(Headless().Beeps, 1);
}

TEST_F(Binding, BoundingBoxOfTheDefaultCubeAndTheSnapOfTinyEntries) {
  TTsxExtObj type;
  type.ObjectTypeName = "Cube";
  type.Define();
  tsxSOBJ* obj = type.CreateObject();
  const auto& table = TTsxExtObj::CallbackTable();
  EXPECT_EQ(table.version, 3);
  EXPECT_EQ(table.reserved7, nullptr);

  float box[6] = {};
  CtsxTxmx3f m = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  table.onBoundingBox(obj, box, &m);
  EXPECT_EQ(std::vector<float>(box, box + 6), (std::vector<float>{-1, -1, -1, 1, 1, 1}));
  m.m[0][1] = 5e-7f;  // counts as 0
  m.m[2][3] = 2;
  table.onBoundingBox(obj, box, &m);
  EXPECT_EQ(std::vector<float>(box, box + 6), (std::vector<float>{-1, -1, 1, 1, 1, 3}));
  m.m[0][1] = 2e-6f;  // does not
  table.onBoundingBox(obj, box, &m);
  EXPECT_GT(box[3], 1.0f);
  // Without a transform: the object's own (identity at the origin).
  table.onBoundingBox(obj, box, nullptr);
  EXPECT_EQ(std::vector<float>(box, box + 6), (std::vector<float>{-1, -1, -1, 1, 1, 1}));
  // No main window: nothing is written.
  Stage().MainWindowOpen = false;
  float untouched[6] = {7, 7, 7, 7, 7, 7};
  table.onBoundingBox(obj, untouched, &m);
  EXPECT_EQ(untouched[0], 7);
}

TEST_F(Binding, DrawStatesChooseThePenAndStateFiveKeepsTheView) {
  TTsxExtObj type;
  type.ObjectTypeName = "Drawn";
  type.WirePen = e_tsxPEN_GREEN;
  type.Define();
  tsxSOBJ* obj = type.CreateObject();
  const auto& table = TTsxExtObj::CallbackTable();
  const struct {
    int State;
    tsxPEN Expected;
  } cases[] = {{1, e_tsxPEN_GREEN}, {2, e_tsxPEN_ACTIVESUB}, {3, e_tsxPEN_SCENE}, {4, e_tsxPEN_INACTIVESUB},
               {5, e_tsxPEN_GRID}, {0, e_tsxPEN_GRID}};
  Stage().View.Camera.Eye = {0, -10, 0};
  Stage().View.Camera.Target = {0, 0, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.State);
    Stage().View.Pen = e_tsxPEN_GRID;
    Stage().View.Lines.clear();
    EXPECT_EQ(table.onDraw(obj, c.State, nullptr), 1);
    EXPECT_EQ(Stage().View.Pen, c.Expected);
    EXPECT_EQ(Stage().View.Lines.size(), 12u);  // the cube's edges
  }
}

TEST_F(Binding, CallbacksServeTheirHandlersAndUnknownObjectsAnswerZero) {
  TTsxExtObj type;
  type.ObjectTypeName = "Served";
  type.Define();
  tsxSOBJ* obj = type.CreateObject();
  std::vector<std::string> calls;
  type.OnObjectDelete = [&](TTsxExtObj&, tsxSOBJ*) { calls.push_back("delete"); };
  type.OnObjectClone = [&](TTsxExtObj&, tsxSOBJ*, tsxSOBJ*, int32_t& r) { r = 9; };
  type.OnReadBinary = [](tsxSOBJ*, tsxFILE*) { return 11; };
  type.OnWriteAscii = [](tsxSOBJ*, tsxFILE*) { return 12; };
  type.OnGeometryChanged = [&](TTsxExtObj&, tsxSOBJ*, tsxOBJECT_CHANGE k) { calls.push_back("change" + std::to_string(k)); };
  type.OnTransform = [&](TTsxExtObj&, tsxSOBJ*, TMx3f& m, uint16_t flags) {
    calls.push_back("transform" + std::to_string(flags) + "/" + std::to_string(m.m[0][3]));
  };
  const auto& table = TTsxExtObj::CallbackTable();
  EXPECT_EQ(table.onClone(obj, nullptr), 9);
  EXPECT_EQ(table.onFile(obj, nullptr, 0, 0), 11);
  EXPECT_EQ(table.onFile(obj, nullptr, 1, 1), 12);
  EXPECT_EQ(table.onFile(obj, nullptr, 1, 0), 0);  // no handler
  EXPECT_EQ(table.onChange(obj, 0x102), 0);
  CtsxTxmx3f m = {{{1, 0, 0, 4}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  EXPECT_EQ(table.onTransform(obj, &m, 0x10007), 0);
  Stage().MainWindowOpen = false;
  EXPECT_EQ(table.onDelete(obj), 0);  // ignored without a main window
  Stage().MainWindowOpen = true;
  EXPECT_EQ(table.onDelete(obj), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"change2", "transform7/4.000000", "delete"}));
  // A handle the host does not know, and null, find nothing.
  int local = 0;
  EXPECT_EQ(table.onClone(reinterpret_cast<tsxSOBJ*>(&local), nullptr), 0);
  EXPECT_EQ(table.onFile(nullptr, nullptr, 0, 0), 0);
}

TEST_F(Binding, TheSevenWireframesHaveTheirPensAndValidLineLists) {
  TTsxExtObj emitter;
  InstallEmitterWireframe(emitter);
  EXPECT_EQ(emitter.ObjectTypeName, "VNTX_Emitter");
  EXPECT_EQ(emitter.LineList, (std::vector<int32_t>{0, 1, 2, 3, 0, -2, 4, 5, -1}));
  const struct {
    TToolKind Kind;
    const char* Name;
    tsxPEN Pen;
    size_t Points, Polylines;
  } cases[] = {{ToolDeflector, "VNTX_Deflector", e_tsxPEN_BLUE, 13, 12}, {ToolFan, "VNTX_Fan", e_tsxPEN_BLUE, 18, 16},
               {ToolAttractor, "VNTX_Attractor", e_tsxPEN_GREEN, 6, 3},  {ToolRepulsor, "VNTX_Repulsor", e_tsxPEN_RED, 6, 3},
               {ToolLeader, "VNTX_Leader", e_tsxPEN_BLUE, 12, 20},       {ToolGravitron, "VNTX_Gravitron", e_tsxPEN_BLUE, 8, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTsxExtObj type;
    InstallToolWireframe(type, c.Kind);
    EXPECT_EQ(type.ObjectTypeName, c.Name);
    EXPECT_EQ(type.WirePen, c.Pen);
    EXPECT_EQ(type.Points.size(), c.Points);
    EXPECT_EQ(std::count(type.LineList.begin(), type.LineList.end(), -2) + 1, static_cast<long>(c.Polylines));
    EXPECT_EQ(type.LineList.back(), -1);
    for (int32_t i : type.LineList) EXPECT_TRUE(i == -1 || i == -2 || (i >= 0 && static_cast<size_t>(i) < c.Points));
  }
}

// ---- Shader bridge -----------------------------------------------------------------------

TEST_F(Binding, RegistrationChangesOnlyWhenTheHostAccepts) {
  TTsxGlobalShader shader;
  Stage().RefuseShaders = true;
  shader.SetPostProcessActive(true);
  EXPECT_FALSE(shader.PostProcessActive());
  EXPECT_EQ(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  Stage().RefuseShaders = false;
  shader.SetPostProcessActive(true);
  EXPECT_TRUE(shader.PostProcessActive());
  const auto ours = Stage().Shader(tssSHADER_POSTPROCESS);
  ASSERT_NE(ours, nullptr);
  // Setting the current value does not ask the host again.
  Stage().RegisterShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&ForeignDelete), true);
  shader.SetPostProcessActive(true);
  EXPECT_NE(Stage().Shader(tssSHADER_POSTPROCESS), ours);
  shader.SetBackgroundActive(true);
  EXPECT_TRUE(shader.BackgroundActive());
  EXPECT_FALSE(shader.ForegroundActive());
}

// The host's foreground call reaches one handler per action, through the callback it was handed;
// an action it does not know reaches none, and the background call passes its action on.
TEST_F(Binding, ShaderCallsReachTheHandlerOfTheirAction) {
  std::string calls;  // outlives the shader, whose unregistering on destruction calls Unload
  TTsxGlobalShader shader;
  shader.OnForegroundLoad = [&] { calls += "load "; };
  shader.OnForegroundUnload = [&] { calls += "unload "; };
  shader.OnForegroundInit = [&] { calls += "init "; };
  shader.OnForegroundRender = [&](tssForegroundData&, tssACTION a) { calls += "render" + std::to_string(a) + " "; };
  shader.OnBackground = [&](tssBackgroundData&, tssACTION a) { calls += "background" + std::to_string(a) + " "; };
  shader.SetForegroundActive(true);
  shader.SetBackgroundActive(true);
  const auto foreground = reinterpret_cast<tssFOREGROUNDFUNC>(Stage().Shader(tssSHADER_FOREGROUND));
  const auto background = reinterpret_cast<tssBACKGROUNDFUNC>(Stage().Shader(tssSHADER_BACKGROUND));
  ASSERT_NE(foreground, nullptr);
  ASSERT_NE(background, nullptr);
  tssForegroundData data{};
  const struct {
    int Action;
    const char* Reaches;
  } cases[] = {{0, "load "}, {1, "unload "}, {2, "init "}, {3, "render3 "}, {4, "render4 "}, {5, ""}, {-1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Action);
    calls.clear();
    foreground(&data, c.Action);
    EXPECT_EQ(calls, c.Reaches);
  }
  calls.clear();
  background(&data, 3);
  EXPECT_EQ(calls, "background3 ");
}

void SmallStage(int32_t w, int32_t h) {
  Stage().Render.Width = w;
  Stage().Render.Height = h;
  Stage().View.Width = w;
  Stage().View.Height = h;
}

TEST_F(Binding, TheScanlineLoopVisitsEveryRowAndWritesTheOutputLine) {
  SmallStage(8, 5);
  TTsxGlobalShader shader;
  shader.SetPostProcessActive(true);
  shader.RenderScanlines = true;
  std::vector<int32_t> rows;
  int posts = 0, starts = 0, ends = 0;
  shader.OnPostProcess = [&](const tssPostProcessData& d) {
    ++posts;
    EXPECT_EQ(d.width, 8);
  };
  shader.OnScanlinesStart = [&](TTsxGlobalShader&, int32_t w, int32_t h) {
    ++starts;
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 5);
  };
  shader.OnScanlinesEnd = [&](TTsxGlobalShader&) { ++ends; };
  shader.OnRenderScanline = [&](TTsxGlobalShader&, int32_t x0, int32_t x1, int32_t y, const float*, float* out) {
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 8);
    rows.push_back(y);
    if (y == 0) out[4 * 3] = 0.75f;  // pixel 3, red; kept for the later rows
  };
  const int displayBefore = Stage().DisplayCalls;
  stage::TScreenBuffer image = Stage().RenderFrame(0);
  EXPECT_EQ(posts, 1);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(Stage().DisplayCalls - displayBefore, 5);
  for (int32_t y = 0; y < 5; ++y) EXPECT_FLOAT_EQ(image.At(3, y).R, 0.75f);
  EXPECT_FLOAT_EQ(image.At(2, 0).R, 0.0f);

  // A region: its rows and columns, inclusive bounds.
  rows.clear();
  Stage().Render.UseRegion = true;
  Stage().Render.RegionLeft = 2;
  Stage().Render.RegionRight = 5;
  Stage().Render.RegionTop = 1;
  Stage().Render.RegionBottom = 3;
  shader.OnRenderScanline = [&](TTsxGlobalShader&, int32_t x0, int32_t x1, int32_t y, const float*, float*) {
    EXPECT_EQ(x0, 2);
    EXPECT_EQ(x1, 6);
    rows.push_back(y);
  };
  Stage().RenderFrame(0);
  EXPECT_EQ(rows, (std::vector<int32_t>{0, 1, 2}));
}

TEST_F(Binding, WithoutTheScanlineLoopOnlyThePostProcessRuns) {
  SmallStage(4, 3);
  Stage().Render.Background = {0.5f, 0.5f, 0.5f};
  TTsxGlobalShader shader;
  shader.SetPostProcessActive(true);
  int posts = 0;
  shader.OnPostProcess = [&](const tssPostProcessData&) { ++posts; };
  shader.OnRenderScanline = [&](TTsxGlobalShader&, int32_t, int32_t, int32_t, const float*, float*) { FAIL(); };
  const stage::TScreenBuffer image = Stage().RenderFrame(0);
  EXPECT_EQ(posts, 1);
  EXPECT_FLOAT_EQ(image.At(1, 1).R, 0.5f);
}

// ---- The main panel's controller and the plug-in wired together --------------------------

class Plugin : public Binding {
 protected:
  void SetUp() override {
    Binding::SetUp();
    auto clock = std::make_unique<TClockPlatform>();
    Clock = clock.get();
    InstallPlatform(std::move(clock));
    Module = std::make_unique<TVantrelPlugin>("/data/Vantrel/");
  }
  void TearDown() override {
    Module.reset();
    Binding::TearDown();
  }
  void Init() {
    tsxPLUGINDATA record{};
    tsxGetData(&record, 4);
  }
  TClockPlatform* Clock = nullptr;
  std::unique_ptr<TVantrelPlugin> Module;
};

TEST_F(Plugin, PlugInitDefinesTheSevenTypesInOrderThenTheRenderEvents) {
  EXPECT_EQ(Module->HelpFile, "/data/Vantrel/VNTX.hlp");
  Init();
  const std::vector<std::string> names = {"VNTX_Emitter", "VNTX_Deflector", "VNTX_Fan", "VNTX_Attractor",
                                          "VNTX_Repulsor", "VNTX_Leader", "VNTX_Gravitron"};
  ASSERT_EQ(Stage().Types.All().size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Stage().Types.All()[i].Name, names[i]);
    EXPECT_EQ(Stage().Types.All()[i].Number, 40 + static_cast<int>(i));
    EXPECT_EQ(Stage().Types.All()[i].PluginId, 4);
  }
  EXPECT_TRUE(Module->Events.Active());
  EXPECT_TRUE(Stage().Subscribed(tsxEVENTS_RENDER, &TTsEvents::HostCallback));
  // Scene loads bring the render switches the scene keeps.
  EXPECT_TRUE(Stage().Subscribed(tsxEVENTS_GENERAL, &TTsEvents::HostCallback));
}

TEST_F(Plugin, TheFirstClickTurnsRenderingOnAndLaterClicksLeaveIt) {
  Init();
  EXPECT_FALSE(Module->Main.Switches.EnableRendering);
  tsxOnLeftClick();
  EXPECT_TRUE(Module->Main.Switches.EnableRendering);
  EXPECT_NE(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  Module->Main.EnableRenderingAction();  // the user turns it off
  EXPECT_FALSE(Module->Main.Switches.EnableRendering);
  EXPECT_EQ(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  tsxOnLeftClick();
  EXPECT_FALSE(Module->Main.Switches.EnableRendering);
}

// The main panel's render switches travel to the host's settings block of the scene and back.
TEST_F(Plugin, RenderSwitchesAreKeptWithTheScene) {
  Init();
  tsxOnLeftClick();
  TMain& main = Module->Main;
  EXPECT_EQ(Stage().PluginSettings["Vantrel"], "enableRendering=1 depthDithering=0 softIntersections=0 softDistance=1");
  main.Switches.SetSoftDistance(0.25f);
  main.Switches.SoftIntersectionsAction();
  main.DepthDitheringAction();
  EXPECT_EQ(Stage().PluginSettings["Vantrel"], "enableRendering=1 depthDithering=1 softIntersections=1 softDistance=0.25");
  EXPECT_EQ(main.Renderer.SoftDistance, 0.25f);
  EXPECT_TRUE(main.Renderer.DepthDithering);
  EXPECT_THROW(main.Switches.SetSoftDistance(0), EVantrelError);
  EXPECT_THROW(main.Switches.SetSoftDistance(NAN), EVantrelError);

  // Render begin takes what the scene keeps; keys left out keep their state.
  Stage().PluginSettings["Vantrel"] = "softIntersections=0 enableRendering=0 unknown=7";
  main.RenderBegin();
  EXPECT_FALSE(main.Switches.SoftIntersections);
  EXPECT_EQ(main.Renderer.SoftDistance, 0);
  EXPECT_TRUE(main.Switches.DepthDithering);
  EXPECT_FALSE(main.Switches.EnableRendering);
  EXPECT_EQ(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  struct Case {
    const char* text;
    const char* message;
  };
  const Case bad[] = {{"depthDithering=yes", "depthDithering must be 0 or 1"},
                      {"softDistance=-2", "softDistance must be a number above 0"},
                      {"softDistance=1x", "softDistance must be a number above 0"}};
  for (const Case& c : bad) {
    SCOPED_TRACE(c.text);
    EXPECT_THROW(main.Switches.Apply(c.text), EVantrelError);
    try {
      main.Switches.Apply(c.text);
    } catch (const EVantrelError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(main.Switches.DepthDithering);
  EXPECT_EQ(main.Switches.SoftDistance, 0.25f);
  main.Switches.Apply("enableRendering=1 softDistance=2 softIntersections=1");
  EXPECT_TRUE(main.Switches.EnableRendering);
  EXPECT_EQ(main.Renderer.SoftDistance, 2.0f);
  EXPECT_NE(main.Renderer.CoverageQuery, nullptr) << "the stage offers coverage";
}

// Loads a scene file that keeps the given render switches and nothing else.
void LoadSceneKeeping(const std::string& switches) {
  namespace fs = std::filesystem;
  const fs::path scene = fs::temp_directory_path() / ("vantrel-switches-" + std::to_string(::getpid()) + ".json");
  {
    std::ofstream out(scene);
    out << R"({"vantrelScene": 1, "pluginSettings": {"Vantrel": ")" << switches << R"("}})";
  }
  stage::LoadSceneFile(Stage(), scene);
  fs::remove(scene);
}

// A loaded scene's switches reach the panel at once, and the first click (or any switch) writes
// only what it changed: soft intersections and depth dithering the scene keeps survive it.
TEST_F(Plugin, SceneSwitchesSurviveTheFirstClick) {
  Init();
  TMain& main = Module->Main;
  LoadSceneKeeping("enableRendering=0 depthDithering=1 softIntersections=1 softDistance=0.5 later=3");
  EXPECT_TRUE(main.Switches.DepthDithering);
  EXPECT_TRUE(main.Switches.SoftIntersections);
  EXPECT_EQ(main.Renderer.SoftDistance, 0.5f);

  tsxOnLeftClick();
  EXPECT_TRUE(main.Switches.EnableRendering);
  EXPECT_EQ(Stage().PluginSettings["Vantrel"],
            "enableRendering=1 depthDithering=1 softIntersections=1 softDistance=0.5 later=3");

  // The host changes the block behind the panel's back (another scene's switches, say); the next
  // switch changes only its own key and the panel follows the rest.
  Stage().PluginSettings["Vantrel"] = "enableRendering=1 depthDithering=0 softIntersections=1 softDistance=2";
  main.Switches.SoftIntersectionsAction();
  EXPECT_EQ(Stage().PluginSettings["Vantrel"], "enableRendering=1 depthDithering=0 softIntersections=0 softDistance=2");
  EXPECT_FALSE(main.Switches.DepthDithering);
  EXPECT_FALSE(main.Switches.SoftIntersections);
  EXPECT_EQ(main.Switches.SoftDistance, 2.0f);
}

// A scene that keeps rendering on (as a saved scene does) turns it on when it loads; the first
// click, given after the load by a host that opens the scene first, leaves it on.
TEST_F(Plugin, TheFirstClickLeavesOnWhatASceneTurnedOn) {
  Init();
  const std::string kept = "enableRendering=1 depthDithering=1 softIntersections=0 softDistance=1";
  LoadSceneKeeping(kept);
  EXPECT_TRUE(Module->Main.Switches.EnableRendering);
  tsxOnLeftClick();
  EXPECT_TRUE(Module->Main.Switches.EnableRendering);
  EXPECT_NE(Stage().Shader(tssSHADER_POSTPROCESS), nullptr);
  EXPECT_EQ(Stage().PluginSettings["Vantrel"], kept);
}

// A scene that keeps no switch (or only some) opens with those of a fresh start, rendering on
// after the first click, as `vantrel render` of the file has them, whatever the scene before set.
TEST_F(Plugin, ASceneWithoutSwitchesOpensWithThoseOfAFreshStart) {
  Init();
  TMain& main = Module->Main;
  tsxOnLeftClick();
  LoadSceneKeeping("enableRendering=0 depthDithering=1 softIntersections=1 softDistance=0.5");
  ASSERT_FALSE(main.Switches.EnableRendering);
  for (const char* kept : {"", "later=3", "depthDithering=1"}) {
    LoadSceneKeeping("enableRendering=0 depthDithering=1 softIntersections=1 softDistance=0.5");
    LoadSceneKeeping(kept);
    EXPECT_TRUE(main.Switches.EnableRendering) << kept;
    EXPECT_NE(Stage().Shader(tssSHADER_POSTPROCESS), nullptr) << kept;
    EXPECT_EQ(main.Switches.DepthDithering, std::string(kept) == "depthDithering=1") << kept;
    EXPECT_FALSE(main.Switches.SoftIntersections) << kept;
    EXPECT_EQ(main.Renderer.SoftDistance, 0.0f) << kept;
    EXPECT_EQ(main.Switches.SoftDistance, 1.0f) << kept;
  }
}

TEST_F(Plugin, ARefusedRegistrationLeavesRenderingOff) {
  Init();
  Stage().RefuseShaders = true;
  tsxOnLeftClick();
  EXPECT_FALSE(Module->Main.Switches.EnableRendering);
  EXPECT_FALSE(Module->Shader.PostProcessActive());
}

// The host's selection reaches the emitter tree and the toolbox through the general events.
TEST_F(Plugin, TheHostsSelectionReachesTheEmitterTreeAndTheToolbox) {
  Init();
  TMain& main = Module->Main;
  TEmitterObject* first = main.NewEmitter();
  TEmitterObject* second = main.NewEmitter();
  ASSERT_TRUE(first && second);
  TToolObject& fan = main.NewTool(ToolFan);
  main.NewTool(ToolLeader);
  auto select = [](tsxSOBJ* object) { Stage().Scene.Select(Stage().Scene.FromHandle(object)); };
  select(first->SceneObject);
  EXPECT_EQ(main.Emitters.CurrentEmitter, first);
  select(fan.SceneObject());
  EXPECT_EQ(main.Toolbox.CurrentTool, &fan);
  EXPECT_EQ(main.Emitters.CurrentEmitter, first);
}

TEST_F(Plugin, NewEmitterAndNewToolsCreateSceneObjectsAndARefusalBeeps) {
  // Before the types are defined the host refuses: no emitter, a tool without a scene object.
  EXPECT_EQ(Module->Main.NewEmitter(), nullptr);
  TToolObject& orphan = Module->Main.NewTool(ToolFan);
  EXPECT_EQ(orphan.SceneObject(), nullptr);
  EXPECT_EQ(Module->Main.Toolbox.Tools.size(), 1u);
  EXPECT_EQ(Clock->Beeps, 2);
  EXPECT_TRUE(Module->Main.Emitters.EmitterList.empty());

  Init();
  TEmitterObject* emitter = Module->Main.NewEmitter();
  ASSERT_NE(emitter, nullptr);
  EXPECT_EQ(emitter->Systems.size(), 1u);
  EXPECT_EQ(Module->Main.Emitters.CurrentEmitter, emitter);
  stage::TNode* node = Stage().Scene.FromHandle(emitter->SceneObject);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Name, "VNTX_Emitter");
  EXPECT_EQ(Stage().Scene.Selected(), node);
  for (TToolKind kind : {ToolDeflector, ToolFan, ToolAttractor, ToolRepulsor, ToolLeader, ToolGravitron}) {
    TToolObject& tool = Module->Main.NewTool(kind);
    stage::TNode* toolNode = Stage().Scene.FromHandle(tool.SceneObject());
    ASSERT_NE(toolNode, nullptr);
    EXPECT_EQ(toolNode->Name, ToolTypeName(kind));
    EXPECT_EQ(tool.Kind(), kind);
  }
  EXPECT_EQ(Clock->Beeps, 2);
  // The host's delete reaches the controllers through the type's callback.
  Stage().Scene.Delete(*node);
  EXPECT_TRUE(Module->Main.Emitters.EmitterList.empty());
}

TEST_F(Plugin, ProgressMovesTheBarsOnlyAtMultiplesOfFive) {
  int changes = 0;
  std::vector<int> positions;
  Module->Main.OnStatusChanged = [&] {
    ++changes;
    positions.push_back(Module->Main.MainProgress.Position);
  };
  for (int percent : {14, 28, 42, 57, 71, 85, 100}) Module->Main.ReportRenderProgress(percent);
  EXPECT_EQ(positions, (std::vector<int>{85, 100}));
  EXPECT_EQ(Module->Main.MainProgress.Caption, "Rendering 100% Complete");
  EXPECT_EQ(Module->Main.ShuttleProgress.Caption, "100%");
  EXPECT_EQ(Module->Main.ShuttleProgress.Position, 100);
}

TEST_F(Plugin, AnEmptyPassReportsZeroParticlesAndItsTime) {
  SmallStage(16, 16);
  Init();
  tsxOnLeftClick();
  const struct {
    uint32_t Start, End;
    const char* Main;
    const char* Shuttle;
  } cases[] = {{1000, 62500, " Rendered 0 particles in 01:01", " 0 parts in 01:01"},
               {5, 405, " Rendered 0 particles in 00:00", " 0 parts in 00:00"},
               {0xFFFFFF00u, 1800, " Rendered 0 particles in 00:02", " 0 parts in 00:02"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Main);
    Clock->Ticks = {c.Start, c.End};
    Clock->Next = 0;
    Module->Main.MainProgress = {50, "x"};
    Stage().RenderFrame(3);
    EXPECT_EQ(Module->Main.StatusText, c.Main);
    EXPECT_EQ(Module->Main.ShuttleStatusText, c.Shuttle);
    EXPECT_EQ(Module->Main.MainProgress.Position, 0);
    EXPECT_EQ(Module->Main.MainProgress.Caption, "");
    EXPECT_EQ(Clock->StatusText, c.Main);
  }
}

// An orthographic 65 × 65 view of the origin from −y, one world unit per pixel.
void OrthoStage() { stagetest::SetOrthographicView(65); }

int DifferingPixels(const stage::TScreenBuffer& a, const stage::TScreenBuffer& b) {
  int n = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      n += std::memcmp(&a.At(x, y), &b.At(x, y), sizeof a.At(x, y)) != 0;
  return n;
}

int LitPixels(const stage::TScreenBuffer& image) {
  int lit = 0;
  for (int32_t y = 0; y < image.Height(); ++y)
    for (int32_t x = 0; x < image.Width(); ++x) lit += image.At(x, y).R > 0.01f;
  return lit;
}

TEST_F(Plugin, APassCompositesTheParticlesAndRestoresTheHostsTime) {
  OrthoStage();
  Init();
  tsxOnLeftClick();
  ASSERT_NE(Module->Main.NewEmitter(), nullptr);
  int lastFrame = -1;
  std::vector<stage::TScreenBuffer> frames;
  Stage().RenderSequence(10, 11, [&](float frame, const stage::TScreenBuffer& image) {
    lastFrame = static_cast<int>(frame);
    frames.push_back(image);
    EXPECT_FLOAT_EQ(tsxAnimGetActiveTime(), frame);  // restored after the pass moved it
  });
  ASSERT_EQ(lastFrame, 11);
  EXPECT_GT(LitPixels(frames[0]), 0);
  EXPECT_GT(LitPixels(frames[1]), 0);
  EXPECT_NE(Module->Main.StatusText.find(" Rendered "), std::string::npos);
  EXPECT_EQ(Module->Main.StatusText.find(" Rendered 0 "), std::string::npos);
  // Between frames: the emitter steps to a whole frame, moving the host's time there; the pass
  // puts back the time the host rendered.
  Stage().RenderFrame(12.5f);
  EXPECT_FLOAT_EQ(tsxAnimGetActiveTime(), 12.5f);

  // "Enable Rendering" off: the host's image stays without particles.
  Module->Main.EnableRenderingAction();
  EXPECT_EQ(LitPixels(Stage().RenderFrame(12)), 0);
}

TEST_F(Plugin, AnImageThatCannotBeDecodedLosesOnlyItsOwnParticles) {
  OrthoStage();
  Init();
  tsxOnLeftClick();
  TEmitterObject* emitter = Module->Main.NewEmitter();
  ASSERT_NE(emitter, nullptr);
  // The first system shows a picture file, the second the built-in glow. As a black picture
  // (clear everywhere) the file draws nothing; the same frames with the file damaged must
  // look the same.
  const auto bad = std::filesystem::temp_directory_path() / "vantrel-binding-bad.ppm";
  auto write = [&](const std::string& bytes) {
    std::ofstream out(bad, std::ios::binary | std::ios::trunc);
    out << bytes;
  };
  write(std::string("P6 2 2 255\n") + std::string(12, '\0'));
  emitter->Systems[0]->System.Maps.SetImageName(0, bad.string());
  emitter->AddSystem();
  ASSERT_EQ(emitter->Systems.size(), 2u);
  BitmapCache().Clear();
  std::vector<stage::TScreenBuffer> clear;
  Stage().RenderSequence(8, 9, [&](float, const stage::TScreenBuffer& image) { clear.push_back(image); });
  ASSERT_EQ(clear.size(), 2u);
  ASSERT_GT(LitPixels(clear[1]), 0);
  ASSERT_TRUE(Clock->Messages.empty());
  write("P6 this is not a picture");

  Clock->Messages.clear();
  Stage().DisplayCalls = 0;
  BitmapCache().Clear();
  std::vector<stage::TScreenBuffer> frames;
  std::vector<std::string> statuses;
  Stage().RenderSequence(8, 9, [&](float, const stage::TScreenBuffer& image) {
    frames.push_back(image);
    statuses.push_back(Module->Main.StatusText);
  });
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_FLOAT_EQ(tsxAnimGetActiveTime(), 9.0f);
  // Reported once for the whole render, naming the file.
  EXPECT_EQ(Clock->Messages.size(), 1u);
  ASSERT_FALSE(Clock->Messages.empty());
  EXPECT_NE(Clock->Messages[0].find("Cannot load image"), std::string::npos) << Clock->Messages[0];
  EXPECT_NE(Clock->Messages[0].find(bad.string()), std::string::npos) << Clock->Messages[0];
  // The glow's particles are all there, exactly as beside the clear picture; the image was
  // shown and the pass's report stands.
  EXPECT_EQ(DifferingPixels(frames[0], clear[0]), 0);
  EXPECT_EQ(DifferingPixels(frames[1], clear[1]), 0);
  EXPECT_EQ(Stage().DisplayCalls, 2 * 65);
  for (const std::string& status : statuses) EXPECT_EQ(status.rfind(" Rendered ", 0), 0u) << status;
  // A new render reports it again.
  Stage().RenderSequence(9, 9, [](float, const stage::TScreenBuffer&) {});
  EXPECT_EQ(Clock->Messages.size(), 2u);
  std::filesystem::remove(bad);
}

TEST_F(Plugin, APassStopsARunningPreview) {
  OrthoStage();
  Init();
  tsxOnLeftClick();
  ASSERT_NE(Module->Main.NewEmitter(), nullptr);
  Module->Main.PreviewRunning = true;
  Stage().RenderSequence(7, 7, [](float, const stage::TScreenBuffer&) {});
  EXPECT_FALSE(Module->Main.PreviewRunning);
}

TEST_F(Plugin, ShutdownIgnoresDeactivation) {
  int deactivations = 0;
  Module.reset();
  EXPECT_TRUE(PlugState().ShuttingDown);
  PlugState().OnDeactivate = [&] { ++deactivations; };
  tsxDeactivate();
  EXPECT_EQ(deactivations, 0);
}

}  // namespace
