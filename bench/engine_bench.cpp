// Steps a steady particle stream and reports particle-steps per second once the pool is full;
// StepLive does so for a number of live particles on 1 and 2 threads (and more), with three
// tools acting, and reports the bytes of memory each live particle holds.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "scene/EmitterObj.h"
#include "stage/Stage.h"

namespace {

void SteadyStream(benchmark::State& state) {
  const double flow = static_cast<double>(state.range(0));
  TParticleSystem s;
  s.Flow.Clear();
  s.Flow.AddKey(0, flow);
  s.Flow.AddKey(8192, flow);
  s.Flow.ClampMode = ClampNone;  // the editor caps flow at 10; the engine does not
  s.OnEmit = [](TParticleSystem&, TParticle& p) {
    p.Lifespan = 60;
    p.BaseVelocity = {static_cast<float>(Random() - 0.5), static_cast<float>(Random() - 0.5), 0.3f};
    p.GravityVec = {0, 0, -0.01f};
  };
  RandomSeed = RunSeed;
  s.Reset();
  float frame = 0;
  for (; frame < 61; ++frame) s.StepTo(frame);  // fill the pool
  int64_t steps = 0;
  for (auto _ : state) {
    s.StepTo(frame++);
    steps += s.LiveCount;
    if (frame > 8000) {  // stay inside the curves' keyed range
      s.Reset();
      for (frame = 0; frame < 61; ++frame) s.StepTo(frame);
    }
  }
  state.counters["particle_steps_per_s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  state.counters["live"] = s.LiveCount;
}

// A flat curve at value, unclamped (the editor caps flow at 10; the engine does not).
void Flat(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(8192, value);
  curve.ClampMode = ClampNone;
}

// Resets the slot's system and steps it through frames 0 to 60 (a full pool); answers the next frame.
float FillPool(TEmitter& slot) {
  RandomSeed = RunSeed;
  slot.System.Reset();
  slot.FreshStart = true;
  float frame = 0;
  for (; frame < 61; ++frame) slot.System.StepTo(frame);
  return frame;
}

// A fresh stage with a deflector floor, a fan and an attractor on boxes (not yet in
// ActiveModifiers).
struct TThreeTools {
  TPlaneDeflectorModifier deflector;
  TPlaneFanModifier fan;
  TAttractModifier attractor;
  TThreeTools() {
    stage::ResetStage();
    stage::TScene& scene = stage::Stage().Scene;
    stage::TMeshSource box;
    box.Kind = stage::TPrimitive::Box;
    box.Size = {20, 20, 0.1f};
    stage::TNode& floor = scene.AddPrimitive("floor", box);
    floor.Position.Rest = {0, 0, -3};
    box.Size = {4, 4, 1};
    stage::TNode& fanNode = scene.AddPrimitive("fan", box);
    fanNode.Position.Rest = {0, 0, -1};
    stage::TNode& attractorNode = scene.AddPrimitive("attractor", box);
    attractorNode.Position.Rest = {2, 0, 2};
    deflector.SceneObject = stage::TScene::Handle(&floor);
    fan.SceneObject = stage::TScene::Handle(&fanNode);
    attractor.SceneObject = stage::TScene::Handle(&attractorNode);
  }
  void Activate() { ActiveModifiers = {&deflector, &fan, &attractor}; }
};

// A stream from a default emitter object on a stage scene, on its own or with a deflector floor,
// a fan and an attractor in scope (tool poses are read once per step, then every particle meets
// all three).
void EmitterStream(benchmark::State& state, bool withTools) {
  TThreeTools tools;
  stage::TScene& scene = stage::Stage().Scene;
  if (withTools) tools.Activate();

  TEmitterObject emitter;
  emitter.SceneObject = stage::TScene::Handle(&scene.AddGroup("emitter"));
  TEmitter& slot = emitter.AddSystem();
  TParticleSystem& s = slot.System;
  Flat(s.Flow, static_cast<double>(state.range(0)));
  float frame = FillPool(slot);
  int64_t steps = 0;
  for (auto _ : state) {
    s.StepTo(frame++);
    steps += s.LiveCount;
    if (frame > 8000) {
      s.Reset();
      for (frame = 0; frame < 61; ++frame) s.StepTo(frame);
    }
  }
  ActiveModifiers.clear();
  state.counters["particle_steps_per_s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  state.counters["live"] = s.LiveCount;
}

// state.range(0) live particles (lifespan 60, the flow that keeps them) on state.range(1)
// threads, with a deflector floor, a fan and an attractor; spatial dither on. anySize: the
// threads help however few the particles are (to find the threshold).
void StepLive(benchmark::State& state, bool anySize) {
  const int64_t live = state.range(0);
  const int threads = static_cast<int>(state.range(1));
  TThreeTools tools;
  stage::TScene& scene = stage::Stage().Scene;
  tools.Activate();

  TWorkerPool pool(threads);
  if (anySize) pool.ParallelStepMinimum = 0;
  TEmitterObject emitter;
  emitter.SceneObject = stage::TScene::Handle(&scene.AddGroup("emitter"));
  TEmitter& slot = emitter.AddSystem();
  TParticleSystem& s = slot.System;
  s.Workers = &pool;
  s.SpatialDither = 0.2f;
  Flat(s.Flow, static_cast<double>(live) / 60.0);
  Flat(slot.Emitter.Lifespan, 60);
  float frame = FillPool(slot);
  int64_t steps = 0;
  for (auto _ : state) {
    s.StepTo(frame++);
    steps += s.LiveCount;
  }
  ActiveModifiers.clear();
  state.counters["particle_steps_per_s"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
  state.counters["live"] = s.LiveCount;
  state.counters["threads"] = threads;
  state.counters["bytes_per_particle"] =
      static_cast<double>(s.Particles.capacity() * sizeof(TParticle)) / static_cast<double>(std::max(s.LiveCount, 1));
}

}  // namespace

BENCHMARK_CAPTURE(StepLive, Threads, false)
    ->ArgNames({"live", "threads"})
    ->ArgsProduct({{1000, 10000, 60000, 100000, 600000, 1000000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Around the threshold below which a system stays on one thread: the threads always help here.
BENCHMARK_CAPTURE(StepLive, Threshold, true)
    ->ArgNames({"live", "threads"})
    ->ArgsProduct({{500, 1000, 2000, 4000, 8000}, {1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(SteadyStream)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EmitterStream, DefaultEmitter, false)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(EmitterStream, WithTools, true)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
