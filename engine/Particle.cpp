// The particle system's step: system life, expiry, emission with the carried fraction, and the
// per-particle move with spin, dither, gravity and swirl. The order of the generator's draws
// within a step is fixed (emission first, then one draw per live particle in slot order), so a
// reseeded run repeats bit for bit.
#include "engine/Particle.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <cmath>

#include "engine/Errors.h"
#include "engine/ParticleModifier.h"
#include "engine/RandomTables.h"
#include "engine/Rounding.h"
#include "engine/WorkerPool.h"
#include "hostapi/Platform.h"

namespace {
constexpr size_t MinPoolGrowth = 100;
}  // namespace

TParticleSystem::TParticleSystem()
    : Size(AddVariable(ClampMin, XKindLifePercent, 1, 0, 4)),
      Speed(AddVariable(ClampNone, XKindLifePercent, 1, 0, 2)),
      Orientation(AddVariable(ClampBoth, XKindLifePercent, 0, -180, 180)),
      Gravity(AddVariable(ClampNone, XKindLifePercent, 1, -2, 2)),
      Alpha(AddVariable(ClampBoth, XKindLifePercent, 1, 0, 1)),
      Intensity(AddVariable(ClampBoth, XKindLifePercent, 1, 0, 3)),
      Visibility(AddVariable(ClampBoth, XKindLifePercent, 1, -0.5, 1.5)),
      Flow(AddVariable(ClampMin, XKindFrames, 5, 0, 10)),
      FlowJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)) {
  Visibility.ValueStep = 1.0;
}

TParticleSystem::~TParticleSystem() {
  if (Budget) Budget->Give(Particles.size());
}

int32_t TParticleSystem::ImageIndexOf(int index) {
  PrepareRenderAttributes();
  return ImageIndexAt(Particles[static_cast<size_t>(index)]);
}

int32_t TParticleSystem::ImageIndexAt(const TParticle& p) const {
  int64_t i = p.MapIndex;
  if (MapMode == MapCycle) {
    const int64_t count = Maps.ImageCount();
    // An empty list (only a malformed stream makes one) has nothing to cycle through.
    if (count > 0) {
      const int64_t offset = RoundToInt64(static_cast<double>(Time - p.Birth) / std::max(MapCycleTime, 1));
      i = (i % count + offset % count) % count;  // reduced first: a huge age cannot overflow
    }
  }
  return static_cast<int32_t>(i);
}

void TParticleSystem::Reset() {
  ChunksFresh_ = false;
  EmitCarry = 0;
  Time = -1;
  if (Budget) Budget->Give(Particles.size());
  Particles.clear();
  LiveCount = 0;
}

void TParticleSystem::RestoreRun(float time, float localTime, int32_t liveCount, float emitCarry,
                                 const std::vector<TParticle>& particles) {
  if (Budget) {
    Budget->Give(Particles.size());
    Budget->Used += particles.size();
  }
  Particles = particles;
  ChunksFresh_ = false;  // the chunk counts are those of the pool that was replaced
  Time = time;
  LocalTime = localTime;
  LiveCount = liveCount;
  EmitCarry = emitCarry;
}

void TParticleSystem::StepTo(float target) {
  if (Owner) Owner->UpdateFromHost(*this);
  StepModifiers.clear();
  struct ReleaseModifiers {
    std::vector<TParticleModifier*>& list;
    ~ReleaseModifiers() { list.clear(); }
  } release{StepModifiers};
  if (Owner) Owner->CollectModifiers(*this, StepModifiers);

  if (target > Time) {
    const int64_t n = RoundToInt64((static_cast<double>(target) - Time) / TimeStep);
    for (int64_t k = 0; k < n; ++k) {
      if (k > 0 && Owner && Owner->StepInterrupted()) break;
      Time += TimeStep;
      UpdateSystemLife();
      KillExpired();
      if (LocalTime >= 0) Emit();
      UpdateParticles();
    }
  } else if (target < Time) {
    Platform().Beep();
  }
}

void TParticleSystem::UpdateSystemLife() {
  if (SystemLifespan <= 0) {
    LocalTime = Time;
    return;
  }
  const double c = TruncTowardZero(static_cast<double>(Time) / SystemLifespan);
  LocalTime = static_cast<float>(Time - c * SystemLifespan);
  if (SystemLives > 0 && SystemLives < c + 1) LocalTime = -1;
}

size_t TParticleSystem::ChunkCount() const { return (Particles.size() + StepChunkSlots - 1) / StepChunkSlots; }

bool TParticleSystem::UseWorkers(size_t work) const {
  return Workers != nullptr && Workers->Threads() > 1 && static_cast<int64_t>(work) >= Workers->ParallelStepMinimum;
}

void TParticleSystem::KillExpired() {
  // Chunk by chunk, counting what lives on for emission and the update.
  Chunks_.resize(ChunkCount());
  auto killChunk = [this](int64_t c) {
    const size_t begin = static_cast<size_t>(c) * StepChunkSlots;
    const size_t end = std::min(begin + StepChunkSlots, Particles.size());
    int32_t live = 0, killed = 0;
    for (size_t i = begin; i < end; ++i) {
      TParticle& p = Particles[i];
      if (!p.Alive) continue;
      const float age = Time - p.Birth;
      if (!(age >= 0 && age < p.Lifespan)) {
        p.Alive = false;
        ++killed;
      } else {
        ++live;
      }
    }
    Chunks_[static_cast<size_t>(c)].Live = live;
    Chunks_[static_cast<size_t>(c)].Killed = killed;
  };
  const int64_t chunks = static_cast<int64_t>(Chunks_.size());
  if (UseWorkers(Particles.size()))
    RunOnEvenSlots(killChunk);
  else
    for (int64_t c = 0; c < chunks; ++c) killChunk(c);
  for (const TChunk& chunk : Chunks_) LiveCount -= chunk.Killed;
  ChunksFresh_ = true;
}

void TParticleSystem::CountChunks() {
  Chunks_.resize(ChunkCount());
  auto countChunk = [this](int64_t c) {
    const size_t begin = static_cast<size_t>(c) * StepChunkSlots;
    const size_t end = std::min(begin + StepChunkSlots, Particles.size());
    int32_t live = 0;
    for (size_t i = begin; i < end; ++i) live += Particles[i].Alive ? 1 : 0;
    Chunks_[static_cast<size_t>(c)].Live = live;
  };
  RunOnEvenSlots(countChunk);
  ChunksFresh_ = true;
}

template <typename F>
void TParticleSystem::RunOnEvenSlots(F&& chunkTask) {
  const size_t chunks = Chunks_.size();
  const size_t threads = static_cast<size_t>(Workers->Threads());
  Splits_.resize(threads + 1);
  for (size_t t = 0; t <= threads; ++t) Splits_[t] = chunks * t / threads;
  RunSplit(chunkTask);
}

template <typename F>
void TParticleSystem::RunSplit(F&& chunkTask) {
  // Each thread starts on its own run of chunks, the same one pass after pass, so that its
  // particles stay in its core's caches; a thread done with its run helps with the others' (one
  // held up by other work on its core does not hold up the frame).
  const size_t threads = static_cast<size_t>(Workers->Threads());
  if (CursorCount_ < threads) {
    Cursors_ = std::make_unique<std::atomic<size_t>[]>(threads);
    CursorCount_ = threads;
  }
  for (size_t t = 0; t < threads; ++t) Cursors_[t].store(Splits_[t], std::memory_order_relaxed);
  Workers->RunPerThread([&](int64_t self) {
    for (size_t k = 0; k < threads; ++k) {
      const size_t run = (static_cast<size_t>(self) + k) % threads;
      for (size_t c; (c = Cursors_[run].fetch_add(1, std::memory_order_relaxed)) < Splits_[run + 1];)
        chunkTask(static_cast<int64_t>(c));
    }
  });
}

void TParticleSystem::Emit() {
  const float carryBefore = EmitCarry;
  float want = static_cast<float>(Flow.Evaluate(LocalTime) * FlowScale + EmitCarry);
  if (!std::isfinite(want)) return;  // a damaged flow emits nothing and keeps the carry
  try {
    const int64_t free = static_cast<int64_t>(Particles.size()) - LiveCount;
    if (free < want) {
      GrowPool(RoundToInt64(want) - free);
      if (ChunksFresh_) Chunks_.resize(ChunkCount());  // the new slots are dead
    }
    if (want >= 1) {
      for (size_t i = 0; i < Particles.size(); ++i) {
        // A chunk without a dead slot is passed over whole.
        if (ChunksFresh_ && i % StepChunkSlots == 0) {
          const size_t slots = std::min(StepChunkSlots, Particles.size() - i);
          if (static_cast<size_t>(Chunks_[i / StepChunkSlots].Live) == slots) {
            i += slots - 1;
            continue;
          }
        }
        TParticle& p = Particles[i];
        if (p.Alive) continue;
        p = Template;
        p.Alive = true;
        p.Birth = Time;
        p.Index = static_cast<int32_t>(i);
        if (OnEmit) {
          try {
            OnEmit(*this, p);
          } catch (...) {
            p.Alive = false;  // the failed particle never counted as born
            throw;
          }
        }
        if (p.Alive) {
          ++LiveCount;
          if (ChunksFresh_) ++Chunks_[i / StepChunkSlots].Live;
        }
        want -= 1;
        if (want < 1) break;
      }
    }
    EmitCarry = want;
  } catch (...) {
    // A failed emission ends this frame's emission; what was born stays.
    EmitCarry = carryBefore;
  }
}

void TParticleSystem::GrowPool(int64_t n) {
  const size_t size = Particles.size();
  if (size >= MaxPoolSlots)
    throw EVantrelError(Format("The particle pool is full (%zu particles)", MaxPoolSlots));
  size_t add = std::max<size_t>(n > 0 ? static_cast<size_t>(n) : 0, MinPoolGrowth);
  add = std::min(add, MaxPoolSlots - size);
  if (Budget) {
    add = Budget->Take(add);
    if (add == 0) throw EVantrelError("The scene's particle memory is used up");
  }
  try {
    Particles.resize(size + add);
  } catch (const std::bad_alloc&) {
    if (Budget) {
      Budget->Give(add);
      Budget->AllocationFailed = true;
    }
    throw EVantrelError("Out of memory for particles");
  }
}

void TParticleSystem::UpdateParticles() {
  const bool fresh = ChunksFresh_;
  ChunksFresh_ = false;
  if (UseWorkers(static_cast<size_t>(std::max(LiveCount, 0)))) {
    if (!fresh) CountChunks();
    ChunksFresh_ = false;  // the tools may kill
    if (UpdateInChunks()) return;
  }
  UpdateOnCaller();
}

void TParticleSystem::UpdateOnCaller() {
  const size_t tools = StepModifiers.size();
  Lanes_.resize(tools);
  // What the particles did so far is kept also when a tool fails part way.
  struct TMerge {
    TParticleSystem& s;
    uint32_t seed;
    bool begun = false;
    ~TMerge() {
      RandomSeed = seed;
      if (!begun) return;
      for (size_t m = 0; m < s.StepModifiers.size(); ++m) {
        s.StepModifiers[m]->FinishLane(s.Lanes_[m]);
        s.LiveCount -= s.Lanes_[m].Killed;
      }
    }
  } merge{*this, RandomSeed};
  for (TParticle& p : Particles) {
    if (!p.Alive) continue;
    // The tools' frame starts with the first live particle, as their first use would.
    if (!merge.begun) {
      for (size_t m = 0; m < tools; ++m) StepModifiers[m]->BeginFrame(*this);
      for (size_t m = 0; m < tools; ++m) Lanes_[m] = StepModifiers[m]->StartLane();
      merge.begun = true;
    }
    UpdateParticle(p, merge.seed, Lanes_.data());
  }
}

bool TParticleSystem::UpdateInChunks() {
  const size_t tools = StepModifiers.size();
  const size_t chunks = Chunks_.size();

  // Where each chunk's draws start: after one draw per live particle of the chunks before it.
  uint64_t draws = 0;
  uint32_t seed = RandomSeed;
  for (TChunk& chunk : Chunks_) {
    chunk.Seed = seed;
    seed = SeedAfter(seed, static_cast<uint64_t>(chunk.Live));
    draws += static_cast<uint64_t>(chunk.Live);
  }
  if (draws == 0) return true;

  // A tool whose lane follows the particles (the leader's target) starts each chunk from the
  // last earlier particle that set it. Which particles reach the tool is known beforehand only
  // when no tool before it in the list can kill; otherwise the frame runs in one piece.
  for (size_t m = 0; m < tools; ++m) {
    if (!StepModifiers[m]->LaneFollows() || !StepModifiers[m]->Active) continue;
    for (size_t k = 0; k < m; ++k)
      if (StepModifiers[k]->Active && StepModifiers[k]->MayKill(*this)) return false;
  }
  for (size_t m = 0; m < tools; ++m) StepModifiers[m]->BeginFrame(*this);
  Lanes_.resize(chunks * tools);
  for (size_t m = 0; m < tools; ++m) {
    const TParticleModifier& tool = *StepModifiers[m];
    TToolLane running = tool.StartLane();
    const bool follows = tool.LaneFollows() && tool.Active;
    for (size_t c = 0; c < chunks; ++c) {
      Lanes_[c * tools + m] = running;
      if (!follows) continue;
      const size_t begin = c * StepChunkSlots;
      for (size_t i = std::min(begin + StepChunkSlots, Particles.size()); i-- > begin;)
        if (Particles[i].Alive && tool.LaneAfter(*this, Particles[i], running)) break;
    }
  }

  // Each thread a run of chunks holding about as many live particles as the others' runs.
  const int64_t threads = Workers->Threads();
  Splits_.assign(static_cast<size_t>(threads) + 1, chunks);
  Splits_[0] = 0;
  uint64_t before = 0;
  size_t next = 0;
  for (int64_t t = 1; t < threads; ++t) {
    const uint64_t target = draws * static_cast<uint64_t>(t) / static_cast<uint64_t>(threads);
    while (next < chunks && before + static_cast<uint64_t>(Chunks_[next].Live) <= target)
      before += static_cast<uint64_t>(Chunks_[next++].Live);
    Splits_[static_cast<size_t>(t)] = next;
  }
  RunSplit([this, tools](int64_t c) {
    const size_t chunk = static_cast<size_t>(c);
    if (Chunks_[chunk].Live == 0) return;
    uint32_t seed = Chunks_[chunk].Seed;
    const size_t begin = chunk * StepChunkSlots;
    UpdateRange(begin, std::min(begin + StepChunkSlots, Particles.size()), seed, Lanes_.data() + chunk * tools);
  });

  // Merged in slot order: the kills add up, the last chunk's lanes are where the tools end.
  for (size_t c = 0; c < chunks; ++c)
    for (size_t m = 0; m < tools; ++m) LiveCount -= Lanes_[c * tools + m].Killed;
  for (size_t m = 0; m < tools; ++m) StepModifiers[m]->FinishLane(Lanes_[(chunks - 1) * tools + m]);
  RandomSeed = SeedAfter(RandomSeed, draws);
  return true;
}

void TParticleSystem::UpdateRange(size_t begin, size_t end, uint32_t& seed, TToolLane* lanes) {
  for (size_t i = begin; i < end; ++i)
    if (Particles[i].Alive) UpdateParticle(Particles[i], seed, lanes);
}

void TParticleSystem::UpdateParticle(TParticle& p, uint32_t& seed, TToolLane* lanes) const {
  const double t = 100.0 * static_cast<double>(LifeFractionOf(p));

  // Spin and orientation; the fraction keeps the angle within (−360, 360).
  p.Angle = static_cast<float>(
      SignedFrac((static_cast<double>(p.Angle) + p.Spin + Orientation.Evaluate(t)) / 360.0) * 360.0);

  // Move by the gathered velocity plus the emission velocity scaled by Speed.
  const double speed = Speed.Evaluate(t);
  const TVec3f step{static_cast<float>(p.Velocity.x + p.BaseVelocity.x * speed),
                    static_cast<float>(p.Velocity.y + p.BaseVelocity.y * speed),
                    static_cast<float>(p.Velocity.z + p.BaseVelocity.z * speed)};
  p.PrevPosition = p.Position;
  AddVec3f(p.Position, step);
  if (t == 0) p.PrevPosition = p.Position;

  // A tool that kills the particle has counted it out; later tools must not count it again.
  const size_t tools = StepModifiers.size();
  for (size_t m = 0; m < tools; ++m) {
    if (!p.Alive) break;
    const TParticleModifier& modifier = *StepModifiers[m];
    if (modifier.Active) modifier.ApplyIn(*this, p, lanes[m]);
  }

  // Spatial dither: pulled back along the last move by a random fraction. The draw happens
  // even without dither, so that switching it on does not shift every later draw.
  seed = NextSeed(seed);
  const double f = 1.0 - SeedValue(seed) * SpatialDither;
  const TVec3f& a = p.PrevPosition;
  const TVec3f& b = p.Position;
  p.DisplayPosition = {static_cast<float>(a.x + f * (static_cast<double>(b.x) - a.x)),
                       static_cast<float>(a.y + f * (static_cast<double>(b.y) - a.y)),
                       static_cast<float>(a.z + f * (static_cast<double>(b.z) - a.z))};

  const double gravity = Gravity.Evaluate(t);
  p.Velocity = {static_cast<float>(p.Velocity.x + p.GravityVec.x * gravity),
                static_cast<float>(p.Velocity.y + p.GravityVec.y * gravity),
                static_cast<float>(p.Velocity.z + p.GravityVec.z * gravity)};

  // Swirl about the emitter's axis at birth; only what is shown turns.
  p.VortexAngle += p.VortexSpeed / 10;
  if (p.VortexAngle != 0) {
    TMx3f swirl;
    MakeRotMx3f(p.Origin, p.Axis, p.VortexAngle, swirl, 0);
    TransformVect3f(p.DisplayPosition, p.DisplayPosition, swirl);
  }
  p.RenderPosition = p.DisplayPosition;
}
