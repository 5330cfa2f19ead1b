// Readable settings: records turned into JSON and back give the same bytes, JSON turned into
// records and back gives the same JSON, settings files convert both ways (version 100 files
// come back as 101), and every kind of bad settings is refused with its JSON path.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "engine/AttractModifier.h"
#include "engine/ColorSeries.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/Stream.h"
#include "scene/Settings.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Record(const TEmitterObject& e) {
  TMemoryStream s;
  e.WriteTo(s);
  return s.Data();
}

std::vector<uint8_t> Record(const TToolObject& t) {
  TMemoryStream s;
  t.WriteTo(s);
  return s.Data();
}

std::vector<uint8_t> FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void SetCurve(TVarSeries& c, std::initializer_list<TSplineKey> keys) {
  c.Clear();
  for (const TSplineKey& k : keys) c.AddKey(k.x, k.y);
}

// A slot whose every stored field differs from a new one's.
void CustomiseSlot(TEmitter& slot, int n) {
  TParticleSystem& s = slot.System;
  TParticleEmitter& e = slot.Emitter;
  slot.Name = "System " + std::to_string(n);
  slot.Enabled = false;
  for (int i = 0; i < s.VariableCount(); ++i) {
    TVarSeries& c = s.Variable(i);
    SetCurve(c, {{0, c.MinValue + 0.25}, {30.0 + i, c.MinValue + 0.5}, {8192, c.MinValue + 0.5}});
    c.Tension = 0.1 * i;
  }
  for (int i = 0; i < e.VariableCount(); ++i) {
    TVarSeries& c = e.Variable(i);
    SetCurve(c, {{0, c.MinValue + 0.125}, {10.0 + i, c.MinValue + 0.5}, {500, c.MinValue + 0.75}});
  }
  // Header fields only files from elsewhere change.
  s.Size.Name = "big";
  s.Speed.XKind = XKindFrames;
  e.Rotation.SetRange(-5, 5);
  e.Vortex.ClampMode = ClampMax;
  s.SystemLifespan = 100 + n;
  s.SystemLives = 3;
  s.RenderMode = RenderColorAlpha;
  s.MapMode = MapCycle;
  s.MapCycleTime = 7;
  s.ParticleColorMode = ColorModeRandom;
  s.SystemColorMode = ColorModeRandom;
  s.MaxParticleSize = 300;
  s.SpatialDither = 0.35f;
  e.EmitterShape = ShapeSurface;
  e.FocusShape = FocusDisc;
  e.EmitterRadius = 1.7f;
  s.SystemColors.AddStop(40, 0x112233);
  s.SystemColors.AddStop(40, 0xFF000000u | 0x445566);  // a top byte other programs may write
  s.ParticleColors.Assign({{0, 0x0000FF}, {50, 0x00FF00}, {100, 0xFF0000}}, {1, 2, 3});
  s.Maps.Assign({{"Default", {0.6f, FlipBoth, 0.f, 1.f}}, {"/tmp/spark, \"hot\".png", {1.f, FlipVertical, 0.25f, 0.75f}}});
  s.MapIndex = 1;
}

void CustomiseEmitter(TEmitterObject& e) {
  e.Name = "Everything";
  e.Enabled = 255;
  e.FrameOffset = -40;
  e.FreezeFrame = 90;
  e.WidthScaling = WidthMoreParticles | WidthBiggerParticles;
  e.HeightScaling = HeightFasterParticles | HeightOlderParticles | HeightStrongerGravity;
  SetCurve(e.Visibility, {{0, 1}, {20, 0}, {40, 1}, {8192, 1}});
  for (int n = 0; n < 2; ++n) CustomiseSlot(e.AddSystem(), n);
}

TEST(Settings, EmitterRecordToJsonAndBackGivesTheSameBytes) {
  TEmitterObject e;
  CustomiseEmitter(e);
  const TSettingsJson j = EmitterToSettings(e);
  TEmitterObject back;
  EmitterFromSettings(ParseSettingsText(SettingsText(j)), back);
  EXPECT_EQ(Record(back), Record(e));
  EXPECT_EQ(EmitterToSettings(back), j);
}

TEST(Settings, DefaultsAreLeftOutAndFillWhatIsLeftOut) {
  TEmitterObject e;
  e.AddSystem();
  const TSettingsJson j = EmitterToSettings(e);
  EXPECT_EQ(j, TSettingsJson::parse(R"({"name": "Emitter", "systems": [{"name": "Particles"}]})"));
  TEmitterObject back;
  EmitterFromSettings(TSettingsJson::parse(R"({"systems": [{}]})"), back);
  EXPECT_EQ(Record(back), Record(e));
}

// The example of docs/settings.md, and a small system: JSON -> record -> JSON keeps them.
TEST(Settings, JsonToRecordAndBackKeepsTheJson) {
  const char* documents[] = {
      R"({"name": "Fountain", "frameOffset": 10, "freezeFrame": 200,
          "autoScale": ["More particles", "Faster particles"],
          "visibility": {"keys": [[0, 1], [150, 0], [8192, 0]]},
          "systems": [{"name": "Water", "systemLifespan": 300, "emitterShape": "Disc", "emitterRadius": 0.25,
                       "focus": 0.95, "flow": {"keys": [[0, 0], [10, 12], [8192, 12]]}, "lifespan": 48,
                       "lifespanJitter": 0.2, "baseSpeed": 0.45, "baseGravity": -0.015,
                       "size": {"keys": [[0, 0.5], [100, 1.5], [8192, 1.5]], "tension": 0},
                       "alpha": {"keys": [[0, 1], [80, 1], [100, 0], [8192, 0]]}, "renderMode": "Illuminate",
                       "imageMaps": {"mode": "Cycle", "cycleTime": 4, "images": [{"file": "Default"},
                         {"file": "images/drop.png", "alphaMaster": 0.5, "flip": "Flip Horizontal", "origin": [0.5, 1]}]},
                       "particleColor": {"stops": [[1, "#ffffff"], [100, "#6080ff"]]},
                       "systemColor": {"mode": "Random Color", "stops": [[1, "#a0c0ff"], [100, "#ffffff"]]},
                       "maxRenderedParticleSize": 512, "spatialDither": 0.1}]})",
      R"({"name": "Red", "systems": [{"name": "Red", "lifespan": 30, "systemColor": {"stops": [[1, "#ff0000"]]}}]})",
  };
  for (const char* text : documents) {
    SCOPED_TRACE(text);
    const TSettingsJson j = ParseSettingsText(text);
    TEmitterObject e;
    EmitterFromSettings(j, e);
    EXPECT_EQ(EmitterToSettings(e), j);
    // Through the payload a host stores, too.
    EXPECT_EQ(PayloadToSettings(TSettingsKind::Emitter, SettingsToPayload(TSettingsKind::Emitter, j)), j);
  }
}

TEST(Settings, ToolsOfEveryKindRoundTrip) {
  for (TToolKind kind : {ToolDeflector, ToolFan, ToolAttractor, ToolRepulsor, ToolLeader, ToolGravitron}) {
    SCOPED_TRACE(kind);
    TToolObject t(kind);
    t.Name = "Tool " + std::to_string(kind);
    TBasicModifier& m = dynamic_cast<TBasicModifier&>(*t.Modifier());
    m.Active = false;
    SetCurve(m.Variable(0), {{0, 3}, {12, 9}, {8192, 9}});
    SetCurve(m.Variable(1), {{0, 0.1}, {50, 0.4}, {8192, 0.4}});
    m.Variable(1).Tension = 0.7;
    m.Scale = 7;
    if (auto* d = dynamic_cast<TPlaneDeflectorModifier*>(&m)) d->Absorbs = 1;
    if (auto* f = dynamic_cast<TPlaneFanModifier*>(&m)) f->Falloff = FalloffSquared;
    if (auto* a = dynamic_cast<TAttractModifier*>(&m)) a->Falloff = FalloffLinear;
    m.ToolLifespan = 24;
    m.ToolLives = 8192;
    if (auto* g = dynamic_cast<TGravitronModifier*>(&m)) g->Infinite = true;

    const TSettingsJson j = ToolToSettings(t);
    EXPECT_EQ(j["toolLifespan"], 24);
    EXPECT_EQ(j["toolLives"], 8192);
    EXPECT_EQ(j.contains("infinite"), kind == ToolGravitron);
    TToolObject back;
    ToolFromSettings(ParseSettingsText(SettingsText(j)), back, kind);
    EXPECT_EQ(back.Kind(), kind);
    EXPECT_EQ(back.Modifier()->ToolLifespan, 24);
    EXPECT_EQ(Record(back), Record(t));
    EXPECT_EQ(ToolToSettings(back), j);
    // Through the payload a host stores, too.
    EXPECT_EQ(PayloadToSettings(TSettingsKind::Tool, SettingsToPayload(TSettingsKind::Tool, j)), j);
  }
}

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("vantrel-settings-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  // Binary -> JSON file -> binary.
  std::vector<uint8_t> ThroughJson(const fs::path& binary) {
    const fs::path json = Dir / "settings.json";
    {
      std::ofstream out(json);
      out << SettingsText(SettingsFileToJson(binary.string()));
    }
    std::ifstream in(json);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const fs::path again = Dir / ("again" + binary.extension().string());
    JsonToSettingsFile(ParseSettingsText(text), again.string());
    return FileBytes(again);
  }
  fs::path Dir;
};

TEST_F(SettingsFiles, EveryKindOfFileConvertsToJsonAndBackByteForByte) {
  TEmitterObject e;
  CustomiseEmitter(e);
  {
    TFileWriteStream s((Dir / "e.vte").string());
    WriteField(s, EmitterRecordVersion);
    e.WriteTo(s);
    s.Commit();
  }
  {
    TFileWriteStream s((Dir / "s.vts").string());
    WriteField(s, EmitterRecordVersion);
    e.Systems[1]->WriteTo(s, true);
    s.Commit();
  }
  e.Systems[0]->System.SystemColors.SaveToFile((Dir / "g.vtg").string());
  for (const char* name : {"e.vte", "s.vts", "g.vtg"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ThroughJson(Dir / name), FileBytes(Dir / name));
  }
}

// A version 100 emitter file, laid out field by field: it comes back as what version 101 says
// of the same emitter.
TEST_F(SettingsFiles, Version100FilesComeBackAs101) {
  TEmitterObject e;
  CustomiseEmitter(e);
  const fs::path old = Dir / "old.vte";
  {
    TFileWriteStream s(old.string());
    WriteField(s, OldEmitterRecordVersion);
    WriteText(s, ObjectNameLength, e.Name);
    WriteField(s, e.FrameOffset);
    e.Visibility.WriteTo(s);
    WriteField(s, e.WidthScaling);
    WriteField(s, e.HeightScaling);
    WriteZeros(s, 126);
    WriteField(s, static_cast<int32_t>(e.Systems.size()));
    for (const auto& slot : e.Systems) {
      slot->System.WriteVariables(s);
      slot->Emitter.WriteVariables(s);
      slot->System.ParticleColors.SaveToStream(s);
      slot->System.Maps.SaveToStream(s);
      const TParticleSystem& p = slot->System;
      for (int32_t v : {p.SystemLifespan, p.SystemLives, p.RenderMode, p.MapMode, p.MapCycleTime, p.MapIndex})
        WriteField(s, v);
      WriteField(s, static_cast<uint8_t>(slot->Enabled));
      WriteText(s, ObjectNameLength, slot->Name);
      WriteField(s, slot->Emitter.EmitterRadius);
      WriteField(s, slot->Emitter.EmitterShape);
      WriteField(s, p.ParticleColorMode);
      WriteZeros(s, 128);
    }
    s.Commit();
  }
  TEmitterObject read;
  {
    TFileReadStream s(old.string());
    int32_t version = 0;
    ReadField(s, version);
    read.ReadFrom(version, s);
  }
  TMemoryStream expected;
  WriteField(expected, EmitterRecordVersion);
  read.WriteTo(expected);
  EXPECT_EQ(ThroughJson(old), expected.Data());
  EXPECT_EQ(read.Enabled, 1);
  EXPECT_EQ(read.Systems[0]->System.MaxParticleSize, DefaultMaxParticleSize);
}

// Records other programs may write, holding what the panels never make. Their settings would be
// refused or come back different, so the conversion refuses them (a host then keeps the payload),
// and whatever it does give converts back to the very same bytes. The customised emitter is
// in range and converts.
std::vector<uint8_t> Payload(const TEmitterObject& e) {
  TMemoryStream s;
  WriteField(s, EmitterRecordVersion);
  const std::vector<uint8_t> record = Record(e);
  WriteField(s, static_cast<int32_t>(record.size()));
  s.Write(record.data(), record.size());
  return s.Data();
}

struct TForeignRecord {
  const char* What;
  std::function<void(TEmitterObject&)> Change;
  bool Readable;
};

const std::vector<TForeignRecord>& ForeignRecords() {
  static const std::vector<TForeignRecord> records = {
      {"in range", [](TEmitterObject&) {}, true},
      {"a frame offset of 9000", [](TEmitterObject& e) { e.FrameOffset = 9000; }, false},
      {"a freeze frame of -3", [](TEmitterObject& e) { e.FreezeFrame = -3; }, false},
      {"a curve with one key", [](TEmitterObject& e) { SetCurve(e.Visibility, {{0, 1}}); }, false},
      {"a curve key out of order",
       [](TEmitterObject& e) { SetCurve(e.Systems[0]->System.Variable(0), {{0, 1}, {0.5, 2}, {8192, 2}}); }, false},
      {"a list index past its list", [](TEmitterObject& e) { e.Systems[0]->System.MapIndex = 7; }, false},
      {"a render mode past its list", [](TEmitterObject& e) { e.Systems[1]->System.RenderMode = 9; }, false},
      {"a gradient without stops", [](TEmitterObject& e) { e.Systems[0]->System.ParticleColors.Assign({}, {}); }, false},
      {"an empty image name", [](TEmitterObject& e) { e.Systems[0]->System.Maps.Assign({{"", {}}}); }, false},
      {"no image at all", [](TEmitterObject& e) { e.Systems[0]->System.Maps.Assign({}); }, false},
      {"auto-scale bits beyond the five boxes", [](TEmitterObject& e) { e.WidthScaling |= 0x80; }, false},
      {"a negative system lifespan", [](TEmitterObject& e) { e.Systems[1]->System.SystemLifespan = -5; }, false},
  };
  return records;
}

TEST(Settings, ForeignRecordsConvertOnlyWhenTheyComeBackWhole) {
  for (const TForeignRecord& f : ForeignRecords()) {
    SCOPED_TRACE(f.What);
    TEmitterObject e;
    CustomiseEmitter(e);
    f.Change(e);
    const std::vector<uint8_t> payload = Payload(e);
    try {
      const TSettingsJson j = PayloadToSettings(TSettingsKind::Emitter, payload);
      EXPECT_TRUE(f.Readable) << SettingsText(j);
      EXPECT_EQ(SettingsToPayload(TSettingsKind::Emitter, ParseSettingsText(SettingsText(j))), payload);
    } catch (const ENotReadable& error) {
      EXPECT_FALSE(f.Readable) << error.what();
      EXPECT_NE(std::string(error.what()).find("cannot hold"), std::string::npos) << error.what();
    }
  }
}

// A settings file holding such a record is not turned into JSON that would not convert back.
TEST_F(SettingsFiles, ForeignFilesAreNotConvertedToSettingsThatDoNotComeBack) {
  for (const TForeignRecord& f : ForeignRecords()) {
    SCOPED_TRACE(f.What);
    TEmitterObject e;
    CustomiseEmitter(e);
    f.Change(e);
    const fs::path file = Dir / "foreign.vte";
    {
      TFileWriteStream s(file.string());
      WriteField(s, EmitterRecordVersion);
      e.WriteTo(s);
      s.Commit();
    }
    try {
      EXPECT_EQ(ThroughJson(file), FileBytes(file));
      EXPECT_TRUE(f.Readable);
    } catch (const ENotReadable& error) {
      EXPECT_FALSE(f.Readable) << error.what();
      EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
    }
  }
}

// Damaged settings files (empty, cut, padded, random) are refused saying what is wrong; --force
// converts what could be read and names what was defaulted; whatever converts, converts back.
TEST_F(SettingsFiles, DamagedFilesAreRefusedUnlessForced) {
  TEmitterObject e;
  CustomiseEmitter(e);
  {
    TFileWriteStream s((Dir / "good.vte").string());
    WriteField(s, EmitterRecordVersion);
    e.WriteTo(s);
    s.Commit();
  }
  {
    TFileWriteStream s((Dir / "good.vts").string());
    WriteField(s, EmitterRecordVersion);
    e.Systems[0]->WriteTo(s, true);
    s.Commit();
  }
  e.Systems[0]->System.ParticleColors.SaveToFile((Dir / "good.vtg").string());
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    return Dir / name;
  };
  std::vector<uint8_t> random(3000);
  uint32_t seed = 12345;
  for (uint8_t& b : random) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  for (const char* ext : {".vte", ".vts", ".vtg"}) {
    const std::vector<uint8_t> good = FileBytes(Dir / (std::string("good") + ext));
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    std::vector<uint8_t> padded = good;
    // More than the reserved block a last record may carry.
    padded.insert(padded.end(), 200, 0xAB);
    const struct {
      const char* Name;
      std::vector<uint8_t> Bytes;
      const char* Says;
    } cases[] = {
        {"empty", {}, "the file is empty"},
        {"cut", cut, "ends early"},
        {"padded", padded, "bytes after the settings"},
        {"random", random, ""},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + ext);
      const fs::path file = write(std::string(c.Name) + ext, c.Bytes);
      try {
        SettingsFileToJson(file.string());
        ADD_FAILURE() << "converted";
      } catch (const EDamagedFile& error) {
        const std::string m = error.what();
        EXPECT_NE(m.find(file.string() + ": damaged: "), std::string::npos) << m;
        EXPECT_NE(m.find(c.Says), std::string::npos) << m;
      } catch (const ENotReadable&) {
        // Random bytes may read whole into values no settings hold.
        EXPECT_STREQ(c.Name, "random");
      }
      std::vector<std::string> defaulted;
      try {
        const TSettingsJson j = SettingsFileToJson(file.string(), true, &defaulted);
        EXPECT_FALSE(defaulted.empty());
        EXPECT_NO_THROW(JsonToSettingsFile(ParseSettingsText(SettingsText(j)), (Dir / (std::string("back") + ext)).string()));
      } catch (const ENotReadable&) {
        // What a cut or random file leaves may hold what no settings hold: refused all the same.
        EXPECT_STRNE(c.Name, "padded");
      }
    }
  }
  // Every third byte of an emitter file changed: the file is refused, or its JSON converts back.
  const std::vector<uint8_t> good = FileBytes(Dir / "good.vte");
  int refused = 0;
  for (size_t i = 0; i < good.size(); i += 3) {
    std::vector<uint8_t> mutated = good;
    mutated[i] ^= 0x5A;
    const fs::path file = write("mutated.vte", mutated);
    try {
      const TSettingsJson j = SettingsFileToJson(file.string());
      JsonToSettingsFile(ParseSettingsText(SettingsText(j)), (Dir / "back.vte").string());
    } catch (const EDamagedFile&) {
      ++refused;
    } catch (const ENotReadable&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

// Each bad document, the JSON path it is refused at, and a word of the message.
struct TRefusal {
  const char* Json;
  const char* Path;
  const char* Says;
};

// Names are stored as Windows-1252 bytes and written as UTF-8: every byte comes back, the limit
// counts stored bytes (one a character), and a character the code page lacks is refused.
TEST(Settings, NamesAreCodePageBytesShownAsUtf8) {
  TEmitterObject e;
  e.Name = "F\xE9" "e \x80\x81";
  TEmitter& slot = e.AddSystem();
  slot.Name = "\x9F\xFF";
  const TSettingsJson j = EmitterToSettings(e);
  EXPECT_EQ(j["name"], "F\u00e9e \u20ac\u0081");
  EXPECT_EQ(j["systems"][0]["name"], "\u0178\u00ff");
  TEmitterObject back;
  EmitterFromSettings(ParseSettingsText(SettingsText(j)), back);
  EXPECT_EQ(back.Name, e.Name);
  EXPECT_EQ(back.Systems[0]->Name, slot.Name);
  // Every byte a name can hold.
  for (int b = 1; b < 256; ++b) {
    TEmitterObject one;
    one.Name = std::string(1, static_cast<char>(b));
    TEmitterObject again;
    EmitterFromSettings(ParseSettingsText(SettingsText(EmitterToSettings(one))), again);
    EXPECT_EQ(again.Name, one.Name) << b;
  }

  std::string accents;
  for (int i = 0; i < 32; ++i) accents += "\u00e9";
  TEmitterObject full;
  EmitterFromSettings(TSettingsJson{{"name", accents}}, full);
  EXPECT_EQ(full.Name, std::string(32, '\xE9'));

  const TRefusal refused[] = {
      {"", "/name", "longer than 32 characters (33)"},
      {R"({"name": "\u540d"})", "/name", "cannot be stored"},
      {R"({"systems": [{"name": "snow \u2744"}]})", "/systems/0/name", "\u2744"},
  };
  const std::string tooLong = "{\"name\": \"" + accents + "\u00e9\"}";
  for (const TRefusal& c : refused) {
    SCOPED_TRACE(c.Json);
    TEmitterObject t;
    try {
      EmitterFromSettings(TSettingsJson::parse(*c.Json ? c.Json : tooLong.c_str()), t);
      ADD_FAILURE() << "taken";
    } catch (const ESettingsError& error) {
      EXPECT_EQ(error.Path, c.Path);
      EXPECT_NE(error.Problem.find(TSettingsJson::parse("\"" + std::string(c.Says) + "\"").get<std::string>()),
                std::string::npos)
          << error.Problem;
    }
  }
}

TEST(Settings, BadSettingsAreRefusedWithTheirPath) {
  const TRefusal cases[] = {
      {R"({"nmae": "x"})", "/nmae", "unknown key; did you mean \"name\"?"},
      {R"({"systems": [{"lifspan": 30}]})", "/systems/0/lifspan", "unknown key; did you mean \"lifespan\"?"},
      {R"({"systems": [{"glitter": 30}]})", "/systems/0/glitter", "unknown key; this object takes"},
      {R"({"systems": [{"imageMaps": {"images": [{"file": "a.png", "alpha": 1}]}}]})",
       "/systems/0/imageMaps/images/0/alpha", "unknown key"},
      {R"({"frameOffset": "ten"})", "/frameOffset", "whole number"},
      {R"({"frameOffset": 1.5})", "/frameOffset", "whole number"},
      {R"({"systems": {"name": "a"}})", "/systems", "list"},
      {R"({"systems": [{"enabled": 1}]})", "/systems/0/enabled", "true or false"},
      {R"({"systems": [{"renderMode": "Glow"}]})", "/systems/0/renderMode", "\"Pure Alpha\""},
      {R"({"systems": [{"systemColor": {"stops": [[1, "red"]]}}]})", "/systems/0/systemColor/stops/0/1", "#rrggbb"},
      {R"({"frameOffset": 9000})", "/frameOffset", "-8192 to 8192"},
      {R"({"freezeFrame": -1})", "/freezeFrame", "0 to 8192"},
      {R"({"systems": [{"emitterRadius": 101}]})", "/systems/0/emitterRadius", "0 to 100"},
      {R"({"systems": [{"maxRenderedParticleSize": 100}]})", "/systems/0/maxRenderedParticleSize", "256 to 8192"},
      {R"({"systems": [{"spatialDither": 2}]})", "/systems/0/spatialDither", "0 to 1"},
      {R"({"systems": [{"imageMaps": {"cycleTime": 2000}}]})", "/systems/0/imageMaps/cycleTime", "0 to 1024"},
      {R"({"systems": [{"imageMaps": {"imageNumber": 1}}]})", "/systems/0/imageMaps/imageNumber", "0 to 0"},
      {R"({"systems": [{"lifespan": 0}]})", "/systems/0/lifespan", "at least 1"},
      {R"({"systems": [{"alpha": {"keys": [[0, 1], [50, 1.5], [8192, 0]]}}]})", "/systems/0/alpha/keys/1/1", "0 to 1"},
      {R"({"name": "a name longer than thirty-two characters"})", "/name", "longer than 32"},
      {R"({"systems": [{"flow": {"keys": [[0, 1], [40, 2], [20, 3]]}}]})", "/systems/0/flow/keys/2/0", "in order of x"},
      {R"({"systems": [{"flow": {"keys": [[0, 1], [10, 2], [10.5, 3]]}}]})", "/systems/0/flow/keys/2/0", "at least 1"},
      {R"({"systems": [{"flow": {"keys": [[0, 1]]}}]})", "/systems/0/flow/keys", "at least two keys"},
      {R"({"systems": [{"flow": {"keys": [[5, 1], [8192, 1]]}}]})", "/systems/0/flow/keys/0/0", "x 0"},
      {R"({"systems": [{"size": {"keys": [[0, 1], [150, 1], [8192, 1]]}}]})", "/systems/0/size/keys/1/0", "100 percent"},
      {R"({"systems": [{"flow": {"tension": 0.3}}]})", "/systems/0/flow", "needs \"keys\""},
      {R"({"systems": [{"particleColor": {"stops": [[50, "#ffffff"], [10, "#000000"]]}}]})",
       "/systems/0/particleColor/stops/1/0", "in order of position"},
      {R"({"autoScale": ["Wider"]})", "/autoScale/0", "\"More particles\""},
  };
  for (const TRefusal& c : cases) {
    SCOPED_TRACE(c.Json);
    TEmitterObject e;
    try {
      EmitterFromSettings(TSettingsJson::parse(c.Json), e);
      ADD_FAILURE() << "taken";
    } catch (const ESettingsError& error) {
      EXPECT_EQ(error.Path, c.Path);
      EXPECT_NE(error.Problem.find(c.Says), std::string::npos) << error.Problem;
    }
  }
}

TEST(Settings, BadToolSettingsAreRefused) {
  const struct {
    TToolKind Expected;
    const char* Json;
    const char* Path;
    const char* Says;
  } cases[] = {
      {ToolDeflector, R"({"kind": "Fan"})", "/kind", "not a Fan"},
      {ToolNone, R"({"name": "x"})", "", "needs a \"kind\""},
      {ToolDeflector, R"({"scale": 150})", "/scale", "0 to 100"},
      {ToolFan, R"({"scale": 0.5})", "/scale", "1 to 100"},
      {ToolFan, R"({"falloff": "Cubic"})", "/falloff", "\"Linear\""},
      {ToolFan, R"({"elasticity": 3})", "/elasticity", "unknown key"},
      {ToolFan, R"({"infinite": true})", "/infinite", "only a gravitron"},
      {ToolGravitron, R"({"infinite": 1})", "/infinite", "true or false"},
      {ToolLeader, R"({"lifespan": 50})", "/lifespan", "did you mean \"toolLifespan\""},
      {ToolLeader, R"({"toolLifespan": 8193})", "/toolLifespan", "0 to 8192"},
      {ToolDeflector, R"({"toolLives": 2.5})", "/toolLives", "whole number"},
      {ToolDeflector, R"({"toolLives": -1})", "/toolLives", "0 to 8192"},
      {ToolAttractor, R"({"powerJitter": {"keys": [[0, 0], [120, 1], [8192, 1]]}})", "/powerJitter/keys/1/0", "100 percent"},
      {ToolDeflector, R"({"elasticity": -1})", "/elasticity", "at least 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Json);
    TToolObject t;
    try {
      ToolFromSettings(TSettingsJson::parse(c.Json), t, c.Expected);
      ADD_FAILURE() << "taken";
    } catch (const ESettingsError& error) {
      EXPECT_EQ(error.Path, c.Path);
      EXPECT_NE(error.Problem.find(c.Says), std::string::npos) << error.Problem;
    }
  }
}

TEST(Settings, TextThatIsNotJsonNamesItsLine) {
  const struct {
    const char* Text;
    const char* Says;
  } cases[] = {
      {"{\n  \"name\": \"a\",\n}\n", "line 3"},
      {"{\"name\": NaN}", "line 1, column 10: syntax error while parsing value - invalid literal, found 'NaN'"},
      {"{\"name\": \"x\",\n \"frameOffset\": 1e400}",
       "line 2, column 17: the number 1e400 is outside the range of numbers"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      ParseSettingsText(c.Text);
      ADD_FAILURE() << "taken";
    } catch (const ESettingsError& e) {
      EXPECT_NE(e.Problem.find(c.Says), std::string::npos) << e.Problem;
    }
  }
}

// Settings nested far deeper than any settings go are refused with their place, not walked.
TEST(Settings, DeepNestingIsRefused) {
  constexpr int kLevels = 100000;
  const std::string text = R"({"name": "x", "systems": )" + std::string(kLevels, '[') + std::string(kLevels, ']') + "}";
  try {
    ParseSettingsText(text);
    ADD_FAILURE() << "taken";
  } catch (const ESettingsError& e) {
    EXPECT_NE(e.Problem.find("line 1, column 625: lists and objects nested deeper than 600 levels"), std::string::npos)
        << e.Problem;
  }
  EXPECT_NO_THROW(ParseSettingsText(std::string(600, '[') + std::string(600, ']')));
}

// An emitter holds at most 1024 systems; a list of a million empty ones is refused in words,
// before any is made.
TEST(Settings, MoreSystemsThanAnEmitterHoldsAreRefused) {
  for (size_t count : {size_t{1025}, size_t{1000000}}) {
    TSettingsJson j = {{"systems", TSettingsJson::array()}};
    for (size_t i = 0; i < count; ++i) j["systems"].push_back(TSettingsJson::object());
    TEmitterObject e;
    try {
      EmitterFromSettings(j, e);
      ADD_FAILURE() << "taken";
    } catch (const ESettingsError& error) {
      EXPECT_EQ(error.Path, "/systems");
      EXPECT_NE(error.Problem.find(std::to_string(count) + " particle systems would need about"), std::string::npos)
          << error.Problem;
      EXPECT_NE(error.Problem.find("an emitter holds at most 1024"), std::string::npos) << error.Problem;
    }
    EXPECT_TRUE(e.Systems.empty());
  }
  TEmitterObject full;
  TSettingsJson j = {{"systems", TSettingsJson::array()}};
  for (int i = 0; i < 1024; ++i) j["systems"].push_back(TSettingsJson::object());
  EmitterFromSettings(j, full);
  EXPECT_EQ(full.Systems.size(), 1024u);
}

// A key given twice is refused, naming it and its place, as unknown keys are.
TEST(Settings, DuplicateKeysAreRefused) {
  try {
    ParseSettingsText("{\"name\": \"a\",\n \"systems\": [{}, {\"flow\": 2, \"flow\": 3}]}");
    ADD_FAILURE() << "taken";
  } catch (const ESettingsError& e) {
    EXPECT_EQ(e.Path, "/systems/1/flow");
    EXPECT_EQ(e.Problem, "line 2, column 30: this key is given twice in one object; give each key once");
  }
  EXPECT_NO_THROW(ParseSettingsText(R"({"a": {"b": 1}, "c": {"b": 2}, "d": ["a", "a"]})"));
}

// Curves are written as the plain number of a flat curve, keys on one line each.
TEST(Settings, TextKeepsKeysAndStopsOnOneLine) {
  const std::string text =
      SettingsText(ParseSettingsText(R"({"a": {"keys": [[0, 1], [8192, 1]]}, "b": [[1, "#ff0000"]], "c": 2})"));
  EXPECT_EQ(text, "{\n  \"a\": {\n    \"keys\": [\n      [0, 1],\n      [8192, 1]\n    ]\n  },\n"
                  "  \"b\": [\n    [1, \"#ff0000\"]\n  ],\n  \"c\": 2\n}\n");
}

}  // namespace
