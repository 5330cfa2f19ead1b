// The toolbox and the tool properties panel, headless on the real stage: the list's rows and the
// current tool through new, cloned and deleted tools; the host's selection following only the
// user's choice; check boxes and names; the pages, their fields' ranges and the kinds each field
// writes for; showing a tool writes nothing; a shown tool the host deletes; the fold header; and
// undo and redo of every edit, kept with the scene.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "scene/Settings.h"
#include "stage/Stage.h"
#include "tests/ui/StageTools.h"
#include "ui/Main.h"

namespace {

using stage::Stage;

TMain* Current = nullptr;

int ToolFile(tsxSOBJ* obj, tsxFILE* file, int direction, int) {
  if (direction == 1) Current->Toolbox.WritePayload(obj, file);
  else Current->Toolbox.ReadPayload(obj, file);
  return 1;
}
int ToolClone(tsxSOBJ* obj, tsxSOBJ* clone) {
  Current->Toolbox.CloneTool(obj, clone);
  return 1;
}
int ToolDelete(tsxSOBJ* obj) {
  Current->Toolbox.ToolDeleted(obj);
  return 1;
}

std::vector<uint8_t> Record(const TToolObject& tool) {
  TMemoryStream s;
  tool.WriteTo(s);
  return s.Data();
}

class Toolbox : public ::testing::Test {
 public:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    InstallPlatform(std::move(p));
    tsxSOBJCALLBACKS callbacks{};
    callbacks.version = 3;
    callbacks.onDelete = ToolDelete;
    callbacks.onClone = ToolClone;
    callbacks.onFile = ToolFile;
    types = DefineToolTypes(callbacks);
    main = std::make_unique<TMain>();
    Current = main.get();
    main->CreateToolObject = [this](TToolKind kind) -> tsxSOBJ* {
      return refuseObjects ? nullptr : NewToolObject(types, kind);
    };
    // The emitter manager's fold, as the main panel wires it.
    box().EmitterFoldExpanded = [this] { return emitterFold; };
    box().SetEmitterFoldExpanded = [this](bool expanded) { emitterFold = expanded; };
    props().Curves.SetPlotFrame(50, 10, 480, 200);
  }
  void TearDown() override {
    main.reset();
    Current = nullptr;
    InstallPlatform(nullptr);
    stage::ResetStage();
  }

  static stage::TNode* Node(const TToolObject& tool) { return Stage().Scene.FromHandle(tool.SceneObject()); }

  TToolboxControl& box() { return main->ToolboxControl; }
  TToolProperties& props() { return main->ToolProps; }
  TToolObject& New(TToolKind kind) {
    box().NewTool(kind);
    return *main->Toolbox.Tools.back();
  }
  TToolObject& Tool(size_t i) { return *main->Toolbox.Tools[i]; }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  std::vector<int> types;
  bool refuseObjects = false;
  bool emitterFold = true;
};

TEST_F(Toolbox, NewToolsListedWithTheirPagesAndTrees) {
  const struct {
    TToolKind Kind;
    const char* Name;
    int Icon;
    TToolPage Page;
    std::vector<std::string> Tree;
  } kinds[] = {
      {ToolDeflector, "Deflector", 11, TToolPage::Deflector, {"Deflector", "Elasticity", "Elasticity Jitter", "Lifespan"}},
      {ToolFan, "Fan", 12, TToolPage::Fan, {"Fan", "Power", "Power Jitter", "Lifespan"}},
      {ToolAttractor, "Attractor", 14, TToolPage::Attractor, {"Attractor", "Power", "Power Jitter", "Lifespan"}},
      {ToolRepulsor, "Repulsor", 15, TToolPage::Repulsor, {"Repulsor", "Power", "Power Jitter", "Lifespan"}},
      {ToolLeader, "Leader", 13, TToolPage::Leader, {"Leader", "Tension", "Tension Jitter", "Lifespan"}},
      {ToolGravitron, "Gravitron", 22, TToolPage::Gravitron, {"Gravitron", "Power", "Power Jitter", "Lifespan"}},
  };
  int notices = 0;
  main->NotifyHost = [&] { ++notices; };
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.Name);
    TToolObject& tool = New(k.Kind);
    const TToolboxState s = box().ToolboxState();
    const TToolRow expected{k.Name, k.Name, true, k.Icon};
    EXPECT_EQ(s.Rows.back(), expected);
    EXPECT_EQ(s.CurrentRow, static_cast<int>(s.Rows.size()) - 1);
    EXPECT_EQ(Stage().Scene.Selected(), nullptr);  // a new tool is not a user's choice of a row
    const TToolPropsState p = props().PropsState();
    EXPECT_EQ(props().ShownTool(), tool.Id);
    EXPECT_EQ(p.Kind, k.Kind);
    EXPECT_EQ(p.TreeEntries, k.Tree);
    EXPECT_EQ(p.TreeIndex, 0);
    EXPECT_EQ(p.Page, k.Page);
    props().ChooseEntry(3);
    EXPECT_EQ(props().PropsState().Page, TToolPage::Lifespan);
  }
  EXPECT_EQ(notices, 6);
  EXPECT_TRUE(main->History.UndoName().empty());  // creating objects is the host's, not a step

  // The strength and jitter curves in the panel's own editor; an attractor's jitter is over
  // percent without an axis title, a fan's over frames.
  box().RowChosen(2);
  props().ChooseEntry(2);
  EXPECT_EQ(props().PropsState().Page, TToolPage::Curve);
  TCurveEditorState c = props().CurveEditor().EditorState();
  EXPECT_TRUE(c.HasCurve);
  EXPECT_EQ(c.AxisTitle, "");
  EXPECT_EQ(props().Curves.Shown(), (TCurveRef{TCurveSet::Tool, Tool(2).Id, 1}));
  EXPECT_FALSE(main->Curves.Shown() == props().Curves.Shown());  // not the main panel's editor
  box().RowChosen(1);
  props().ChooseEntry(1);
  EXPECT_EQ(props().CurveEditor().EditorState().AxisTitle, "Frame Number");
  // During a preview the marker follows frame curves only.
  main->Toolbox.ShowFrame(42);
  EXPECT_EQ(props().CurveEditor().EditorState().MarkerX, 42);
  box().RowChosen(2);
  props().ChooseEntry(2);
  main->Toolbox.ShowFrame(43);
  EXPECT_EQ(props().CurveEditor().EditorState().MarkerX, -9000);
}

TEST_F(Toolbox, OnlyTheUsersChoiceSelectsInTheHost) {
  TToolObject& a = New(ToolFan);
  TToolObject& b = New(ToolDeflector);
  box().RowChosen(0);
  EXPECT_EQ(main->Toolbox.CurrentTool, &a);
  EXPECT_EQ(Stage().Scene.Selected(), Node(a));
  EXPECT_EQ(props().PropsState().Kind, ToolFan);

  // The host's selection of a tool object selects its row, and asks the host nothing.
  Stage().Scene.Select(nullptr);
  box().HostSelected(b.SceneObject());
  EXPECT_EQ(box().ToolboxState().CurrentRow, 1);
  EXPECT_EQ(props().ShownTool(), b.Id);
  EXPECT_EQ(Stage().Scene.Selected(), nullptr);

  // A clone becomes current without selecting anything in the host.
  Stage().Scene.Clone(*Node(a));
  EXPECT_EQ(box().ToolboxState().CurrentRow, 2);
  EXPECT_EQ(Tool(2).Name, "Fan");
  EXPECT_EQ(Stage().Scene.Selected(), nullptr);

  // A tool whose object the host refused is listed; choosing it selects nothing in the host.
  refuseObjects = true;
  TToolObject& orphan = New(ToolLeader);
  EXPECT_EQ(orphan.SceneObject(), nullptr);
  box().RowChosen(0);
  box().RowChosen(3);
  EXPECT_EQ(props().ShownTool(), orphan.Id);
  EXPECT_EQ(Stage().Scene.Selected(), Node(a));
  box().DeleteRow(3);  // nothing for the host to delete
  EXPECT_EQ(main->Toolbox.Tools.size(), 4u);
}

TEST_F(Toolbox, DeletingTheCurrentToolMakesTheFirstCurrent) {
  New(ToolFan);
  New(ToolAttractor);
  New(ToolGravitron);
  box().RowChosen(1);
  props().ChooseEntry(1);  // its Power curve in the editor
  Stage().Scene.Select(nullptr);
  box().DeleteRow(1);  // the host deletes the object and calls back
  ASSERT_EQ(main->Toolbox.Tools.size(), 2u);
  EXPECT_EQ(box().ToolboxState().CurrentRow, 0);
  EXPECT_EQ(props().ShownTool(), Tool(0).Id);
  EXPECT_EQ(Stage().Scene.Selected(), nullptr);

  // A non-current tool's deletion keeps the current one.
  box().RowChosen(1);
  Stage().Scene.Delete(*Node(Tool(0)));
  EXPECT_EQ(box().ToolboxState().CurrentRow, 0);
  EXPECT_EQ(Tool(0).Kind(), ToolGravitron);

  // The last one: the no-tool page; the tree holds only "Lifespan", which still shows it.
  Stage().Scene.Delete(*Node(Tool(0)));
  EXPECT_EQ(box().ToolboxState().CurrentRow, -1);
  TToolPropsState p = props().PropsState();
  EXPECT_EQ(p.TreeEntries, std::vector<std::string>{"Lifespan"});
  EXPECT_EQ(p.Page, TToolPage::NoTool);
  props().ChooseEntry(0);
  EXPECT_EQ(props().PropsState().Page, TToolPage::NoTool);
}

// No editor or marker reaches the curves of a tool the host deleted, during a preview too.
TEST_F(Toolbox, AShownToolDeletedInTheHostIsNotReachedAgain) {
  TToolObject& fan = New(ToolFan);
  props().ChooseEntry(1);
  stage::TNode* node = Node(fan);
  // The host deletes the object while the panel's editor holds a drag on its curve.
  TCurveEditorController& editor = props().CurveEditor();
  const TCurvePoint first = props().CurveEditor().EditorState().Keys.front();
  const TPlotMapping m = editor.Mapping();
  editor.MousePress(ButtonLeft, m.PixelX(first.X), m.PixelY(first.Y), 0);
  Stage().Scene.Delete(*node);
  editor.MouseMove(m.PixelX(first.X), m.PixelY(first.Y) - 20, ButtonLeft, 0);
  editor.MouseRelease(ButtonLeft, m.PixelX(first.X), m.PixelY(first.Y) - 20, 0);
  main->Toolbox.ShowFrame(12);
  props().MoveMarker(13);
  props().SetToolLifespan(5);
  EXPECT_FALSE(editor.EditorState().HasCurve);
  EXPECT_EQ(props().PropsState().Page, TToolPage::NoTool);
  EXPECT_TRUE(main->History.UndoName().empty());
}

TEST_F(Toolbox, CheckBoxesAndNames) {
  New(ToolFan);
  New(ToolDeflector);
  box().RowChosen(0);
  box().RowChecked(1, false);
  EXPECT_FALSE(Tool(1).Modifier()->Active);
  EXPECT_FALSE(box().ToolboxState().Rows[1].Active);
  EXPECT_EQ(box().ToolboxState().CurrentRow, 0);  // the selection is kept
  EXPECT_EQ(main->History.UndoName(), "Active");

  const struct {
    std::string Typed;
    std::string Stored;  // code-page bytes
    std::string Shown;
  } names[] = {
      {std::string(40, 'x'), std::string(32, 'x'), std::string(32, 'x')},
      {"Wind \u00e9t\u00e9", "Wind \xE9t\xE9", "Wind \u00e9t\u00e9"},
      // 40 two-byte characters: 32 characters, each one stored byte, none split.
      {[] { std::string s; for (int i = 0; i < 40; ++i) s += "\u00e9"; return s; }(), std::string(32, '\xE9'),
       [] { std::string s; for (int i = 0; i < 32; ++i) s += "\u00e9"; return s; }()},
  };
  for (const auto& n : names) {
    box().RowRenamed(0, n.Typed);
    EXPECT_EQ(Tool(0).Name, n.Stored);
    EXPECT_EQ(box().ToolboxState().Rows[0].Name, n.Shown);
    EXPECT_EQ(main->History.UndoName(), "Rename");
  }
  // A character the name field cannot hold: said so, the name stays.
  const size_t steps = main->History.UndoCount();
  box().RowRenamed(0, "snow \u2744");
  EXPECT_EQ(Tool(0).Name, std::string(32, '\xE9'));
  ASSERT_FALSE(platform->Messages.empty());
  EXPECT_NE(platform->Messages.back().find("\u2744"), std::string::npos);
  EXPECT_EQ(main->History.UndoCount(), steps);
}

TEST_F(Toolbox, FieldsWriteOnlyForTheirKindsWithinTheirRanges) {
  const struct {
    const char* What;
    TToolKind Kind;
    std::function<void(TToolProperties&)> Edit;
    std::function<double(TParticleModifier&)> Read;
    double Expected;
  } cases[] = {
      {"gravitron Scale 3.9", ToolGravitron, [](TToolProperties& p) { p.SetScale(TToolPage::Gravitron, 3.9); },
       [](TParticleModifier& m) { return dynamic_cast<TBasicModifier&>(m).Scale; }, 3},
      {"deflector Scale 0", ToolDeflector, [](TToolProperties& p) { p.SetScale(TToolPage::Deflector, 0); },
       [](TParticleModifier& m) { return dynamic_cast<TBasicModifier&>(m).Scale; }, 0},
      {"fan Scale 0 is 1", ToolFan, [](TToolProperties& p) { p.SetScale(TToolPage::Fan, 0); },
       [](TParticleModifier& m) { return dynamic_cast<TBasicModifier&>(m).Scale; }, 1},
      {"fan Scale 250 is 100", ToolFan, [](TToolProperties& p) { p.SetScale(TToolPage::Fan, 250); },
       [](TParticleModifier& m) { return dynamic_cast<TBasicModifier&>(m).Scale; }, 100},
      {"a fan's Scale field for an attractor", ToolAttractor, [](TToolProperties& p) { p.SetScale(TToolPage::Fan, 7); },
       [](TParticleModifier& m) { return dynamic_cast<TBasicModifier&>(m).Scale; }, 1},
      {"the fan's Falloff for a leader", ToolLeader, [](TToolProperties& p) { p.SetFalloff(TToolPage::Fan, 2); },
       [](TParticleModifier& m) { return dynamic_cast<TAttractModifier&>(m).Falloff; }, 0},
      {"leader Falloff", ToolLeader, [](TToolProperties& p) { p.SetFalloff(TToolPage::Leader, 2); },
       [](TParticleModifier& m) { return dynamic_cast<TAttractModifier&>(m).Falloff; }, 2},
      {"repulsor Falloff 7", ToolRepulsor, [](TToolProperties& p) { p.SetFalloff(TToolPage::Repulsor, 7); },
       [](TParticleModifier& m) { return dynamic_cast<TAttractModifier&>(m).Falloff; }, 0},
      {"Absorbs for a fan", ToolFan, [](TToolProperties& p) { p.SetAbsorbs(true); },
       [](TParticleModifier& m) { return dynamic_cast<TPlaneFanModifier&>(m).Falloff; }, 0},
      {"Absorbs", ToolDeflector, [](TToolProperties& p) { p.SetAbsorbs(true); },
       [](TParticleModifier& m) { return dynamic_cast<TPlaneDeflectorModifier&>(m).Absorbs; }, 1},
      {"Infinite", ToolGravitron, [](TToolProperties& p) { p.SetInfinite(true); },
       [](TParticleModifier& m) { return dynamic_cast<TGravitronModifier&>(m).Infinite; }, 1},
      {"Tool Lifespan 12.7", ToolAttractor, [](TToolProperties& p) { p.SetToolLifespan(12.7); },
       [](TParticleModifier& m) { return m.ToolLifespan; }, 12},
      {"Tool Lives 9000", ToolFan, [](TToolProperties& p) { p.SetToolLives(9000); },
       [](TParticleModifier& m) { return m.ToolLives; }, 8192},
      {"Tool Lives -3", ToolFan, [](TToolProperties& p) { p.SetToolLives(-3); },
       [](TParticleModifier& m) { return m.ToolLives; }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TToolObject& tool = New(c.Kind);
    c.Edit(props());
    EXPECT_EQ(c.Read(*tool.Modifier()), c.Expected);
  }
  // With no tool nothing is written anywhere.
  main->Toolbox.CurrentTool = nullptr;
  props().ShowTool(NoObject);
  const size_t steps = main->History.UndoCount();
  props().SetToolLifespan(9);
  props().SetScale(TToolPage::Fan, 9);
  EXPECT_EQ(main->History.UndoCount(), steps);
}

// Showing a tool on every entry leaves its record as it was, values no panel field can show
// included, and records no step.
TEST_F(Toolbox, ShowingAToolWritesNothing) {
  TToolObject& deflector = New(ToolDeflector);
  ToolFromSettings(ParseSettingsText(R"({"scale": 2.5, "toolLifespan": 40})"), deflector, ToolDeflector);
  TToolObject& fan = New(ToolFan);
  dynamic_cast<TBasicModifier&>(*fan.Modifier()).Scale = 0;  // only a stored record holds this
  for (TToolObject* tool : {&deflector, &fan}) {
    const std::vector<uint8_t> before = Record(*tool);
    box().RowChosen(tool == &deflector ? 0 : 1);
    for (int entry = 0; entry < 4; ++entry) {
      props().ChooseEntry(entry);
      props().PropsState();
    }
    EXPECT_EQ(Record(*tool), before);
  }
  EXPECT_EQ(box().ToolboxState().Rows.size(), 2u);
  EXPECT_DOUBLE_EQ(props().PropsState().Scale, 0);
  box().RowChosen(0);
  EXPECT_DOUBLE_EQ(props().PropsState().Scale, 2.5);
  EXPECT_TRUE(main->History.UndoName().empty());
  // The same value again is no step either.
  props().SetToolLifespan(40);
  props().SetAbsorbs(false);
  EXPECT_TRUE(main->History.UndoName().empty());
}

TEST_F(Toolbox, FoldHeaderWorksTheEmitterManagersFold) {
  EXPECT_TRUE(box().ToolboxState().FoldExpanded);
  EXPECT_EQ(box().ToolboxState().FoldHeight, 303);
  box().FoldHeaderClicked();  // both expanded: both collapse
  EXPECT_FALSE(emitterFold);
  EXPECT_FALSE(box().ToolboxState().FoldExpanded);
  box().FoldHeaderClicked();
  EXPECT_TRUE(emitterFold);
  EXPECT_TRUE(box().ToolboxState().FoldExpanded);
  box().SetFoldHeight(340);
  EXPECT_EQ(box().ToolboxState().FoldHeight, 340);
}

// Every edit is one named step; undo gives back the exact record, redo the edited one, and what
// the steps leave is kept through the scene's payload.
TEST_F(Toolbox, EveryEditUndoesAndRedoesAndIsSaved) {
  TToolObject& gravitron = New(ToolGravitron);
  const struct {
    const char* Name;
    std::function<void()> Edit;
  } edits[] = {
      {"Rename", [&] { box().RowRenamed(0, "Well"); }},
      {"Active", [&] { box().RowChecked(0, false); }},
      {"Scale", [&] { props().SetScale(TToolPage::Gravitron, 6); }},
      {"Infinite", [&] { props().SetInfinite(true); }},
      {"Tool Lifespan", [&] { props().SetToolLifespan(30); }},
      {"Tool Lives", [&] { props().SetToolLives(2); }},
      {"Add Key", [&] {
         props().ChooseEntry(1);
         const TPlotMapping m = props().CurveEditor().Mapping();
         props().CurveEditor().DoubleClick(m.PixelX(60), m.PixelY(0.5), 0);
       }},
  };
  for (const auto& e : edits) {
    SCOPED_TRACE(e.Name);
    const std::vector<uint8_t> before = Record(gravitron);
    e.Edit();
    const std::vector<uint8_t> after = Record(gravitron);
    EXPECT_NE(after, before);
    EXPECT_EQ(main->PanelState().UndoName, e.Name);
    main->UndoAction();
    EXPECT_EQ(Record(gravitron), before);
    main->RedoAction();
    EXPECT_EQ(Record(gravitron), after);
  }
  const std::vector<uint8_t> edited = Record(gravitron);
  EXPECT_EQ(box().ToolboxState().Rows[0], (TToolRow{"Well", "Gravitron", false, 22}));
  EXPECT_EQ(props().PropsState().ToolLifespan, 30);

  // Through the scene's payload into a fresh tool, and shown in the panel as it was.
  const std::vector<uint8_t> payload = Stage().Files.Write(*Node(gravitron));
  stage::TNode* copy = Stage().Scene.CreateCustom(types[ToolGravitron - 1]);
  Stage().Scene.AddToScene(*copy);
  Stage().Files.Read(*copy, payload);
  ASSERT_EQ(main->Toolbox.Tools.size(), 2u);
  EXPECT_EQ(Record(Tool(1)), edited);
  const TToolPropsState p = props().PropsState();
  EXPECT_EQ(props().ShownTool(), Tool(1).Id);
  EXPECT_EQ(p.ToolLifespan, 30);
  EXPECT_EQ(p.ToolLives, 2);
  EXPECT_TRUE(p.Infinite);
  EXPECT_DOUBLE_EQ(p.Scale, 6);
}

}  // namespace
