// Attractor, repulsor and leader. They act everywhere, without a box; with no falloff the pull
// grows with the distance.
#include "engine/AttractModifier.h"

#include <algorithm>

#include "engine/Particle.h"
#include "engine/Rounding.h"
#include "engine/TsxHelper.h"

TAttractModifier::TAttractModifier() : TAttractModifier("Attractor", 5, 20) {}

TAttractModifier::TAttractModifier(const char* kindName, double value, double maxValue)
    : TBasicModifier(kindName, value, maxValue, 0.0005f, XKindPercent) {}

TRepulseModifier::TRepulseModifier() : TAttractModifier("Repulsor", 5, 20) { Sign = -1; }

TPathingModifier::TPathingModifier() : TAttractModifier("Leader", 5, 100) {}

bool TAttractModifier::Pull(const TParticleSystem& system, const TParticle& p, const TVec3f& center,
                            TVec3f& pull) const {
  if (!MassTakesForces(p.Mass)) return false;
  const float t = ToolTime(system.Time);
  if (t < 0) return false;
  SubToVec3f(p.Position, center, pull);
  const float d = Magnitude3f(pull);
  MulScalar3f(pull, static_cast<float>(Sign) * StrengthAt(t) / FalloffFactor(d) / p.Mass);
  return true;
}

void TAttractModifier::ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane&) const {
  if (!SceneObject) return;
  TVec3f pull;
  if (Pull(system, p, Center, pull)) AddVec3f(p.Velocity, pull);
}

void TPathingModifier::Prepare() {
  Path.clear();
  if (!SceneObject) return;
  float first = 0, last = 0;
  tsxSobjGetMinMaxTime(SceneObject, &first, &last);
  const int64_t count = RoundToInt64(static_cast<double>(last) - first + 1);
  if (count <= 0) return;
  const size_t n = std::min(static_cast<size_t>(count), MaxLeaderPathSamples);
  Path.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    tsxAnimSetActiveTimeObject(SceneObject, first + static_cast<float>(i));
    TVec3f at;
    GetMxTranslation3f(at, ObjectTransform(SceneObject));
    Path.push_back(at);
  }
  tsxAnimSetActiveTimeObject(SceneObject, tsxAnimGetActiveTime());
}

void TPathingModifier::BeginFrame(const TParticleSystem& system) {
  TAttractModifier::BeginFrame(system);
  if (SceneObject && Path.empty()) Prepare();
}

bool TPathingModifier::PathIndex(const TParticleSystem& system, const TParticle& p, size_t& k) const {
  const int64_t count = static_cast<int64_t>(Path.size());
  const int64_t i = RoundToInt64(static_cast<double>(system.LifeFractionOf(p)) * static_cast<double>(count));
  if (!(i >= 0 && i < count)) return false;
  k = static_cast<size_t>(i);
  return true;
}

void TPathingModifier::ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const {
  if (!SceneObject || Path.empty()) return;
  size_t k = 0;
  if (PathIndex(system, p, k)) lane.Center = Path[k];
  TVec3f pull;
  if (Pull(system, p, lane.Center, pull)) AddVec3f(p.Position, pull);
}

bool TPathingModifier::LaneAfter(const TParticleSystem& system, const TParticle& p, TToolLane& lane) const {
  size_t k = 0;
  if (!SceneObject || Path.empty() || !PathIndex(system, p, k)) return false;
  lane.Center = Path[k];
  return true;
}
