// Stored records of emitters, slots and tools: round trips, older versions, normalisations on
// reading, and damaged or truncated data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "scene/EmitterObj.h"
#include "scene/ToolObj.h"
#include "ui/EmitterMan.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Record(const TEmitterObject& e) {
  TMemoryStream s;
  e.WriteTo(s);
  return s.Data();
}

// An emitter whose every kind of setting differs from the defaults.
void Customise(TEmitterObject& e) {
  e.Name = "Fountain";
  e.FrameOffset = -12;
  e.FreezeFrame = 40;
  e.WidthScaling = 3;
  e.HeightScaling = 5;
  e.Visibility.AddKey(30, 0);
  for (int i = 0; i < 2; ++i) {
    TEmitter& slot = e.AddSystem();
    slot.Name = i ? "Sparks" : "Water";
    slot.Enabled = i == 0;
    slot.System.Size.AddKey(50, 2.5);
    slot.System.Flow.Tension = 0;
    slot.Emitter.Lifespan.AddKey(20, 90);
    slot.Emitter.EmitterShape = ShapeDisc;
    slot.Emitter.FocusShape = FocusDisc;
    slot.Emitter.EmitterRadius = 0.75f;
    slot.System.SystemColors.AddStop(50, 0x0000FF);
    slot.System.ParticleColors.AddStop(80, 0x00FF00);
    slot.System.Maps.AddImage("spark.png");
    slot.System.SystemLifespan = 30;
    slot.System.SystemLives = 2;
    slot.System.RenderMode = RenderIlluminate;
    slot.System.MapMode = MapCycle;
    slot.System.MapCycleTime = 3;
    slot.System.MapIndex = 1;
    slot.System.ParticleColorMode = ColorModeRandom;
    slot.System.SystemColorMode = ColorModeRandom;
    slot.System.MaxParticleSize = 512;
    slot.System.SpatialDither = 0.25f;
  }
}

// Writes an emitter record of version 100 for e's first slot layout.
std::vector<uint8_t> Version100Record(const TEmitterObject& e) {
  TMemoryStream s;
  WriteText(s, 32, e.Name);
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
    WriteField(s, slot->System.SystemLifespan);
    WriteField(s, slot->System.SystemLives);
    WriteField(s, slot->System.RenderMode);
    WriteField(s, slot->System.MapMode);
    WriteField(s, slot->System.MapCycleTime);
    WriteField(s, slot->System.MapIndex);
    WriteField(s, static_cast<uint8_t>(slot->Enabled));
    WriteText(s, 32, slot->Name);
    WriteField(s, slot->Emitter.EmitterRadius);
    WriteField(s, slot->Emitter.EmitterShape);
    WriteField(s, slot->System.ParticleColorMode);
    WriteZeros(s, 128);
  }
  return s.Data();
}

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vantrel-records-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

}  // namespace

TEST_F(Records, EmitterFileRoundTrip) {
  TEmitterMan manager;
  auto source = std::make_unique<TEmitterObject>();
  Customise(*source);
  manager.AddEmitter(std::move(source));
  const std::string file = (dir / "fountain.vte").string();
  ASSERT_TRUE(manager.SaveEmitterSettings(file));

  auto target = std::make_unique<TEmitterObject>();
  target->AddSystem();
  TEmitterObject& loaded = manager.AddEmitter(std::move(target));
  ASSERT_TRUE(manager.LoadEmitterSettings(file));
  EXPECT_EQ(Record(loaded), Record(*manager.EmitterList[0]));
  ASSERT_EQ(loaded.Systems.size(), 2u);
  EXPECT_EQ(loaded.Systems[1]->Name, "Sparks");
  EXPECT_FALSE(loaded.Systems[1]->Enabled);
  EXPECT_EQ(loaded.Systems[0]->System.Maps.NameAt(1), "spark.png");
  EXPECT_EQ(loaded.Systems[0]->System.SpatialDither, 0.25f);

  // The file ends with the last slot's SpatialDither: no trailing reserved block.
  std::vector<uint8_t> bytes(fs::file_size(file));
  TFileReadStream in(file);
  in.Read(bytes.data(), bytes.size());
  float last;
  std::memcpy(&last, bytes.data() + bytes.size() - 4, 4);
  EXPECT_EQ(last, 0.25f);
  EXPECT_EQ(bytes.size(), 4 + Record(loaded).size());
}

TEST_F(Records, ZeroSlotsEndWithTheCount) {
  TEmitterObject e;
  const std::vector<uint8_t> r = Record(e);
  int32_t count = -1;
  std::memcpy(&count, r.data() + r.size() - 4, 4);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(r.size(), 33 + 4 + 95 + 16 * 2 + 3 + 4 + 121 + 4u);
}

TEST_F(Records, Version100) {
  TEmitterObject source;
  Customise(source);
  TMemoryStream old(Version100Record(source));
  TEmitterObject e;
  e.Enabled = 1;
  e.ReadFrom(OldEmitterRecordVersion, old);
  EXPECT_EQ(old.Remaining(), 0u);
  EXPECT_EQ(e.Name, "Fountain");
  EXPECT_EQ(e.FrameOffset, -12);
  EXPECT_EQ(e.Enabled, 1);
  EXPECT_EQ(e.FreezeFrame, 0);
  ASSERT_EQ(e.Systems.size(), 2u);
  const TEmitter& slot = *e.Systems[0];
  const TColorSeries fresh;
  EXPECT_EQ(slot.Emitter.FocusShape, FocusSphere);
  EXPECT_EQ(slot.System.SystemColorMode, ColorModeGradient);
  EXPECT_EQ(slot.System.MaxParticleSize, 2048);
  EXPECT_EQ(slot.System.SpatialDither, 0);
  EXPECT_EQ(slot.System.SystemColors.Count(), fresh.Count());
  EXPECT_EQ(slot.System.ParticleColors.Count(), 2);
  EXPECT_EQ(slot.Emitter.EmitterShape, ShapeDisc);
  EXPECT_EQ(slot.System.ParticleColorMode, ColorModeRandom);
  EXPECT_EQ(slot.Name, "Water");
}

TEST_F(Records, Normalisations) {
  TEmitterObject source;
  source.AddSystem();
  const std::vector<uint8_t> base = Record(source);
  // Offsets from the end of the record: MaxParticleSize then SpatialDither close the last slot.
  const size_t maxSizeAt = base.size() - 8;
  const struct {
    int32_t stored, read;
  } sizes[] = {{100, 2048}, {255, 2048}, {256, 256}, {-7, 2048}, {4096, 4096}};
  for (const auto& c : sizes) {
    std::vector<uint8_t> bytes = base;
    std::memcpy(bytes.data() + maxSizeAt, &c.stored, 4);
    TMemoryStream s(bytes);
    TEmitterObject e;
    e.ReadFrom(EmitterRecordVersion, s);
    EXPECT_EQ(e.Systems[0]->System.MaxParticleSize, c.read) << c.stored;
  }
  const size_t enabledAt = 33 + 4 + 95 + 32 + 2;
  const struct {
    uint8_t stored, read;
  } flags[] = {{0, 0}, {1, 1}, {2, 1}, {127, 1}, {255, 255}, {128, 1}};
  for (const auto& c : flags) {
    std::vector<uint8_t> bytes = base;
    bytes[enabledAt] = c.stored;
    TMemoryStream s(bytes);
    TEmitterObject e;
    e.ReadFrom(EmitterRecordVersion, s);
    EXPECT_EQ(e.Enabled, c.read) << int(c.stored);
  }
}

TEST_F(Records, OtherVersionsLeaveNoSlots) {
  TEmitterObject source;
  Customise(source);
  TMemoryStream s(Record(source));
  TEmitterObject e;
  e.AddSystem();
  e.ReadFrom(102, s);
  EXPECT_TRUE(e.Systems.empty());
  EXPECT_EQ(e.Name, "Emitter");
}

TEST_F(Records, TruncatedAndDamagedRecordsAreSafe) {
  TEmitterObject source;
  Customise(source);
  const std::vector<uint8_t> full = Record(source);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{20}, size_t{33}, size_t{36}, size_t{100}, size_t{200},
                     size_t{300}, size_t{1000}, size_t{3000}, full.size() / 2, full.size() - 1}) {
    TMemoryStream s(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(cut)));
    TEmitterObject e;
    e.ReadFrom(EmitterRecordVersion, s);
    EXPECT_LE(e.Systems.size(), 2u) << "cut " << cut;
    if (cut < 33 + 4) {
      EXPECT_EQ(e.FreezeFrame, 0) << "cut " << cut;
    }
  }
  // A slot count far beyond the data creates no slot without bytes.
  std::vector<uint8_t> bytes = Record(TEmitterObject());
  const int32_t huge = 1 << 30;
  std::memcpy(bytes.data() + bytes.size() - 4, &huge, 4);
  TMemoryStream s(bytes);
  TEmitterObject e;
  e.ReadFrom(EmitterRecordVersion, s);
  EXPECT_TRUE(e.Systems.empty());
  // Flipped bytes anywhere: read without a fault, and stepping the result stays safe.
  RandomSeed = 99;
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<uint8_t> damaged = full;
    for (int k = 0; k < 8; ++k) damaged[static_cast<size_t>(RandomInt(static_cast<int32_t>(damaged.size())))] ^= 0xA5;
    TMemoryStream d(damaged);
    TEmitterObject r;
    r.ReadFrom(EmitterRecordVersion, d);
    for (auto& slot : r.Systems) {
      slot->System.Reset();
      for (int f = 0; f < 3; ++f) slot->System.StepTo(static_cast<float>(f));
    }
  }
}

TEST_F(Records, TruncatedToolRecordsKeepDefaults) {
  TToolObject source(ToolDeflector);
  source.Name = "Floor";
  static_cast<TPlaneDeflectorModifier*>(source.Modifier())->Absorbs = 1;
  TMemoryStream full;
  source.WriteTo(full);
  const std::vector<uint8_t>& bytes = full.Data();
  for (size_t cut = 0; cut < bytes.size(); cut += 7) {
    TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    TToolObject tool;
    tool.ReadFrom(s);
    ASSERT_NE(tool.Modifier(), nullptr) << "cut " << cut;
    EXPECT_EQ(tool.Modifier()->Active, true) << "cut " << cut;
    // Before the kind name is complete the record names no kind: a leader.
    EXPECT_EQ(tool.Kind(), cut >= 66 ? ToolDeflector : ToolLeader) << "cut " << cut;
  }
}

TEST_F(Records, SystemFileVersions) {
  TEmitterMan manager;
  auto e = std::make_unique<TEmitterObject>();
  TEmitter& slot = e->AddSystem();
  manager.AddEmitter(std::move(e));
  manager.Select(manager.EmitterList[0].get(), &slot);
  slot.System.SpatialDither = 0.5f;
  slot.Emitter.FocusShape = FocusDisc;
  const std::string file = (dir / "water.vts").string();
  ASSERT_TRUE(manager.SaveSystemSettings(file));
  slot.System.SpatialDither = 0;
  ASSERT_TRUE(manager.LoadSystemSettings(file));
  EXPECT_EQ(slot.System.SpatialDither, 0.5f);

  // Version 100 keeps what the older record does not hold.
  TEmitterObject old;
  old.AddSystem().System.SpatialDither = 0.9f;
  const std::vector<uint8_t> v100 = Version100Record(old);
  {
    TFileWriteStream w((dir / "old.vts").string());
    WriteField(w, OldEmitterRecordVersion);
    // Skip the emitter part: name, offset, curve, two scaling bytes, reserved, count.
    const size_t slotAt = 33 + 4 + 95 + 32 + 2 + 126 + 4;
    w.Write(v100.data() + slotAt, v100.size() - slotAt);
    w.Commit();
  }
  ASSERT_TRUE(manager.LoadSystemSettings((dir / "old.vts").string()));
  EXPECT_EQ(slot.System.SpatialDither, 0.5f);
  EXPECT_EQ(slot.Emitter.FocusShape, FocusDisc);

  // A missing file is reported and changes nothing.
  auto& platform = static_cast<THeadlessPlatform&>(Platform());
  const size_t messages = platform.Messages.size();
  EXPECT_FALSE(manager.LoadSystemSettings((dir / "missing.vts").string()));
  ASSERT_EQ(platform.Messages.size(), messages + 1);
  EXPECT_EQ(platform.Messages.back(), "Cannot open file " + (dir / "missing.vts").string());
  EXPECT_FALSE(manager.SaveSystemSettings((dir / "no" / "dir.vts").string()));
  EXPECT_EQ(platform.Messages.back(), "Cannot create file " + (dir / "no" / "dir.vts").string());
}

TEST_F(Records, ToolRecords) {
  const struct {
    TToolKind kind;
    const char* name;
  } kinds[] = {{ToolDeflector, "Deflector"}, {ToolFan, "Fan"},       {ToolAttractor, "Attractor"},
               {ToolRepulsor, "Repulsor"},   {ToolLeader, "Leader"}, {ToolGravitron, "Gravitron"}};
  for (const auto& k : kinds) {
    TToolObject tool(k.kind);
    EXPECT_EQ(tool.Name, k.name);
    EXPECT_EQ(std::count(ActiveModifiers.begin(), ActiveModifiers.end(), tool.Modifier()), 1);
    tool.Modifier()->Active = false;
    // At the defaults of the kept settings the record ends after Active, as it always did.
    TMemoryStream plain;
    tool.WriteTo(plain);
    const size_t plainSize = plain.Data().size();
    TMemoryStream inner;
    tool.WriteTo(inner, false);
    EXPECT_EQ(inner.Data().size(), plainSize + 128) << k.name;
    EXPECT_TRUE(std::all_of(inner.Data().begin() + plainSize, inner.Data().end(), [](uint8_t b) { return b == 0; }));

    tool.Modifier()->ToolLifespan = 50;
    tool.Modifier()->ToolLives = 3;
    for (const bool finalRecord : {true, false}) {
      TMemoryStream s;
      tool.WriteTo(s, finalRecord);
      EXPECT_EQ(s.Data().size(), plainSize + 128) << k.name;
      EXPECT_EQ(std::memcmp(s.Data().data() + plainSize, "VTLKEPT1", 8), 0);
      s.Seek(0);
      TToolObject copy;
      copy.ReadFrom(s);
      EXPECT_FALSE(s.EndedEarly());
      EXPECT_EQ(copy.Kind(), k.kind) << k.name;
      EXPECT_EQ(copy.Modifier()->ToolLifespan, 50);
      EXPECT_EQ(copy.Modifier()->ToolLives, 3);
      EXPECT_FALSE(copy.Modifier()->Active);
      TMemoryStream again;
      copy.WriteTo(again, finalRecord);
      EXPECT_EQ(again.Data(), s.Data()) << k.name;
    }
  }
  EXPECT_TRUE(ActiveModifiers.empty());

  // A block without the marker (zeros, or what another writer left there) reads as the defaults;
  // a damaged count is brought into the panel's range.
  const struct {
    const char* marker;
    int32_t lifespan, lives;
    int32_t expectLifespan, expectLives;
  } blocks[] = {{"\0\0\0\0\0\0\0\0", 50, 3, 0, 0},
                {"VTLKEPT2", 50, 3, 0, 0},
                {"VTLKEPT1", -5, 100000, 0, 8192}};
  for (const auto& b : blocks) {
    TToolObject fan(ToolFan);
    TMemoryStream s;
    fan.WriteTo(s, false);
    std::vector<uint8_t> bytes = s.Data();
    const size_t at = bytes.size() - 128;
    std::memcpy(bytes.data() + at, b.marker, 8);
    std::memcpy(bytes.data() + at + 8, &b.lifespan, 4);
    std::memcpy(bytes.data() + at + 12, &b.lives, 4);
    TMemoryStream r(bytes);
    TToolObject read;
    read.ReadFrom(r);
    EXPECT_EQ(read.Modifier()->ToolLifespan, b.expectLifespan) << b.marker;
    EXPECT_EQ(read.Modifier()->ToolLives, b.expectLives) << b.marker;
  }

  // Unknown kind names read as leaders; the stored working strength is ignored.
  for (const char* name : {"Leader", "Whirlwind", ""}) {
    TToolObject fan(ToolFan);
    TMemoryStream s;
    fan.WriteTo(s);
    std::vector<uint8_t> bytes = s.Data();
    bytes[33] = static_cast<uint8_t>(std::strlen(name));
    std::memset(bytes.data() + 34, 0, 32);
    std::memcpy(bytes.data() + 34, name, std::strlen(name));
    TMemoryStream r(bytes);
    TToolObject read;
    read.ReadFrom(r);
    EXPECT_EQ(read.Kind(), ToolLeader) << name;
  }

  // The gravitron's Infinite is kept; the working strength's float is ignored on reading.
  TToolObject gravitron(ToolGravitron);
  static_cast<TGravitronModifier*>(gravitron.Modifier())->Infinite = true;
  TMemoryStream g;
  gravitron.WriteTo(g);
  std::vector<uint8_t> bytes = g.Data();
  const size_t workAt = 66 + 2 * (95 + 32);
  const float junk = 12345.f;
  std::memcpy(bytes.data() + workAt, &junk, 4);
  TMemoryStream gr(bytes);
  TToolObject back;
  back.ReadFrom(gr);
  EXPECT_TRUE(static_cast<TGravitronModifier*>(back.Modifier())->Infinite);
  TMemoryStream same;
  back.WriteTo(same);
  EXPECT_EQ(same.Data(), g.Data());
}
