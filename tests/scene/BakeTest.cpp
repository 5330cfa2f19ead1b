// vantrel-bake's input and output: a small system file baked to CSV, frame patterns, errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Bake : public ::testing::Test {
 protected:
  void SetUp() override {
    stage::ResetStage();
    dir = fs::temp_directory_path() / ("vantrel-bake-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // A system file with a flow of 2 and lifespan 5, no jitter, speed 0.5 along +Z.
  std::string WriteSystemFile() {
    TEmitterObject e;
    TEmitter& slot = e.AddSystem();
    auto flat = [](TVarSeries& c, double v) {
      c.Clear();
      c.AddKey(0, v);
      c.AddKey(FarKeyX, v);
    };
    flat(slot.System.Flow, 2);
    flat(slot.Emitter.Lifespan, 5);
    flat(slot.Emitter.BaseSpeed, 0.5);
    flat(slot.Emitter.Focus, 1);
    flat(slot.Emitter.BaseGravity, 0);
    slot.Emitter.EmitterShape = ShapePoint;
    const std::string file = (dir / "stream.vts").string();
    TFileWriteStream w(file);
    WriteField(w, EmitterRecordVersion);
    slot.WriteTo(w, true);
    w.Commit();
    return file;
  }

  // What the tool does for one frame.
  std::vector<std::string> BakeFrame(const std::string& input, int frame) {
    RandomSeed = 0;
    InitRandomTable();
    TEmitterMan manager;
    LoadBakeInput(manager, input);
    tsxAnimSetActiveTime(static_cast<float>(frame));
    manager.RenderBegin();
    tsxAnimSetActiveTime(static_cast<float>(frame));
    manager.RenderFrame(nullptr);
    const fs::path out = dir / "out.csv";
    WriteParticleCsv(manager, out.string());
    return Lines(out);
  }

  fs::path dir;
};

}  // namespace

TEST_F(Bake, SystemFileToCsv) {
  const std::string input = WriteSystemFile();
  const std::vector<std::string> lines = BakeFrame(input, 7);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], ParticleCsvHeader);
  // Two per frame over a 5-frame life: those born at frames 3 to 7.
  ASSERT_EQ(lines.size(), 1u + 10u);
  for (size_t i = 1; i < lines.size(); ++i) {
    std::stringstream row(lines[i]);
    std::vector<std::string> cells;
    for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
    ASSERT_EQ(cells.size(), 26u) << lines[i];
    EXPECT_EQ(cells[0], "0");
    EXPECT_EQ(cells[1], "0");
    const float birth = std::stof(cells[3]);
    EXPECT_GE(birth, 3);
    EXPECT_LE(birth, 7);
    EXPECT_EQ(cells[4], "5");
    EXPECT_EQ(std::stof(cells[10]), 0);                   // px: on the axis
    EXPECT_NEAR(std::stof(cells[18]), 0.5f, 1e-6);        // bvz
    const float age = 7 - birth;
    EXPECT_GE(std::stof(cells[12]), 0.5f * (age + 1) - 1e-5f);  // pz: moved age+1 times, plus spread
    EXPECT_LE(std::stof(cells[12]), 0.5f * (age + 2) + 1e-5f);
  }
  // A fresh start repeats bit for bit.
  EXPECT_EQ(BakeFrame(input, 7), lines);
}

TEST_F(Bake, FramePatternsAndErrors) {
  EXPECT_EQ(ExpandFramePattern("out.####.csv", 7), "out.0007.csv");
  EXPECT_EQ(ExpandFramePattern("f##/x#.csv", 12), "f##/x12.csv");
  EXPECT_EQ(ExpandFramePattern("plain.csv", 3), "plain.csv");
  EXPECT_EQ(ExpandFramePattern("a.##.csv", 123), "a.123.csv");

  TEmitterMan manager;
  EXPECT_THROW(LoadBakeInput(manager, (dir / "missing.vts").string()), EVantrelError);
  EXPECT_THROW(LoadBakeInput(manager, (dir / "scene.txt").string()), EVantrelError);
  { std::ofstream((dir / "empty.vte").string()); }
  EXPECT_THROW(LoadBakeInput(manager, (dir / "empty.vte").string()), EVantrelError);
  EXPECT_TRUE(manager.EmitterList.empty());
}

namespace {

std::vector<uint8_t> PayloadOf(int32_t version, const std::vector<uint8_t>& record) {
  TMemoryStream payload;
  WriteField(payload, version);
  WriteField(payload, static_cast<int32_t>(record.size()));
  payload.Write(record.data(), record.size());
  return payload.Data();
}

TEST_F(Bake, SceneFileWithItsToolsActing) {
  // The stream of the system file as an emitter in a scene, with and without a fan beside it.
  const std::string systemFile = WriteSystemFile();
  const std::vector<std::string> alone = BakeFrame(systemFile, 6);
  TEmitterObject emitter;
  {
    TFileReadStream in(systemFile);
    int32_t version = 0;
    ReadField(in, version);
    emitter.AddSystem().ReadFrom(version, in);
  }
  TMemoryStream emitterRecord;
  emitter.WriteTo(emitterRecord);
  TToolObject fan(ToolFan);
  TMemoryStream toolRecord;
  fan.WriteTo(toolRecord);

  auto bakeScene = [&](bool withFan) {
    stage::ResetStage();
    stage::Stage().Scene.AddUnresolvedCustom("Emitter", "VNTX_Emitter", PayloadOf(EmitterRecordVersion, emitterRecord.Data()));
    if (withFan) stage::Stage().Scene.AddUnresolvedCustom("Fan", "VNTX_Fan", PayloadOf(ToolRecordVersion, toolRecord.Data()));
    const fs::path scene = dir / "scene.json";
    stage::SaveSceneFile(stage::Stage(), scene);
    stage::ResetStage();
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    TVantrelPlugin plugin("");
    EXPECT_TRUE(LoadBakeScene(plugin, scene.string()).empty());
    EXPECT_EQ(plugin.Main.Emitters.EmitterList.size(), 1u);
    EXPECT_EQ(plugin.Main.Toolbox.Tools.size(), withFan ? 1u : 0u);
    tsxAnimSetActiveTime(6);
    plugin.Main.Emitters.RenderBegin();
    tsxAnimSetActiveTime(6);
    plugin.Main.Emitters.RenderFrame(nullptr);
    const fs::path out = dir / "scene.csv";
    WriteParticleCsv(plugin.Main.Emitters, out.string());
    return Lines(out);
  };
  const std::vector<std::string> plain = bakeScene(false);
  const std::vector<std::string> blown = bakeScene(true);
  EXPECT_EQ(plain, alone);
  ASSERT_EQ(blown.size(), alone.size());
  EXPECT_NE(blown, alone);  // the fan moved the particles
  EXPECT_THROW(LoadBakeScene(*std::make_unique<TVantrelPlugin>("").get(), (dir / "missing.json").string()), EVantrelError);
  TTsxExtObj::ResetRegistry();
  ResetPlugState();
}

}  // namespace

