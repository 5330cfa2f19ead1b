// The emitter manager's controller headless on the real stage: which actions each selection
// enables, the tree's edits as named undoable steps, the four file dialogs with their folders and
// failures, an emitter file of another version, and selections whose objects go away.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "stage/Stage.h"
#include "ui/Main.h"

namespace {

namespace fs = std::filesystem;
using stage::Stage;

class EmitterManager : public ::testing::Test {
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
    emitterType = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
    main = std::make_unique<TMain>();
    main->NotifyHost = [this] { ++hostNotices; };
    main->CreateEmitterObject = [this] {
      stage::TNode* node = Stage().Scene.CreateCustom(emitterType);
      Stage().Scene.AddToScene(*node);
      return reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    };
    main->Emitters.ShowSystem = [this](TObjectId slot) { shownSystems.push_back(slot); };
    dir = fs::temp_directory_path() / ("vantrel-emman-" + std::to_string(getpid()));
    fs::create_directories(dir);
    SetDataFolder((dir / "data" / "").string());
  }
  void TearDown() override {
    main.reset();
    InstallPlatform(nullptr);
    SetDataFolder("");
    fs::remove_all(dir);
    stage::ResetStage();
  }

  TEmitterMan& man() { return main->Emitters; }
  TEmitterObject& NewEmitter() {
    man().RunAction(TEmitterAction::NewEmitter);
    return *man().EmitterList.back();
  }
  std::vector<bool> Enabled() const {
    const TEmitterManagerState s = main->Emitters.ManagerState();
    return std::vector<bool>(s.ActionEnabled, s.ActionEnabled + EmitterActionCount);
  }
  std::string File(const std::string& name) const { return (dir / name).string(); }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  int emitterType = 0;
  int hostNotices = 0;
  std::vector<TObjectId> shownSystems;
  fs::path dir;
};

// Each selection shows its page and enables its actions; the File menu reads the same.
TEST_F(EmitterManager, SelectionDecidesPageAndActions) {
  using A = std::vector<bool>;
  //               New    DelE   LoadE  SaveE  AddS   DelS   DupS   LoadS  SaveS
  const A none = {true, false, false, false, false, false, false, false, false};
  const A alone = {true, true, true, true, true, false, false, false, false};
  const A oneSystem = {true, false, false, false, true, false, true, true, true};
  const A twoSystems = {true, false, false, false, true, true, true, true, true};

  EXPECT_EQ(man().ManagerState().Page, TEmitterPage::Blank);
  EXPECT_EQ(Enabled(), none);
  TEmitterObject& e = NewEmitter();
  TEmitterManagerState s = man().ManagerState();
  EXPECT_EQ(s.Page, TEmitterPage::Emitter);
  EXPECT_TRUE(s.CurveOnVisibility);
  EXPECT_EQ(main->Curves.Shown(), (TCurveRef{TCurveSet::Visibility, e.Id, 0}));
  EXPECT_EQ(Enabled(), alone);
  EXPECT_TRUE(main->PanelState().CanLoadEmitterSettings);

  man().SelectNode(0, 0);
  s = man().ManagerState();
  EXPECT_EQ(s.Page, TEmitterPage::System);
  EXPECT_FALSE(s.CurveOnVisibility);
  EXPECT_EQ(s.SelectedEmitter, 0);
  EXPECT_EQ(s.SelectedSystem, 0);
  EXPECT_EQ(s.Subject, "Emitter \u203A Particles");
  EXPECT_EQ(Enabled(), oneSystem);
  EXPECT_EQ(shownSystems, std::vector<TObjectId>{e.Systems[0]->Id});

  // "Delete Particle System" on the only system does nothing, even when asked.
  man().RunAction(TEmitterAction::DeleteSystem);
  EXPECT_EQ(e.Systems.size(), 1u);
  man().RunAction(TEmitterAction::AddSystem);
  EXPECT_EQ(man().ManagerState().SelectedSystem, 1);
  EXPECT_EQ(Enabled(), twoSystems);
  EXPECT_EQ(shownSystems.back(), e.Systems[1]->Id);

  // The host deletes the selected emitter: nothing selected, the blank page, no system shown.
  man().EmitterDeleted(e.SceneObject);
  s = man().ManagerState();
  EXPECT_EQ(s.Page, TEmitterPage::Blank);
  EXPECT_EQ(s.SelectedEmitter, -1);
  EXPECT_EQ(Enabled(), none);
  EXPECT_EQ(shownSystems.back(), NoObject);
  EXPECT_FALSE(main->Curves.EditorState().HasCurve);
}

// Every edit of the tree and the emitter page is one step named as the Edit menu shows it; undo
// puts back what was there, the host hears of each, and the selection stays where it was.
TEST_F(EmitterManager, EditsAreNamedUndoableSteps) {
  TEmitterObject& e = NewEmitter();
  man().RunAction(TEmitterAction::AddSystem);
  man().SelectNode(0, -1);
  const struct {
    const char* step;
    std::function<void(TEmitterMan&)> edit;
    std::function<std::string(const TEmitterObject&)> value;
  } cases[] = {
      {"Rename", [](TEmitterMan& m) { m.RenameNode(0, -1, "Smoke"); },
       [](const TEmitterObject& o) { return o.Name; }},
      {"Rename", [](TEmitterMan& m) { m.RenameNode(0, 1, "Sparks"); },
       [](const TEmitterObject& o) { return o.Systems[1]->Name; }},
      {"Enabled", [](TEmitterMan& m) { m.ToggleEnabled(0, 1); },
       [](const TEmitterObject& o) { return std::to_string(o.Systems[1]->Enabled); }},
      {"Enabled", [](TEmitterMan& m) { m.ToggleEnabled(0, -1); },
       [](const TEmitterObject& o) { return std::to_string(o.Enabled); }},
      {"Frame Offset", [](TEmitterMan& m) { m.SetFrameOffset(-9000); },
       [](const TEmitterObject& o) { return std::to_string(o.FrameOffset); }},
      {"Freeze Frame", [](TEmitterMan& m) { m.SetFreezeFrame(25); },
       [](const TEmitterObject& o) { return std::to_string(o.FreezeFrame); }},
      {"Auto Scale", [](TEmitterMan& m) { m.SetAutoScale(3, 5); },
       [](const TEmitterObject& o) { return std::to_string(o.WidthScaling * 10 + o.HeightScaling); }},
      {"Duplicate Particle System",
       [](TEmitterMan& m) {
         m.SelectNode(0, 1);
         m.RunAction(TEmitterAction::DuplicateSystem);
       },
       [](const TEmitterObject& o) { return std::to_string(o.Systems.size()) + o.Systems.back()->Name; }},
      {"Delete Particle System",
       [](TEmitterMan& m) {
         m.SelectNode(0, 0);
         m.RunAction(TEmitterAction::DeleteSystem);
       },
       [](const TEmitterObject& o) { return std::to_string(o.Systems.size()) + o.Systems[0]->Name; }},
  };
  const std::vector<std::string> after = {"Smoke", "Sparks", "0", "0", "-8192", "25", "35", "3Sparks", "2Sparks"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].step);
    const std::string before = cases[i].value(e);
    const int notices = hostNotices;
    const TEmitterManagerState selection = man().ManagerState();
    cases[i].edit(man());
    EXPECT_EQ(cases[i].value(e), after[i]);
    EXPECT_EQ(main->PanelState().UndoName, cases[i].step);
    EXPECT_GT(hostNotices, notices);
    if (i < 7) {
      EXPECT_EQ(man().ManagerState().SelectedEmitter, selection.SelectedEmitter);
      EXPECT_EQ(man().ManagerState().SelectedSystem, selection.SelectedSystem);
    }
    main->UndoAction();
    EXPECT_EQ(cases[i].value(e), before);
    EXPECT_EQ(main->PanelState().RedoName, cases[i].step);
    main->RedoAction();
    EXPECT_EQ(cases[i].value(e), after[i]);
  }
}

// A name is cut to the 32 bytes its field holds, never inside a character.
TEST_F(EmitterManager, RenameCutsOnACharacterBoundary) {
  NewEmitter();
  const std::string forty(40, 'x');
  std::string twoByte;
  for (int i = 0; i < 20; ++i) twoByte += "\u00e9";  // 2 bytes each
  const struct {
    std::string typed, stored;
  } cases[] = {{forty, std::string(32, 'x')}, {twoByte, twoByte.substr(0, 32)}, {"a" + twoByte, "a" + twoByte.substr(0, 30)}};
  for (const auto& c : cases) {
    man().RenameNode(0, 0, c.typed);
    EXPECT_EQ(man().EmitterList[0]->Systems[0]->Name, c.stored);
    man().RenameNode(0, -1, c.typed);
    EXPECT_EQ(man().EmitterList[0]->Name, c.stored);
  }
}

// The four dialogs: their filters and extensions, the folder each starts in (emitter loads in
// the presets, the others in the data folder, then each in its last file's folder), a saved
// file that loads back, and the messages of a file that cannot be opened or created.
TEST_F(EmitterManager, FileDialogsAndTheirFailures) {
  TEmitterObject& e = NewEmitter();
  e.FrameOffset = 12;
  const std::string data = DataFolder();
  fs::create_directories(dir / "mine");
  const std::string emitterFile = File("mine/a.vte"), systemFile = File("mine/b.vts");

  platform->SaveAnswers = {emitterFile};
  man().RunAction(TEmitterAction::SaveEmitterSettings);
  platform->FileAnswer = emitterFile;
  e.FrameOffset = 0;
  man().RunAction(TEmitterAction::LoadEmitterSettings);
  EXPECT_EQ(e.FrameOffset, 12);
  man().SelectNode(0, 0);
  e.Systems[0]->Name = "Kept";
  platform->SaveAnswers = {systemFile};
  man().RunAction(TEmitterAction::SaveSystemSettings);
  e.Systems[0]->Name = "Other";
  platform->OpenAnswers = {systemFile};
  man().RunAction(TEmitterAction::LoadSystemSettings);
  EXPECT_EQ(e.Systems[0]->Name, "Kept");
  EXPECT_EQ(main->PanelState().UndoName, "Load System Settings");
  // Each dialog again, now starting where its file was picked.
  platform->FileAnswer.clear();
  for (TEmitterAction a : {TEmitterAction::LoadSystemSettings, TEmitterAction::SaveSystemSettings}) man().RunAction(a);
  man().SelectNode(0, -1);
  for (TEmitterAction a : {TEmitterAction::SaveEmitterSettings, TEmitterAction::LoadEmitterSettings}) man().RunAction(a);
  EXPECT_TRUE(platform->Messages.empty());

  using D = THeadlessPlatform::TDialog;
  const std::string mine = (dir / "mine" / "").string();
  const std::vector<std::tuple<std::string, std::string, std::string, std::string, std::string>> expected = {
      {"save", "Save Emitter Settings", "Vantrel Emitters (*.vte)", data, "vte"},
      {"open", "Load Emitter Settings", "Vantrel Emitters (*.vte)", data + "presets/", "vte"},
      {"save", "Save System Settings", "Vantrel Systems (*.vts)", data, "vts"},
      {"open", "Load System Settings", "Vantrel Systems (*.vts)", data, "vts"},
      {"open", "Load System Settings", "Vantrel Systems (*.vts)", mine, "vts"},
      {"save", "Save System Settings", "Vantrel Systems (*.vts)", mine, "vts"},
      {"save", "Save Emitter Settings", "Vantrel Emitters (*.vte)", mine, "vte"},
      {"open", "Load Emitter Settings", "Vantrel Emitters (*.vte)", mine, "vte"},
  };
  ASSERT_EQ(platform->Dialogs.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const D& d = platform->Dialogs[i];
    EXPECT_EQ(std::make_tuple(d.Kind, d.Title, d.Filter, d.Folder, d.DefaultExt), expected[i]) << i;
  }

  // Failures: a message with the file's name, nothing changed, no step.
  const size_t steps = main->History.UndoCount();
  platform->FileAnswer = File("missing.vte");
  man().RunAction(TEmitterAction::LoadEmitterSettings);
  platform->SaveAnswers = {File("no/such/folder/x.vte")};
  man().RunAction(TEmitterAction::SaveEmitterSettings);
  EXPECT_EQ(platform->Messages, (std::vector<std::string>{"Cannot open file " + File("missing.vte"),
                                                           "Cannot create file " + File("no/such/folder/x.vte")}));
  EXPECT_EQ(main->History.UndoCount(), steps);
  EXPECT_EQ(e.Systems.size(), 1u);
}

// An emitter file of another version changes nothing and says so: the emitter keeps its systems.
TEST_F(EmitterManager, EmitterFileOfAnotherVersionChangesNothing) {
  TEmitterObject& e = NewEmitter();
  man().RunAction(TEmitterAction::AddSystem);
  man().SelectNode(0, -1);
  {
    TFileWriteStream f(File("new.vte"));
    WriteField(f, int32_t{102});
    e.WriteTo(f);
    f.Commit();
  }
  const size_t steps = main->History.UndoCount();
  platform->FileAnswer = File("new.vte");
  man().RunAction(TEmitterAction::LoadEmitterSettings);
  EXPECT_EQ(e.Systems.size(), 2u);
  ASSERT_EQ(platform->Messages.size(), 1u);
  EXPECT_NE(platform->Messages[0].find("version 102"), std::string::npos) << platform->Messages[0];
  EXPECT_NE(platform->Messages[0].find("nothing was changed"), std::string::npos);
  EXPECT_EQ(main->History.UndoCount(), steps);
}

// Objects going while shown: the host deleting the shown emitter during a preview frame,
// "Delete Particle System" on the shown slot, and "Load Emitter Settings" replacing the shown
// systems. Nothing freed is touched (the sanitizer run watches); the marker moves only on a
// curve over frames.
TEST_F(EmitterManager, ShownObjectsGoing) {
  TEmitterObject& e = NewEmitter();
  e.FrameOffset = 10;
  man().ShowFrame(30);  // the Visibility curve is over frames
  EXPECT_EQ(main->Curves.EditorState().MarkerX, 20);
  man().SelectNode(0, 0);
  main->Curves.ShowCurve(TCurveRef{TCurveSet::System, e.Systems[0]->Id, 0});  // Size: over a lifespan
  man().ShowFrame(50);
  EXPECT_EQ(main->Curves.EditorState().MarkerX, -9000);

  man().RunAction(TEmitterAction::AddSystem);
  main->Curves.ShowCurve(TCurveRef{TCurveSet::System, e.Systems[1]->Id, SystemFlowCurve});
  man().RunAction(TEmitterAction::DeleteSystem);
  man().ShowFrame(60);
  // The emitter is selected alone now: its page, with its Visibility curve.
  EXPECT_EQ(main->Curves.Shown(), (TCurveRef{TCurveSet::Visibility, e.Id, 0}));
  EXPECT_EQ(main->Curves.EditorState().MarkerX, 50);

  man().SelectNode(0, -1);
  const std::string file = File("e.vte");
  platform->SaveAnswers = {file};
  man().RunAction(TEmitterAction::SaveEmitterSettings);
  main->Curves.ShowCurve(TCurveRef{TCurveSet::System, e.Systems[0]->Id, SystemFlowCurve});
  platform->FileAnswer = file;
  man().RunAction(TEmitterAction::LoadEmitterSettings);
  man().ShowFrame(70);
  main->Curves.SceneChanged();
  EXPECT_TRUE(platform->Messages.empty());

  man().ShowFrame(80);
  man().EmitterDeleted(e.SceneObject);
  man().ShowFrame(90);
  EXPECT_FALSE(main->Curves.EditorState().HasCurve);
}

// The fold: the splitter keeps at least 300 and does nothing while folded; the toolbox and the
// main panel hear of each change.
TEST_F(EmitterManager, FoldAndSplitter) {
  std::vector<int> heights;
  std::vector<bool> folds;
  man().OnFoldHeight = [&](int h) { heights.push_back(h); };
  man().OnFoldExpanded = [&](bool x) { folds.push_back(x); };
  const struct {
    bool expanded;
    int proposed, kept;
  } cases[] = {{true, 420, 420}, {true, 299, 420}, {true, 300, 300}, {false, 500, 300}, {true, 360, 360}};
  for (const auto& c : cases) {
    man().SetFoldExpanded(c.expanded);
    EXPECT_EQ(man().MoveSplitter(c.proposed), c.kept) << c.proposed;
    EXPECT_EQ(man().ManagerState().FoldHeight, c.kept);
  }
  EXPECT_EQ(heights, (std::vector<int>{420, 300, 360}));
  EXPECT_EQ(folds, (std::vector<bool>{false, true}));
}

}  // namespace
