// The curve editor's rules and the edit layer under it, headless on the real stage: the key rules
// at their edges, the view's zoom and scroll, the menus a right click opens, a long seeded run of
// random edits that must always leave a curve the settings reader takes, undo and redo of every
// kind of edit back to the exact record bytes, and a curve whose owner the host deletes while it
// is shown.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "scene/Settings.h"
#include "stage/Stage.h"
#include "ui/Main.h"
#include "ui/NameText.h"

namespace {

using stage::Stage;

class CurveEditor : public ::testing::Test {
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
    emitter = &AddEmitter();
    slot = emitter->Systems[0].get();
    // A plot of 480 × 200 pixels at (50, 10): 4 pixels a frame over 0..120.
    editor().SetPlotFrame(50, 10, 480, 200);
  }
  void TearDown() override {
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }

  TEmitterObject& AddEmitter() {
    stage::TNode* node = Stage().Scene.CreateCustom(emitterType);
    Stage().Scene.AddToScene(*node);
    auto e = std::make_unique<TEmitterObject>();
    e->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    e->AddSystem();
    return main->Emitters.AddEmitter(std::move(e));
  }

  TCurveEdit& editor() { return main->Curves; }
  // Shows a curve of the slot's system (index in the set: 0 Size … 7 Flow).
  TVarSeries& Show(int index, std::vector<TSplineKey> keys = {}) {
    TVarSeries& c = slot->System.Variable(index);
    if (!keys.empty()) {
      c.Clear();
      for (const TSplineKey& k : keys) c.AddKey(k.x, k.y);
    }
    editor().ShowCurve(TCurveRef{TCurveSet::System, slot->Id, index});
    return c;
  }
  std::vector<uint8_t> SlotBytes() const {
    TMemoryStream s;
    slot->WriteTo(s, false);
    return s.TakeData();
  }
  // Drags a key from its place to (x, y) in curve units, press to release.
  void Drag(const TVarSeries& c, int key, double x, double y) {
    const TPlotMapping m = editor().Mapping();
    editor().MousePress(ButtonLeft, m.PixelX(c.KeyX(key)), m.PixelY(c.KeyY(key)), 0);
    editor().MouseMove(m.PixelX(x), m.PixelY(y), ButtonLeft, 0);
    editor().MouseRelease(ButtonLeft, m.PixelX(x), m.PixelY(y), 0);
  }
  void DoubleClickAt(double x, double y, int mods = 0) {
    const TPlotMapping m = editor().Mapping();
    editor().DoubleClick(m.PixelX(x), m.PixelY(y), mods);
  }
  TCurveMenu RightClickAt(double px, double py) {
    editor().MousePress(ButtonRight, px, py, 0);
    return editor().MouseRelease(ButtonRight, px, py, 0);
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  TEmitterObject* emitter = nullptr;
  TEmitter* slot = nullptr;
  int emitterType = 0;
  int hostNotices = 0;
};

constexpr int SizeCurve = 0, OrientationCurve = 2, VisibilityCurve = 6, FlowCurve = 7;

TEST_F(CurveEditor, KeyRulesAtTheirEdges) {
  // A new flat curve: dragging key 0 up moves both keys; neither may be deleted.
  {
    TVarSeries& c = Show(SizeCurve);
    Drag(c, 0, 0, 2.5);
    EXPECT_EQ(c.AllKeys(), (std::vector<TSplineKey>{{0, 2.5}, {8192, 2.5}}));
    for (int key : {0, 1}) {
      editor().MousePress(ButtonRight, editor().Mapping().PixelX(c.KeyX(key)), editor().Mapping().PixelY(c.KeyY(key)), 0);
      editor().MouseRelease(ButtonRight, 0, 0, 0);
      EXPECT_FALSE(editor().EditorState().DeleteKeyEnabled) << key;
    }
  }
  // A percent key dragged to x 130 stops at 100, and the far key takes its value.
  {
    TVarSeries& c = Show(SizeCurve, {{0, 1}, {50, 2}, {8192, 1.5}});
    Drag(c, 1, 130, 3);
    EXPECT_EQ(c.AllKeys(), (std::vector<TSplineKey>{{0, 1}, {100, 3}, {8192, 3}}));
  }
  // A key exactly at 100 is the last shown key: not deletable, and it follows the key before it.
  {
    TVarSeries& c = Show(SizeCurve, {{0, 1}, {40, 2}, {100, 1}, {8192, 1}});
    EXPECT_EQ(editor().EndKeyIndex(), 2);
    editor().SetKeyY(1, 3);
    EXPECT_EQ(c.KeyY(2), 3);
    EXPECT_EQ(c.KeyY(3), 1);  // the far key is left alone
  }
  // Keys stay at least 1 apart even between whole numbers (a key dragged onto 50.5 next to 50).
  {
    TVarSeries& c = Show(SizeCurve, {{0, 1}, {50, 1}, {60, 1}, {8192, 1}});
    Drag(c, 2, 50.5, 1);
    EXPECT_EQ(c.KeyX(2), 51);
    Drag(c, 1, 59.7, 1);
    EXPECT_EQ(c.KeyX(1), 50);  // boxed in: from 50 it may reach 50 at most
  }
  // Frame curves take whole frames; a double click rounds half to even.
  {
    TVarSeries& c = Show(FlowCurve);
    DoubleClickAt(12.5, 5);
    DoubleClickAt(13.5, 5);
    DoubleClickAt(30, 5, ModAlt);  // Alt: no key
    ASSERT_EQ(c.KeyCount(), 4);
    EXPECT_EQ(c.KeyX(1), 12);
    EXPECT_EQ(c.KeyX(2), 14);
    DoubleClickAt(-3, 5);  // left of key 0
    DoubleClickAt(12, 5);  // onto a key: the nearest free place, 13
    EXPECT_EQ(c.KeyCount(), 5);
    EXPECT_EQ(c.KeyX(2), 13);
    DoubleClickAt(40, 50);  // the value is clamped into the range the curve keeps
    EXPECT_TRUE(KeepsCurveRules(c));
  }
  // A percent curve with keys at 99 and 100 has no room left for a key at 100.
  {
    TVarSeries& c = Show(SizeCurve, {{0, 1}, {99, 1}, {100, 1}, {8192, 1}});
    DoubleClickAt(100, 1);
    DoubleClickAt(140, 1);
    EXPECT_EQ(c.KeyCount(), 4);
  }
}

TEST_F(CurveEditor, ViewFitsZoomsAndScrolls) {
  TVarSeries& c = Show(FlowCurve, {{0, 5}, {80, 2}, {200, 7}, {8192, 7}});
  TCurveEditorState s = editor().EditorState();
  EXPECT_EQ(s.XMax, 200);  // up to the last key but one, past 120
  EXPECT_EQ(s.AxisTitle, "Frame Number");
  EXPECT_EQ(s.MarkerX, -9000);
  // The key at 200 is the last shown key, so it follows the key before it.
  editor().SetKeyY(1, 3);
  EXPECT_EQ(c.KeyY(2), 3);
  editor().SetKeyY(2, 7);
  // Zoomed in on 0..60, where the key at 80 would be the first beyond the view, it is still not
  // the last shown key: a zoom never makes a key take another's value.
  const TPlotMapping f = editor().Mapping();
  editor().MousePress(ButtonLeft, f.PixelX(0), f.PixelY(10), ModCtrl);
  editor().MouseMove(f.PixelX(60), f.PixelY(0), ButtonLeft, ModCtrl);
  editor().MouseRelease(ButtonLeft, f.PixelX(60), f.PixelY(0), ModCtrl);
  EXPECT_EQ(editor().EditorState().XMax, 60);
  EXPECT_EQ(editor().EndKeyIndex(), 2);
  editor().SetKeyY(0, 4);
  EXPECT_EQ(c.KeyY(1), 3);
  // A right drag scrolls the view; it never starts below 0, and opens no menu at its end.
  editor().UnzoomAction();
  const TPlotMapping m = editor().Mapping();
  editor().MousePress(ButtonRight, 200, 100, 0);
  editor().MouseMove(260, 120, ButtonRight, 0);  // to the right: the range would start below 0
  EXPECT_EQ(editor().EditorState().XMin, 0);
  EXPECT_EQ(editor().EditorState().XMax - editor().EditorState().XMin, m.XMax - m.XMin);
  EXPECT_GT(editor().EditorState().YMax, m.YMax);  // down: the values follow the mouse
  editor().MouseMove(100, 120, ButtonRight, 0);
  EXPECT_GT(editor().EditorState().XMin, 0);
  EXPECT_EQ(editor().MouseRelease(ButtonRight, 100, 120, 0), TCurveMenu::None);
  // A right click opens the key menu on a key up to the last shown one, the graph menu elsewhere.
  editor().UnzoomAction();
  const TPlotMapping u = editor().Mapping();
  EXPECT_EQ(RightClickAt(u.PixelX(80), u.PixelY(3)), TCurveMenu::Key);
  EXPECT_TRUE(editor().EditorState().DeleteKeyEnabled);
  EXPECT_EQ(RightClickAt(u.PixelX(200), u.PixelY(7)), TCurveMenu::Key);
  EXPECT_FALSE(editor().EditorState().DeleteKeyEnabled);
  EXPECT_EQ(RightClickAt(u.PixelX(150), u.PixelY(9)), TCurveMenu::Graph);
}

TEST_F(CurveEditor, ShowingACurveWritesNothing) {
  TVarSeries& c = slot->System.Variable(OrientationCurve);
  c.Tension = 0.5;
  const std::vector<uint8_t> before = SlotBytes();
  Show(OrientationCurve);
  EXPECT_FALSE(editor().EditorState().Linear);
  EXPECT_EQ(SlotBytes(), before);  // the tension of 0.5 stays
  c.Tension = 0;
  Show(OrientationCurve);
  EXPECT_TRUE(editor().EditorState().Linear);
  EXPECT_EQ(c.Tension, 0);
  c.Tension = 0.5;
  Show(OrientationCurve);
  // Pressing and releasing on a key without moving it, scrolling and zooming: no step.
  const TPlotMapping m = editor().Mapping();
  editor().MousePress(ButtonLeft, m.PixelX(0), m.PixelY(0), 0);
  editor().MouseRelease(ButtonLeft, m.PixelX(0), m.PixelY(0), 0);
  editor().ZoomInYAction();
  EXPECT_EQ(SlotBytes(), before);
  EXPECT_EQ(main->History.UndoCount(), 0u);
  EXPECT_EQ(hostNotices, 0);
}

TEST_F(CurveEditor, ClearAsksAndKeepsTheFirstValue) {
  TVarSeries& c = Show(FlowCurve, {{0, 4}, {30, 8}, {8192, 2}});
  platform->ConfirmAnswers = {false};
  editor().ClearAction();
  EXPECT_EQ(c.KeyCount(), 3);
  ASSERT_EQ(platform->Confirmations.size(), 1u);
  EXPECT_EQ(platform->Confirmations[0],
            "About to delete all keyframes for this graph.\r\rAre you sure you want to delete keyframes?");
  platform->ConfirmAnswers = {true};
  editor().ClearAction();
  EXPECT_EQ(c.AllKeys(), (std::vector<TSplineKey>{{0, 4}, {8192, 4}}));
  EXPECT_EQ(main->History.UndoName(), "Clear Keys");
  // A scene loaded afterwards starts with no steps to take back.
  main->SceneLoaded();
  EXPECT_FALSE(main->History.CanUndo());
}

// Every kind of edit is one step; undo gives back the record's exact bytes, redo the edit's.
TEST_F(CurveEditor, EveryEditUndoesAndRedoesToTheExactBytes) {
  struct TCase {
    const char* step;
    std::function<void(CurveEditor&, TVarSeries&)> edit;
  };
  const std::vector<TCase> cases = {
      {"Drag Key", [](CurveEditor& t, TVarSeries& c) { t.Drag(c, 1, 45, 1.7); }},
      {"Add Key", [](CurveEditor& t, TVarSeries&) { t.DoubleClickAt(70, 0.5); }},
      {"Delete Key",
       [](CurveEditor& t, TVarSeries& c) {
         t.RightClickAt(t.editor().Mapping().PixelX(c.KeyX(1)), t.editor().Mapping().PixelY(c.KeyY(1)));
         t.editor().DeleteKeyAction();
       }},
      {"Edit Key",
       [](CurveEditor& t, TVarSeries& c) {
         t.RightClickAt(t.editor().Mapping().PixelX(c.KeyX(1)), t.editor().Mapping().PixelY(c.KeyY(1)));
         TKeyValues v;
         ASSERT_TRUE(t.editor().KeyForEditing(v));
         EXPECT_EQ(v.X, 30);
         t.editor().ApplyKeyValues(66, 2.25);
       }},
      {"Linear Curve", [](CurveEditor& t, TVarSeries&) { t.editor().LinearAction(); }},
      {"Move Key",
       [](CurveEditor& t, TVarSeries&) {
         t.editor().KeyPress(TCurveKey::Right, 0);
         t.editor().KeyPress(TCurveKey::Right, 0);
         t.editor().KeyPress(TCurveKey::Up, ModShift);
       }},
      {"Clear Keys",
       [](CurveEditor& t, TVarSeries&) {
         t.platform->ConfirmAnswers = {true};
         t.editor().ClearAction();
       }},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.step);
    main->History.Clear();
    TVarSeries& c = Show(SizeCurve, {{0, 1}, {30, 2}, {8192, 1}});
    const std::vector<uint8_t> before = SlotBytes();
    const int notices = hostNotices;
    k.edit(*this, c);
    const std::vector<uint8_t> after = SlotBytes();
    ASSERT_NE(after, before);
    EXPECT_EQ(main->History.UndoName(), k.step);
    EXPECT_EQ(main->History.UndoCount(), 1u);
    EXPECT_GT(hostNotices, notices);
    EXPECT_TRUE(main->History.Undo());
    EXPECT_EQ(SlotBytes(), before);
    EXPECT_EQ(main->History.RedoName(), k.step);
    EXPECT_TRUE(main->History.Redo());
    EXPECT_EQ(SlotBytes(), after);
  }
}

// Structural edits through the main panel: a system added, undone and redone comes back under its
// own id, so a step recorded on it afterwards still finds it.
TEST_F(CurveEditor, AddSystemUndoesAndRedoesUnderItsOwnId) {
  main->Emitters.Select(emitter);
  main->AddSystemAction();
  ASSERT_EQ(emitter->Systems.size(), 2u);
  const TObjectId added = emitter->Systems[1]->Id;
  EXPECT_EQ(main->PanelState().UndoName, "Add Particle System");
  slot = emitter->Systems[1].get();
  TVarSeries& c = Show(FlowCurve);
  DoubleClickAt(20, 8);
  ASSERT_EQ(c.KeyCount(), 3);
  main->UndoAction();  // the key
  main->UndoAction();  // the system
  EXPECT_EQ(emitter->Systems.size(), 1u);
  // Its curve is gone; the emitter, now selected alone, shows its Visibility.
  EXPECT_EQ(editor().Shown(), (TCurveRef{TCurveSet::Visibility, emitter->Id, 0}));
  EXPECT_EQ(main->PanelState().RedoName, "Add Particle System");
  main->RedoAction();
  main->RedoAction();
  ASSERT_EQ(emitter->Systems.size(), 2u);
  EXPECT_EQ(emitter->Systems[1]->Id, added);
  EXPECT_EQ(emitter->Systems[1]->System.Variable(FlowCurve).KeyCount(), 3);
  EXPECT_TRUE(editor().EditorState().HasCurve);
}

// The host deletes the emitter whose curve is shown, in the middle of a drag: nothing freed is
// touched (the sanitizer run watches), the editor shows nothing, and the steps on it are gone.
TEST_F(CurveEditor, OwnerDeletedWhileShown) {
  TVarSeries& c = Show(FlowCurve);
  DoubleClickAt(20, 8);
  ASSERT_EQ(main->History.UndoCount(), 1u);
  const TPlotMapping m = editor().Mapping();
  editor().MousePress(ButtonLeft, m.PixelX(c.KeyX(1)), m.PixelY(c.KeyY(1)), 0);
  main->Emitters.EmitterDeleted(emitter->SceneObject);
  editor().MouseMove(m.PixelX(40), m.PixelY(3), ButtonLeft, 0);
  editor().MouseRelease(ButtonLeft, m.PixelX(40), m.PixelY(3), 0);
  editor().KeyPress(TCurveKey::Up, 0);
  editor().LinearAction();
  platform->ConfirmAnswers = {true};
  editor().ClearAction();
  DoubleClickAt(50, 5);
  EXPECT_FALSE(editor().EditorState().HasCurve);
  EXPECT_TRUE(editor().Polyline(editor().Mapping()).empty());
  EXPECT_EQ(main->History.UndoCount(), 0u);
  EXPECT_FALSE(main->History.Undo());
}

// A long seeded run of random drags, double clicks, keys and dialog edits on curves of every
// kind: the curve always keeps the rules, and the settings reader takes the system back.
TEST_F(CurveEditor, RandomEditsAlwaysLeaveACurveTheReaderTakes) {
  std::mt19937 rng(20261211);
  std::uniform_real_distribution<double> unit(0, 1);
  const int curves[] = {SizeCurve, OrientationCurve, VisibilityCurve, FlowCurve, 8};
  platform->ConfirmAnswers.assign(10000, true);
  for (int round = 0; round < 4000; ++round) {
    if (round % 400 == 0) Show(curves[(round / 400) % 5]);
    TVarSeries& c = slot->System.Variable(editor().Shown()->Index);
    const TPlotMapping m = editor().Mapping();
    const double px = m.Left + unit(rng) * m.Width * 1.4 - m.Width * 0.2;
    const double py = m.Top + unit(rng) * m.Height * 1.4 - m.Height * 0.2;
    const int key = static_cast<int>(unit(rng) * c.KeyCount());
    switch (static_cast<int>(unit(rng) * 8)) {
      case 0: Drag(c, key, m.CurveX(px), m.CurveY(py)); break;
      case 1: editor().DoubleClick(px, py, 0); break;
      case 2:
        editor().SetKeyX(key, m.CurveX(px));
        editor().SetKeyY(key, (unit(rng) - 0.5) * 1e5);
        break;
      case 3: {
        RightClickAt(m.PixelX(c.KeyX(key)), m.PixelY(c.KeyY(key)));
        if (unit(rng) < 0.5)
          editor().DeleteKeyAction();
        else
          editor().ApplyKeyValues(m.CurveX(px) * 3, m.CurveY(py) * 3);
        break;
      }
      case 4: editor().KeyPress(static_cast<TCurveKey>(static_cast<int>(unit(rng) * 5)), unit(rng) < 0.3 ? ModCtrl : 0); break;
      case 5: unit(rng) < 0.5 ? editor().ZoomInXAction() : editor().ZoomOutYAction(); break;
      case 6: if (unit(rng) < 0.05) editor().ClearAction(); else editor().UnzoomAction(); break;
      case 7: if (unit(rng) < 0.3) main->History.Undo(); break;
    }
    ASSERT_TRUE(KeepsCurveRules(c)) << "round " << round;
    if (round % 250 == 0) {
      TEmitterObject scratch;
      TEmitter& copy = scratch.AddSystem();
      ASSERT_NO_THROW(SystemFromSettings(SystemToSettings(*slot), copy)) << "round " << round;
    }
  }
}

TEST_F(CurveEditor, CurveAsDrawnIsWhatItEvaluatesTo) {
  // A tension-0 curve is the ease the engine follows, not straight segments.
  TVarSeries& c = Show(FlowCurve, {{0, 0}, {10, 10}, {8192, 10}});
  c.Tension = 0;
  const std::vector<TCurvePoint> line = editor().Polyline(editor().Mapping());
  ASSERT_GT(line.size(), 20u);
  for (const TCurvePoint& p : line) EXPECT_DOUBLE_EQ(p.Y, c.Evaluate(p.X)) << p.X;
  EXPECT_EQ(line.back().X, editor().Mapping().XMax);
  // A step curve is drawn as its steps: flat until the next key, then straight up or down.
  TVarSeries& v = Show(VisibilityCurve, {{0, 1}, {50, 0}, {8192, 0}});
  EXPECT_EQ(editor().Polyline(editor().Mapping()),
            (std::vector<TCurvePoint>{{0, 1}, {50, 1}, {50, 0}, {100, 0}}));
  (void)v;
}

TEST(PanelNames, CutAtACharacterBoundary) {
  EXPECT_EQ(CutToBytes("Emitter", 32), "Emitter");
  const std::string fee = "F\xC3\xA9" "e";  // "Fée": é is two bytes
  EXPECT_EQ(CutToBytes(fee, 2), "F");
  EXPECT_EQ(CutToBytes(fee, 3), "F\xC3\xA9");
  EXPECT_EQ(CutToBytes(std::string(31, 'a') + "\xE2\x82\xAC", 32), std::string(31, 'a'));  // € is three
}

}  // namespace
