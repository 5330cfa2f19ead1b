// The modifier base classes, tool time, the shared modifier list and gathering per step.
#include "engine/ParticleModifier.h"

#include <algorithm>
#include <cmath>

#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/Rounding.h"
#include "engine/Stream.h"
#include "engine/TsxHelper.h"

std::vector<TParticleModifier*> ActiveModifiers;
float SceneFrame = 0;

float TParticleModifier::ToolTime(float frame) const {
  if (ToolLifespan == 0) return frame;
  const float n = static_cast<float>(std::trunc(frame / static_cast<float>(ToolLifespan))) + 1;
  if (ToolLives > 0 && ToolLives < n) return -1;
  return static_cast<float>(RoundToInt64(frame) % static_cast<int64_t>(ToolLifespan));
}

TBasicModifier::TBasicModifier(const char* kindName, double value, double maxValue, float factor,
                               uint8_t jitterKind)
    : Strength(AddVariable(ClampMin, XKindFrames, value, 0, maxValue)),
      StrengthJitter(AddVariable(ClampMin, jitterKind, 0, 0, 1)),
      StrengthFactor(factor) {
  KindName = kindName;
}

void TBasicModifier::ReadFrom(TStream& s) {
  ReadVariables(s);
  float work = 0;
  ReadField(s, work);  // the stored working strength is recomputed before every use
  ReadField(s, Scale);
  if (uint8_t* kindByte = StoredKindByte()) ReadField(s, *kindByte);
}

void TBasicModifier::WriteTo(TStream& s) const {
  WriteVariables(s);
  WriteField(s, Scale);  // the working strength's place holds the scale
  WriteField(s, Scale);
  if (const uint8_t* kindByte = StoredKindByte()) WriteField(s, *kindByte);
}

void TBasicModifier::UpdateTransform() {
  HasCache = false;  // curves may have been edited since the last step
  if (!SceneObject) return;
  const TMx3f M = ObjectTransform(SceneObject);
  GetMxTranslation3f(Center, M);
  TVec3f unusedScale;
  UnMatrix3f(M, Rot, unusedScale);
  InvertMx3f(InvRot, Rot);
  RotateVect3f(ZAxis3f, Normal_, Rot);
  CtsxVector3f size{};
  tsxGNodeGetSize(SceneObject, &size);
  HalfX = size.x * Scale * 0.5f;
  HalfY = size.y * Scale * 0.5f;
  SizeZ = size.z;
}

void TParticleModifier::Apply(TParticleSystem& system, TParticle& particle) {
  BeginFrame(system);
  TToolLane lane = StartLane();
  ApplyIn(system, particle, lane);
  FinishLane(lane);
  system.LiveCount -= lane.Killed;
}

void TBasicModifier::BeginFrame(const TParticleSystem& system) {
  const double t = ToolTime(system.Time);
  if (t < 0 || (HasCache && CachedT == t)) return;
  CachedStrength = ComputeStrength(t);
  CachedT = t;
  HasCache = true;
}

float TBasicModifier::ComputeStrength(double t) const {
  const float power = static_cast<float>(Strength.Evaluate(t) * StrengthFactor * ExtraStrengthFactor());
  return TableJitter(t, power, static_cast<float>(StrengthJitter.Evaluate(t)));
}

float TBasicModifier::StrengthAt(double t) const {
  if (HasCache && CachedT == t) return CachedStrength;
  return ComputeStrength(t);
}

float TBasicModifier::FalloffFactor(float d) const {
  if (!(SizeZ != 0)) return 1;
  switch (Falloff) {
    case FalloffLinear: return d / SizeZ + 1;
    case FalloffSquared: {
      const float k = d / SizeZ + 1;
      return k * k;
    }
    default: return 1;
  }
}

TVec3f TBasicModifier::LocalOffset(const TVec3f& p) const {
  TVec3f l = p;
  SubVec3f(l, Center);
  RotateVect3f(l, l, InvRot);
  AddVec3f(l, Center);
  return {l.x - Center.x, l.y - Center.y, l.z - Center.z};
}


void CollectModifiers(tsxSOBJ* emitterObject, std::vector<TParticleModifier*>& list) {
  tsxGNODE* emitterRoot = emitterObject ? tsxGNodeGetRoot(emitterObject) : nullptr;
  for (TParticleModifier* m : ActiveModifiers) {
    if (!m->Active) continue;
    tsxGNODE* root = m->SceneObject ? tsxGNodeGetRoot(m->SceneObject) : nullptr;
    if (root && root != m->SceneObject && root != emitterRoot) continue;
    list.push_back(m);
    m->UpdateTransform();
  }
}

void PrepareModifiers() {
  for (TParticleModifier* m : ActiveModifiers)
    if (m->Active) m->Prepare();
}

void RemoveActiveModifier(TParticleModifier* modifier) {
  ActiveModifiers.erase(std::remove(ActiveModifiers.begin(), ActiveModifiers.end(), modifier),
                        ActiveModifiers.end());
}
