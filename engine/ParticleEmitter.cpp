// Emission: lifespan, angle, spin, size, mass, birth colour, alpha, image, swirl, the emission
// point spread along the emitter's motion, the shape sample and the start velocity, drawing
// from the program-wide generator in this fixed order.
#include "engine/ParticleEmitter.h"

#include <cmath>
#include <numbers>

#include "engine/Particle.h"
#include "engine/RandomTables.h"
#include "engine/TsxHelper.h"

namespace {

float At(const TVarSeries& curve, double t) { return static_cast<float>(curve.Evaluate(t)); }

}  // namespace

TParticleEmitter::TParticleEmitter()
    : Focus(AddVariable(ClampBoth, XKindFrames, 0.8, 0, 1)),
      Lifespan(AddVariable(ClampMin, XKindFrames, 60, 1, 180)),
      BaseSize(AddVariable(ClampMin, XKindFrames, 1, 0, 4)),
      BaseSpeed(AddVariable(ClampMin, XKindFrames, 0.3, 0, 0.5)),
      BaseGravity(AddVariable(ClampNone, XKindFrames, -0.01, -0.02, 0.02)),
      BaseOrientation(AddVariable(ClampBoth, XKindFrames, 0, -182, 182)),
      BaseAlpha(AddVariable(ClampBoth, XKindFrames, 1, 0, 1)),
      BaseIntensity(AddVariable(ClampMin, XKindFrames, 1, 0, 3)),
      Rotation(AddVariable(ClampNone, XKindFrames, 0, 0, 1)),
      Vortex(AddVariable(ClampNone, XKindFrames, 0, 0, 1)),
      Mass(AddVariable(ClampMin, XKindFrames, 1, 0, 4)),
      FocusJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      LifespanJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      BaseSizeJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      BaseSpeedJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      BaseOrientationJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      BaseAlphaJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      BaseIntensityJitter(AddVariable(ClampMin, XKindFrames, 0.05, 0, 1)),
      RotationJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      VortexJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)),
      MassJitter(AddVariable(ClampMin, XKindFrames, 0, 0, 1)) {
  BaseGravity.ValueStep = 0.001;
}

void TParticleEmitter::InitParticle(TParticleSystem& system, TParticle& p) {
  const double lt = system.LocalTime;

  p.Lifespan = ScaleJitter(At(Lifespan, lt), At(LifespanJitter, lt)) * system.LifeScale;
  p.Angle = static_cast<float>(BaseOrientation.Evaluate(lt) + SignedJitter(180, At(BaseOrientationJitter, lt)));
  p.Spin = static_cast<float>(Rotation.Evaluate(lt) + SignedJitter(4, At(RotationJitter, lt)));
  p.Size = ScaleJitter(At(BaseSize, lt), At(BaseSizeJitter, lt)) * system.SizeScale;
  p.Mass = ScaleJitter(At(Mass, lt), At(MassJitter, lt));

  // Birth colour: the particle gradient at a random point (Random Color) or white, times the
  // system gradient now or at a random point of its range, times the jittered intensity.
  if (system.ParticleColorMode == ColorModeRandom)
    system.ParticleColors.ColorAt(100 * Random(), p.Color);
  else
    p.Color = MakeColorVector(1, 1, 1, 1);
  TColorVector c;
  if (system.SystemColorMode == ColorModeRandom)
    system.SystemColors.ColorAt(Random() * system.SystemColors.LargestPosition(), c);
  else
    system.SystemColors.ColorAt(lt, c);
  MulColor(p.Color, c);
  ScaleColor(p.Color, ScaleJitter(At(BaseIntensity, lt), At(BaseIntensityJitter, lt)));

  p.Alpha = ScaleJitter(At(BaseAlpha, lt), At(BaseAlphaJitter, lt));
  p.MapIndex = system.MapMode == MapRandom ? RandomInt(system.Maps.ImageCount()) : system.MapIndex;
  p.Reserved0 = ZeroVec3f;
  p.VortexSpeed = ScaleJitter(At(Vortex, lt), At(VortexJitter, lt));

  // Emission point: behind the previous position along the last move, so that particles of
  // one frame are spread over the emitter's path instead of bunching at its current place.
  TVec3f pT, cT, d;
  GetMxTranslation3f(pT, PreviousTransform);
  GetMxTranslation3f(cT, CurrentTransform);
  SubToVec3f(cT, pT, d);
  MulScalar3f(d, static_cast<float>(Random() * Magnitude3f(d)));
  AddToVec3f(pT, d, p.Origin);

  SplitCurrentTransform();
  const TMx3f& R = Rotation_;
  const TVec3f& S = Scale_;
  RotateVect3f(ZAxis3f, p.Axis, R);

  // Shape sample in the emitter's local frame.
  TVec3f local = ZeroVec3f;
  switch (EmitterShape) {
    case ShapePlane:
    case ShapeSurface:
      p.Direction = p.Axis;
      local.x += static_cast<float>((Random() - 0.5) * 2 * EmitterRadius * S.x);
      local.y += static_cast<float>((Random() - 0.5) * 2 * EmitterRadius * S.y);
      break;
    case ShapePoint:
    case ShapeSphere:
    case ShapeDisc: {
      const double f = SnapZero(1.0 - Focus.Evaluate(lt));
      const double theta = FocusShape == FocusDisc ? (1 + f * (2 * Random() - 1)) * std::numbers::pi / 2
                                                   : Random() * std::numbers::pi * f;
      const double phi = Random() * 2 * std::numbers::pi;
      TVec3f u;
      SphericalDirection(u, theta, phi);
      RotateVect3f(u, p.Direction, R);
      const TVec3f o = EmitterShape == ShapePoint   ? ZeroVec3f
                       : EmitterShape == ShapeDisc ? TVec3f{u.x, u.y, 0}
                                                   : u;
      local.x += ScaleJitter(EmitterRadius * S.x, 1) * o.x;
      local.y += ScaleJitter(EmitterRadius * S.y, 1) * o.y;
      local.z += ScaleJitter(EmitterRadius * S.z, 1) * o.z;
      break;
    }
    default:
      p.Direction = ZeroVec3f;
      break;
  }
  RotateVect3f(local, p.Position, R);
  AddVec3f(p.Position, p.Origin);

  p.BaseVelocity = p.Direction;
  if (EmitterShape == ShapeSurface) SampleSurface(p.Position, p.BaseVelocity);
  MulScalar3f(p.BaseVelocity, ScaleJitter(At(BaseSpeed, lt) * system.SpeedScale, At(BaseSpeedJitter, lt)));
  p.Velocity = ZeroVec3f;
  p.GravityVec = {0, 0, At(BaseGravity, lt) * system.GravityScale};

  // Particles born in one frame are spread along their own path by up to one frame of travel.
  TVec3f spread = p.BaseVelocity;
  MulScalar3f(spread, static_cast<float>(Random()));
  AddVec3f(p.Position, spread);
}

void TParticleEmitter::SplitCurrentTransform() {
  if (SplitValid_ && SplitOf_ == CurrentTransform) return;
  UnMatrix3f(CurrentTransform, Rotation_, Scale_);
  SplitOf_ = CurrentTransform;
  SplitValid_ = true;
}

bool TParticleEmitter::SampleSurface(TVec3f& position, TVec3f& direction) const {
  if (!SurfaceSources || SurfaceSources->empty()) return false;
  const int32_t n = static_cast<int32_t>(SurfaceSources->size());
  TPolyh polyh((*SurfaceSources)[static_cast<size_t>(RandomInt(n))]);
  if (polyh.FaceCount() <= 0) return false;
  const int32_t k = RandomInt(polyh.FaceCount());
  TMx3f M;
  polyh.ReadVertexTransform(M);
  TVec3f normal, point;
  polyh.FaceNormal(k, normal);
  RotateVect3f(normal, direction, M);
  polyh.RandomPointOnFace(k, point);
  TransformVect3f(point, position, M);
  return true;
}
