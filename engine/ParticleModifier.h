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

// What a run of a tool over a range of particles keeps to itself, so that ranges of one frame can
// run on different threads and be merged in slot order afterwards.
struct TToolLane {
  int32_t Killed = 0;  // particles the tool killed; the system's LiveCount drops by as many
  TVec3f Center;       // the leader's target, which moves from particle to particle
};

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
  // and Alive (and then the system's LiveCount). The whole of a step's work for one particle:
  // BeginFrame, then ApplyIn on a lane of its own, merged at once.
  void Apply(TParticleSystem& system, TParticle& particle);

  // ---- A frame's particles in ranges (the system's step). BeginFrame runs once per frame
  // before any particle, on the stepping thread; then ApplyIn runs for the particles of each
  // range, possibly on several threads at once, each range with its own lane that StartLane
  // made; FinishLane takes the lane of the frame's last range.
  // Works out what is constant in the frame (the strength at the tool time; the leader's path
  // when it has none yet).
  virtual void BeginFrame(const TParticleSystem& system) { (void)system; }
  // Apply's work: reads the modifier, changes only the particle and the lane. Thread-safe once
  // BeginFrame ran for the frame.
  virtual void ApplyIn(const TParticleSystem& system, TParticle& particle, TToolLane& lane) const = 0;
  virtual TToolLane StartLane() const { return {}; }
  virtual void FinishLane(const TToolLane& lane) { (void)lane; }
  // Whether ApplyIn may kill particles in this frame (the absorbing deflector).
  virtual bool MayKill(const TParticleSystem& system) const { (void)system; return false; }
  // For a tool whose lane carries a value from particle to particle (the leader's target): sets
  // the lane as the tool would leave it after the live particle p, when p sets it at all, and
  // answers whether it did. A range's lane then starts from the last earlier particle that did.
  virtual bool LaneFollows() const { return false; }
  virtual bool LaneAfter(const TParticleSystem& system, const TParticle& p, TToolLane& lane) const {
    (void)system, (void)p, (void)lane;
    return false;
  }

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
  void BeginFrame(const TParticleSystem& system) override;
  TToolLane StartLane() const override { return TToolLane{0, Center}; }

 protected:
  // The one byte a kind stores after Scale (Absorbs or Falloff); none for the gravitron.
  virtual uint8_t* StoredKindByte() { return nullptr; }
  const uint8_t* StoredKindByte() const { return const_cast<TBasicModifier*>(this)->StoredKindByte(); }

  // kind: the strength curve's default, range and the factor that turns its value into a strength;
  // jitterKind: the x kind of the jitter curve.
  TBasicModifier(const char* kindName, double value, double maxValue, float factor, uint8_t jitterKind);

  // Strength at tool time t: curve × factor × ExtraStrengthFactor, jittered by the random table
  // at t. BeginFrame caches it for the frame's tool time, so all the particles of one frame cost
  // one evaluation.
  float StrengthAt(double t) const;
  virtual float ExtraStrengthFactor() const { return 1; }
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
  float ComputeStrength(double t) const;
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
