// The emission part of a system slot: the system-level property curves with their jitter
// curves, the emitter shape and focus, and the emitter object's transform at the previous and
// current step. InitParticle decides where, in which direction and with which properties a new
// particle starts; the order of its random draws is part of the behaviour.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/VarSeries.h"
#include "engine/VectorData.h"
#include "hostapi/TsxApi5.h"

class TParticleSystem;
struct TParticle;

enum TEmitterShape : int32_t { ShapePoint = 0, ShapePlane = 1, ShapeSphere = 2, ShapeDisc = 3, ShapeSurface = 4 };
enum TFocusShape : int32_t { FocusSphere = 0, FocusDisc = 1 };

class TParticleEmitter : public TVariableSystem {
 public:
  TParticleEmitter();
  virtual ~TParticleEmitter() = default;

  TVarSeries& Focus;
  TVarSeries& Lifespan;
  TVarSeries& BaseSize;
  TVarSeries& BaseSpeed;
  TVarSeries& BaseGravity;
  TVarSeries& BaseOrientation;
  TVarSeries& BaseAlpha;
  TVarSeries& BaseIntensity;
  TVarSeries& Rotation;
  TVarSeries& Vortex;
  TVarSeries& Mass;
  TVarSeries& FocusJitter;  // stored and edited; emission does not read it
  TVarSeries& LifespanJitter;
  TVarSeries& BaseSizeJitter;
  TVarSeries& BaseSpeedJitter;
  TVarSeries& BaseOrientationJitter;
  TVarSeries& BaseAlphaJitter;
  TVarSeries& BaseIntensityJitter;
  TVarSeries& RotationJitter;
  TVarSeries& VortexJitter;
  TVarSeries& MassJitter;

  int32_t EmitterShape = ShapeSphere;
  int32_t FocusShape = FocusSphere;
  float EmitterRadius = 0.1f;  // in the emitter object's units before its scale

  TMx3f PreviousTransform{};  // all zeros until the first step
  TMx3f CurrentTransform = IdentityMx3f;

  // Host polyhedra that surface emission samples; supplied by the emitter object before each
  // step that emits, not owned. Null or empty: surface emission falls back to the plane square.
  const std::vector<tsxGNODE*>* SurfaceSources = nullptr;

  // Fills a particle that the system's Emit has just taken from the pool; never clears Alive.
  virtual void InitParticle(TParticleSystem& system, TParticle& p);

  // A random point on a random face of a random polyhedron of SurfaceSources, in world space,
  // and that face's normal. False, with position and direction unchanged, when there is no
  // polyhedron or the chosen one has no faces.
  bool SampleSurface(TVec3f& position, TVec3f& direction) const;

 private:
  // CurrentTransform split into rotation and scale, redone only when the transform changed:
  // every particle of a step is born with the same one.
  void SplitCurrentTransform();
  TMx3f SplitOf_{};
  TMx3f Rotation_ = IdentityMx3f;
  TVec3f Scale_{1, 1, 1};
  bool SplitValid_ = false;
};
