// Force tools on stage scene objects: tool time, attractor and repulsor gains with falloff, the
// fan's column, the deflector's bounce and absorption, scope by hierarchy, the leader, and tools
// posed with the animated groups they sit in.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/TsxHelper.h"
#include "stage/Stage.h"

namespace {

using stage::Stage;

stage::TNode& Box(const std::string& name, float x, float y, float z, stage::TNode* parent = nullptr) {
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  box.Size = {x, y, z};
  return Stage().Scene.AddPrimitive(name, box, parent);
}

tsxSOBJ* H(stage::TNode& n) { return stage::TScene::Handle(&n); }

class Modifiers : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    system.Time = 0;
  }

  TParticle Particle(TVec3f at, TVec3f prev, float mass = 1) {
    TParticle p;
    p.Alive = true;
    p.Mass = mass;
    p.Position = at;
    p.PrevPosition = prev;
    p.Lifespan = 100;
    return p;
  }

  TParticleSystem system;
};

constexpr float Tol = 1e-7f;

}  // namespace

TEST_F(Modifiers, ToolTime) {
  TAttractModifier m;
  const struct {
    int32_t lifespan, lives;
    float frame, expected;
  } cases[] = {{0, 0, 37, 37},   {10, 2, 0, 0},   {10, 2, 9, 9},    {10, 2, 13, 3},
               {10, 2, 19, 9},   {10, 2, 20, -1}, {10, 0, 125, 5},  {10, 0, 12.5f, 2},
               {10, 2, 19.5f, 0}};
  for (const auto& c : cases) {
    m.ToolLifespan = c.lifespan;
    m.ToolLives = c.lives;
    EXPECT_EQ(m.ToolTime(c.frame), c.expected) << c.lifespan << "/" << c.lives << " at " << c.frame;
  }
}

TEST_F(Modifiers, AttractorAndRepulsorGains) {
  stage::TNode& tool = Box("tool", 1, 1, 1);
  const struct {
    bool repulse;
    uint8_t falloff;
    float gain;
  } cases[] = {{false, FalloffNone, -0.025f}, {true, FalloffNone, 0.025f},
               {false, FalloffLinear, -0.025f / 11}, {false, FalloffSquared, -0.025f / 121}};
  for (const auto& c : cases) {
    std::unique_ptr<TAttractModifier> m = c.repulse ? std::make_unique<TRepulseModifier>()
                                                    : std::make_unique<TAttractModifier>();
    m->SceneObject = H(tool);
    m->Falloff = c.falloff;
    m->UpdateTransform();
    TParticle p = Particle({10, 0, 0}, {10, 0, 0});
    m->Apply(system, p);
    EXPECT_NEAR(p.Velocity.x, c.gain, 1e-8) << "falloff " << int(c.falloff) << " repulse " << c.repulse;
    EXPECT_EQ(p.Velocity.y, 0);
    EXPECT_EQ(p.Position.x, 10);
  }
}

TEST_F(Modifiers, FanPushesOnlyItsColumn) {
  stage::TNode& tool = Box("fan", 2, 2, 1);
  TPlaneFanModifier fan;
  fan.SceneObject = H(tool);
  fan.UpdateTransform();
  const struct {
    TVec3f at;
    bool pushed;
  } cases[] = {{{0, 0, 0.5f}, true},  {{0.9f, -0.9f, 30}, true}, {{0, 0, -0.1f}, false},
               {{1.1f, 0, 1}, false}, {{0, -1.2f, 1}, false}};
  for (const auto& c : cases) {
    TParticle p = Particle(c.at, c.at);
    fan.Apply(system, p);
    EXPECT_NEAR(p.Position.z - c.at.z, c.pushed ? 0.05f : 0, 1e-5) << c.at.x << "," << c.at.y << "," << c.at.z;
    EXPECT_EQ(p.Velocity.z, 0);
  }
  // Scale widens the column.
  fan.Scale = 3;
  fan.UpdateTransform();
  TParticle p = Particle({2.5f, 0, 1}, {2.5f, 0, 1});
  fan.Apply(system, p);
  EXPECT_NEAR(p.Position.z, 1.05f, 1e-6);
}

// A tool turned in the scene acts along its own axes: a fan turned 90° about Y blows along +X,
// over a column that its turned face spans in y and z.
TEST_F(Modifiers, ARotatedFanBlowsAlongItsOwnAxis) {
  stage::TNode& tool = Box("fan", 2, 2, 1);
  tool.Rotation.Rest = {0, 90, 0};
  TPlaneFanModifier fan;
  fan.SceneObject = H(tool);
  fan.UpdateTransform();
  const struct {
    TVec3f at;
    bool pushed;
  } cases[] = {{{0.5f, 0, 0}, true},   {{20, 0.9f, -0.9f}, true}, {{-0.1f, 0, 0}, false},
               {{0.5f, 0, 1.1f}, false}, {{0.5f, 1.2f, 0}, false}};
  for (const auto& c : cases) {
    TParticle p = Particle(c.at, c.at);
    fan.Apply(system, p);
    EXPECT_NEAR(p.Position.x - c.at.x, c.pushed ? 0.05f : 0, 1e-5) << c.at.x << "," << c.at.y << "," << c.at.z;
    EXPECT_NEAR(p.Position.y, c.at.y, 1e-5);
    EXPECT_NEAR(p.Position.z, c.at.z, 1e-5);
  }
}

// A tool's lifespan through real steps of a system: a fan that lives 5 frames, once, pushes a
// particle in its column in the system's frames 0 to 4 and never after; with lives 0 it lives
// again and again.
TEST_F(Modifiers, AToolsLifespanHoldsThroughRealSteps) {
  struct TOwner : TParticleSystemOwner {
    TParticleModifier* Tool = nullptr;
    void UpdateFromHost(TParticleSystem&) override {}
    void CollectModifiers(TParticleSystem&, std::vector<TParticleModifier*>& list) override { list.push_back(Tool); }
  };
  stage::TNode& tool = Box("fan", 2, 2, 1);
  TPlaneFanModifier fan;
  fan.SceneObject = H(tool);
  fan.UpdateTransform();
  fan.ToolLifespan = 5;
  for (int32_t lives : {1, 0}) {
    SCOPED_TRACE("lives " + std::to_string(lives));
    fan.ToolLives = lives;
    TOwner owner;
    owner.Tool = &fan;
    TParticleSystem s;
    s.Owner = &owner;
    s.Time = -1;  // the first step is frame 0
    s.Flow.Clear();  // no emission: one particle placed by hand
    s.Flow.AddKey(0, 0);
    s.Flow.AddKey(FarKeyX, 0);
    TParticle p = Particle({0, 0, 0.5f}, {0, 0, 0.5f});
    p.Birth = -1;
    p.Lifespan = 1000;
    s.Particles.push_back(p);
    s.LiveCount = 1;
    std::vector<int> pushedFrames;
    for (int frame = 0; frame < 12; ++frame) {
      const float before = s.Particles[0].Position.z;
      s.StepTo(static_cast<float>(frame));
      if (s.Particles[0].Position.z > before + 0.01f) pushedFrames.push_back(frame);
    }
    EXPECT_EQ(pushedFrames, lives == 1 ? (std::vector<int>{0, 1, 2, 3, 4})
                                       : (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  }
}

TEST_F(Modifiers, DeflectorBouncesAndAbsorbs) {
  stage::TNode& plane = Box("deflector", 2, 2, 0.01f);
  for (bool absorbs : {false, true}) {
    TPlaneDeflectorModifier d;
    d.SceneObject = H(plane);
    d.Absorbs = absorbs;
    SceneFrame = 0;
    d.UpdateTransform();
    system.LiveCount = 1;
    TParticle p = Particle({0, 0, -0.5f}, {0, 0, 0.5f});
    p.BaseVelocity = {0.1f, 0, -1};
    p.Velocity = {0, 0, -0.2f};
    d.Apply(system, p);
    EXPECT_NEAR(p.Position.z, 0, 1e-6);
    if (absorbs) {
      EXPECT_FALSE(p.Alive);
      EXPECT_EQ(system.LiveCount, 0);
    } else {
      EXPECT_TRUE(p.Alive);
      EXPECT_NEAR(p.BaseVelocity.z, 0.3f, 1e-6);
      EXPECT_NEAR(p.BaseVelocity.x, 0.03f, 1e-6);
      EXPECT_NEAR(p.Velocity.z, 0.06f, 1e-6);
      EXPECT_EQ(system.LiveCount, 1);
    }
  }
  // Outside the rectangle, nothing happens.
  TPlaneDeflectorModifier d;
  d.SceneObject = H(plane);
  d.UpdateTransform();
  TParticle far = Particle({1.5f, 0, -0.5f}, {1.5f, 0, 0.5f});
  far.BaseVelocity = {0, 0, -1};
  d.Apply(system, far);
  EXPECT_EQ(far.Position.z, -0.5f);
}

// Gathers one tool for every step, posed as a system's owner poses it.
class OneToolOwner : public TParticleSystemOwner {
 public:
  explicit OneToolOwner(TParticleModifier& tool) : Tool(tool) {}
  void UpdateFromHost(TParticleSystem&) override {}
  void CollectModifiers(TParticleSystem&, std::vector<TParticleModifier*>& list) override {
    Tool.UpdateTransform();
    list.push_back(&Tool);
  }
  TParticleModifier& Tool;
};

TEST_F(Modifiers, GrowingParticlesDoNotPassThroughADeflector) {
  // The radius grows by 0.1 a frame while the particle falls 0.03: the plane, lifted by the
  // radius, overtakes the particle from below before the particle reaches it.
  stage::TNode& plane = Box("deflector", 2, 2, 0.01f);
  TPlaneDeflectorModifier d;
  d.SceneObject = H(plane);
  SceneFrame = 0;
  struct Case {
    const char* name;
    float x, z, fall;
    bool caught;
  } cases[] = {
      {"growing, inside", 0, 1, 0.03f, true},
      {"growing, beside the plane", 1.5f, 1, 0.03f, false},
      {"growing, starts behind the plane", 0, -0.05f, 0.03f, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TParticleSystem grows;
    grows.Flow.Clear();
    grows.Flow.AddKey(0, 0);
    grows.Size.Clear();
    grows.Size.AddKey(0, 0);
    grows.Size.AddKey(100, 20);
    OneToolOwner owner(d);
    grows.Owner = &owner;
    grows.Time = 0;
    grows.Particles.resize(1);
    TParticle& p = grows.Particles[0];
    p = Particle({c.x, 0, c.z}, {c.x, 0, c.z});
    p.Size = 1;
    p.Birth = 0;
    p.BaseVelocity = {0, 0, -c.fall};
    grows.LiveCount = 1;
    float lowest = c.z;
    for (int frame = 1; frame < 60; ++frame) {
      grows.StepTo(static_cast<float>(frame));
      lowest = std::min(lowest, p.Position.z);
    }
    if (c.caught) {
      EXPECT_GE(lowest, 0.0f);                 // never behind the plane
      EXPECT_GT(p.BaseVelocity.z, 0.0f);       // it bounced
    } else {
      EXPECT_NEAR(p.Position.z, c.z - 59 * c.fall, 1e-4);  // on its path, as before
      EXPECT_EQ(p.BaseVelocity.z, -c.fall);
    }
  }
}

TEST_F(Modifiers, PlaneMovingPastAParticleDoesNotBounce) {
  stage::TNode& plane = Box("deflector", 2, 2, 0.01f);
  plane.Position.SetKey(0, {0, 0, 0});
  plane.Position.SetKey(1, {0, 0, 2});
  TPlaneDeflectorModifier d;
  d.SceneObject = H(plane);
  Stage().Scene.SetTime(1);
  SceneFrame = 1;
  d.UpdateTransform();  // previous pose at 0, current at 1
  // The particle rises slowly from 0.5 to 0.6; the plane jumped from below to above it.
  TParticle p = Particle({0, 0, 0.6f}, {0, 0, 0.5f});
  p.BaseVelocity = {0, 0, 0.1f};
  d.Apply(system, p);
  EXPECT_EQ(p.Position.z, 0.6f);
  EXPECT_EQ(p.BaseVelocity.z, 0.1f);
  // The host's pose was put back at the scene frame.
  EXPECT_EQ(plane.PoseFrame, 1);
}

TEST_F(Modifiers, ScopeFollowsTheHierarchy) {
  stage::TNode& groupA = Stage().Scene.AddGroup("A");
  stage::TNode& groupB = Stage().Scene.AddGroup("B");
  stage::TNode& emitter = Stage().Scene.AddGroup("emitter", &groupA);
  TAttractModifier inA, inB, top, none, off;
  inA.SceneObject = H(Box("a", 1, 1, 1, &groupA));
  inB.SceneObject = H(Box("b", 1, 1, 1, &groupB));
  top.SceneObject = H(Box("top", 1, 1, 1));
  off.SceneObject = top.SceneObject;
  off.Active = false;
  ActiveModifiers = {&inA, &inB, &top, &none, &off};
  std::vector<TParticleModifier*> list;
  CollectModifiers(H(emitter), list);
  EXPECT_EQ(list, (std::vector<TParticleModifier*>{&inA, &top, &none}));
  ActiveModifiers.clear();
}

TEST_F(Modifiers, WithoutSceneObjectNothingHappens) {
  TPlaneDeflectorModifier d;
  TPlaneFanModifier f;
  TAttractModifier a;
  TPathingModifier l;
  TGravitronModifier g;
  for (TParticleModifier* m : std::initializer_list<TParticleModifier*>{&d, &f, &a, &l, &g}) {
    m->UpdateTransform();
    TParticle p = Particle({3, 0, 0}, {3, 0, 1});
    p.BaseVelocity = {0, 0, -1};
    m->Apply(system, p);
    EXPECT_EQ(p.Position, (TVec3f{3, 0, 0})) << m->KindName;
    EXPECT_EQ(p.Velocity, ZeroVec3f) << m->KindName;
  }
}

TEST_F(Modifiers, LeaderFollowsItsPath) {
  stage::TNode& leader = Box("leader", 1, 1, 1);
  leader.Position.SetKey(0, {0, 0, 0});
  leader.Position.SetKey(10, {10, 0, 0});
  TPathingModifier m;
  m.SceneObject = H(leader);
  m.Prepare();
  ASSERT_EQ(m.Path.size(), 11u);
  EXPECT_EQ(m.Path[3].x, 3);
  EXPECT_EQ(leader.PoseFrame, Stage().Scene.Time());
  m.UpdateTransform();
  system.Time = 30;  // 30 % of a 100-frame life: towards frame 3 of the path
  TParticle p = Particle({3, 4, 0}, {3, 4, 0});
  m.Apply(system, p);
  EXPECT_NEAR(p.Position.y, 4 - 4 * 0.0025f, 1e-6);
  EXPECT_EQ(p.Velocity, ZeroVec3f);

  // A single-frame range: one entry; past half its life a particle is drawn to the last centre.
  stage::TNode& still = Box("still", 1, 1, 1);
  still.Position.SetKey(5, {1, 1, 1});
  TPathingModifier one;
  one.SceneObject = H(still);
  one.Prepare();
  ASSERT_EQ(one.Path.size(), 1u);
  one.Center = {7, 0, 0};
  system.Time = 60;
  TParticle q = Particle({0, 0, 0}, {0, 0, 0});
  one.Apply(system, q);
  EXPECT_GT(q.Position.x, 0);  // towards (7, 0, 0), not (1, 1, 1)
  EXPECT_EQ(q.Position.y, 0);
}

TEST_F(Modifiers, MasslessParticlesAndFlatToolsStayFinite) {
  stage::TMeshSource plane;
  plane.Kind = stage::TPrimitive::Plane;
  plane.Size = {2, 2, 0};
  stage::TNode& flat = Stage().Scene.AddPrimitive("flat", plane);
  TAttractModifier a;
  a.SceneObject = H(flat);
  a.Falloff = FalloffSquared;
  a.UpdateTransform();
  TGravitronModifier g;
  g.SceneObject = H(flat);
  g.UpdateTransform();
  for (float mass : {0.0f, 1.0f}) {
    TParticle p = Particle({0.5f, 0, 0}, {0.5f, 0, 0}, mass);
    a.Apply(system, p);
    g.Apply(system, p);
    EXPECT_TRUE(std::isfinite(p.Velocity.x) && std::isfinite(p.Velocity.z)) << mass;
    if (mass == 0) {
      EXPECT_EQ(p.Velocity, ZeroVec3f);
    }
  }
  TParticle centred = Particle({0, 0, 0}, {0, 0, 0});
  a.Apply(system, centred);
  EXPECT_EQ(centred.Velocity, ZeroVec3f);
}

TEST_F(Modifiers, GravitronStrengthGrowsWithHeight) {
  stage::TNode& tool = Box("gravitron", 2, 2, 0.2f);
  TGravitronModifier g;
  g.SceneObject = H(tool);
  g.UpdateTransform();
  TParticle inside = Particle({0.5f, 0.5f, 40}, {0.5f, 0.5f, 40});
  g.Apply(system, inside);
  EXPECT_NEAR(inside.Velocity.z, 0.001f, 1e-7);
  TParticle outside = Particle({3, 0, 0}, {3, 0, 0});
  g.Apply(system, outside);
  EXPECT_EQ(outside.Velocity.z, 0);
  g.Infinite = true;
  g.Apply(system, outside);
  EXPECT_NEAR(outside.Velocity.z, 0.001f, 1e-7);
}

namespace {

// Where a node is in the world with the whole scene at a frame; the scene's time is put back.
TVec3f WorldPositionAt(stage::TNode& node, float frame) {
  const float time = Stage().Scene.Time();
  Stage().Scene.SetTime(frame);
  TVec3f at;
  GetMxTranslation3f(at, ObjectTransform(H(node)));
  Stage().Scene.SetTime(time);
  return at;
}

}  // namespace

TEST_F(Modifiers, ToolsInAnAnimatedGroupArePosedWithIt) {
  // The group slides along X; inside it the leader climbs and the deflector sinks, each keyed
  // on its own.
  stage::TNode& rig = Stage().Scene.AddGroup("rig");
  rig.Position.SetKey(0, {0, 0, 0});
  rig.Position.SetKey(10, {10, 0, 0});
  stage::TNode& leader = Box("leader", 1, 1, 1, &rig);
  leader.Position.SetKey(0, {0, 0, 0});
  leader.Position.SetKey(10, {0, 0, 5});
  stage::TNode& plane = Box("deflector", 2, 2, 0.01f, &rig);
  plane.Position.SetKey(0, {0, 5, 0});
  plane.Position.SetKey(10, {0, 5, -10});
  Stage().Scene.SetTime(6);

  // The leader's path is where the leader is in the world at each frame of its range.
  TPathingModifier m;
  m.SceneObject = H(leader);
  m.Prepare();
  ASSERT_EQ(m.Path.size(), 11u);
  for (size_t i = 0; i < m.Path.size(); ++i) {
    const TVec3f expected = WorldPositionAt(leader, static_cast<float>(i));
    EXPECT_EQ(m.Path[i], expected) << "frame " << i;
  }
  EXPECT_EQ(m.Path[10].x, 10);  // the group's motion is in it
  EXPECT_EQ(rig.PoseFrame, 6);  // posed back at the scene's time, parents included
  EXPECT_EQ(leader.PoseFrame, 6);

  // The deflector's previous pose is its world pose one frame back, the group's motion
  // included; the current one the pose at the scene frame.
  TPlaneDeflectorModifier d;
  d.SceneObject = H(plane);
  SceneFrame = 6;
  d.UpdateTransform();
  EXPECT_EQ(d.PrevCenter, WorldPositionAt(plane, 5));
  EXPECT_EQ(d.Center, WorldPositionAt(plane, 6));
  EXPECT_EQ(rig.PoseFrame, 6);
  EXPECT_EQ(plane.PoseFrame, 6);
}
