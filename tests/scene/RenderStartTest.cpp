// Frames that do not depend on where a render started, and tools that act where the scene has
// them: a scene of several emitter objects with moving tools is rendered and baked by the real
// programs, one frame alone and as parts of longer sequences, and must give the same pictures
// and the same particles; baked frame by frame, every tool stands at its keyed pose. The
// timeline's frames (scrubbed in the host's view, kept and stepped on from the frame cache) are
// those of a render of the frame, bit for bit, also after edits of the settings and of the host's
// keys.
#include <gtest/gtest.h>
#include <unistd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/RandomTables.h"
#include "engine/TsxHelper.h"
#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

namespace {

using stage::Stage;
using stage::TNode;

TNode& NodeOf(tsxSOBJ* obj) { return *Stage().Scene.FromHandle(obj); }

void Flat(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(FarKeyX, value);
}

// Everything the particles of a frame are, as bytes: every system's time and emission carry,
// its live particles field by field, and the generator's state.
std::vector<uint8_t> RunState(const TEmitterMan& manager) {
  std::vector<uint8_t> bytes;
  auto put = [&](const auto& value) {
    const auto* b = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), b, b + sizeof value);
  };
  for (const auto& emitter : manager.EmitterList)
    for (const auto& slot : emitter->Systems) {
      const TParticleSystem& s = slot->System;
      put(s.Time), put(s.LiveCount), put(s.EmitCarry), put(s.Particles.size());
      for (const TParticle& p : s.Particles) {
        if (!p.Alive) continue;
        put(p.Mass), put(p.Position), put(p.Velocity), put(p.BaseVelocity), put(p.Color), put(p.Alpha);
        put(p.Size), put(p.Lifespan), put(p.VortexAngle), put(p.Angle), put(p.Spin), put(p.MapIndex);
        put(p.Birth), put(p.DisplayPosition), put(p.RenderPosition), put(p.PrevPosition);
      }
      // A slot not stepped since its reset still has the pose and local time of an earlier run,
      // which its first step replaces.
      if (s.Time >= 0) put(slot->Emitter.CurrentTransform), put(s.LocalTime);
    }
  put(RandomSeed);
  return bytes;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Where a node stands in the world with the whole scene at a frame; the scene's time is put back.
TVec3f WorldPositionAt(tsxSOBJ* obj, float frame) {
  const float time = Stage().Scene.Time();
  Stage().Scene.SetTime(frame);
  TVec3f at;
  GetMxTranslation3f(at, ObjectTransform(obj));
  Stage().Scene.SetTime(time);
  return at;
}

class RenderStart : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    Dir = fs::temp_directory_path() /
          ("vantrel-start-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    Plugin = std::make_unique<TVantrelPlugin>("");
    PlugState().PluginId = 1;
    Plugin->PlugInit();
  }
  void TearDown() override {
    Plugin.reset();
    stage::ResetStage();
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    fs::remove_all(Dir);
  }

  TEmitterObject& Emitter(const std::string& name, CtsxVector3f at) {
    tsxSOBJ* obj = tsxObjectCreate(Plugin->EmitterType.SObjType());
    Stage().Scene.AddToScene(NodeOf(obj));
    NodeOf(obj).Name = name;
    NodeOf(obj).Position.Rest = at;
    auto emitter = std::make_unique<TEmitterObject>();
    emitter->Name = name;
    emitter->SceneObject = obj;
    TEmitter& slot = emitter->AddSystem();
    Flat(slot.System.Flow, 6);
    Flat(slot.Emitter.BaseSpeed, 0.25);
    Flat(slot.Emitter.BaseSpeedJitter, 0.3);
    Flat(slot.Emitter.Focus, 0.7);
    Flat(slot.Emitter.Lifespan, 40);
    Flat(slot.Emitter.LifespanJitter, 0.3);
    Flat(slot.Emitter.BaseSize, 0.4);
    Flat(slot.Emitter.BaseGravity, -0.004);
    return Plugin->Main.Emitters.AddEmitter(std::move(emitter));
  }

  // A tool of a kind at the top level, its scene object named.
  TToolObject& Tool(TToolKind kind, const std::string& name) {
    TToolObject& tool = Plugin->Main.NewTool(kind);
    tool.Name = name;
    NodeOf(tool.SceneObject()).Name = name;
    return tool;
  }

  // Two or three emitter objects, different in offset, motion and visibility, streaming up
  // through a deflector that sinks onto them and a fan that sweeps across, with an attractor
  // beside them. Frames 0 to 31, 64 × 48.
  void BuildScene(int emitters) {
    Stage().View.Camera = stage::TCamera{};
    Stage().View.Camera.Eye = {0, -14, 3};
    Stage().View.Camera.Target = {0, 0, 2};
    Stage().View.Camera.FieldOfView = 50;
    Stage().View.Width = 64;
    Stage().View.Height = 48;
    Stage().Render = stage::TRenderSettings{};
    Stage().Render.Width = 64;
    Stage().Render.Height = 48;
    Stage().Render.FirstFrame = 0;
    Stage().Render.LastFrame = 31;
    Stage().Scene.SetTime(0);

    TEmitterObject& a = Emitter("A", {-1, 0, 0});
    NodeOf(a.SceneObject).Position.SetKey(0, {-2, 0, 0});
    NodeOf(a.SceneObject).Position.SetKey(31, {1, 0, 0});
    TEmitterObject& b = Emitter("B", {1.5f, 0, 0});
    b.FrameOffset = 4;
    if (emitters > 2) {
      TEmitterObject& c = Emitter("C", {0, 1, 0.5f});
      c.Visibility.Clear();  // hidden from frame 13 to frame 18: it catches up at 19
      c.Visibility.AddKey(0, 1);
      c.Visibility.AddKey(12, 0);
      c.Visibility.AddKey(18, 1);
      c.Visibility.AddKey(FarKeyX, 1);
    }

    TToolObject& deflector = Tool(ToolDeflector, "Lid");
    TNode& lid = NodeOf(deflector.SceneObject());
    lid.Rotation.Rest = {180, 0, 0};  // its face looks down at the streams
    lid.Position.SetKey(0, {0, 0, 6});
    lid.Position.SetKey(31, {0, 0, 1.5f});
    static_cast<TPlaneDeflectorModifier*>(deflector.Modifier())->Scale = 3;
    TToolObject& fan = Tool(ToolFan, "Sweep");
    TNode& sweep = NodeOf(fan.SceneObject());
    sweep.Rotation.Rest = {0, 90, 0};  // blowing along +X
    sweep.Position.SetKey(0, {-6, 0, 0});
    sweep.Position.SetKey(31, {-6, 0, 4});
    static_cast<TPlaneFanModifier*>(fan.Modifier())->Scale = 2;
    TToolObject& attractor = Tool(ToolAttractor, "Pull");
    NodeOf(attractor.SceneObject()).Position.Rest = {3, 0, 3};
  }

  fs::path SaveScene() {
    const fs::path scene = Dir / "scene.json";
    stage::SaveSceneFile(Stage(), scene);
    return scene;
  }

  // Runs a program with arguments; answers its exit code.
  int Run(const std::string& program, const std::string& args) {
    const std::string command = "'" + program + "' " + args + " >'" + (Dir / "out.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
    EXPECT_EQ(code, 0) << command << "\n" << ReadFile(Dir / "out.txt");
    return code;
  }

  fs::path Dir;
  std::unique_ptr<TVantrelPlugin> Plugin;
};

// Frame-by-frame file names: ####.png, bake.####.csv.
std::string Numbered(const std::string& pattern, int frame) { return ExpandFramePattern(pattern, frame); }

}  // namespace

TEST_F(RenderStart, FramesAreTheSameWhereverTheRenderStarted) {
  for (int emitters : {2, 3}) {
    SCOPED_TRACE(std::to_string(emitters) + " emitter objects");
    Stage().Scene.Clear();  // the plug-in's objects go with their scene objects
    BuildScene(emitters);
    ASSERT_EQ(Plugin->Main.Emitters.EmitterList.size(), static_cast<size_t>(emitters));
    const fs::path scene = SaveScene();
    const std::string s = "'" + scene.string() + "'";

    // Each frame alone, and within the runs 0–31 and 25–31, each in its own process.
    for (int f : {10, 30, 31}) {
      const std::string alone = (Dir / ("alone-" + std::to_string(f))).string();
      Run(VANTREL_PROGRAM, "render " + s + " -f " + std::to_string(f) + " -o '" + alone + ".png'");
      Run(VANTREL_BAKE, s + " --frame " + std::to_string(f) + " --csv '" + alone + ".csv'");
    }
    for (const auto& [first, name] : {std::pair{0, "all"}, std::pair{25, "tail"}}) {
      const fs::path out = Dir / name;
      fs::create_directories(out);
      Run(VANTREL_PROGRAM, "render " + s + " -s " + std::to_string(first) + " -e 31 -o '" + (out / "####.png").string() + "'");
      Run(VANTREL_BAKE, s + " --frames " + std::to_string(first) + "-31 --csv '" + (out / "bake.####.csv").string() + "'");
    }

    for (int f : {10, 30, 31}) {
      const std::string alone = (Dir / ("alone-" + std::to_string(f))).string();
      const std::string picture = ReadFile(alone + ".png"), rows = ReadFile(alone + ".csv");
      ASSERT_FALSE(picture.empty());
      EXPECT_GT(std::count(rows.begin(), rows.end(), '\n'), 20) << "frame " << f << " has particles";
      EXPECT_TRUE(picture == ReadFile(Dir / "all" / Numbered("####.png", f))) << "frame " << f << " of 0-31";
      EXPECT_TRUE(rows == ReadFile(Dir / "all" / Numbered("bake.####.csv", f))) << "frame " << f << " of 0-31";
      if (f < 25) continue;
      EXPECT_TRUE(picture == ReadFile(Dir / "tail" / Numbered("####.png", f))) << "frame " << f << " of 25-31";
      EXPECT_TRUE(rows == ReadFile(Dir / "tail" / Numbered("bake.####.csv", f))) << "frame " << f << " of 25-31";
    }
  }
}

TEST_F(RenderStart, BakedFrameByFrameTheToolsStandAtTheirKeyedPoses) {
  BuildScene(2);
  TEmitterMan& manager = Plugin->Main.Emitters;
  auto* deflector = static_cast<TPlaneDeflectorModifier*>(Plugin->Main.Toolbox.Tools[0]->Modifier());
  auto* fan = static_cast<TPlaneFanModifier*>(Plugin->Main.Toolbox.Tools[1]->Modifier());
  tsxSOBJ* lid = deflector->SceneObject;
  tsxSOBJ* sweep = fan->SceneObject;

  // As vantrel-bake does for --frames 20-30: one render begin, then each frame in turn.
  RandomSeed = 0;
  InitRandomTable();
  tsxAnimSetActiveTime(20);
  manager.RenderBegin();
  EXPECT_EQ(tsxAnimGetActiveTime(), 20);  // the rewind puts the host's time back
  for (int f = 20; f <= 30; ++f) {
    SCOPED_TRACE("frame " + std::to_string(f));
    tsxAnimSetActiveTime(static_cast<float>(f));
    manager.RenderFrame(nullptr);
    const float frame = static_cast<float>(f);
    EXPECT_EQ(SceneFrame, frame);
    EXPECT_EQ(deflector->Center, WorldPositionAt(lid, frame));
    EXPECT_EQ(deflector->PrevCenter, WorldPositionAt(lid, frame - 1));
    EXPECT_EQ(fan->Center, WorldPositionAt(sweep, frame));
  }
}

// The parts of a render, rendered apart: chunks in separate processes, worker processes of one
// render (--jobs) and GNU parallel running the chunks all write the files of one render, byte
// for byte.
TEST_F(RenderStart, ChunksWorkersAndParallelWriteTheFilesOfOneRender) {
  BuildScene(2);
  const fs::path scene = SaveScene();
  const std::string s = "'" + scene.string() + "'";
  auto out = [&](const char* name) { return "'" + (Dir / name / "####.png").string() + "'"; };
  Run(VANTREL_PROGRAM, "render " + s + " -o " + out("one"));
  for (int i = 1; i <= 3; ++i)
    Run(VANTREL_PROGRAM, "render " + s + " -o " + out("chunks") + " --chunk " + std::to_string(i) + "/3");
  Run(VANTREL_PROGRAM, "render " + s + " -o " + out("jobs") + " --jobs 2");
  const bool parallel = std::system("command -v parallel >/dev/null 2>&1") == 0;
  if (parallel)
    Run("parallel", "--will-cite '" VANTREL_PROGRAM "' render " + s + " -o " + out("parallel") +
                        " --chunk {}/4 ::: 1 2 3 4");

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Dir / "one")) names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 32u);
  for (const char* way : {"chunks", "jobs", "parallel"}) {
    if (std::string(way) == "parallel" && !parallel) {
      ADD_FAILURE() << "GNU parallel is not installed (scripts/install-deps installs it)";
      continue;
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Dir / way)) ++files;
    EXPECT_EQ(files, names.size()) << way;
    for (const std::string& name : names)
      EXPECT_TRUE(ReadFile(Dir / "one" / name) == ReadFile(Dir / way / name)) << way << ": " << name;
  }
}

// The host's view drawn again at a frame (the user scrubbed there): the plug-in brings the
// systems to that frame through its frame cache. Each must hold what a render of the frame alone
// holds, whether the frame was kept, stepped on from a kept one, or stepped from the start; after
// an edit of a curve over frames the frames before the edit stay kept, after a change of a host
// key nothing does, and both give a render's particles again.
TEST_F(RenderStart, ScrubbedFramesAreThoseOfARender) {
  BuildScene(3);
  TMain& main = Plugin->Main;
  TEmitterMan& manager = main.Emitters;
  TFrameCache& cache = main.Timeline.Cache;
  auto scrub = [&](int f) {
    Stage().Scene.SetTime(static_cast<float>(f));
    Stage().RefreshView();
    EXPECT_EQ(Stage().Scene.Time(), f) << "the host's time is put back";
    return RunState(manager);
  };
  auto render = [&](int f) {
    tsxAnimSetActiveTime(static_cast<float>(f));
    manager.RenderBegin();
    manager.RenderFrame(nullptr);
    return RunState(manager);
  };

  // Once the host has shown a view, a render's rewind keeps the frames it steps; while it runs
  // the view shows nothing of its own.
  tsxAnimSetActiveTime(8);
  main.RenderBegin();
  main.RenderEnded();
  EXPECT_EQ(cache.Count(), 0u) << "no view drawn yet";
  Stage().Scene.SetTime(0);
  Stage().RefreshView();
  tsxAnimSetActiveTime(8);
  main.RenderBegin();
  EXPECT_EQ(cache.Frames(), (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  Stage().Scene.SetTime(20);
  EXPECT_EQ(main.Timeline.ViewDrawn(), 0);
  EXPECT_EQ(cache.Count(), 8u);
  main.RenderEnded();

  std::map<int, std::vector<uint8_t>> scrubbed;
  scrubbed[10] = scrub(10);  // on from the render's frame 7
  EXPECT_EQ(cache.Frames().size(), 11u);
  cache.DropFrom(5);
  scrubbed[12] = scrub(12);  // on from frame 4
  scrubbed[31] = scrub(31);  // on from frame 12
  scrubbed[3] = scrub(3);    // kept
  scrubbed[16] = scrub(16);  // kept; emitter C is hidden here
  EXPECT_EQ(cache.Frames().size(), 32u);
  // Drawn into the view: the visible particles of the frame.
  Stage().Scene.SetTime(31);
  EXPECT_GT(main.Timeline.ViewDrawn(), 20);
  for (const auto& [f, state] : scrubbed) EXPECT_TRUE(state == render(f)) << "frame " << f;

  // A Flow key of emitter A's system at frame 20: frames from 19 on go, earlier ones stay.
  TVarSeries& flow = manager.EmitterList[0]->Systems[0]->System.Flow;
  flow.Clear();
  flow.AddKey(0, 6);
  flow.AddKey(20, 6);
  flow.AddKey(24, 30);
  flow.AddKey(FarKeyX, 30);
  const std::vector<uint8_t> edited = scrub(27);
  EXPECT_TRUE(cache.Has(18));
  EXPECT_TRUE(edited == render(27));
  EXPECT_TRUE(scrub(21) == render(21));
  EXPECT_TRUE(scrub(18) == render(18));

  // A host key of emitter B moved: every kept frame goes.
  Stage().Scene.FromHandle(manager.EmitterList[1]->SceneObject)->Position.SetKey(8, {1.5f, 0, 2});
  const std::vector<uint8_t> moved = scrub(22);
  EXPECT_FALSE(cache.Has(23));
  EXPECT_TRUE(moved == render(22));
}
