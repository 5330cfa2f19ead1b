// The host's selection reaching the panels, headless on the real stage: the emitter tree follows
// the host's selection of an emitter object and keeps its place for any other object; the
// toolbox's row follows a tool object; following writes nothing, makes no step and never selects
// anything in the host; and notices that come while the host deletes objects or starts a new
// scene touch nothing that has gone.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/ui/PanelFixture.h"

namespace {

using stage::Stage;

class HostSelection : public PanelFixture {
 public:
  void SetUp() override {
    PanelFixture::SetUp();
    // A second emitter with two systems, a group of the host's own, and two tools.
    second = main->NewEmitter();
    ASSERT_NE(second, nullptr);
    second->AddSystem();
    second->Name = "Second";
    rig = &Stage().Scene.AddGroup("Rig");
    fan = &main->NewTool(ToolFan);
    deflector = &main->NewTool(ToolDeflector);
    main->Emitters.Select(emitter);
    FollowHostSelection();
  }

  static stage::TNode* Node(tsxSOBJ* object) { return Stage().Scene.FromHandle(object); }
  // What the scene's plug-in objects store, to show that following the host wrote nothing.
  std::vector<uint8_t> Records() const {
    TMemoryStream s;
    for (const auto& e : main->Emitters.EmitterList) e->WriteTo(s);
    for (const auto& t : main->Toolbox.Tools) t->WriteTo(s);
    return s.TakeData();
  }
  int CurrentToolRow() const { return main->ToolboxControl.ToolboxState().CurrentRow; }

  TEmitterObject* second = nullptr;
  stage::TNode* rig = nullptr;
  TToolObject* fan = nullptr;
  TToolObject* deflector = nullptr;
};

// The host selects, step by step; the panels show the emitter and tool each step leaves current,
// and the host keeps exactly what it selected.
TEST_F(HostSelection, TheTreeAndTheToolboxFollowTheHost) {
  // The user's choice of a system in the tree selects its emitter object in the host, whose
  // notice of it leaves the system chosen.
  main->Emitters.SelectNode(1, 1);
  ASSERT_EQ(main->Emitters.CurrentSystem, second->Systems[1].get());
  EXPECT_EQ(Stage().Scene.Selected(), Node(second->SceneObject));

  const std::vector<uint8_t> records = Records();
  const int notices = hostNotices;
  const struct {
    const char* Step;
    stage::TNode* HostSelects;
    int Emitter;  // the tree's selection after it: the emitter's row and system (-1: none)
    int System;
    TEmitterPage Page;
    int ToolRow;
  } steps[] = {
      {"the host's own group", rig, 1, 1, TEmitterPage::System, 1},
      {"the first emitter", Node(emitter->SceneObject), 0, -1, TEmitterPage::Emitter, 1},
      {"a tool", Node(fan->SceneObject()), 0, -1, TEmitterPage::Emitter, 0},
      {"nothing", nullptr, 0, -1, TEmitterPage::Emitter, 0},
      {"the second emitter", Node(second->SceneObject), 1, -1, TEmitterPage::Emitter, 0},
      {"the other tool", Node(deflector->SceneObject()), 1, -1, TEmitterPage::Emitter, 1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Step);
    Stage().Scene.Select(step.HostSelects);
    const TEmitterManagerState s = main->Emitters.ManagerState();
    EXPECT_EQ(s.SelectedEmitter, step.Emitter);
    EXPECT_EQ(s.SelectedSystem, step.System);
    EXPECT_EQ(s.Page, step.Page);
    EXPECT_EQ(CurrentToolRow(), step.ToolRow);
    EXPECT_EQ(main->ToolProps.ShownTool(), main->Toolbox.Tools[static_cast<size_t>(step.ToolRow)]->Id);
    EXPECT_EQ(Stage().Scene.Selected(), step.HostSelects);
  }
  // The emitter page of an emitter the host selected shows its Visibility curve.
  EXPECT_EQ(main->Curves.Shown(), (TCurveRef{TCurveSet::Visibility, second->Id, 0}));
  EXPECT_EQ(Records(), records);
  EXPECT_EQ(hostNotices, notices);
  EXPECT_EQ(main->History.UndoCount(), 0u);
}

// Following the host asks the host to select nothing: a notice about an emitter or a tool while
// the host has something else selected leaves the host's selection where it is.
TEST_F(HostSelection, FollowingNeverSelectsInTheHost) {
  Stage().Scene.Select(rig);
  main->HostSelectionChanged(second->SceneObject);
  EXPECT_EQ(main->Emitters.CurrentEmitter, second);
  main->HostSelectionChanged(fan->SceneObject());
  EXPECT_EQ(main->Toolbox.CurrentTool, fan);
  EXPECT_EQ(Stage().Scene.Selected(), rig);
}

// The host deletes the selected emitter, then the selected tool, then starts a new scene: the
// notices that follow find the objects gone (the sanitizers watch), the emitter page gives way to
// the blank page and the first remaining tool is current.
TEST_F(HostSelection, NoticesWhileTheHostDeletesTouchNothingGone) {
  Stage().Scene.Select(Node(second->SceneObject));
  main->Emitters.SelectNode(1, 0);  // a system of it in the system properties
  tsxSobjDelete(second->SceneObject);
  EXPECT_EQ(main->Emitters.EmitterList.size(), 1u);
  EXPECT_EQ(main->Emitters.CurrentEmitter, nullptr);
  EXPECT_EQ(main->Emitters.ManagerState().Page, TEmitterPage::Blank);
  EXPECT_EQ(Stage().Scene.Selected(), nullptr);

  Stage().Scene.Select(Node(deflector->SceneObject()));
  ASSERT_EQ(CurrentToolRow(), 1);
  tsxSobjDelete(deflector->SceneObject());
  EXPECT_EQ(CurrentToolRow(), 0);
  EXPECT_EQ(main->ToolProps.ShownTool(), fan->Id);

  // A notice naming an object the host has deleted finds nothing.
  tsxSOBJ* gone = fan->SceneObject();
  tsxSobjDelete(gone);
  main->HostSelectionChanged(gone);
  EXPECT_TRUE(main->Toolbox.Tools.empty());

  Stage().Scene.Select(Node(emitter->SceneObject));
  EXPECT_EQ(main->Emitters.CurrentEmitter, emitter);
  Stage().NewScene();
  EXPECT_TRUE(main->Emitters.EmitterList.empty());
  EXPECT_EQ(main->Emitters.ManagerState().Page, TEmitterPage::Blank);
  EXPECT_EQ(main->ToolProps.PropsState().Page, TToolPage::NoTool);
}

}  // namespace
