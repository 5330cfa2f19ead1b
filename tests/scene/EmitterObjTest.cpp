// Emitter objects on a stage scene: frame mapping, freezing, auto-scale, render-begin rewinds
// and surface sources.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "engine/ParticleModifier.h"
#include "engine/RandomTables.h"
#include "hostapi/Platform.h"
#include "scene/EmitterObj.h"
#include "stage/Stage.h"
#include "ui/EmitterMan.h"

namespace {

using stage::Stage;

tsxSOBJ* H(stage::TNode& n) { return stage::TScene::Handle(&n); }

class EmitterObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
  }
  // An emitter object on a new group node, with one slot, reset.
  TEmitterObject& Make(const std::string& name) {
    auto e = std::make_unique<TEmitterObject>();
    e->SceneObject = H(Stage().Scene.AddGroup(name));
    e->AddSystem();
    return manager.AddEmitter(std::move(e));
  }
  void SetHostTime(float frame) { tsxAnimSetActiveTimeScene(frame); }
  TEmitterMan manager;
};

}  // namespace

TEST_F(EmitterObjects, FrameOffsetDelaysTheSystems) {
  TEmitterObject& e = Make("e");
  e.FrameOffset = 10;
  SetHostTime(5);
  manager.RenderBegin();
  e.RenderFrame(nullptr);
  EXPECT_EQ(e.Systems[0]->System.Time, -1);  // local −5: not stepped
  SetHostTime(10);
  e.RenderFrame(nullptr);
  EXPECT_EQ(e.Systems[0]->System.Time, 0);
  EXPECT_EQ(e.ToLocalFrame(12.5f), 2.5f);
  EXPECT_EQ(e.ToSceneFrame(2.5f), 12.5f);
}

TEST_F(EmitterObjects, FreezeFrames) {
  TEmitterObject& e = Make("e");
  stage::TNode& node = *Stage().Scene.FromHandle(e.SceneObject);
  node.Position.SetKey(20, {0, 0, 0});
  node.Position.SetKey(30, {10, 0, 0});
  e.FreezeFrame = 20;
  TEmitter& slot = *e.Systems[0];
  SetHostTime(0);
  manager.RenderBegin();
  for (int f = 0; f <= 25; ++f) {
    SetHostTime(static_cast<float>(f));
    e.RenderFrame(nullptr);
  }
  EXPECT_EQ(slot.System.Time, 19);
  // Frozen particles follow the emitter's motion since frame 20: 5 units along X by frame 25.
  for (const TParticle& p : slot.System.Particles) {
    if (!p.Alive) continue;
    EXPECT_NEAR(p.RenderPosition.x - p.DisplayPosition.x, 5, 1e-4);
  }
  // FreezeFrame 0 never freezes.
  e.FreezeFrame = 0;
  e.RenderFrame(nullptr);
  EXPECT_EQ(slot.System.Time, 25);  // catches up in one step call
}

TEST_F(EmitterObjects, FreezeWithOffsetUsesSceneFrames) {
  TEmitterObject& e = Make("e");
  e.FrameOffset = 5;
  e.FreezeFrame = 20;
  TEmitter& slot = *e.Systems[0];
  slot.System.Reset();
  for (int local = 0; local <= 16; ++local) slot.StepToFrame(local, false);
  EXPECT_EQ(slot.System.Time, 14);  // scene frame 20 = local 15 is frozen
  // The pose for following is taken at scene frame 25 (the freeze frame read as local).
  slot.StepToFrame(16, true);
  EXPECT_EQ(SceneFrame, 21);
}

TEST_F(EmitterObjects, AutoScale) {
  TEmitterObject& e = Make("e");
  Stage().Scene.FromHandle(e.SceneObject)->Scale.Rest = {2, 2, 4};
  e.WidthScaling = WidthMoreParticles | WidthBiggerParticles;
  e.HeightScaling = HeightFasterParticles | HeightOlderParticles | HeightStrongerGravity;
  TParticleSystem& s = e.Systems[0]->System;
  s.Reset();
  s.StepTo(0);
  EXPECT_FLOAT_EQ(s.FlowScale, std::sqrt(2.0f));
  EXPECT_FLOAT_EQ(s.SizeScale, std::sqrt(2.0f));
  EXPECT_EQ(s.SpeedScale, 2);
  EXPECT_EQ(s.LifeScale, 2);
  EXPECT_EQ(s.GravityScale, 2);
  e.WidthScaling = WidthBiggerParticles;
  e.HeightScaling = 0;
  s.StepTo(1);
  EXPECT_EQ(s.FlowScale, 1);
  EXPECT_EQ(s.SpeedScale, 1);
}

TEST_F(EmitterObjects, RenderBeginRewindsEveryEmitterToTheFrameBefore) {
  TEmitterObject& a = Make("a");
  TEmitterObject& b = Make("b");
  SetHostTime(10);
  manager.RenderBegin();
  EXPECT_EQ(a.Systems[0]->System.Time, 9);
  EXPECT_EQ(b.Systems[0]->System.Time, 9);
  EXPECT_EQ(tsxAnimGetActiveTime(), 10);  // the host's time is put back
  manager.RenderFrame(nullptr);
  EXPECT_EQ(a.Systems[0]->System.Time, 10);
  EXPECT_EQ(b.Systems[0]->System.Time, 10);
  // An earlier frame is not re-simulated.
  SetHostTime(4);
  manager.RenderFrame(nullptr);
  EXPECT_EQ(a.Systems[0]->System.Time, 10);
}

namespace {

// Everything a system's particles hold that the simulation draws at random or moves.
std::vector<float> StateOf(const TEmitterMan& manager) {
  std::vector<float> state;
  for (const auto& e : manager.EmitterList)
    for (const auto& slot : e->Systems) {
      state.push_back(slot->System.Time);
      for (const TParticle& p : slot->System.Particles) {
        if (!p.Alive) continue;
        for (float v : {p.Birth, p.Lifespan, p.Size, p.Position.x, p.Position.y, p.Position.z, p.Velocity.x,
                        p.Velocity.y, p.Velocity.z, p.DisplayPosition.x, p.DisplayPosition.y, p.DisplayPosition.z})
          state.push_back(v);
      }
    }
  return state;
}

}  // namespace

TEST_F(EmitterObjects, RenderBeginReachesWhatARenderFromFrameZeroReaches) {
  // Objects that step differently: moving, delayed, ahead of the scene and hidden for a while,
  // disabled, and one with two slots.
  TEmitterObject& moving = Make("moving");
  Stage().Scene.FromHandle(moving.SceneObject)->Position.SetKey(0, {0, 0, 0});
  Stage().Scene.FromHandle(moving.SceneObject)->Position.SetKey(20, {4, 0, 0});
  Make("delayed").FrameOffset = 3;
  TEmitterObject& ahead = Make("ahead");
  ahead.FrameOffset = -2;
  ahead.Visibility.Clear();
  ahead.Visibility.AddKey(0, 1);
  ahead.Visibility.AddKey(6, 0);
  ahead.Visibility.AddKey(10, 1);
  ahead.Visibility.AddKey(FarKeyX, 1);
  Make("off").Enabled = 0;
  Make("two").AddSystem();
  for (const auto& e : manager.EmitterList)
    for (const auto& slot : e->Systems) {
      slot->System.Flow.Clear();
      slot->System.Flow.AddKey(0, 3);
      slot->System.Flow.AddKey(FarKeyX, 3);
    }

  for (int frame : {1, 7, 12}) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    RandomSeed = 0;
    InitRandomTable();
    SetHostTime(0);
    manager.RenderBegin();
    for (int f = 0; f <= frame; ++f) {
      SetHostTime(static_cast<float>(f));
      manager.RenderFrame(nullptr);
    }
    const std::vector<float> sequence = StateOf(manager);
    const uint32_t seedAfterSequence = RandomSeed;

    RandomSeed = 0;
    InitRandomTable();
    SetHostTime(static_cast<float>(frame));
    manager.RenderBegin();
    manager.RenderFrame(nullptr);
    EXPECT_EQ(StateOf(manager), sequence);
    EXPECT_EQ(RandomSeed, seedAfterSequence);
    EXPECT_GT(sequence.size(), 50u);
  }
}

// The catch-up shows its progress in the status line as it goes (a host without panels shows it
// from there), calls onFrame once per simulated scene frame (all emitters step together), and
// clears the line.
TEST_F(EmitterObjects, RenderBeginReportsItsProgress) {
  TEmitterObject& a = Make("a");
  TEmitterObject& b = Make("b");
  b.FrameOffset = 150;
  SetHostTime(400);
  const int64_t total = RewindFrameCount();
  EXPECT_EQ(total, 400);
  auto& platform = static_cast<THeadlessPlatform&>(Platform());
  std::vector<std::string> seen;
  manager.RenderBegin([&] { seen.push_back(platform.StatusText); });
  ASSERT_EQ(static_cast<int64_t>(seen.size()), total);
  EXPECT_EQ(seen[0], "");
  EXPECT_EQ(seen[1], "Preparing animation... 0%");
  EXPECT_EQ(seen[4], "Preparing animation... 1%");   // 4 of 400 frames done
  EXPECT_EQ(seen.back(), "Preparing animation... 99%");
  EXPECT_EQ(platform.StatusText, "") << "cleared at the end";
  EXPECT_EQ(a.Systems[0]->System.Time, 399);
  EXPECT_EQ(b.Systems[0]->System.Time, 249);
}

// A large negative offset makes render begin re-simulate every frame since; the catch-up polls
// the host's interrupt once a frame and stops at the first one.
TEST_F(EmitterObjects, CatchUpStopsAtTheFirstInterrupt) {
  struct TRecording : THeadlessPlatform {
    uint32_t TickCount() override { return Ticks += 100; }  // half a second every five calls
    void SetStatusText(const std::string& text) override { Texts.push_back(text); }
    uint32_t Ticks = 0;
    std::vector<std::string> Texts;
  };
  auto owned = std::make_unique<TRecording>();
  [[maybe_unused]] TRecording& platform = *owned;
  auto previous = InstallPlatform(std::move(owned));
  TEmitterObject& e = Make("e");
  e.FrameOffset = -2000000000;
  SetHostTime(1);  // render begin steps scene frame 0: local frame 2e9
  Stage().InterruptAfterChecks = 50;
  manager.RenderBegin();
  Stage().InterruptAfterChecks = -1;
  const auto mine = InstallPlatform(std::move(previous));  // kept alive for the checks below
  // Stopped within the first fifty checks, not two billion frames later.
  EXPECT_GE(e.Systems[0]->System.Time, 0);
  EXPECT_LT(e.Systems[0]->System.Time, 50);
}

// Four systems with an absurd flow share one scene-wide budget: together they stay within it,
// and the user hears of it once per render, not once per frame or system.
TEST_F(EmitterObjects, ParticleMemoryIsBoundedForTheSceneAndReportedOnce) {
  auto previous = InstallPlatform(nullptr);
  auto& platform = static_cast<THeadlessPlatform&>(Platform());
  ::setenv(ParticleMemoryVariable, "64", 1);
  for (int k = 0; k < 4; ++k) {
    TParticleSystem& s = Make("e" + std::to_string(k)).Systems[0]->System;
    s.Flow.Clear();
    s.Flow.AddKey(0, 1e7);
    s.Flow.AddKey(8192, 1e7);
  }
  SetHostTime(2);
  manager.RenderBegin();
  for (int f = 2; f <= 4; ++f) {
    SetHostTime(static_cast<float>(f));
    manager.RenderFrame(nullptr);
  }
  size_t total = 0;
  for (const auto& e : manager.EmitterList) total += e->Systems[0]->System.Particles.size();
  EXPECT_LE(total, ParticleSlotsForMB(64));
  EXPECT_GT(total, ParticleSlotsForMB(64) / 2);
  EXPECT_EQ(manager.Budget.Used, total);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.Messages[0].find("(64 MB, "), std::string::npos) << platform.Messages[0];
  // The next render reports again, once; a reset gives the slots back.
  manager.RenderBegin();
  EXPECT_EQ(platform.Messages.size(), 2u);
  TParticleSystem& first = manager.EmitterList[0]->Systems[0]->System;
  const size_t before = manager.Budget.Used, held = first.Particles.size();
  ASSERT_GT(held, 0u);
  first.Reset();
  EXPECT_EQ(manager.Budget.Used, before - held);
  // A setting that is not a number of megabytes is reported, and the default used.
  ::setenv(ParticleMemoryVariable, "lots", 1);
  platform.Messages.clear();
  manager.RenderBegin();
  ::unsetenv(ParticleMemoryVariable);
  ASSERT_FALSE(platform.Messages.empty());
  EXPECT_NE(platform.Messages[0].find("VANTREL_PARTICLE_MEMORY=\"lots\""), std::string::npos) << platform.Messages[0];
  EXPECT_EQ(manager.Budget.Limit, ParticleSlotsForMB(DefaultParticleMemoryMB));
  InstallPlatform(std::move(previous));
}

TEST_F(EmitterObjects, RenderFrameSkipsHiddenAndDisabled) {
  TEmitterObject& e = Make("e");
  e.Visibility.Clear();
  e.Visibility.AddKey(0, 1);
  e.Visibility.AddKey(3, 0);
  e.Visibility.AddKey(6, 1);
  e.Visibility.AddKey(FarKeyX, 1);
  SetHostTime(0);
  manager.RenderBegin();
  int submitted = 0;
  for (int f = 0; f <= 7; ++f) {
    SetHostTime(static_cast<float>(f));
    e.RenderFrame([&](TParticleSystem&) { ++submitted; });
    if (f == 4) {
      EXPECT_EQ(e.Systems[0]->System.Time, 3);
    }
  }
  // Frames 4 to 6 are hidden (a step curve changes just after its key); frame 7 catches up.
  EXPECT_EQ(submitted, 5);
  EXPECT_EQ(e.Systems[0]->System.Time, 7);
  EXPECT_EQ(static_cast<THeadlessPlatform&>(Platform()).StatusText, "");
  e.Enabled = 0;
  SetHostTime(8);
  e.RenderFrame(nullptr);
  EXPECT_EQ(e.Systems[0]->System.Time, 7);
}

TEST_F(EmitterObjects, SurfaceSourcesDepthFirst) {
  stage::TScene& scene = Stage().Scene;
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  stage::TNode& group = scene.AddGroup("group");
  stage::TNode& a = scene.AddPrimitive("a", box, &group);
  stage::TNode& inner = scene.AddGroup("inner", &group);
  stage::TNode& b = scene.AddPrimitive("b", box, &inner);
  stage::TNode& emitterNode = scene.AddGroup("emitter", &group);
  stage::TNode& c = scene.AddPrimitive("c", box, &group);
  scene.AddPrimitive("elsewhere", box);
  TEmitterObject e;
  e.SceneObject = H(emitterNode);
  e.CollectSurfaceSources();
  EXPECT_EQ(e.SurfaceSources, (std::vector<tsxGNODE*>{H(a), H(b), H(c)}));
  TEmitterObject top;
  top.SceneObject = H(scene.AddGroup("top"));
  top.CollectSurfaceSources();
  EXPECT_TRUE(top.SurfaceSources.empty());
}

// A frozen emitter that turns: from its freeze frame on, its particles keep their simulated
// places relative to it and turn with it, rigidly about the emitter, by the angle it turned
// since the freeze (here 90° about Z).
TEST_F(EmitterObjects, FrozenParticlesTurnWithTheEmitter) {
  TEmitterObject& e = Make("turning");
  stage::TNode& node = *Stage().Scene.FromHandle(e.SceneObject);
  node.Position.Rest = {2, 0, 0};
  node.Rotation.SetKey(20, {0, 0, 0});
  node.Rotation.SetKey(40, {0, 0, 90});
  e.FreezeFrame = 20;
  TParticleSystem& s = e.Systems[0]->System;
  s.Flow.Clear();
  s.Flow.AddKey(0, 4);
  s.Flow.AddKey(FarKeyX, 4);
  SetHostTime(40);
  manager.RenderBegin();
  manager.RenderFrame(nullptr);
  int checked = 0;
  for (const TParticle& p : s.Particles) {
    if (!p.Alive) continue;
    const float dx = p.DisplayPosition.x - 2, dy = p.DisplayPosition.y, dz = p.DisplayPosition.z;
    EXPECT_NEAR(p.RenderPosition.x, 2 - dy, 1e-4f);
    EXPECT_NEAR(p.RenderPosition.y, dx, 1e-4f);
    EXPECT_NEAR(p.RenderPosition.z, dz, 1e-4f);
    checked += std::fabs(dx) + std::fabs(dy) > 0.01f;
  }
  EXPECT_GT(checked, 5) << "particles away from the emitter's axis";
  EXPECT_EQ(s.Time, 19) << "the system keeps the time of the frame before the freeze";
}
