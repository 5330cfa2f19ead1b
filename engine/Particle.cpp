// The particle system's step: system life, expiry, emission with the carried fraction, and the
// per-particle move with spin, dither, gravity and swirl. The order of the generator's draws
// within a step is fixed (emission first, then one draw per live particle in slot order), so a
// reseeded run repeats bit for bit.
#include "engine/Particle.h"

#include <algorithm>
#include <new>
#include <cmath>

#include "engine/Errors.h"
#include "engine/ParticleModifier.h"
#include "engine/RandomTables.h"
#include "engine/Rounding.h"
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
  const TParticle& p = Particles[static_cast<size_t>(index)];
  int64_t i = p.MapIndex;
  if (MapMode == MapCycle) {
    if (MapCycleTime < 1) MapCycleTime = 1;
    const int64_t count = Maps.ImageCount();
    // An empty list (only a malformed stream makes one) has nothing to cycle through.
    if (count > 0) {
      const int64_t offset = RoundToInt64(static_cast<double>(Age(index)) / MapCycleTime);
      i = (i % count + offset % count) % count;  // reduced first: a huge age cannot overflow
    }
  }
  return static_cast<int32_t>(i);
}

void TParticleSystem::Reset() {
  EmitCarry = 0;
  Time = -1;
  if (Budget) Budget->Give(Particles.size());
  Particles.clear();
  LiveCount = 0;
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

void TParticleSystem::KillExpired() {
  for (TParticle& p : Particles) {
    if (!p.Alive) continue;
    const float age = Time - p.Birth;
    if (!(age >= 0 && age < p.Lifespan)) {
      p.Alive = false;
      --LiveCount;
    }
  }
}

void TParticleSystem::Emit() {
  const float carryBefore = EmitCarry;
  float want = static_cast<float>(Flow.Evaluate(LocalTime) * FlowScale + EmitCarry);
  if (!std::isfinite(want)) return;  // a damaged flow emits nothing and keeps the carry
  try {
    const int64_t free = static_cast<int64_t>(Particles.size()) - LiveCount;
    if (free < want) GrowPool(RoundToInt64(want) - free);
    if (want >= 1) {
      for (size_t i = 0; i < Particles.size(); ++i) {
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
        if (p.Alive) ++LiveCount;
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
  for (TParticle& p : Particles)
    if (p.Alive) UpdateParticle(p);
}

void TParticleSystem::UpdateParticle(TParticle& p) {
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
  for (TParticleModifier* modifier : StepModifiers) {
    if (!p.Alive) break;
    if (modifier->Active) modifier->Apply(*this, p);
  }

  // Spatial dither: pulled back along the last move by a random fraction. The draw happens
  // even without dither, so that switching it on does not shift every later draw.
  const double f = 1.0 - Random() * SpatialDither;
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
