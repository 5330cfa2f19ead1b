// Stored data that are damaged or foreign: emitters and tools read from a scene file load as
// far as their data go, and the user is told which object and what was wrong; settings files
// likewise. Objects saved without data, and data as the plug-in writes them, say nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "tools/Bake.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Payload(int32_t version, const std::vector<uint8_t>& record, int32_t claimed = -1) {
  TMemoryStream payload;
  WriteField(payload, version);
  WriteField(payload, claimed >= 0 ? claimed : static_cast<int32_t>(record.size()));
  payload.Write(record.data(), record.size());
  return payload.Data();
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t n) {
  bytes.resize(std::min(n, bytes.size()));
  return bytes;
}

std::vector<uint8_t> EmitterRecord() {
  TEmitterObject e;
  e.Name = "Jet";
  e.AddSystem();
  e.AddSystem();
  TMemoryStream s;
  e.WriteTo(s);
  return s.Data();
}

std::vector<uint8_t> ToolRecord(TToolKind kind) {
  TToolObject tool(kind);
  TMemoryStream s;
  tool.WriteTo(s);
  return s.Data();
}

THeadlessPlatform& Headless() { return static_cast<THeadlessPlatform&>(Platform()); }

class DamagedData : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(nullptr);
    dir = fs::temp_directory_path() / ("vantrel-damaged-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::remove_all(dir);
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
  }

  // Saves a scene with one object of a type and payload, loads it into a fresh plug-in and
  // hands the plug-in and the messages shown while loading to check.
  void Load(const std::string& typeName, const std::vector<uint8_t>& payload,
            const std::function<void(TVantrelPlugin&, const std::vector<std::string>&)>& check) {
    stage::ResetStage();
    stage::Stage().Scene.AddUnresolvedCustom("Jet", typeName, payload);
    const fs::path scene = dir / "scene.json";
    stage::SaveSceneFile(stage::Stage(), scene);
    stage::ResetStage();
    TTsxExtObj::ResetRegistry();
    ResetPlugState();
    TVantrelPlugin plugin("");
    Headless().Messages.clear();
    LoadBakeScene(plugin, scene.string());
    check(plugin, Headless().Messages);
  }

  fs::path dir;
};

}  // namespace

TEST_F(DamagedData, EmittersAreReadAsFarAsTheyGoAndReported) {
  const std::vector<uint8_t> record = EmitterRecord();
  const struct {
    const char* name;
    std::vector<uint8_t> payload;
    size_t emitters, systems;
    const char* says;  // null: no message
  } cases[] = {
      {"as written", Payload(101, record), 1, 2, nullptr},
      {"saved without data", {}, 0, 0, nullptr},
      {"cut short of its length", Cut(Payload(101, record), record.size() / 2), 1, 2, "its data are cut short ("},
      {"record ends early", Payload(101, Cut(record, record.size() / 2)), 1, 2, "its data end early"},
      {"newer version", Payload(102, record), 1, 0, "record version 102"},
      {"unknown old version", Payload(99, record), 0, 0, "unknown kind (version 99)"},
      {"empty length", Payload(101, {}), 0, 0, "its data are empty (length 0)"},
      {"header cut", Cut(Payload(101, record), 6), 0, 0, "inside their header"},
      {"a tool's data", Payload(100, ToolRecord(ToolFan)), 1, 0, "not read as saved"},
      {"data beyond the record", Payload(101, [&] {
         std::vector<uint8_t> r = record;
         r.insert(r.end(), 150, 0x55);  // the first 112 are where a reserved block may stand
         return r;
       }()), 1, 2, "38 bytes after its settings"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load("VNTX_Emitter", c.payload, [&](TVantrelPlugin& plugin, const std::vector<std::string>& messages) {
      const auto& list = plugin.Main.Emitters.EmitterList;
      ASSERT_EQ(list.size(), c.emitters);
      if (!list.empty()) EXPECT_EQ(list[0]->Systems.size(), c.systems);
      if (!c.says) {
        EXPECT_TRUE(messages.empty()) << messages.front();
        return;
      }
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].rfind("The emitter \"Jet\" was not read as saved: ", 0), 0u) << messages[0];
      EXPECT_NE(messages[0].find(c.says), std::string::npos) << messages[0];
    });
  }
}

TEST_F(DamagedData, ToolsAreReadAsFarAsTheyGoAndReported) {
  const std::vector<uint8_t> fan = ToolRecord(ToolFan);
  const struct {
    const char* name;
    std::vector<uint8_t> payload;
    size_t tools;
    TToolKind kind;
    const char* says;
  } cases[] = {
      {"as written", Payload(100, fan), 1, ToolFan, nullptr},
      {"record ends early", Payload(100, Cut(fan, fan.size() / 2)), 1, ToolFan, "its data end early"},
      {"cut short of its length", Cut(Payload(100, fan), 80), 1, ToolFan, "its data are cut short ("},
      {"newer version", Payload(101, fan), 1, ToolFan, "newer version (record version 101)"},
      {"an emitter's data", Payload(101, EmitterRecord()), 1, ToolLeader, "no tool kind this version knows"},
      {"unknown old version", Payload(12, fan), 0, ToolNone, "unknown kind (version 12)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load("VNTX_Fan", c.payload, [&](TVantrelPlugin& plugin, const std::vector<std::string>& messages) {
      const auto& tools = plugin.Main.Toolbox.Tools;
      ASSERT_EQ(tools.size(), c.tools);
      if (!tools.empty()) EXPECT_EQ(tools[0]->Kind(), c.kind);
      if (!c.says) {
        EXPECT_TRUE(messages.empty()) << messages.front();
        return;
      }
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].rfind("The tool \"Jet\" was not read as saved: ", 0), 0u) << messages[0];
      EXPECT_NE(messages[0].find(c.says), std::string::npos) << messages[0];
    });
  }
}

TEST_F(DamagedData, SettingsFilesAfterAValidVersion) {
  TEmitterMan manager;
  auto e = std::make_unique<TEmitterObject>();
  TEmitter& slot = e->AddSystem();
  manager.AddEmitter(std::move(e));
  manager.Select(manager.EmitterList[0].get(), &slot);
  const std::string vte = (dir / "jet.vte").string(), vts = (dir / "jet.vts").string();
  ASSERT_TRUE(manager.SaveEmitterSettings(vte));
  ASSERT_TRUE(manager.SaveSystemSettings(vts));
  auto rewrite = [](const std::string& file, const std::function<void(std::vector<uint8_t>&)>& change) {
    TFileReadStream in(file);
    std::vector<uint8_t> bytes(in.Size());
    in.Read(bytes.data(), bytes.size());
    change(bytes);
    TFileWriteStream out(file);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
  };
  const struct {
    const char* name;
    bool system;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* says;
  } cases[] = {
      {"emitter file cut", false, [](auto& b) { b.resize(b.size() / 2); }, "its data end early"},
      {"emitter file with more", false, [](auto& b) { b.insert(b.end(), 119, 1); }, "7 bytes after"},
      {"system file cut", true, [](auto& b) { b.resize(b.size() / 2); }, "it ends early"},
      {"system file with more", true, [](auto& b) { b.insert(b.end(), 115, 1); }, "3 bytes after"},
      {"system file of another version", true, [](auto& b) { b[0] = 7; }, "(version 7); nothing was changed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    manager.Select(manager.EmitterList[0].get(), manager.EmitterList[0]->Systems[0].get());
    ASSERT_TRUE(manager.SaveEmitterSettings(vte));
    ASSERT_TRUE(manager.SaveSystemSettings(vts));
    const std::string& file = c.system ? vts : vte;
    rewrite(file, c.damage);
    Headless().Messages.clear();
    const bool loaded = c.system ? manager.LoadSystemSettings(file) : manager.LoadEmitterSettings(file);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(Headless().Messages.size(), 1u);
    EXPECT_NE(Headless().Messages[0].find(file), std::string::npos) << Headless().Messages[0];
    EXPECT_NE(Headless().Messages[0].find(c.says), std::string::npos) << Headless().Messages[0];
    ASSERT_FALSE(manager.EmitterList[0]->Systems.empty());  // what could be read is there
  }
}
