// The system properties panel's controller, headless on the real stage: the entry choice for
// every tree entry (page, tabs, the curves it hands the shared editor), the entry kept across a
// change of slot, the fields stored as the Edit menu's steps and taken back to the exact record
// bytes, a slot shown without a trace, and slots that go while shown (deleted by the host, by
// "Delete System", during a preview, or replaced by loaded emitter settings).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"

namespace {

using stage::Stage;

class SystemProps : public ::testing::Test {
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
    main->Properties.OnSystemShown = [this](TObjectId id) { shownNotices.push_back(id); };
    emitter = &AddEmitter(2);
    slot = emitter->Systems[0].get();
    other = emitter->Systems[1].get();
    // Nothing selected: the main panel's own curve page (the current emitter's Flow) keeps out
    // of the shared editor.
    main->Emitters.Select(nullptr);
    main->Curves.SetPlotFrame(50, 10, 480, 200);
  }
  void TearDown() override {
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }

  TEmitterObject& AddEmitter(int slots) {
    stage::TNode* node = Stage().Scene.CreateCustom(emitterType);
    Stage().Scene.AddToScene(*node);
    auto e = std::make_unique<TEmitterObject>();
    e->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    for (int i = 0; i < slots; ++i) e->AddSystem();
    return main->Emitters.AddEmitter(std::move(e));
  }

  TSystemProps& props() { return main->Properties; }
  TSystemPropsState state() { return props().PropsState(); }
  // The curve the shared editor shows, resolved.
  const TVarSeries* inEditor() const {
    return main->Curves.Shown() ? main->Objects.Curve(*main->Curves.Shown()) : nullptr;
  }
  std::vector<uint8_t> EmitterBytes() const {
    TMemoryStream s;
    emitter->WriteTo(s);
    return s.TakeData();
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  TEmitterObject* emitter = nullptr;
  TEmitter* slot = nullptr;
  TEmitter* other = nullptr;
  int emitterType = 0;
  int hostNotices = 0;
  std::vector<TObjectId> shownNotices;
};

// Every entry of the tree: its page, and for curve entries the tabs and the two curves.
TEST_F(SystemProps, EntryChoiceForEveryEntry) {
  TParticleEmitter& e = slot->Emitter;
  TParticleSystem& s = slot->System;
  struct Case {
    int Position;
    TPropsPage Page;
    const TVarSeries* Property;
    const TVarSeries* Jitter;
  };
  const Case cases[] = {
      {0, TPropsPage::Render, nullptr, nullptr},
      {1, TPropsPage::System, nullptr, nullptr},
      {2, TPropsPage::Curve, &e.Focus, &e.FocusJitter},
      {3, TPropsPage::Curve, &s.Flow, &s.FlowJitter},
      {4, TPropsPage::Curve, &e.Lifespan, &e.LifespanJitter},
      {5, TPropsPage::Curve, &e.BaseSize, &e.BaseSizeJitter},
      {6, TPropsPage::Curve, &e.BaseSpeed, &e.BaseSpeedJitter},
      {7, TPropsPage::Curve, &e.BaseOrientation, &e.BaseOrientationJitter},
      {8, TPropsPage::Curve, &e.BaseGravity, nullptr},
      {9, TPropsPage::Curve, &e.BaseAlpha, &e.BaseAlphaJitter},
      {10, TPropsPage::Curve, &e.BaseIntensity, &e.BaseIntensityJitter},
      {11, TPropsPage::Curve, &e.Rotation, &e.RotationJitter},
      {12, TPropsPage::Curve, &e.Vortex, &e.VortexJitter},
      {13, TPropsPage::Curve, &e.Mass, &e.MassJitter},
      {14, TPropsPage::Particle, nullptr, nullptr},
      {15, TPropsPage::Curve, &s.Size, nullptr},
      {16, TPropsPage::Curve, &s.Speed, nullptr},
      {17, TPropsPage::Curve, &s.Orientation, nullptr},
      {18, TPropsPage::Curve, &s.Gravity, nullptr},
      {19, TPropsPage::Curve, &s.Alpha, nullptr},
      {20, TPropsPage::Curve, &s.Intensity, nullptr},
      {21, TPropsPage::Curve, &s.Visibility, nullptr},
  };
  props().ShowSystem(slot->Id);
  for (const Case& c : cases) {
    SCOPED_TRACE(PropsEntries[c.Position].Text);
    props().SelectTab(1);  // the choice makes the property's tab active again
    props().SelectEntry(c.Position);
    const TSystemPropsState st = state();
    EXPECT_EQ(st.Page, c.Page);
    const auto resolve = [&](const std::optional<TCurveRef>& r) { return r ? main->Objects.Curve(*r) : nullptr; };
    EXPECT_EQ(resolve(props().PropertyCurve()), c.Property);
    EXPECT_EQ(resolve(props().JitterCurve()), c.Jitter);
    EXPECT_EQ(inEditor(), c.Property);
    if (c.Page != TPropsPage::Curve) continue;
    EXPECT_EQ(st.ActiveTab, 0);
    EXPECT_EQ(st.PropertyTab, PropsEntries[c.Position].Text);
    EXPECT_EQ(st.JitterTab, std::string(PropsEntries[c.Position].Text) + " Jitter");
    EXPECT_EQ(st.JitterTabVisible, c.Jitter != nullptr);
    props().SelectTab(1);
    EXPECT_EQ(inEditor(), c.Jitter ? c.Jitter : c.Property);  // a hidden tab cannot be chosen
    EXPECT_EQ(state().ActiveTab, c.Jitter ? 1 : 0);
  }
  EXPECT_EQ(main->History.UndoCount(), 0u);
}

TEST_F(SystemProps, WithoutASystemNothingChangesOnTheRight) {
  props().ShowSystem(slot->Id);
  props().SelectEntry(4);
  ASSERT_EQ(inEditor(), &slot->Emitter.Lifespan);
  // Letting the slot go releases the shared editor; the page stays as it was.
  props().ShowSystem(NoObject);
  EXPECT_EQ(main->Curves.Shown(), std::nullopt);
  for (int p : {PropsRenderEntry, PropsSystemEntry, PropsParticlesEntry, 21}) {
    props().SelectEntry(p);
    props().SelectTab(1);
    EXPECT_EQ(state().Page, TPropsPage::Curve) << p;
    EXPECT_FALSE(state().HasSystem);
    EXPECT_EQ(main->Curves.Shown(), std::nullopt) << p;
  }
  const std::vector<uint8_t> before = EmitterBytes();
  props().SetSystemLives(5);
  props().SetEmitterShape(0);
  props().SetRenderMode(2);
  EXPECT_EQ(EmitterBytes(), before);
  EXPECT_EQ(main->History.UndoCount(), 0u);
  // The unknown slot is no slot.
  props().ShowSystem(TObjectId{999999});
  EXPECT_FALSE(state().HasSystem);
  EXPECT_EQ(shownNotices, (std::vector<TObjectId>{slot->Id, NoObject, NoObject}));
}

// The entry survives a change of slot: the Vortex jitter tab open on one slot, the next opens
// on Vortex with the property's tab active, showing its own curve.
TEST_F(SystemProps, EntryKeptAcrossSlots) {
  props().ShowSystem(slot->Id);
  props().SelectEntry(12);
  props().SelectTab(1);
  ASSERT_EQ(inEditor(), &slot->Emitter.VortexJitter);
  props().ShowSystem(other->Id);
  EXPECT_EQ(state().Entry, 12);
  EXPECT_EQ(state().ActiveTab, 0);
  EXPECT_EQ(inEditor(), &other->Emitter.Vortex);
  EXPECT_EQ(state().PropertyTab, "Vortex");
}

// Each field stores what the Part's rules make of the typed value, as one step named after the
// field; undo and redo give back the exact record bytes, and the host hears of every change.
TEST_F(SystemProps, FieldsAreUndoableSteps) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* Name;
    std::function<void(TSystemProps&)> Edit;
    std::function<double(const TEmitter&)> Stored;
    double Expected;
  };
  const auto lifespan = [](const TEmitter& s) { return double(s.System.SystemLifespan); };
  const auto lives = [](const TEmitter& s) { return double(s.System.SystemLives); };
  const auto radius = [](const TEmitter& s) { return double(s.Emitter.EmitterRadius); };
  const Case cases[] = {
      {"System Lifespan", [](TSystemProps& p) { p.SetSystemLifespan(120.9); }, lifespan, 120},
      {"System Lifespan", [](TSystemProps& p) { p.SetSystemLifespan(1e12); }, lifespan, SystemLifespanMax},
      {"System Lives", [](TSystemProps& p) { p.SetSystemLives(3.99); }, lives, 3},
      {"System Lives", [](TSystemProps& p) { p.SetSystemLives(-2); }, lives, 0},
      {"System Lives", [nan](TSystemProps& p) { p.SetSystemLives(nan); }, lives, 0},
      {"Emitter Radius", [](TSystemProps& p) { p.SetEmitterRadius(0.125); }, radius, 0.125},
      {"Emitter Radius", [](TSystemProps& p) { p.SetEmitterRadius(250); }, radius, EmitterRadiusMax},
      {"Emitter Shape", [](TSystemProps& p) { p.SetEmitterShape(4); },
       [](const TEmitter& s) { return double(s.Emitter.EmitterShape); }, ShapeSurface},
      {"Focus Shape", [](TSystemProps& p) { p.SetFocusShape(1); },
       [](const TEmitter& s) { return double(s.Emitter.FocusShape); }, FocusDisc},
      {"Render Mode", [](TSystemProps& p) { p.SetRenderMode(3); },
       [](const TEmitter& s) { return double(s.System.RenderMode); }, RenderColorAlpha},
      // A curve edit on a chosen entry's jitter tab, through the shared editor.
      {"Add Key",
       [this](TSystemProps& p) {
         p.SelectEntry(4);
         p.SelectTab(1);
         main->Curves.DoubleClick(main->Curves.Mapping().PixelX(30), main->Curves.Mapping().PixelY(0.5), 0);
       },
       [](const TEmitter& s) { return double(s.Emitter.LifespanJitter.KeyCount()); }, 3},
  };
  props().ShowSystem(slot->Id);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    // Start from a value the edit changes.
    slot->System.SystemLifespan = slot->System.SystemLives = 7;
    slot->Emitter.EmitterRadius = 1;
    main->History.Clear();
    const std::vector<uint8_t> before = EmitterBytes();
    const int notices = hostNotices;
    c.Edit(props());
    EXPECT_EQ(c.Stored(*slot), c.Expected);
    EXPECT_EQ(main->History.UndoName(), c.Name);
    EXPECT_EQ(main->History.UndoCount(), 1u);
    EXPECT_GT(hostNotices, notices);
    const std::vector<uint8_t> after = EmitterBytes();
    ASSERT_TRUE(main->History.Undo());
    EXPECT_EQ(EmitterBytes(), before);
    ASSERT_TRUE(main->History.Redo());
    EXPECT_EQ(EmitterBytes(), after);
    EXPECT_EQ(state().HasSystem, true);
  }
  // A list position outside its list stores nothing.
  main->History.Clear();
  const std::vector<uint8_t> before = EmitterBytes();
  props().SetEmitterShape(5);
  props().SetFocusShape(-1);
  props().SetRenderMode(4);
  props().SetEmitterRadius(nan);
  EXPECT_EQ(EmitterBytes(), before);
  EXPECT_EQ(main->History.UndoCount(), 0u);
}

// Showing a slot on every entry and tab writes nothing: an odd radius, three lives and a
// hand-written tension stay, and the emitter's record is byte-identical.
TEST_F(SystemProps, ShowingWritesNothing) {
  slot->Emitter.EmitterRadius = 0.125f;
  slot->System.SystemLives = 3;
  slot->System.Flow.Tension = 0.5;
  slot->Emitter.VortexJitter.Tension = 0.17;
  const std::vector<uint8_t> before = EmitterBytes();
  props().ShowSystem(slot->Id);
  EXPECT_EQ(state().SystemLives, 3);
  EXPECT_EQ(state().EmitterRadius, 0.125);
  for (int p = 0; p < PropsEntryCount; ++p) {
    props().SelectEntry(p);
    props().SelectTab(1);
    props().TakeBackCurveEditor();
  }
  props().ShowSystem(other->Id);
  props().ShowSystem(slot->Id);
  EXPECT_EQ(EmitterBytes(), before);
  EXPECT_EQ(main->History.UndoCount(), 0u);
  EXPECT_EQ(hostNotices, 0);
}

// A shown slot that goes, in each of the ways it can go: the panel lets it go and says so, the
// shared editor shows none of its curves, and nothing the view can still ask touches it (the
// sanitizer run watches for freed memory).
TEST_F(SystemProps, ShownSlotGoes) {
  const std::filesystem::path file = std::filesystem::path(testing::TempDir()) / "props-replace.vte";
  struct Case {
    const char* Name;
    std::function<void()> Go;
  };
  const Case cases[] = {
      {"the host deletes its emitter", [&] { main->Emitters.EmitterDeleted(emitter->SceneObject); }},
      {"Delete System",
       [&] { main->DeleteSystemAction(); }},
      {"Load Emitter Settings",
       [&] {
         ASSERT_TRUE(main->Emitters.SaveEmitterSettings(file.string()));
         // The action is the emitter's: choosing the emitter node lets go of the system first.
         main->Emitters.Select(emitter, nullptr);
         platform->OpenAnswers = {file.string()};
         main->LoadEmitterSettingsAction();
       }},
      {"the host deletes its emitter during a preview",
       [&] {
         int frames = 0;
         main->Toolbox.OnShowFrame = [&](int32_t) {
           if (++frames == 3) main->Emitters.EmitterDeleted(emitter->SceneObject);
           if (frames == 6) main->PlayClicked();
         };
         main->PlayClicked();
         main->Toolbox.OnShowFrame = nullptr;
         EXPECT_EQ(frames, 6);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    emitter = &AddEmitter(2);
    slot = emitter->Systems[0].get();
    const TObjectId gone = slot->Id;
    main->Emitters.Select(emitter, slot);  // as the emitter manager selects it, then shows it
    props().ShowSystem(gone);
    props().SelectEntry(12);
    props().SelectTab(1);
    ASSERT_EQ(inEditor(), &slot->Emitter.VortexJitter);
    shownNotices.clear();
    c.Go();
    EXPECT_EQ(main->Objects.Slot(gone), nullptr);
    EXPECT_FALSE(state().HasSystem);
    EXPECT_EQ(props().ShownSystem(), NoObject);
    EXPECT_EQ(shownNotices, (std::vector<TObjectId>{NoObject}));
    EXPECT_TRUE(!main->Curves.Shown() || main->Curves.Shown()->Owner != gone);
    // What the view may still send reaches nothing.
    props().SelectEntry(4);
    props().SelectTab(1);
    props().TakeBackCurveEditor();
    props().SetSystemLives(9);
    props().SetEmitterRadius(2);
    main->Curves.DoubleClick(main->Curves.Mapping().PixelX(20), main->Curves.Mapping().PixelY(1), 0);
    EXPECT_TRUE(!main->Curves.Shown() || main->Curves.Shown()->Owner != gone);
  }
  EXPECT_TRUE(platform->Messages.empty()) << platform->Messages.front();
}

}  // namespace
