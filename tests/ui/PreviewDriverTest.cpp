// The preview's animation driver and the Play, Stop and Rewind protocol, run on the real stage
// with the headless platform: catch-up, frame stepping, abort checks, drawing, the frame-rate
// cap and the status report. The platform's event hook plays the user at the driver's checks.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "stage/Stage.h"
#include "ui/Main.h"

namespace {

using stage::Stage;

class PreviewDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    auto p = std::make_unique<THeadlessPlatform>();
    platform = p.get();
    InstallPlatform(std::move(p));
    platform->ManualClock = true;
    tsxSOBJCALLBACKS callbacks{};
    callbacks.version = 3;
    emitterType = tsxObjectDefine(1, "VNTX_Emitter", &callbacks, 0);
    main = std::make_unique<TMain>();
    // Every frame the driver ends is recorded with the host's time at that moment; a test
    // says after how many frames the user presses Stop.
    main->Toolbox.OnShowFrame = [this](int32_t frame) {
      frames.push_back(frame);
      hostTimes.push_back(tsxAnimGetActiveTime());
      statusAtFrame.push_back(main->StatusText);
      if (onFrame) onFrame(frame);
      if (static_cast<int>(frames.size()) >= stopAfter) main->PlayClicked();
    };
  }
  void TearDown() override {
    main.reset();
    InstallPlatform(nullptr);
    stage::ResetStage();
  }

  // An emitter object bound to a new scene object, with the given number of slots.
  TEmitterObject& AddEmitter(int slots, int32_t offset = 0) {
    stage::TNode* node = Stage().Scene.CreateCustom(emitterType);
    Stage().Scene.AddToScene(*node);
    auto e = std::make_unique<TEmitterObject>();
    e->SceneObject = reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
    e->FrameOffset = offset;
    for (int i = 0; i < slots; ++i) e->AddSystem();
    return main->Emitters.AddEmitter(std::move(e));
  }

  THeadlessPlatform* platform = nullptr;
  std::unique_ptr<TMain> main;
  int emitterType = 0;
  int stopAfter = 1 << 30;
  std::function<void(int32_t)> onFrame;
  std::vector<int32_t> frames;
  std::vector<float> hostTimes;
  std::vector<std::string> statusAtFrame;
};

TEST_F(PreviewDriver, CatchUpWithoutAnimateObjectsLeavesTheHostAndStartsAtItsFrame) {
  TEmitterObject& e = AddEmitter(1);
  Stage().Scene.SetTime(25);
  std::vector<float> catchUpTimes;
  std::vector<float> slotTimes;
  platform->OnProcessEvents = [&] {
    catchUpTimes.push_back(tsxAnimGetActiveTime());
    slotTimes.push_back(e.Systems[0]->System.Time);
  };
  stopAfter = 2;
  main->PlayClicked();

  ASSERT_EQ(frames, (std::vector<int32_t>{25, 26}));
  for (float t : hostTimes) EXPECT_EQ(t, 25);
  for (float t : catchUpTimes) EXPECT_EQ(t, 25);
  // One check per caught-up frame 0..24 (before each step), then two per frame.
  ASSERT_GE(slotTimes.size(), 27u);
  EXPECT_EQ(slotTimes[0], -1);   // just reset
  EXPECT_EQ(slotTimes[24], 23);  // before stepping to 24
  EXPECT_EQ(slotTimes[25], 25);  // the first frame's check: stepped from 24 to 25
  EXPECT_FALSE(main->PreviewRunning);
  EXPECT_FALSE(main->PlayShowsStop);
  EXPECT_EQ(tsxAnimGetActiveTime(), 25);
}

TEST_F(PreviewDriver, CatchUpWithAnimateObjectsMovesTheHostSlotAfterSlot) {
  TEmitterObject& e = AddEmitter(2);
  Stage().Scene.SetTime(25);
  main->AnimateObjectsAction();
  std::vector<float> checkTimes;
  platform->OnProcessEvents = [&] { checkTimes.push_back(tsxAnimGetActiveTime()); };
  onFrame = [&](int32_t) {
    EXPECT_EQ(e.Systems[0]->System.Time, e.Systems[1]->System.Time);
  };
  stopAfter = 2;
  main->PlayClicked();

  // The first slot moves the host through 0..24 and leaves it there; the second reads 24 and
  // catches up through 23; the preview starts at 24 (the last slot's reading).
  std::vector<float> expected;
  for (int i = 0; i <= 24; ++i) expected.push_back(static_cast<float>(i));
  for (int i = 0; i <= 23; ++i) expected.push_back(static_cast<float>(i));
  expected.insert(expected.end(), {24, 24, 25, 25});  // two checks per frame
  EXPECT_EQ(checkTimes, expected);
  EXPECT_EQ(frames, (std::vector<int32_t>{24, 25}));
  EXPECT_EQ(hostTimes, (std::vector<float>{24, 25}));
  // Stop puts the host back where Play was pressed.
  EXPECT_EQ(tsxAnimGetActiveTime(), 25);
}

TEST_F(PreviewDriver, ReportsEvery31FramesWithTheRateBelowTheCap) {
  AddEmitter(1);
  Stage().Scene.SetTime(25);
  // Each check costs a millisecond: uncapped, the preview would run at 500 frames per second.
  platform->OnProcessEvents = [&] { ++platform->Ticks; };
  std::vector<int32_t> drawn;
  onFrame = [&](int32_t) { drawn.push_back(main->ParticlesDrawn); };
  stopAfter = 32;
  main->PlayClicked();

  ASSERT_EQ(frames.size(), 32u);
  EXPECT_EQ(frames.front(), 25);
  for (size_t i = 0; i < 31; ++i) EXPECT_EQ(statusAtFrame[i], "") << "frame " << frames[i];
  // 31 frames may not take less than 31 / 30.25 s: 1025 ms, 30.24 frames per second.
  // The particles drawn in the 31st frame, and the frame number the preview has moved on to.
  EXPECT_EQ(statusAtFrame[31], Format(" %d p - 30.2 fps - frame 056", drawn[30]));
  EXPECT_GT(drawn[30], 0);
  EXPECT_EQ(main->ShuttleStatusText, statusAtFrame[31]);
}

TEST_F(PreviewDriver, AnEmitterWithAnOffsetWaitsForItsFirstFrame) {
  TEmitterObject& late = AddEmitter(1, 30);
  Stage().Scene.SetTime(10);
  std::vector<float> times;
  std::vector<int32_t> drawn;
  onFrame = [&](int32_t) {
    times.push_back(late.Systems[0]->System.Time);
    drawn.push_back(main->ParticlesDrawn);
  };
  stopAfter = 22;  // frames 10..31
  main->PlayClicked();

  ASSERT_EQ(frames.back(), 31);
  for (size_t i = 0; i < 20; ++i) {
    EXPECT_EQ(times[i], -1) << "frame " << frames[i];
    EXPECT_EQ(drawn[i], 0) << "frame " << frames[i];
  }
  EXPECT_EQ(times[20], 0);  // scene frame 30 is its local frame 0
  EXPECT_GT(drawn[20], 0);
  EXPECT_EQ(times[21], 1);
}

TEST_F(PreviewDriver, ASceneWithoutEmittersKeepsCountingFrames) {
  stopAfter = 3;
  main->PreviewFrame = 7;
  Stage().Scene.SetTime(20);
  main->PlayClicked();
  // No slot to catch up, so nothing reads the host's frame: the count goes on from 7.
  EXPECT_EQ(frames, (std::vector<int32_t>{7, 8, 9}));
  EXPECT_EQ(main->ParticlesDrawn, 0);
}

TEST_F(PreviewDriver, EscapeHeldEndsTheRunBeforeItSteps) {
  TEmitterObject& e = AddEmitter(1);
  Stage().Scene.SetTime(25);
  platform->Escape = true;
  main->PlayClicked();

  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(e.Systems[0]->System.Time, -1);  // reset, and ended at the catch-up's first check
  EXPECT_EQ(platform->Surface.DrawCalls, 0);
  EXPECT_EQ(Stage().View.RefreshCount, 1);   // the acquisition's refresh; no frame erased
  EXPECT_EQ(platform->SurfacesHeld, 0);
  EXPECT_FALSE(main->PreviewRunning);
  EXPECT_FALSE(main->PlayShowsStop);
}

TEST_F(PreviewDriver, RewindRestartsFromTheRecordedStartTime) {
  TEmitterObject& e = AddEmitter(1);
  Stage().Scene.SetTime(25);
  main->AnimateObjectsAction();
  std::vector<float> startFrames;
  std::vector<float> slotTimes;
  main->OnPreviewChanged = [&] {
    if (main->PlayShowsStop) startFrames.push_back(main->StartFrame);
  };
  onFrame = [&](int32_t) {
    slotTimes.push_back(e.Systems[0]->System.Time);
    if (frames.size() == 3) main->RewindClicked();
  };
  stopAfter = 5;
  main->PlayClicked();

  // Frames 25, 26, 27; Rewind; the host goes back to 25 and a new run starts there, every
  // system reset and caught up again.
  EXPECT_EQ(frames, (std::vector<int32_t>{25, 26, 27, 25, 26}));
  EXPECT_EQ(slotTimes, (std::vector<float>{25, 26, 27, 25, 26}));
  EXPECT_EQ(startFrames, (std::vector<float>{25, 25}));
  EXPECT_EQ(tsxAnimGetActiveTime(), 25);
  EXPECT_FALSE(main->RewindRequested);
}

TEST_F(PreviewDriver, RewindWhileStoppedDoesNotAffectTheNextPlay) {
  AddEmitter(1);
  main->RewindClicked();
  stopAfter = 2;
  main->PlayClicked();
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1}));
}

// Rewind and then Stop (or the panel closing) before the run's next check: the run ends and
// stays ended; the Rewind does not start it over.
TEST_F(PreviewDriver, StopAfterRewindEndsTheRunForGood) {
  const struct {
    const char* What;
    std::function<void(TMain&)> Stop;
  } cases[] = {
      {"Stop", [](TMain& m) { m.PlayClicked(); }},
      {"the panel closing", [](TMain& m) { m.StopAnimateAction(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    main->Emitters.EmitterList.clear();
    frames.clear();
    AddEmitter(1);
    int starts = 0;
    main->OnPreviewChanged = [&] { starts += main->PlayShowsStop; };
    onFrame = [&](int32_t frame) {
      if (frame != 2) return;
      main->RewindClicked();
      c.Stop(*main);
    };
    stopAfter = 6;  // a run started over ends after a few frames
    main->PlayClicked();
    EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(main->RewindRequested);
    EXPECT_FALSE(main->PlayShowsStop);
  }
}

// The host's abort check answering 1 ends a run under way at its next check, as Escape does.
TEST_F(PreviewDriver, TheHostsAbortEndsARunUnderWay) {
  const struct {
    const char* What;
    std::function<void(bool)> Press;
  } cases[] = {
      {"host abort", [](bool on) { Stage().Abort = on; }},
      {"Escape", [this](bool on) { platform->Escape = on; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    main->Emitters.EmitterList.clear();
    frames.clear();
    AddEmitter(1);
    Stage().Scene.SetTime(10);
    main->AnimateObjectsAction();
    onFrame = [&](int32_t frame) {
      if (frame == 12) c.Press(true);
    };
    stopAfter = 8;  // a run that went on ends a few frames later
    main->PlayClicked();
    c.Press(false);
    main->AnimateObjectsAction();
    EXPECT_EQ(frames, (std::vector<int32_t>{10, 11, 12}));
    EXPECT_FALSE(main->PreviewRunning);
    EXPECT_FALSE(main->PlayShowsStop);
    EXPECT_EQ(tsxAnimGetActiveTime(), 10);  // back where Play was pressed
    EXPECT_EQ(platform->SurfacesHeld, 0);
  }
}

TEST_F(PreviewDriver, PlayWhilePlayingOnlyClearsTheFlag) {
  AddEmitter(1);
  std::vector<bool> showsStop;
  onFrame = [&](int32_t frame) {
    if (frame == 1) {
      main->PlayClicked();  // the second click: the run ends at its next check
      showsStop.push_back(main->PlayShowsStop);
      showsStop.push_back(main->PreviewRunning);
    }
  };
  main->PlayClicked();
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(showsStop, (std::vector<bool>{true, false}));  // "Stop" until the driver has stopped
  EXPECT_FALSE(main->PlayShowsStop);
}

TEST_F(PreviewDriver, TwoClicksBetweenChecksLeaveTheRunGoing) {
  AddEmitter(1);
  int nested = 0;
  onFrame = [&](int32_t frame) {
    if (frame == 1) {
      main->PlayClicked();
      main->PlayClicked();  // sets the flag again: no second run inside this one
      ++nested;
    }
  };
  stopAfter = 4;
  main->PlayClicked();
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(nested, 1);
  EXPECT_FALSE(main->PreviewRunning);
}

TEST_F(PreviewDriver, StopWhileCatchingUpEndsTheRunBeforeItsFirstFrame) {
  TEmitterObject& e = AddEmitter(1);
  Stage().Scene.SetTime(40);
  int checks = 0;
  platform->OnProcessEvents = [&] {
    if (++checks == 10) main->PlayClicked();
  };
  main->PlayClicked();
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(e.Systems[0]->System.Time, 8);  // frames 0..8 stepped before the click was seen
  EXPECT_EQ(platform->Surface.DrawCalls, 0);
}

// Escape pressed, Rewind clicked or the host's abort while "Preparing animation..." end the run
// there, as Stop does: the remaining systems are not caught up, and the run neither plays nor
// starts over.
TEST_F(PreviewDriver, AnAbortWhileCatchingUpEndsTheRun) {
  const struct {
    const char* What;
    std::function<void(TMain&, THeadlessPlatform&)> Act;
  } cases[] = {
      {"Escape", [](TMain&, THeadlessPlatform& p) { p.Escape = true; }},
      {"Rewind", [](TMain& m, THeadlessPlatform&) { m.RewindClicked(); }},
      {"host abort", [](TMain&, THeadlessPlatform&) { Stage().Abort = true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    main->Emitters.EmitterList.clear();
    frames.clear();
    TEmitterObject& e = AddEmitter(2);
    Stage().Scene.SetTime(40);
    stopAfter = 3;  // a run that played anyway (or started over) ends after three frames
    int checks = 0, starts = 0;
    main->OnPreviewChanged = [&] { starts += main->PlayShowsStop; };
    platform->OnProcessEvents = [&] {
      if (++checks == 10) c.Act(*main, *platform);
    };
    main->PlayClicked();
    platform->OnProcessEvents = nullptr;
    platform->Escape = false;
    Stage().Abort = false;
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(e.Systems[0]->System.Time, 8);  // frames 0..8 stepped before the abort was seen
    EXPECT_EQ(e.Systems[1]->System.Time, 0);  // the second system was not caught up at all
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(main->PreviewRunning);
    EXPECT_FALSE(main->RewindRequested);
    EXPECT_EQ(platform->Surface.DrawCalls, 0);
    EXPECT_EQ(platform->SurfacesHeld, 0);
  }
}

TEST_F(PreviewDriver, PreparingShowsItsStatusAndBusyCursor) {
  AddEmitter(1);
  Stage().Scene.SetTime(3);
  std::vector<std::string> statuses;
  std::vector<bool> busy;
  platform->OnProcessEvents = [&] {
    statuses.push_back(main->StatusText);
    busy.push_back(platform->Busy);
  };
  stopAfter = 1;
  main->PlayClicked();
  ASSERT_EQ(statuses.size(), 5u);  // three caught-up frames, two checks of the first frame
  EXPECT_EQ(statuses[0], "Preparing animation...");
  EXPECT_TRUE(busy[2]);
  EXPECT_EQ(statuses[3], "");
  EXPECT_FALSE(busy[3]);
}

TEST_F(PreviewDriver, NoViewSurfaceEndsTheRunBeforeAnyPreparation) {
  TEmitterObject& e = AddEmitter(1);
  Stage().Scene.SetTime(5);
  e.Systems[0]->System.StepTo(3);
  platform->RefuseSurface = true;
  main->PlayClicked();
  EXPECT_EQ(e.Systems[0]->System.Time, 3);  // not reset
  EXPECT_EQ(platform->EventPasses, 0);
  EXPECT_FALSE(main->PlayShowsStop);
  EXPECT_FALSE(main->PreviewRunning);
}

TEST_F(PreviewDriver, TheVerticalOffsetFollowsTheViewWindowsCaption) {
  AddEmitter(1);
  platform->CaptionPixels = 17;
  struct Case {
    uint32_t style;
    int32_t offset;
  };
  const Case cases[] = {
      {0, 0},                // no caption
      {0xC00000, 17},        // caption, no system menu
      {0x400000, 17},        // either caption bit will do
      {0xC80000, 0},         // caption with a system menu
      {0x80000, 0},
  };
  for (const Case& c : cases) {
    platform->ViewStyle = c.style;
    main->Renderer.VerticalOffset = -1;
    frames.clear();
    stopAfter = 1;
    main->PlayClicked();
    EXPECT_EQ(main->Renderer.VerticalOffset, c.offset) << std::hex << c.style;
  }
}

TEST_F(PreviewDriver, DrawsEveryVisibleParticleOnceInTheView) {
  TEmitterObject& e = AddEmitter(2);
  e.Systems[1]->Enabled = false;
  Stage().Scene.SetTime(10);
  main->SetDrawMode(DrawSolidBoxes);
  int32_t live = 0;
  onFrame = [&](int32_t) {
    live = e.Systems[0]->System.LiveCount;
  };
  stopAfter = 1;
  main->PlayClicked();
  EXPECT_GT(live, 0);
  EXPECT_EQ(main->ParticlesDrawn, live);
  EXPECT_EQ(platform->Surface.DrawCalls, live);
  EXPECT_EQ(Stage().View.RefreshCount, 2);  // the acquisition, then the frame's erase

  // A hidden emitter object draws nothing.
  e.Visibility.AddKey(5, 0);
  e.Visibility.AddKey(50, 0);
  frames.clear();
  main->PlayClicked();
  EXPECT_EQ(main->ParticlesDrawn, 0);
}

TEST_F(PreviewDriver, FrameNotificationsReachTheEmitterManagerInLocalFrames) {
  TEmitterObject& e = AddEmitter(1, 5);
  main->Emitters.Select(&e);
  std::vector<float> marker;
  main->Emitters.OnShowFrame = [&](float local) { marker.push_back(local); };
  Stage().Scene.SetTime(12);
  stopAfter = 2;
  main->PlayClicked();
  EXPECT_EQ(marker, (std::vector<float>{7, 8}));
}

TEST_F(PreviewDriver, AFinalRenderEndsTheRun) {
  AddEmitter(1);
  onFrame = [&](int32_t frame) {
    if (frame == 2) main->PreviewRunning = false;  // what the final-render pass does first
  };
  main->PlayClicked();
  EXPECT_EQ(frames, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_FALSE(main->PlayShowsStop);
}

TEST_F(PreviewDriver, ACappedRunSleepsInsteadOfSpinning) {
  AddEmitter(1);
  platform->OnProcessEvents = [&] { ++platform->Ticks; };  // a millisecond of work per check
  stopAfter = 31;
  main->PlayClicked();
  // 31 frames of a few milliseconds' work take 1025 ms under the cap, nearly all of it asleep,
  // and the sleeps do not overshoot by more than a step.
  EXPECT_GE(platform->Ticks, 1025u);
  EXPECT_LE(platform->Ticks, 1040u);
  EXPECT_GE(platform->SleptMs, 800u);
}

TEST_F(PreviewDriver, CueCardsAndHelp) {
  std::vector<bool> seen;
  main->OnCueCardsChanged = [&](bool visible) { seen.push_back(visible); };
  main->ToggleCuesAction();
  main->ToggleCuesAction();
  EXPECT_EQ(seen, (std::vector<bool>{false, true}));
  main->HelpFile = "/data/Vantrel/VNTX.hlp";
  main->HelpTopicsAction();
  EXPECT_EQ(platform->HelpRequests, (std::vector<std::string>{"/data/Vantrel/VNTX.hlp"}));
}

}  // namespace
