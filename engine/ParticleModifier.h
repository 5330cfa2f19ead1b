// Force tools: the base of every modifier, the plane-and-box base that reads the tool's pose and
// size from its scene object, the program-wide list of modifiers and the gathering of the
// modifiers that act on one system's step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/VarSeries.h"
#include "engine/VectorData.h"
#include "hostapi/TsxApi5.h"

class TParticleSystem;
class TStream;
struct TParticle;

enum TFalloff : uint8_t { FalloffNone = 0, FalloffLinear = 1, FalloffSquared = 2 };

constexpr int ToolKindNameLength = 32;

class TParticleModifier : public TVariableSystem {
 public:
  ~TParticleModifier() override = default;

  tsxSOBJ* SceneObject = nullptr;  // none: the modifier does nothing
  std::string KindName;            // "Deflector", "Fan", "Attractor", "Repulsor", "Leader", "Gravitron"
  bool Active = true;
  int32_t ToolLifespan = 0;  // frames; 0 = no limit
  int32_t ToolLives = 0;     // 0 = no limit

  // The modifier record after the curves: the fields each kind stores.
  virtual void ReadFrom(TStream& s) = 0;
  virtual void WriteTo(TStream& s) const = 0;
  // Once per preview run, before its first step.
  virtual void Prepare() {}
  // At the start of every system step the modifier takes part in.
  virtual void UpdateTransform() {}
  // Acts on one live particle after it moved; may change its Position, Velocity, BaseVelocity
  // and Alive (and then the system's LiveCount).
  virtual void Apply(TParticleSystem& system, TParticle& particle) = 0;

  // The tool's local frame for a system frame, or −1 while the tool is inactive.
  float ToolTime(float frame) const;
};

// A modifier with a box: the tool's centre, rotation and extents, and a strength curve pair.
class TBasicModifier : public TParticleModifier {
 public:
  TVec3f Center;
  TMx3f Rot = IdentityMx3f;
  TMx3f InvRot = IdentityMx3f;
  float HalfX = 0, HalfY = 0, SizeZ = 0;
  float Scale = 1;         // enlarges the area of effect
  float CurrentPower = 0;  // the strength for the particle at hand

  // The curves, the working strength's place, Scale, then the kind's own byte when it has one.
  void ReadFrom(TStream& s) override;
  void WriteTo(TStream& s) const override;
  void UpdateTransform() override;

 protected:
  // The one byte a kind stores after Scale (Absorbs or Falloff); none for the gravitron.
  virtual uint8_t* StoredKindByte() { return nullptr; }
  const uint8_t* StoredKindByte() const { return const_cast<TBasicModifier*>(this)->StoredKindByte(); }

  // kind: the strength curve's default, range and the factor that turns its value into a strength;
  // jitterKind: the x kind of the jitter curve.
  TBasicModifier(const char* kindName, double value, double maxValue, float factor, uint8_t jitterKind);

  // Strength at tool time t: curve × factor (× extraFactor), jittered by the random table at t.
  // Cached per t within a step, so all the particles of one frame cost one evaluation.
  float StrengthAt(double t, float extraFactor = 1);
  // d / SizeZ + 1, squared for Squared, 1 for None. A tool without depth (SizeZ 0) has no length
  // for its falloff to work with, and applies its strength without falloff.
  float FalloffFactor(float d) const;
  // L(p) − Center: p in the tool's own axes, relative to its centre.
  TVec3f LocalOffset(const TVec3f& p) const;
  // The tool's axis, Rot applied to +Z; refreshed with the pose.
  const TVec3f& Normal() const { return Normal_; }

  uint8_t Falloff = FalloffNone;
  TVarSeries& Strength;
  TVarSeries& StrengthJitter;

 private:
  float StrengthFactor;
  TVec3f Normal_ = ZAxis3f;
  double CachedT = -1;
  float CachedStrength = 0;
  bool HasCache = false;
};

// Every modifier of the scene, in creation order; tool objects add and remove their own.
// Program-wide by design; the list does not own its modifiers.
extern std::vector<TParticleModifier*> ActiveModifiers;

// The scene frame being stepped: the one the plug-in last set on the host (or took from it when a
// preview starts); every rendered or rewound frame records it. The deflector's previous pose is
// taken one frame before it.
extern float SceneFrame;

// Appends the active modifiers that act on systems of an emitter object — tools without a scene
// object or at the top of the scene act on all, grouped tools only in their own hierarchy — and
// updates each one's pose.
void CollectModifiers(tsxSOBJ* emitterObject, std::vector<TParticleModifier*>& list);
// Prepare of every active modifier; the start of a preview run calls it.
void PrepareModifiers();
// Removes a modifier from ActiveModifiers (a tool object going away).
void RemoveActiveModifier(TParticleModifier* modifier);

// A particle's mass as a divisor of tool forces: a particle without mass (0, negative or not a
// number) is left alone by the forces, so the quotient never becomes infinite.
inline bool MassTakesForces(float mass) { return mass > 0; }
