// Point forces: the attractor pulls and the repulsor pushes particles' velocity relative to the
// tool's centre; the leader draws their positions towards where its animated path is at the
// same fraction of its animation as the particle is of its life.
#pragma once

#include <vector>

#include "engine/ParticleModifier.h"

class TAttractModifier : public TBasicModifier {
 public:
  TAttractModifier();

  int32_t Sign = 1;
  using TBasicModifier::Falloff;
  TVarSeries& Power() { return Strength; }
  TVarSeries& PowerJitter() { return StrengthJitter; }

  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override;

 protected:
  uint8_t* StoredKindByte() override { return &Falloff; }
  TAttractModifier(const char* kindName, double value, double maxValue);
  // The pull towards center for this particle, or false when the particle takes no force.
  bool Pull(const TParticleSystem& system, const TParticle& p, const TVec3f& center, TVec3f& pull) const;
};

class TRepulseModifier : public TAttractModifier {
 public:
  TRepulseModifier();
};

class TPathingModifier : public TAttractModifier {
 public:
  TPathingModifier();

  TVarSeries& Tension() { return Strength; }
  TVarSeries& TensionJitter() { return StrengthJitter; }
  std::vector<TVec3f> Path;  // the tool's position at each frame of its animation range

  // Samples the path over the animation range, then poses the object back at the scene's time.
  void Prepare() override;
  // Samples the path on first use when no preview prepared it (a final render).
  void BeginFrame(const TParticleSystem& system) override;
  // The target moves along the path with the particles' ages; lanes carry it.
  void ApplyIn(const TParticleSystem& system, TParticle& p, TToolLane& lane) const override;
  void FinishLane(const TToolLane& lane) override { Center = lane.Center; }
  bool LaneFollows() const override { return true; }
  bool LaneAfter(const TParticleSystem& system, const TParticle& p, TToolLane& lane) const override;

 private:
  // The path entry a particle is drawn to, or false when its age falls outside the path.
  bool PathIndex(const TParticleSystem& system, const TParticle& p, size_t& k) const;
};

// Longest path a leader samples: an absurd animation range must not exhaust memory.
constexpr size_t MaxLeaderPathSamples = 1 << 16;
