// The frame cache on its own: its bound (the frames used longest ago go first), states kept and
// given back whole, states of other objects refused, and the first frame an edit can change.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "scene/FrameCache.h"
#include "stage/Stage.h"

namespace {

// One emitter object of one slot whose pool holds `particles` records; its time is the frame.
struct TOneEmitter {
  TEmitterObject Object;
  TEmitterObject* List[1] = {&Object};
  explicit TOneEmitter(size_t particles) {
    Object.AddSystem().System.Particles.resize(particles);
  }
  TParticleSystem& System() { return Object.Systems[0]->System; }
  std::span<TEmitterObject* const> Objects() { return List; }
};

void Flat(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(FarKeyX, value);
}

}  // namespace

TEST(FrameCache, KeepsWithinItsSizeDroppingTheFramesUsedLongestAgo) {
  TOneEmitter e(1000);
  TFrameCache probe;
  probe.Store(0, e.Objects(), 0);
  const size_t frameBytes = probe.Bytes();
  ASSERT_GE(frameBytes, 1000 * sizeof(TParticle));

  TFrameCache cache(3 * frameBytes);
  for (int f = 0; f < 3; ++f) {
    e.System().Time = static_cast<float>(f);
    cache.Store(f, e.Objects(), 0);
  }
  EXPECT_EQ(cache.Frames(), (std::vector<int64_t>{0, 1, 2}));
  ASSERT_TRUE(cache.Restore(0, e.Objects()));  // frame 0 used again: frame 1 is now the oldest
  EXPECT_EQ(e.System().Time, 0);
  cache.Store(3, e.Objects(), 0);
  EXPECT_EQ(cache.Frames(), (std::vector<int64_t>{0, 2, 3}));
  EXPECT_LE(cache.Bytes(), cache.Capacity());
  EXPECT_EQ(cache.NearestAtOrBefore(1), 0);
  EXPECT_EQ(cache.NearestAtOrBefore(-1), -1);

  // A state larger than the whole cache is not kept (and drops nothing); a smaller size drops
  // what no longer fits.
  e.System().Particles.resize(4000);
  cache.Store(9, e.Objects(), 0);
  EXPECT_FALSE(cache.Has(9));
  EXPECT_EQ(cache.Count(), 3u);
  cache.SetCapacity(frameBytes);
  EXPECT_EQ(cache.Frames(), (std::vector<int64_t>{3}));
  cache.SetCapacity(0);
  EXPECT_EQ(cache.Count(), 0u);
  EXPECT_EQ(cache.Bytes(), 0u);
}

TEST(FrameCache, GivesBackTheWholeRunStateAndRefusesOtherObjects) {
  TOneEmitter e(3);
  TParticleSystem& s = e.System();
  s.Time = 7, s.LocalTime = 2, s.LiveCount = 1, s.EmitCarry = 0.25f;
  s.Particles[1].Alive = true;
  s.Particles[1].Position = {1, 2, 3};
  e.Object.Systems[0]->Emitter.CurrentTransform.m[0][3] = 5;
  RandomSeed = 99;
  SceneFrame = 7;
  TFrameCache cache;
  cache.Store(7, e.Objects(), 42);
  EXPECT_EQ(cache.PosesOf(7), 42u);

  s.Reset();
  RandomSeed = 1;
  SceneFrame = 0;
  e.Object.Systems[0]->Emitter.CurrentTransform.m[0][3] = 0;
  ASSERT_TRUE(cache.Restore(7, e.Objects()));
  EXPECT_EQ(s.Time, 7);
  EXPECT_EQ(s.LocalTime, 2);
  EXPECT_EQ(s.LiveCount, 1);
  EXPECT_EQ(s.EmitCarry, 0.25f);
  ASSERT_EQ(s.Particles.size(), 3u);
  EXPECT_TRUE(s.Particles[1].Alive);
  EXPECT_EQ(s.Particles[1].Position.y, 2);
  EXPECT_EQ(e.Object.Systems[0]->Emitter.CurrentTransform.m[0][3], 5);
  EXPECT_EQ(RandomSeed, 99u);
  EXPECT_EQ(SceneFrame, 7);

  // Another slot since: the kept state is not this object's any more.
  e.Object.AddSystem();
  s.Time = 1;
  EXPECT_FALSE(cache.Restore(7, e.Objects()));
  EXPECT_EQ(s.Time, 1);
  EXPECT_FALSE(cache.Restore(8, e.Objects()));
}

// Frames up to 40 kept; the emitter object lags the scene by 4 frames.
TEST(FrameCache, AnEditChangesFramesFromItsFirstChangedFrameOn) {
  stage::ResetStage();
  TOneEmitter e(0);
  e.Object.FrameOffset = 4;
  // Reading the record back makes new slots: the edits find the slot anew.
  auto slot = [&]() -> TEmitter& { return *e.Object.Systems[0]; };
  // Curves are cardinal splines: a key's change reaches back through the segment before the key
  // in front of it, whose end tangent it moves.
  TVarSeries& flow = slot().System.Flow;
  flow.Clear();
  for (double x : {0.0, 10.0, 20.0, 30.0, FarKeyX}) flow.AddKey(x, 6);
  TVarSeries& speed = slot().Emitter.BaseSpeed;
  speed.Clear();
  for (double x : {0.0, 60.0, 70.0, 80.0, FarKeyX}) speed.AddKey(x, 1);
  const std::vector<uint8_t> before = SimulationInputs(e.Objects());
  const int64_t last = 40;

  struct TCase {
    const char* name;
    std::function<void()> edit;
    int64_t least, most;  // the frame the edit's changes start at lies in least..most
  };
  const std::vector<TCase> cases = {
      {"a name", [&] { e.Object.Name = "Other", slot().Name = "Other"; }, last + 1, last + 1},
      {"a key that changes no value", [&] { slot().System.Flow.AddKey(25, 6); }, last + 1, last + 1},
      {"the Flow key at local frame 30", [&] { slot().System.Flow.SetKey(3, 30, 12); }, 4 + 9, 4 + 20},
      {"Visibility from local frame 30", [&] { e.Object.Visibility.AddKey(30, 0); }, 4 + 15, 4 + 30},
      {"a key beyond the kept frames", [&] { slot().Emitter.BaseSpeed.SetKey(3, 80, 3); }, last + 1, last + 1},
      {"a particle-life curve", [&] { Flat(slot().System.Size, 2); }, 0, 0},
      {"the frame offset", [&] { e.Object.FrameOffset = 5; }, 0, 0},
      {"a new slot", [&] { e.Object.AddSystem(); }, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream record;
    e.Object.WriteTo(record);
    const int32_t offset = e.Object.FrameOffset;
    c.edit();
    const int64_t first = EditFrame(before, SimulationInputs(e.Objects()), last);
    EXPECT_GE(first, c.least);
    EXPECT_LE(first, c.most);
    // Back to the state before the edit.
    TMemoryStream again(record.TakeData());
    e.Object.ReadFrom(EmitterRecordVersion, again);
    e.Object.FrameOffset = offset;
    ASSERT_EQ(SimulationInputs(e.Objects()), before);
  }
}
