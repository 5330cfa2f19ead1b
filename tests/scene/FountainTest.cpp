// The fountain example stepped frame by frame as a render steps it: every drop that falls onto
// the pool's rectangle stays in front of it, however fast the drops grow.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "engine/DeflectorModifier.h"
#include "engine/RandomTables.h"
#include "plugin/VantrelPlugin.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

TEST(Fountain, NoDropEndsBelowThePool) {
  stage::ResetStage();
  TTsxExtObj::ResetRegistry();
  ResetPlugState();
  RandomSeed = 0;
  InitRandomTable();
  {
    TVantrelPlugin plugin("");
    ASSERT_TRUE(LoadBakeScene(plugin, (fs::path(VANTREL_EXAMPLES_DIR) / "fountain" / "scene.json").string()).empty());
    ASSERT_EQ(plugin.Main.Toolbox.Tools.size(), 1u);
    auto* pool = dynamic_cast<TPlaneDeflectorModifier*>(plugin.Main.Toolbox.Tools[0]->Modifier());
    ASSERT_NE(pool, nullptr);
    ASSERT_FALSE(plugin.Main.Emitters.EmitterList.empty());

    tsxAnimSetActiveTime(0);
    plugin.Main.Emitters.RenderBegin();
    int reached = 0, below = 0;
    for (int frame = 0; frame <= 96; ++frame) {
      tsxAnimSetActiveTime(static_cast<float>(frame));
      plugin.Main.Emitters.RenderFrame(nullptr);
      // The pool lies flat: its axes are the world's, shifted to its centre.
      for (const auto& emitter : plugin.Main.Emitters.EmitterList)
        for (const auto& slot : emitter->Systems)
          for (const TParticle& p : slot->System.Particles) {
            if (!p.Alive) continue;
            if (std::fabs(p.Position.x - pool->Center.x) > pool->HalfX ||
                std::fabs(p.Position.y - pool->Center.y) > pool->HalfY)
              continue;
            if (p.Position.z < pool->Center.z + 0.5f) ++reached;  // down at the pool, lifted by its size
            if (p.Position.z < pool->Center.z - 0.001f) ++below;
          }
    }
    EXPECT_GT(reached, 100) << "the drops no longer come down onto the pool";
    EXPECT_EQ(below, 0);
  }
  TTsxExtObj::ResetRegistry();
  ResetPlugState();
}
