// The guide's hand-written scene: a red stream falls onto a cube and bounces off the deflector
// on its top. After the first drops arrived, red particles fly above the cube and none is inside.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "plugin/VantrelPlugin.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

namespace {

const fs::path GuideScene = fs::path(VANTREL_TEST_DATA) / ".." / ".." / "examples" / "guide" / "scene.json";

TEST(GuideScene, RedParticlesBounceOffTheCubeAndNoneEntersIt) {
  stage::ResetStage();
  TTsxExtObj::ResetRegistry();
  ResetPlugState();
  TVantrelPlugin plugin("");
  const auto warnings = LoadBakeScene(plugin, GuideScene.string());
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  ASSERT_EQ(plugin.Main.Emitters.EmitterList.size(), 1u);
  ASSERT_EQ(plugin.Main.Toolbox.Tools.size(), 1u);
  TEmitterObject& emitter = *plugin.Main.Emitters.EmitterList[0];
  ASSERT_EQ(emitter.Systems.size(), 1u);
  TParticleSystem& s = emitter.Systems[0]->System;

  tsxAnimSetActiveTime(0);
  plugin.Main.Emitters.RenderBegin();
  int above = 0, bounced = 0, inside = 0, alive = 0;
  for (int frame = 0; frame <= 90; ++frame) {
    tsxAnimSetActiveTime(static_cast<float>(frame));
    plugin.Main.Emitters.RenderFrame(nullptr);
    for (const TParticle& p : s.Particles) {
      if (!p.Alive) continue;
      ++alive;
      const TVec3f& q = p.RenderPosition;
      const bool overTop = std::fabs(q.x) < 1 && std::fabs(q.y) < 1;
      // The cube fills -1..1 in x and y and 0..2 in z.
      if (overTop && q.z > 0.02f && q.z < 1.98f) ++inside;
      if (overTop && q.z >= 2 && q.z < 6) ++above;
      if (frame > 40 && overTop && q.z >= 2 && p.Velocity.z + p.BaseVelocity.z > 0) ++bounced;
      // Red: the system colour times white.
      EXPECT_GT(p.Color.r, 0.9f);
      EXPECT_LT(p.Color.g, 0.2f);
    }
  }
  EXPECT_GT(alive, 0);
  EXPECT_GT(above, 0);
  EXPECT_GT(bounced, 0);
  EXPECT_EQ(inside, 0);
  TTsxExtObj::ResetRegistry();
  ResetPlugState();
}

}  // namespace
