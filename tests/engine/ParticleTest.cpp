// The particle system's step: frame counts, flow with its carried fraction, lifespans, system
// lives, movement, dither, gravity, swirl, the owner's hooks and reproducibility.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "engine/Particle.h"
#include "engine/ParticleModifier.h"
#include "engine/RandomTables.h"
#include "hostapi/Platform.h"

namespace {

void SetFlow(TParticleSystem& s, double flow) {
  s.Flow.Clear();
  s.Flow.AddKey(0, flow);
  s.Flow.AddKey(8192, flow);
}

// Emits particles that live `life` frames and move up by `speed` per frame.
void EmitSimple(TParticleSystem& s, float life, float speed = 0) {
  s.OnEmit = [life, speed](TParticleSystem&, TParticle& p) {
    p.Lifespan = life;
    p.BaseVelocity = {0, 0, speed};
  };
}

int EmittedAt(TParticleSystem& s, float frame) {
  int n = 0;
  s.StepTo(frame);
  for (const TParticle& p : s.Particles) n += p.Alive && p.Birth == frame;
  return n;
}

THeadlessPlatform& Headless() { return static_cast<THeadlessPlatform&>(Platform()); }

}  // namespace

TEST(ParticleSystem, Defaults) {
  TParticleSystem s;
  EXPECT_EQ(s.VariableCount(), 9);
  const struct {
    TVarSeries& curve;
    double value, lo, hi;
    uint8_t clamp, kind;
  } cases[] = {
      {s.Size, 1, 0, 4, ClampMin, XKindLifePercent},       {s.Speed, 1, 0, 2, ClampNone, XKindLifePercent},
      {s.Orientation, 0, -180, 180, ClampBoth, XKindLifePercent},
      {s.Gravity, 1, -2, 2, ClampNone, XKindLifePercent}, {s.Alpha, 1, 0, 1, ClampBoth, XKindLifePercent},
      {s.Intensity, 1, 0, 3, ClampBoth, XKindLifePercent},
      {s.Visibility, 1, -0.5, 1.5, ClampBoth, XKindLifePercent},
      {s.Flow, 5, 0, 10, ClampMin, XKindFrames},          {s.FlowJitter, 0, 0, 1, ClampMin, XKindFrames},
  };
  for (int i = 0; i < 9; ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(&s.Variable(i), &c.curve) << i;
    EXPECT_EQ(c.curve.Evaluate(12), c.value) << i;
    EXPECT_EQ(c.curve.MinValue, c.lo) << i;
    EXPECT_EQ(c.curve.MaxValue, c.hi) << i;
    EXPECT_EQ(c.curve.ClampMode, c.clamp) << i;
    EXPECT_EQ(c.curve.XKind, c.kind) << i;
  }
  EXPECT_EQ(s.Visibility.ValueStep, 1.0);
  EXPECT_EQ(s.Size.ValueStep, 0.01);
  EXPECT_EQ(s.MaxParticleSize, 2048);
  EXPECT_EQ(s.Time, 0);
  EXPECT_TRUE(s.Particles.empty());
}

TEST(ParticleSystem, StepCounts) {
  const struct {
    float target;
    int steps;
    bool beep;
  } cases[] = {{3, 3, false}, {2.4f, 2, false}, {2.5f, 2, false}, {3.5f, 4, false},
               {0, 0, false}, {-1, 0, true}};
  for (const auto& c : cases) {
    TParticleSystem s;
    SetFlow(s, 0);
    s.Reset();
    s.StepTo(0);
    ASSERT_EQ(s.Time, 0);
    const int beeps = Headless().Beeps;
    s.StepTo(c.target);
    EXPECT_EQ(s.Time, static_cast<float>(c.steps)) << "target " << c.target;
    EXPECT_EQ(Headless().Beeps - beeps, c.beep ? 1 : 0) << "target " << c.target;
  }
}

TEST(ParticleSystem, FirstStepMovesOnceAndSettles) {
  TParticleSystem s;
  SetFlow(s, 1);
  EmitSimple(s, 10, 0.5f);
  s.Reset();
  s.StepTo(0);
  ASSERT_EQ(s.LiveCount, 1);
  const TParticle& p = s.Particles[0];
  EXPECT_EQ(p.Birth, 0);
  EXPECT_EQ(p.Position.z, 0.5f);
  EXPECT_EQ(p.PrevPosition, p.Position);
  EXPECT_EQ(p.DisplayPosition, p.Position);
  EXPECT_EQ(p.RenderPosition, p.Position);
  EXPECT_EQ(p.Index, 0);
}

TEST(ParticleSystem, FlowCarriesItsFraction) {
  TParticleSystem half;
  SetFlow(half, 0.5);
  EmitSimple(half, 100);
  half.Reset();
  const int expected[] = {0, 1, 0, 1, 0};
  for (int f = 0; f < 5; ++f) EXPECT_EQ(EmittedAt(half, static_cast<float>(f)), expected[f]) << f;

  TParticleSystem five;
  EmitSimple(five, 100);
  five.Reset();
  EXPECT_EQ(EmittedAt(five, 0), 5);
  EXPECT_EQ(five.Particles.size(), 100u);
  EXPECT_EQ(EmittedAt(five, 1), 5);
  EXPECT_EQ(five.LiveCount, 10);

  // FlowScale multiplies the flow.
  TParticleSystem scaled;
  SetFlow(scaled, 0.5);
  EmitSimple(scaled, 100);
  scaled.Reset();
  scaled.FlowScale = 4;
  EXPECT_EQ(EmittedAt(scaled, 0), 2);
}

TEST(ParticleSystem, CarryIsASingleFloat) {
  // A flow of 9.6 repeats its count pattern by float arithmetic; a double carry drifts apart.
  TParticleSystem s;
  SetFlow(s, 9.6);
  EmitSimple(s, 1000);
  s.Reset();
  float carry = 0;
  double doubleCarry = 0;
  int floatTotal = 0, doubleTotal = 0, systemTotal = 0;
  bool differs = false;
  for (int f = 0; f < 40; ++f) {
    float want = static_cast<float>(9.6 + carry);
    int n = 0;
    while (want >= 1) want -= 1, ++n;
    carry = want;
    floatTotal += n;
    double dwant = 9.6 + doubleCarry;
    while (dwant >= 1) dwant -= 1, ++doubleTotal;
    doubleCarry = dwant;
    differs |= doubleTotal != floatTotal;
    systemTotal += EmittedAt(s, static_cast<float>(f));
    ASSERT_EQ(systemTotal, floatTotal) << "frame " << f;
  }
  EXPECT_TRUE(differs);
}

TEST(ParticleSystem, PoolFillsLowestFreeSlots) {
  TParticleSystem s;
  SetFlow(s, 2);
  EmitSimple(s, 2);
  s.Reset();
  s.StepTo(0);  // slots 0, 1
  s.StepTo(1);  // slots 2, 3
  s.StepTo(2);  // 0 and 1 expire and are reused
  EXPECT_EQ(s.Particles[0].Birth, 2);
  EXPECT_EQ(s.Particles[1].Birth, 2);
  EXPECT_EQ(s.Particles[2].Birth, 1);
  EXPECT_EQ(s.LiveCount, 4);
  EXPECT_EQ(s.Particles.size(), 100u);
}

TEST(ParticleSystem, LifespanCountsFrames) {
  TParticleSystem s;
  SetFlow(s, 0);
  s.Reset();
  s.StepTo(9);
  SetFlow(s, 1);
  EmitSimple(s, 3, 1);
  s.StepTo(10);
  SetFlow(s, 0);
  const TParticle& p = s.Particles[0];
  std::vector<float> seen;
  for (int f = 11; f <= 13; ++f) {
    s.StepTo(static_cast<float>(f));
    if (p.Alive) seen.push_back(p.Position.z);
  }
  // Updated at frames 10, 11 and 12 (three moves), gone at 13.
  EXPECT_EQ(seen, (std::vector<float>{2, 3}));
  EXPECT_FALSE(p.Alive);
  EXPECT_EQ(s.LiveCount, 0);
}

TEST(ParticleSystem, ZeroLifespanLivesOneFrame) {
  TParticleSystem s;
  SetFlow(s, 1);
  EmitSimple(s, 0, 1);
  s.Reset();
  s.StepTo(0);
  ASSERT_EQ(s.LiveCount, 1);
  EXPECT_EQ(s.LifeFraction(0), 0);
  EXPECT_TRUE(std::isfinite(s.Particles[0].DisplayPosition.z));
  EXPECT_EQ(s.Particles[0].PrevPosition, s.Particles[0].Position);
  SetFlow(s, 0);
  s.StepTo(1);
  EXPECT_EQ(s.LiveCount, 0);
}

TEST(ParticleSystem, SystemLives) {
  TParticleSystem s;
  SetFlow(s, 1);
  EmitSimple(s, 5);
  s.SystemLifespan = 10;
  s.SystemLives = 2;
  s.Reset();
  for (int f = 0; f < 25; ++f) {
    const int born = EmittedAt(s, static_cast<float>(f));
    const float expected = f < 20 ? static_cast<float>(f % 10) : -1.0f;
    EXPECT_EQ(s.LocalTime, expected) << f;
    EXPECT_EQ(born, f < 20 ? 1 : 0) << f;
  }
  EXPECT_EQ(s.LiveCount, 0);  // the last ones, born at 19, died at 24
}

TEST(ParticleSystem, AngleWrapsKeepingItsSign) {
  const struct {
    float angle, spin, expected;
  } cases[] = {{350, 20, 10}, {-350, -20, -10}, {100, 30, 130}, {0, 720, 0}};
  for (const auto& c : cases) {
    TParticleSystem s;
    SetFlow(s, 1);
    s.OnEmit = [&](TParticleSystem&, TParticle& p) {
      p.Lifespan = 10;
      p.Angle = c.angle;
      p.Spin = c.spin;
    };
    s.Reset();
    s.StepTo(0);
    EXPECT_FLOAT_EQ(s.Particles[0].Angle, c.expected) << c.angle << " + " << c.spin;
  }
}

TEST(ParticleSystem, DitherGravityAndSwirl) {
  TParticleSystem s;
  SetFlow(s, 1);
  s.OnEmit = [](TParticleSystem&, TParticle& p) {
    p.Lifespan = 100;
    p.BaseVelocity = {1, 0, 0};
    p.GravityVec = {0, 0, -0.5f};
  };
  s.Reset();
  s.StepTo(0);
  SetFlow(s, 0);
  s.StepTo(1);
  const TParticle& p = s.Particles[0];
  // Gravity added at frame 0 moves the particle from frame 1 on.
  EXPECT_EQ(p.Position.x, 2);
  EXPECT_EQ(p.Position.z, -0.5f);
  EXPECT_EQ(p.DisplayPosition, p.Position);

  s.SpatialDither = 1;
  for (int f = 2; f < 10; ++f) {
    s.StepTo(static_cast<float>(f));
    EXPECT_GE(p.DisplayPosition.x, p.PrevPosition.x);
    EXPECT_LE(p.DisplayPosition.x, p.Position.x);
  }

  // A swirl turns what is shown about the axis through the origin, never the position.
  TParticleSystem w;
  SetFlow(w, 1);
  w.OnEmit = [](TParticleSystem&, TParticle& q) {
    q.Lifespan = 100;
    q.BaseVelocity = {1, 0, 0};
    q.Axis = {0, 0, 1};
    q.VortexSpeed = static_cast<float>(10 * std::numbers::pi / 2);  // a quarter turn per frame
  };
  w.Reset();
  w.StepTo(0);
  const TParticle& q = w.Particles[0];
  EXPECT_EQ(q.Position.x, 1);
  EXPECT_NEAR(q.DisplayPosition.x, 0, 1e-6);
  EXPECT_NEAR(q.DisplayPosition.y, 1, 1e-6);
}

TEST(ParticleSystem, InvisibleParticlesStillMove) {
  TParticleSystem s;
  SetFlow(s, 1);
  EmitSimple(s, 10, 1);
  s.Visibility.Clear();
  s.Visibility.AddKey(0, 0);
  s.Visibility.AddKey(8192, 0);
  s.Reset();
  s.StepTo(0);
  s.StepTo(1);
  EXPECT_EQ(s.Particles[0].Position.z, 2);
  EXPECT_EQ(s.Visibility.Evaluate(100 * s.LifeFraction(0)), 0);
}

TEST(ParticleSystem, ReseededRunsRepeatBitForBit) {
  auto run = [] {
    TParticleSystem s;
    SetFlow(s, 3.3);
    s.SpatialDither = 0.7f;
    s.OnEmit = [](TParticleSystem&, TParticle& p) {
      p.Lifespan = static_cast<float>(5 + RandomInt(20));
      p.BaseVelocity = {static_cast<float>(Random()), static_cast<float>(Random()), 1};
      p.VortexSpeed = static_cast<float>(Random());
      p.Axis = {0, 0, 1};
    };
    RandomSeed = RunSeed;
    s.Reset();
    for (int f = 0; f < 60; ++f) s.StepTo(static_cast<float>(f));
    return s.Particles;
  };
  const std::vector<TParticle> a = run(), b = run();
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(TParticle)), 0);
}

namespace {

struct CountingOwner : TParticleSystemOwner {
  TParticleModifier* tool = nullptr;
  int updates = 0;
  std::vector<TParticleModifier*>* gathered = nullptr;
  void UpdateFromHost(TParticleSystem& s) override {
    ++updates;
    s.SpeedScale = 2;
  }
  void CollectModifiers(TParticleSystem& s, std::vector<TParticleModifier*>& list) override {
    gathered = &s.StepModifiers;
    if (tool) list.push_back(tool);
  }
};

struct Absorber : TParticleModifier {
  void ReadFrom(TStream&) override {}
  void WriteTo(TStream&) const override {}
  mutable int applied = 0;  // only ever stepped on one thread here
  bool fail = false;
  void ApplyIn(const TParticleSystem&, TParticle& p, TToolLane& lane) const override {
    ++applied;
    if (fail) throw std::runtime_error("tool failed");
    p.Alive = false;
    ++lane.Killed;
  }
  bool MayKill(const TParticleSystem&) const override { return true; }
};

}  // namespace

TEST(ParticleSystem, OwnerHooksAndToolsPerStep) {
  TParticleSystem s;
  CountingOwner owner;
  Absorber first, second;
  owner.tool = &first;
  s.Owner = &owner;
  SetFlow(s, 2);
  EmitSimple(s, 10);
  s.Reset();
  s.StepTo(2);  // one call, three frames: hooks run once
  EXPECT_EQ(owner.updates, 1);
  EXPECT_EQ(s.SpeedScale, 2);
  EXPECT_EQ(first.applied, 6);
  EXPECT_EQ(s.LiveCount, 0);
  EXPECT_TRUE(s.StepModifiers.empty());

  // A failing tool propagates, and the step's tools are released all the same.
  first.fail = true;
  EXPECT_THROW(s.StepTo(3), std::runtime_error);
  EXPECT_TRUE(s.StepModifiers.empty());

  // A particle killed by one tool is not handed to the next.
  TParticleSystem t;
  struct TwoTools : CountingOwner {
    Absorber a, b;
    void CollectModifiers(TParticleSystem&, std::vector<TParticleModifier*>& list) override {
      list.push_back(&a);
      list.push_back(&b);
    }
  } two;
  t.Owner = &two;
  SetFlow(t, 1);
  EmitSimple(t, 10);
  t.Reset();
  t.StepTo(0);
  EXPECT_EQ(two.a.applied, 1);
  EXPECT_EQ(two.b.applied, 0);
  EXPECT_EQ(t.LiveCount, 0);
}

TEST(ParticleSystem, FailedEmissionKeepsWhatWasBornAndTheCarry) {
  TParticleSystem s;
  SetFlow(s, 3.5);
  int calls = 0;
  s.OnEmit = [&](TParticleSystem&, TParticle& p) {
    if (++calls == 3) throw std::runtime_error("no surface");
    p.Lifespan = 10;
  };
  s.Reset();
  s.StepTo(0);
  EXPECT_EQ(s.LiveCount, 2);
  EXPECT_EQ(s.EmitCarry, 0);
  int alive = 0;
  for (const TParticle& p : s.Particles) alive += p.Alive;
  EXPECT_EQ(alive, 2);
}

TEST(ParticleSystem, AbsurdFlowIsBounded) {
  TParticleSystem s;
  SetFlow(s, 1e12);
  s.Flow.ClampMode = ClampNone;
  EmitSimple(s, 2);
  s.Reset();
  s.StepTo(0);
  EXPECT_LE(s.Particles.size(), MaxPoolSlots);
  EXPECT_EQ(static_cast<size_t>(s.LiveCount), s.Particles.size());
  s.StepTo(1);  // the pool is full: this frame's emission ends, nothing breaks
  EXPECT_EQ(static_cast<size_t>(s.LiveCount), s.Particles.size());
  SetFlow(s, std::nan(""));
  s.StepTo(2);
}
