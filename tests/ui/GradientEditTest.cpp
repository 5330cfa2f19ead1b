// The gradient editors' rules, headless on the real stage with scripted colour and file answers:
// where "Add" puts stops, which stops drag and where to, the stop menu, the picker, the strip's
// colours, the gradient files (a file without stops or cut short is refused and changes nothing),
// undo and redo of every edit, and a system deleted while its gradient is shown.
#include <cstring>

#include "PanelFixture.h"
#include "engine/ColorSeries.h"

namespace {

class GradientEditor : public PanelFixture {
 public:
  void SetUp() override {
    PanelFixture::SetUp();
    // A strip of 500 × 40 pixels at (10, 30).
    for (TGradientEdit* e : {&Life(), &Frames()}) e->SetStripFrame(10, 30, 500, 40);
  }
  TGradientEdit& Life() { return main->Maps.ParticleColors; }
  TGradientEdit& Frames() { return main->Maps.SystemColors; }
  TColorSeries& LifeGradient() { return slot->System.ParticleColors; }
  TColorSeries& FrameGradient() { return slot->System.SystemColors; }
  // Shows the slot's gradient with these stop positions (white unless given).
  TColorSeries& Show(TGradientEdit& e, std::vector<double> positions = {}, std::vector<TColor> colors = {}) {
    TColorSeries& g = &e == &Life() ? LifeGradient() : FrameGradient();
    if (!positions.empty()) {
      std::vector<TColorStop> stops;
      for (size_t i = 0; i < positions.size(); ++i) stops.push_back({positions[i], i < colors.size() ? colors[i] : ColorWhite});
      g.Assign(stops, {});
    }
    main->Maps.ShowSystem(slot->Id);
    return g;
  }
  static std::vector<double> Positions(const TColorSeries& g) {
    std::vector<double> p;
    for (int i = 0; i < g.Count(); ++i) p.push_back(g.Stop(i).Position);
    return p;
  }
  // The strip's pixel of a position, from the markers as they are shown now.
  static double PixelOf(const TGradientEdit& e, double position) {
    const TGradientEditorState s = e.EditorState();
    const TGradientMarker& a = s.Stops.front();
    const TGradientMarker& b = s.Stops.back();
    return a.PixelX + (position - a.Position) * (b.PixelX - a.PixelX) / (b.Position - a.Position);
  }
  static double Line(const TGradientEdit& e) { return e.EditorState().LineY; }
  // Presses on stop `stop`, moves through the positions, releases at the last.
  void Drag(TGradientEdit& e, int stop, std::vector<double> through) {
    const double line = Line(e);
    const double from = e.EditorState().Stops[static_cast<size_t>(stop)].PixelX;
    std::vector<double> pixels;
    for (double x : through) pixels.push_back(PixelOf(e, x));  // the axis holds during the drag
    e.MousePress(ButtonLeft, from, line);
    for (double px : pixels) e.MouseMove(px, line);
    e.MouseRelease(ButtonLeft, pixels.back(), line);
  }
  bool RightClick(TGradientEdit& e, double px) {
    e.MousePress(ButtonRight, px, Line(e));
    return e.MouseRelease(ButtonRight, px, Line(e));
  }
  std::vector<uint8_t> Vtg(int32_t count, const std::vector<std::pair<double, int32_t>>& stops) {
    TMemoryStream s;
    std::vector<uint8_t> reserved(TColorSeries::ReservedSize, 0);
    s.Write(reserved.data(), reserved.size());
    WriteField(s, count);
    for (const auto& [p, c] : stops) {
      WriteField(s, p);
      WriteField(s, c);
    }
    return s.TakeData();
  }
};

TEST_F(GradientEditor, AddPutsStopsWhereTheRulesSay) {
  // Over a particle's life: 100 on a new gradient, then 50, then 50 again.
  TColorSeries& life = Show(Life());
  for (int i = 0; i < 3; ++i) Life().AddAction();
  EXPECT_EQ(Positions(life), (std::vector<double>{1, 50, 50, 100}));
  EXPECT_EQ(life.Stop(1).Color, ColorWhite);
  // Over the animation: always 100, also past stops beyond 100.
  TColorSeries& frames = Show(Frames(), {1, 150});
  Frames().AddAction();
  Frames().AddAction();
  EXPECT_EQ(Positions(frames), (std::vector<double>{1, 100, 100, 150}));
  // "Clear" asks nothing and leaves one white stop at 1.
  Frames().ClearAction();
  EXPECT_EQ(Positions(frames), (std::vector<double>{1}));
  EXPECT_TRUE(platform->Confirmations.empty());
}

TEST_F(GradientEditor, DragRules) {
  const std::vector<double> start = {1, 30, 60, 100};
  struct TCase {
    const char* what;
    bool life;
    int stop;
    std::vector<double> through;
    std::vector<double> after;
    int current;  // the current stop after the release's last move
  };
  const std::vector<TCase> cases = {
      {"rounded to whole positions", true, 1, {42.4}, {1, 42, 60, 100}, 1},
      {"99.6 rounds to 100: refused, the last accepted place holds", true, 1, {80, 99.6}, {1, 60, 80, 100}, 2},
      {"1 and below refused", true, 2, {1.4, 0.2}, start, 2},
      {"past a neighbour: reordered, still the dragged one", true, 1, {70, 75}, {1, 60, 75, 100}, 2},
      {"stop 0 never drags", true, 0, {20}, start, -1},
      {"the last stop over a particle's life does not drag", true, 3, {80}, start, -1},
      {"the last stop over frames drags, past 100", false, 3, {130}, {1, 30, 60, 130}, 3},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.what);
    TGradientEdit& e = k.life ? Life() : Frames();
    TColorSeries& g = Show(e, start);
    const double line = Line(e);
    e.MousePress(ButtonLeft, e.EditorState().Stops[static_cast<size_t>(k.stop)].PixelX, line);
    for (double x : k.through) e.MouseMove(PixelOf(e, x), line);
    EXPECT_EQ(e.EditorState().CurrentStop, k.current);
    EXPECT_EQ(e.EditorState().HandCursor, k.current >= 0);
    e.MouseRelease(ButtonLeft, PixelOf(e, k.through.back()), line);
    EXPECT_EQ(Positions(g), k.after);
    EXPECT_FALSE(e.EditorState().HandCursor);
    EXPECT_FALSE(e.EditorState().Dragging);
  }
}

TEST_F(GradientEditor, HoverAndTheStopMenu) {
  Show(Life(), {1, 40, 100});
  const double line = Line(Life());
  const auto px = [&](int i) { return Life().EditorState().Stops[static_cast<size_t>(i)].PixelX; };
  // Hovering: a hand over a stop that drags, the arrow over stop 0 and between stops.
  Life().MouseMove(px(1), line);
  EXPECT_TRUE(Life().EditorState().HandCursor);
  EXPECT_EQ(Life().EditorState().CurrentStop, 1);
  Life().MouseMove(px(0), line);
  EXPECT_FALSE(Life().EditorState().HandCursor);
  EXPECT_EQ(Life().EditorState().CurrentStop, -1);
  // A right release opens the menu anywhere; on stop 0 both entries are enabled.
  struct TCase {
    double x, y;
    int current;
    bool deleteEnabled, pickerEnabled;
  };
  const std::vector<TCase> cases = {
      {px(0), line, 0, true, true}, {px(2), line, 2, true, true}, {(px(0) + px(1)) / 2, line, -1, false, false},
      {px(1), line - 15, -1, false, false}};
  for (const TCase& k : cases) {
    Life().MousePress(ButtonRight, k.x, k.y);
    EXPECT_TRUE(Life().MouseRelease(ButtonRight, k.x, k.y));
    const TGradientEditorState s = Life().EditorState();
    EXPECT_EQ(s.CurrentStop, k.current) << k.x;
    EXPECT_EQ(s.DeleteEnabled, k.deleteEnabled) << k.x;
    EXPECT_EQ(s.PickerEnabled, k.pickerEnabled) << k.x;
  }
  // The only stop: the picker, never "Delete Color".
  TColorSeries& g = Show(Life(), {1});
  EXPECT_TRUE(RightClick(Life(), px(0)));
  EXPECT_FALSE(Life().EditorState().DeleteEnabled);
  EXPECT_TRUE(Life().EditorState().PickerEnabled);
  Life().DeleteStopAction();
  EXPECT_EQ(g.Count(), 1);
  // "Delete Color" on stop 0 of two.
  Show(Life(), {1, 50});
  RightClick(Life(), px(0));
  Life().DeleteStopAction();
  EXPECT_EQ(Positions(g), (std::vector<double>{50}));
}

TEST_F(GradientEditor, DoubleClickPicksTheStopsColour) {
  TColorSeries& g = Show(Frames(), {1, 40, 80}, {0x0000FF, 0x00FF00, 0xFF0000});
  const double line = Line(Frames());
  // Cancelled: nothing changes and no step is kept.
  Frames().DoubleClick(Frames().EditorState().Stops[1].PixelX, line);
  ASSERT_EQ(platform->Dialogs.size(), 1u);
  EXPECT_EQ(platform->Dialogs[0].Kind, "color");
  EXPECT_EQ(g.Stop(1).Color, 0x00FF00u);
  EXPECT_FALSE(main->History.CanUndo());
  // Stop 0 takes a colour too, though it does not drag.
  platform->ColorAnswers = {0x123456};
  Frames().DoubleClick(Frames().EditorState().Stops[0].PixelX, line);
  EXPECT_EQ(g.Stop(0).Color, 0x123456u);
  // No stop there: no picker.
  Frames().DoubleClick((Frames().EditorState().Stops[1].PixelX + Frames().EditorState().Stops[2].PixelX) / 2, line);
  EXPECT_EQ(platform->Dialogs.size(), 2u);
}

TEST_F(GradientEditor, KeyboardChoosesMovesPicksAndDeletes) {
  TColorSeries& g = Show(Life(), {1, 40, 100});
  Life().KeyPress(TGradientKey::Right, 0);
  Life().KeyPress(TGradientKey::Right, 0);
  EXPECT_EQ(Life().EditorState().SelectedStop, 1);
  Life().KeyPress(TGradientKey::Right, ModShift);
  Life().KeyPress(TGradientKey::Right, ModShift);
  EXPECT_EQ(Positions(g), (std::vector<double>{1, 42, 100}));
  EXPECT_EQ(main->History.UndoName(), "Move Stop");
  platform->ColorAnswers = {0x00AA00};
  Life().KeyPress(TGradientKey::Enter, 0);
  EXPECT_EQ(g.Stop(1).Color, 0x00AA00u);
  // Stop 0 and the last do not move over a particle's life.
  Life().KeyPress(TGradientKey::Left, 0);
  Life().KeyPress(TGradientKey::Right, ModShift);
  Life().KeyPress(TGradientKey::Right, 0);
  Life().KeyPress(TGradientKey::Right, 0);
  Life().KeyPress(TGradientKey::Left, ModShift);
  EXPECT_EQ(Positions(g), (std::vector<double>{1, 42, 100}));
  // The menu key opens the menu for the chosen stop; Delete keeps the menu's rule.
  EXPECT_TRUE(Life().KeyboardMenu());
  EXPECT_EQ(Life().EditorState().CurrentStop, 2);
  Life().KeyPress(TGradientKey::Delete, 0);
  Life().KeyPress(TGradientKey::Delete, 0);
  Life().KeyPress(TGradientKey::Delete, 0);
  EXPECT_EQ(Positions(g), (std::vector<double>{1}));
}

TEST_F(GradientEditor, StripColumnsFollowTheGradient) {
  Show(Frames(), {1, 101}, {ColorBlack, ColorWhite});
  // 201 columns: column c is the colour at 101 × c / 200, so column 100 is at 50.5, 50.5 % grey.
  const std::vector<uint32_t> columns = Frames().StripColumns(201);
  ASSERT_EQ(columns.size(), 201u);
  EXPECT_EQ(columns[0], ColorBlack);
  EXPECT_EQ(columns[100], 0x818181u);
  EXPECT_EQ(columns[200], ColorWhite);
  // The markers span 1 % to 99 % of the strip.
  const TGradientEditorState s = Frames().EditorState();
  EXPECT_DOUBLE_EQ(s.Stops[0].PixelX, 15);
  EXPECT_DOUBLE_EQ(s.Stops[1].PixelX, 505);
  main->Maps.ShowSystem(NoObject);
  EXPECT_TRUE(Frames().StripColumns(201).empty());
}

TEST_F(GradientEditor, FilesRoundTripAndDialogsStartWhereTheyShould) {
  TColorSeries& g = Show(Frames(), {1, 30, 90}, {0x102030, 0x405060, 0x708090});
  const std::string file = (dir / "saved" / "warm.vtg").string();
  std::filesystem::create_directories(dir / "saved");
  platform->SaveAnswers = {file};
  Frames().SaveAction();
  EXPECT_EQ(std::filesystem::file_size(file), 69u + 3 * 12);
  Frames().ClearAction();
  platform->OpenAnswers = {file};
  Frames().OpenAction();
  EXPECT_EQ(Positions(g), (std::vector<double>{1, 30, 90}));
  EXPECT_EQ(g.Stop(2).Color, 0x708090u);
  ASSERT_EQ(platform->Dialogs.size(), 2u);
  for (const auto& d : platform->Dialogs) {
    EXPECT_EQ(d.Filter, "VNTX Color Gradients (*.vtg)");
    EXPECT_EQ(d.DefaultExt, "vtg");
  }
  EXPECT_EQ(platform->Dialogs[0].Folder, DataFolder());
  EXPECT_EQ(platform->Dialogs[1].Folder, (dir / "saved").string() + "/");
  EXPECT_EQ(main->History.UndoName(), "Open Gradient");
  // A file opened elsewhere moves the dialogs there; cancelled, nothing changes.
  std::filesystem::create_directories(dir / "other");
  std::filesystem::copy_file(file, dir / "other" / "copy.vtg");
  platform->OpenAnswers = {(dir / "other" / "copy.vtg").string()};
  Frames().OpenAction();
  Frames().OpenAction();
  ASSERT_EQ(platform->Dialogs.size(), 4u);
  EXPECT_EQ(platform->Dialogs[3].Folder, (dir / "other").string() + "/");
  EXPECT_EQ(Positions(g), (std::vector<double>{1, 30, 90}));
}

TEST_F(GradientEditor, FilesWithoutStopsOrCutShortAreRefused) {
  std::vector<uint8_t> cut = Vtg(3, {{1, 0xFF}, {50, 0xFF00}, {90, 0xFF0000}});
  cut.resize(cut.size() - 5);
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"no stops", Vtg(0, {}), "holds no colour stops"},
      {"a negative count", Vtg(-4, {}), "holds no colour stops"},
      {"an empty file", {}, "is cut short"},
      {"cut inside the count", std::vector<uint8_t>(67, 0), "is cut short"},
      {"cut inside the last stop", cut, "is cut short"},
  };
  TColorSeries& g = Show(Life(), {1, 60, 100}, {0x0000FF, 0x00FF00, 0xFF0000});
  const std::vector<uint8_t> before = SlotBytes();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    platform->Messages.clear();
    const std::string file = WriteFile(std::string("bad-") + std::to_string(&k - cases) + ".vtg", k.bytes);
    platform->OpenAnswers = {file};
    Life().OpenAction();
    ASSERT_EQ(platform->Messages.size(), 1u);
    EXPECT_NE(platform->Messages[0].find(file), std::string::npos) << platform->Messages[0];
    EXPECT_NE(platform->Messages[0].find(k.says), std::string::npos) << platform->Messages[0];
    EXPECT_EQ(SlotBytes(), before);
    EXPECT_EQ(g.Count(), 3);
  }
  // A file that is not there says so, with its name.
  platform->Messages.clear();
  platform->OpenAnswers = {(dir / "nowhere.vtg").string()};
  Life().OpenAction();
  ASSERT_EQ(platform->Messages.size(), 1u);
  EXPECT_EQ(platform->Messages[0], "Cannot open file " + (dir / "nowhere.vtg").string());
  EXPECT_FALSE(main->History.CanUndo());
}

TEST_F(GradientEditor, ColorModeBoxesStoreTheSystemsModes) {
  Show(Life());
  Life().SetColorMode(1);
  EXPECT_EQ(slot->System.ParticleColorMode, 1);
  EXPECT_EQ(slot->System.SystemColorMode, 0);
  Frames().SetColorMode(1);
  EXPECT_EQ(slot->System.SystemColorMode, 1);
  EXPECT_EQ(Frames().EditorState().ColorMode, 1);
  Frames().SetColorMode(7);  // no such item
  EXPECT_EQ(slot->System.SystemColorMode, 1);
  EXPECT_EQ(main->History.UndoCount(), 2u);
}

// Every kind of edit is one named step; undo gives back the record's exact bytes, redo the edit's,
// and the host hears of each.
TEST_F(GradientEditor, EveryEditUndoesAndRedoesToTheExactBytes) {
  const std::string saved = WriteFile("two.vtg", Vtg(2, {{1, 0x000080}, {70, 0x008000}}));
  struct TCase {
    const char* step;
    std::function<void(GradientEditor&)> edit;
  };
  const std::vector<TCase> cases = {
      {"Drag Stop", [](GradientEditor& t) { t.Drag(t.Life(), 1, {33, 47}); }},
      {"Add Color", [](GradientEditor& t) { t.Life().AddAction(); }},
      {"Delete Color",
       [](GradientEditor& t) {
         t.RightClick(t.Life(), t.Life().EditorState().Stops[1].PixelX);
         t.Life().DeleteStopAction();
       }},
      {"Stop Color",
       [](GradientEditor& t) {
         t.platform->ColorAnswers = {0x3366CC};
         t.Life().DoubleClick(t.Life().EditorState().Stops[2].PixelX, Line(t.Life()));
       }},
      {"Clear", [](GradientEditor& t) { t.Life().ClearAction(); }},
      {"Open Gradient",
       [&saved](GradientEditor& t) {
         t.platform->OpenAnswers = {saved};
         t.Life().OpenAction();
       }},
      {"Color Mode", [](GradientEditor& t) { t.Life().SetColorMode(1); }},
      {"Move Stop",
       [](GradientEditor& t) {
         t.Life().KeyPress(TGradientKey::Right, 0);
         t.Life().KeyPress(TGradientKey::Right, 0);
         t.Life().KeyPress(TGradientKey::Left, ModShift);
       }},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.step);
    main->History.Clear();
    Show(Life(), {1, 20, 100}, {0x0000FF, 0x00FF00, 0xFF0000});
    ExpectOneStep(k.step, [&] { k.edit(*this); });
  }
}

// Showing a gradient, hovering and pressing without moving write nothing.
TEST_F(GradientEditor, ShowingAndPointingWriteNothing) {
  Show(Life(), {1, 20, 100});
  const std::vector<uint8_t> before = SlotBytes();
  const double line = Line(Life());
  const double px = Life().EditorState().Stops[1].PixelX;
  Life().MouseMove(px, line);
  Life().MousePress(ButtonLeft, px, line);
  Life().MouseRelease(ButtonLeft, px, line);
  Life().SetColorMode(0);
  EXPECT_EQ(SlotBytes(), before);
  EXPECT_FALSE(main->History.CanUndo());
  EXPECT_EQ(hostNotices, 0);
}

// The host deletes the emitter in the middle of a drag: nothing freed is touched (the sanitizer
// run watches), every action does nothing, and the steps on it are gone.
TEST_F(GradientEditor, SystemDeletedWhileShown) {
  Show(Life(), {1, 20, 100});
  Life().AddAction();
  const double line = Line(Life());
  Life().MousePress(ButtonLeft, Life().EditorState().Stops[1].PixelX, line);
  main->Emitters.EmitterDeleted(emitter->SceneObject);
  Life().MouseMove(200, line);
  Life().MouseRelease(ButtonLeft, 200, line);
  platform->ColorAnswers = {0x112233};
  Life().DoubleClick(15, line);
  Life().AddAction();
  Life().ClearAction();
  Life().SetColorMode(1);
  Life().KeyPress(TGradientKey::Right, ModShift);
  platform->OpenAnswers = {(dir / "x.vtg").string()};
  Life().OpenAction();
  EXPECT_FALSE(Life().EditorState().HasGradient);
  EXPECT_TRUE(Life().StripColumns(10).empty());
  EXPECT_EQ(main->History.UndoCount(), 0u);
  EXPECT_TRUE(platform->Dialogs.empty());
}

}  // namespace
