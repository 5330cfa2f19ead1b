// Stepping on several threads: the generator's jump ahead, the worker pool, and a system with
// every kind of tool stepped on 1, 2, 3 and 8 threads giving the same particles, the same tool
// state and the same generator state after every frame, bit for bit.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "stage/Stage.h"

namespace {

TEST(SeedAfter, IsThatManyDrawsAhead) {
  for (const uint32_t start : {0u, RunSeed, 0xFFFFFFFFu, 0x80000000u}) {
    for (const uint64_t draws : {0ull, 1ull, 2ull, 3ull, 7ull, 64ull, 1000ull, 123457ull}) {
      uint32_t seed = start;
      for (uint64_t i = 0; i < draws; ++i) seed = NextSeed(seed);
      EXPECT_EQ(SeedAfter(start, draws), seed) << start << " + " << draws;
    }
  }
  // The period is 2^32: a whole period comes back to the start.
  EXPECT_EQ(SeedAfter(RunSeed, uint64_t{1} << 32), RunSeed);
}

TEST(WorkerPool, RunsEveryTaskOnce) {
  for (const int threads : {1, 2, 3, 8}) {
    TWorkerPool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    for (const int64_t count : {0, 1, 5, 1000}) {
      std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
      pool.Run(count, [&](int64_t i) { hits[static_cast<size_t>(i)].fetch_add(1); });
      for (int64_t i = 0; i < count; ++i) ASSERT_EQ(hits[static_cast<size_t>(i)].load(), 1) << threads << ": task " << i;
    }
  }
  // One thread runs the tasks on the caller, in order.
  TWorkerPool one(1);
  std::vector<int64_t> order;
  one.Run(4, [&](int64_t i) { order.push_back(i); });
  EXPECT_EQ(order, (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_EQ(TWorkerPool(0).Threads(), 1);
}

TEST(WorkerPool, PassesOnTheErrorOfTheLowestTask) {
  TWorkerPool pool(4);
  std::atomic<int> ran{0};
  try {
    pool.Run(200, [&](int64_t i) {
      ran.fetch_add(1);
      if (i == 150 || i == 60) throw std::runtime_error(std::to_string(i));
    });
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "60");
  }
  EXPECT_EQ(ran.load(), 200);  // the other tasks still ran
  int after = 0;
  pool.Run(3, [&](int64_t) { ++after; });  // tasks may touch plain data: one pass at a time...
  EXPECT_EQ(after, 3);                      // ...and the pool still works
}

TEST(WorkerPool, ThreadsFromTheEnvironment) {
  const struct {
    const char* value;
    int threads;  // 0: the machine's
    bool error;
  } cases[] = {{nullptr, 0, false}, {"1", 1, false}, {"3", 3, false}, {"256", 256, false},
               {"0", 0, true},      {"-2", 0, true}, {"two", 0, true}, {"2x", 0, true},
               {"257", 0, true},    {"", 0, true}};
  for (const auto& c : cases) {
    if (c.value)
      setenv(ThreadsVariable, c.value, 1);
    else
      unsetenv(ThreadsVariable);
    std::string error;
    EXPECT_EQ(WorkerThreadsFromEnvironment(&error), c.threads ? c.threads : MachineThreads()) << (c.value ? c.value : "unset");
    EXPECT_EQ(!error.empty(), c.error) << (c.value ? c.value : "unset") << ": " << error;
  }
  unsetenv(ThreadsVariable);
}

// ---- A system with every tool kind, stepped on a number of threads.

stage::TNode& Box(const std::string& name, float x, float y, float z) {
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  box.Size = {x, y, z};
  return stage::Stage().Scene.AddPrimitive(name, box);
}

struct TToolOrder {
  const char* name;
  bool absorbs;      // the deflector absorbs (with tool lives, so that it stops at frame 40)
  bool killerFirst;  // the deflector comes before the leader in the list
  bool culler;       // a tool that kills every third particle comes first of all
};

// Kills every third particle from frame 5 on: many of the particles a leader after it would have
// taken its target from never reach it.
struct TCuller : TParticleModifier {
  void ReadFrom(TStream&) override {}
  void WriteTo(TStream&) const override {}
  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override {
    if (system.Time < 5 || p.Index % 3 != 0) return;
    p.Alive = false;
    ++lane.Killed;
  }
  bool MayKill(const TParticleSystem&) const override { return true; }
};

// Hands the system its tools for every step, updating their poses as the gathering does.
struct TToolOwner : TParticleSystemOwner {
  std::vector<TParticleModifier*> tools;
  void UpdateFromHost(TParticleSystem&) override {}
  void CollectModifiers(TParticleSystem&, std::vector<TParticleModifier*>& list) override {
    for (TParticleModifier* m : tools) {
      list.push_back(m);
      m->UpdateTransform();
    }
  }
};

// What a frame leaves: every live particle's fields that a step writes, the live count, the
// leader's target and the generator.
std::string Snapshot(const TParticleSystem& s, const TPathingModifier& leader) {
  std::string out;
  auto put = [&](const auto& v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); };
  for (const TParticle& p : s.Particles) {
    put(p.Alive);
    if (!p.Alive) continue;
    put(p.Position), put(p.Velocity), put(p.BaseVelocity), put(p.PrevPosition), put(p.DisplayPosition);
    put(p.RenderPosition), put(p.Angle), put(p.VortexAngle), put(p.Birth), put(p.Lifespan), put(p.Color);
  }
  put(s.LiveCount), put(leader.Center), put(RandomSeed), put(s.Particles.size());
  return out;
}

std::vector<std::string> StepWithTools(int threads, const TToolOrder& order, int frames) {
  stage::ResetStage();
  // Just below the emitter: most particles cross it within a few frames of their birth.
  stage::TNode& floor = Box("floor", 10, 10, 0.01f);
  floor.Position.Rest = {0, 0, -0.3f};
  stage::TNode& fanNode = Box("fan", 2, 2, 1);
  fanNode.Position.Rest = {0.5f, 0, 0};
  stage::TNode& pointNode = Box("point", 1, 1, 1);
  pointNode.Position.Rest = {1, 1, 2};
  stage::TNode& gravNode = Box("gravitron", 3, 3, 0.2f);

  TPlaneDeflectorModifier deflector;
  deflector.SceneObject = stage::TScene::Handle(&floor);
  deflector.Absorbs = order.absorbs;
  if (order.absorbs) deflector.ToolLifespan = 20, deflector.ToolLives = 2;
  TPlaneFanModifier fan;
  fan.SceneObject = stage::TScene::Handle(&fanNode);
  fan.Falloff = FalloffLinear;
  TAttractModifier attractor;
  attractor.SceneObject = stage::TScene::Handle(&pointNode);
  TRepulseModifier repulsor;
  repulsor.SceneObject = stage::TScene::Handle(&pointNode);
  repulsor.Falloff = FalloffSquared;
  TPathingModifier leader;
  leader.SceneObject = stage::TScene::Handle(&pointNode);
  // Seven samples: particles in the last fourteenth of their lives fall outside the path and are
  // drawn to whatever target the particles before them left.
  leader.Path = {{0, 0, 3}, {2, 0, 1}, {-2, 1, 0}, {1, 2, 2}, {0, -2, 1}, {3, 3, 0}, {-1, -1, 4}};
  TGravitronModifier gravitron;
  gravitron.SceneObject = stage::TScene::Handle(&gravNode);
  gravitron.Infinite = true;

  TCuller culler;
  TToolOwner owner;
  if (order.culler)
    owner.tools = {&culler, &leader, &fan, &attractor, &deflector, &repulsor, &gravitron};
  else if (order.killerFirst)
    owner.tools = {&deflector, &fan, &attractor, &leader, &repulsor, &gravitron};
  else
    owner.tools = {&fan, &attractor, &leader, &deflector, &repulsor, &gravitron};

  TWorkerPool pool(threads);
  pool.ParallelStepMinimum = 0;  // chunks even for the first few particles
  TParticleSystem s;
  s.Owner = &owner;
  s.Workers = &pool;
  s.SpatialDither = 0.5f;
  s.Flow.Clear();
  s.Flow.AddKey(0, 800);
  s.Flow.AddKey(FarKeyX, 800);
  s.Flow.ClampMode = ClampNone;
  s.OnEmit = [](TParticleSystem&, TParticle& p) {
    p.Mass = Random() < 0.1 ? 0 : 1;  // some take no force
    p.Lifespan = static_cast<float>(10 + RandomInt(30));
    p.Size = 0.1f;
    p.BaseVelocity = {static_cast<float>(Random() - 0.5) * 0.2f, static_cast<float>(Random() - 0.5) * 0.2f,
                      static_cast<float>(Random() - 0.7) * 0.2f};
    p.GravityVec = {0, 0, -0.01f};
    p.VortexSpeed = static_cast<float>(Random() - 0.5);
    p.Axis = {0, 0, 1};
  };
  RandomSeed = RunSeed;
  s.Reset();
  std::vector<std::string> snapshots;
  for (int f = 0; f < frames; ++f) {
    SceneFrame = static_cast<float>(f);
    s.StepTo(static_cast<float>(f));
    snapshots.push_back(Snapshot(s, leader));
  }
  return snapshots;
}

TEST(ParallelStep, EveryToolGivesTheSameParticlesOnAnyThreadCount) {
  const TToolOrder orders[] = {{"bouncing floor", false, false, false},
                               {"absorbing floor after the leader", true, false, false},
                               {"absorbing floor before the leader", true, true, false},
                               {"a tool that kills before the leader", true, false, true}};
  for (const TToolOrder& order : orders) {
    const std::vector<std::string> one = StepWithTools(1, order, 60);
    ASSERT_GT(one.back().size(), 3000u * 50) << "too few particles to spread over threads";
    for (const int threads : {2, 3, 8}) {
      const std::vector<std::string> many = StepWithTools(threads, order, 60);
      ASSERT_EQ(many.size(), one.size());
      for (size_t f = 0; f < one.size(); ++f)
        ASSERT_TRUE(many[f] == one[f]) << order.name << ", " << threads << " threads: frame " << f << " differs";
    }
  }
}

}  // namespace
