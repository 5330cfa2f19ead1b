// Steps a steady particle stream and reports particle-steps per second once the pool is full.
#include <benchmark/benchmark.h>

#include "engine/Particle.h"
#include "engine/RandomTables.h"

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

}  // namespace

BENCHMARK(SteadyStream)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
