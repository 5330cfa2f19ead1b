// Emission against real stage scenes: shapes and focus, the emitter's motion, surfaces of
// grouped meshes, jitter ranges and birth colours.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/RandomTables.h"
#include "scene/EmitterObj.h"
#include "stage/Stage.h"

namespace {

using stage::Stage;

void Flat(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(FarKeyX, value);
}

class Emission : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    RandomSeed = 0;
    InitRandomTable();
    RandomSeed = RunSeed;
    node = &Stage().Scene.AddGroup("emitter");
    object.SceneObject = stage::TScene::Handle(node);
    slot = &object.AddSystem();
    Flat(slot->System.Flow, 10);
  }

  // Resets and steps the slot to frame 0; answers the particles born.
  std::vector<TParticle> EmitOnce() {
    slot->System.Reset();
    slot->FreshStart = true;
    slot->StepToFrame(0, true);
    std::vector<TParticle> born;
    for (const TParticle& p : slot->System.Particles)
      if (p.Alive) born.push_back(p);
    return born;
  }

  stage::TNode* node = nullptr;
  TEmitterObject object;
  TEmitter* slot = nullptr;
};

constexpr float Tol = 1e-5f;

}  // namespace

TEST_F(Emission, PointWithFullFocusShootsAlongZ) {
  TParticleEmitter& e = slot->Emitter;
  e.EmitterShape = ShapePoint;
  Flat(e.Focus, 1);
  const auto born = EmitOnce();
  ASSERT_EQ(born.size(), 10u);
  for (const TParticle& p : born) {
    EXPECT_NEAR(p.BaseVelocity.z, 0.3f, Tol);
    EXPECT_NEAR(p.Position.x, 0, Tol);
    EXPECT_NEAR(p.Position.y, 0, Tol);
    // Born at Position = BaseVelocity × r, then moved once by its base velocity.
    EXPECT_GE(p.Position.z, 0.3f - Tol);
    EXPECT_LT(p.Position.z, 0.6f + Tol);
  }
}

TEST_F(Emission, DiscFocusIsFlat) {
  slot->Emitter.EmitterShape = ShapeSphere;
  slot->Emitter.FocusShape = FocusDisc;
  Flat(slot->Emitter.Focus, 1);
  for (const TParticle& p : EmitOnce()) EXPECT_NEAR(p.Direction.z, 0, Tol);
}

TEST_F(Emission, PlaneCoversTheScaledSquare) {
  node->Scale.Rest = {2, 1, 1};
  TParticleEmitter& e = slot->Emitter;
  e.EmitterShape = ShapePlane;
  Flat(e.BaseSpeed, 0);  // no spread along the path, no move
  Flat(slot->System.Flow, 200);
  bool wideX = false;
  for (const TParticle& p : EmitOnce()) {
    EXPECT_GE(p.Position.x, -0.2f);
    EXPECT_LT(p.Position.x, 0.2f);
    EXPECT_GE(p.Position.y, -0.1f);
    EXPECT_LT(p.Position.y, 0.1f);
    EXPECT_EQ(p.Position.z, 0);
    EXPECT_NEAR(p.Direction.z, 1, Tol);
    wideX |= std::fabs(p.Position.x) > 0.15f;
  }
  EXPECT_TRUE(wideX);
}

TEST_F(Emission, SphereOffsetsFollowTheirDirection) {
  node->Scale.Rest = {1, 2, 3};
  TParticleEmitter& e = slot->Emitter;
  e.EmitterShape = ShapeSphere;
  e.EmitterRadius = 0.5f;
  Flat(e.Focus, 0);
  Flat(e.BaseSpeed, 0);
  const float bound[3] = {1, 2, 3};  // 2 × radius × scale
  for (const TParticle& p : EmitOnce()) {
    const float pos[3] = {p.Position.x, p.Position.y, p.Position.z};
    const float dir[3] = {p.Direction.x, p.Direction.y, p.Direction.z};
    for (int k = 0; k < 3; ++k) {
      EXPECT_LE(std::fabs(pos[k]), bound[k] * std::fabs(dir[k]) + Tol);
      if (std::fabs(pos[k]) > Tol) {
        EXPECT_EQ(pos[k] > 0, dir[k] > 0);
      }
    }
  }
}

TEST_F(Emission, MovingEmitterSpreadsBehindItsPreviousPosition) {
  for (float move : {1.0f, 2.0f}) {
    node->Position.ClearKeys();
    node->Position.SetKey(0, {0, 0, 0});
    node->Position.SetKey(1, {move, 0, 0});
    TParticleEmitter& e = slot->Emitter;
    e.EmitterShape = ShapePoint;
    slot->System.Reset();
    slot->FreshStart = true;
    object.SetSceneFrame(0);
    slot->StepToFrame(0, true);
    for (const TParticle& p : slot->System.Particles)
      if (p.Alive) {
        EXPECT_EQ(p.Origin.x, 0);  // a fresh start does not spread
      }
    object.SetSceneFrame(1);
    slot->StepToFrame(1, true);
    float furthest = 0;
    for (const TParticle& p : slot->System.Particles) {
      if (!p.Alive || p.Birth != 1) continue;
      EXPECT_LE(p.Origin.x, 0);
      EXPECT_GT(p.Origin.x, -move * move);
      furthest = std::min(furthest, p.Origin.x);
    }
    EXPECT_LT(furthest, -0.5f * move * move);
  }
}

TEST_F(Emission, SurfaceWithoutMeshesActsAsPlane) {
  slot->Emitter.EmitterShape = ShapeSurface;
  Flat(slot->Emitter.BaseSpeed, 0);
  object.CollectSurfaceSources();
  EXPECT_TRUE(object.SurfaceSources.empty());
  for (const TParticle& p : EmitOnce()) {
    EXPECT_NEAR(p.Direction.z, 1, Tol);
    EXPECT_EQ(p.Position.z, 0);
    EXPECT_LT(std::fabs(p.Position.x), 0.1f + Tol);
  }
}

TEST_F(Emission, SurfaceEmitsFromGroupedMeshFaces) {
  // A group holding the emitter and a 2-unit box centred at (5, 0, 0).
  stage::ResetStage();
  stage::TNode& group = Stage().Scene.AddGroup("group");
  stage::TNode& emitterNode = Stage().Scene.AddGroup("emitter", &group);
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  box.Size = {2, 2, 2};
  stage::TNode& mesh = Stage().Scene.AddPrimitive("box", box, &group);
  mesh.Position.Rest = {5, 0, 0};
  TEmitterObject grouped;
  grouped.SceneObject = stage::TScene::Handle(&emitterNode);
  TEmitter& s = grouped.AddSystem();
  s.Emitter.EmitterShape = ShapeSurface;
  Flat(s.System.Flow, 50);
  Flat(s.Emitter.BaseSpeed, 0);
  grouped.CollectSurfaceSources();
  ASSERT_EQ(grouped.SurfaceSources.size(), 1u);
  s.System.Reset();
  s.FreshStart = true;
  s.StepToFrame(0, true);
  int checked = 0;
  for (const TParticle& p : s.System.Particles) {
    if (!p.Alive) continue;
    // On a face of the box: one coordinate at its extreme, the others inside.
    const float local[3] = {p.Position.x - 5, p.Position.y, p.Position.z};
    int onFace = 0;
    for (float c : local) {
      EXPECT_LE(std::fabs(c), 1 + 1e-4f);
      onFace += std::fabs(std::fabs(c) - 1) < 1e-4f;
    }
    EXPECT_GE(onFace, 1);
    ++checked;
  }
  EXPECT_EQ(checked, 50);

  // A render that begins later re-simulates its first frames from the same surfaces.
  grouped.SurfaceSources.clear();
  tsxAnimSetActiveTimeScene(3);
  grouped.RewindForRender();
  EXPECT_EQ(grouped.SurfaceSources.size(), 1u);
  int early = 0;
  for (const TParticle& p : s.System.Particles) {
    if (!p.Alive || p.Birth != 0) continue;
    EXPECT_GT(p.Position.x, 3);  // on the box around x = 5, not on the emitter's plane at 0
    ++early;
  }
  EXPECT_EQ(early, 50);

  // With speed, the start velocity is the face's outward normal times the speed.
  Flat(s.Emitter.BaseSpeed, 0.5);
  s.System.Reset();
  s.StepToFrame(0, true);
  for (const TParticle& p : s.System.Particles) {
    if (!p.Alive) continue;
    EXPECT_NEAR(Magnitude3f(p.BaseVelocity), 0.5f, Tol);
    const TVec3f before{p.Position.x - 5 - p.BaseVelocity.x, p.Position.y - p.BaseVelocity.y,
                        p.Position.z - p.BaseVelocity.z};
    EXPECT_GT(DProdVec3f(before, p.BaseVelocity), 0);  // outward
  }
}

TEST_F(Emission, JitterRanges) {
  TParticleEmitter& e = slot->Emitter;
  Flat(e.LifespanJitter, 0.5);
  Flat(e.BaseOrientationJitter, 1);
  Flat(e.RotationJitter, 1);
  Flat(slot->System.Flow, 500);
  object.HeightScaling = HeightOlderParticles;
  node->Scale.Rest = {1, 1, 4};  // LifeScale 2
  float lo = 1e9f, hi = -1e9f, angle = 0, spin = 0;
  for (const TParticle& p : EmitOnce()) {
    lo = std::min(lo, p.Lifespan);
    hi = std::max(hi, p.Lifespan);
    // The one update since birth added the spin once.
    const float birthAngle = p.Angle - p.Spin;
    EXPECT_LE(std::fabs(birthAngle), 180);
    EXPECT_LE(std::fabs(p.Spin), 4);
    angle = std::max(angle, std::fabs(birthAngle));
    spin = std::max(spin, std::fabs(p.Spin));
  }
  EXPECT_GE(lo, 60);
  EXPECT_LT(hi, 180);
  EXPECT_LT(lo, 70);
  EXPECT_GT(hi, 170);
  EXPECT_GT(angle, 170);
  EXPECT_GT(spin, 3.8f);
}

TEST_F(Emission, BirthColourFromGradientAndIntensity) {
  Flat(slot->Emitter.BaseIntensity, 2);
  Flat(slot->Emitter.BaseIntensityJitter, 0);
  for (const TParticle& p : EmitOnce()) {
    EXPECT_EQ(p.Color.r, 2);
    EXPECT_EQ(p.Color.g, 2);
    EXPECT_EQ(p.Color.b, 2);
    EXPECT_EQ(p.Color.a, 1);  // the fourth value is carried, never scaled
  }
}

TEST_F(Emission, ReseededEmissionRepeats) {
  slot->Emitter.EmitterShape = ShapeSphere;
  Flat(slot->Emitter.Focus, 0.3);
  RandomSeed = RunSeed;
  const auto a = EmitOnce();
  RandomSeed = RunSeed;
  const auto b = EmitOnce();
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].Position, b[i].Position);
    EXPECT_EQ(a[i].BaseVelocity, b[i].BaseVelocity);
  }
}

// With a random particle colour, a random system colour and a random image all on, the draws
// come in their fixed order: five for lifespan, angle, spin, size and mass, then the particle
// colour's, the system colour's, the intensity's and the alpha's, then the image, then the
// vortex. Replaying the generator gives every one of them back.
TEST_F(Emission, InitParticleDrawsInItsOrderWithEveryRandomChoiceOn) {
  TParticleSystem& s = slot->System;
  TParticleEmitter& e = slot->Emitter;
  s.ParticleColorMode = ColorModeRandom;
  s.SystemColorMode = 1;
  s.MapMode = MapRandom;
  s.Maps.AddImage("second.png");
  s.Maps.AddImage("third.png");
  s.ParticleColors.AddStop(0, 0x0000FF);   // red
  s.ParticleColors.AddStop(100, 0xFF0000); // blue
  s.SystemColors.AddStop(30, 0x00FF00);    // green
  s.SystemColors.AddStop(80, 0xFFFFFF);
  Flat(e.BaseIntensity, 1.5);
  Flat(e.BaseIntensityJitter, 0.5);
  Flat(e.Vortex, 1);
  Flat(e.VortexJitter, 1);

  RandomSeed = 777;
  TParticle p;
  p.Alive = true;
  e.InitParticle(s, p);

  RandomSeed = 777;
  for (int i = 0; i < 5; ++i) Random();  // lifespan, angle, spin, size, mass
  const double particleDraw = Random(), systemDraw = Random();
  TColorVector particleColour, systemColour;
  s.ParticleColors.ColorAt(100 * particleDraw, particleColour);
  s.SystemColors.ColorAt(systemDraw * s.SystemColors.LargestPosition(), systemColour);
  const float intensity = ScaleJitter(1.5f, 0.5f);
  Random();  // alpha
  const int32_t image = RandomInt(3);
  const float vortex = ScaleJitter(1, 1);
  EXPECT_EQ(p.MapIndex, image);
  EXPECT_FLOAT_EQ(p.VortexSpeed, vortex);
  EXPECT_NEAR(p.Color.r, particleColour.r * systemColour.r * intensity, 1e-5);
  EXPECT_NEAR(p.Color.g, particleColour.g * systemColour.g * intensity, 1e-5);
  EXPECT_NEAR(p.Color.b, particleColour.b * systemColour.b * intensity, 1e-5);
  EXPECT_GT(p.Color.r + p.Color.g + p.Color.b, 0.05f) << "a colour the two draws can tell apart";
}
