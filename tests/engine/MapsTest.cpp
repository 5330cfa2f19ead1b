// The image map list, its stream and comma text, and how a system picks a particle's image.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/Particle.h"
#include "engine/Stream.h"
#include "engine/ParticleMapSource.h"

namespace {
std::string TextOf(const TMemoryStream& s) {
  int32_t n = 0;
  std::memcpy(&n, s.Data().data(), 4);
  return std::string(reinterpret_cast<const char*>(s.Data().data()) + 4, static_cast<size_t>(n));
}
}  // namespace

TEST(ParticleMapSource, NewListAndEditing) {
  TParticleMapSource m;
  ASSERT_EQ(m.ImageCount(), 1);
  EXPECT_EQ(m.NameAt(0), "Default");
  EXPECT_EQ(m.OptionsAt(0), TParticleMapOptions{});
  EXPECT_FLOAT_EQ(m.OptionsAt(0).AlphaMaster, 0.2f);
  EXPECT_FLOAT_EQ(m.OptionsAt(0).OriginX, 0.5f);

  EXPECT_EQ(m.AddImage("/maps/a.png"), 1);
  EXPECT_EQ(m.AddImage("/maps/b.png"), 2);
  m.OptionsAt(1).Flip = FlipBoth;
  // Adding a name already listed (in any letter case) moves it to the end with new options.
  EXPECT_EQ(m.AddImage("/maps/A.PNG"), 2);
  EXPECT_EQ(m.NameAt(1), "/maps/b.png");
  EXPECT_EQ(m.NameAt(2), "/maps/A.PNG");
  EXPECT_EQ(m.OptionsAt(2).Flip, FlipNone);

  m.OptionsAt(1).OriginY = 0.9f;
  m.SetImageName(1, "/maps/c.png");
  EXPECT_FLOAT_EQ(m.OptionsAt(1).OriginY, 0.9f);
  // An index outside the list reads entry 0.
  EXPECT_EQ(&m.OptionsAt(7), &m.OptionsAt(0));
  EXPECT_EQ(&m.OptionsAt(-1), &m.OptionsAt(0));
  m.DeleteImage(0);
  EXPECT_EQ(m.NameAt(0), "/maps/c.png");
  EXPECT_THROW(m.DeleteImage(2), std::out_of_range);
  EXPECT_THROW(m.SetImageName(5, "x"), std::out_of_range);
}

TEST(ParticleMapSource, StreamLayout) {
  TParticleMapSource m;
  m.DeleteImage(0);
  m.AddImage("/maps/my glow.png");  // 16 characters with a space
  m.AddImage("Default");
  m.OptionsAt(0) = {0.75f, FlipVertical, 0.25f, 1.0f};
  TMemoryStream s;
  m.SaveToStream(s);
  EXPECT_EQ(TextOf(s), "\"/maps/my glow.png\",Default");
  ASSERT_EQ(s.Size(), 4 + 27 + 2 * 45u);
  // 15 characters with a space, quoted, a comma and Default: L = 25.
  TParticleMapSource fifteen;
  fifteen.SetImageName(0, "/tmp/a glow.png");
  fifteen.AddImage("Default");
  TMemoryStream s15;
  fifteen.SaveToStream(s15);
  EXPECT_EQ(TextOf(s15).size(), 25u);

  // Options: float32, byte, float32, float32, then 32 zero bytes.
  const uint8_t* rec = s.Data().data() + 4 + 27;
  float f = 0;
  std::memcpy(&f, rec, 4);
  EXPECT_EQ(f, 0.75f);
  EXPECT_EQ(rec[4], FlipVertical);
  std::memcpy(&f, rec + 9, 4);
  EXPECT_EQ(f, 1.0f);
  EXPECT_TRUE(std::all_of(rec + 13, rec + 45, [](uint8_t b) { return b == 0; }));

  TMemoryStream in(s.Data());
  TParticleMapSource back;
  back.LoadFromStream(in);
  ASSERT_EQ(back.ImageCount(), 2);
  EXPECT_EQ(back.NameAt(0), "/maps/my glow.png");
  EXPECT_EQ(back.OptionsAt(0), m.OptionsAt(0));
  EXPECT_EQ(in.Remaining(), 0u);

  // A stream ending right after the last OriginY reads the same.
  std::vector<uint8_t> shortened = s.Data();
  shortened.resize(shortened.size() - 32);
  TMemoryStream cut(shortened);
  TParticleMapSource back2;
  back2.LoadFromStream(cut);
  ASSERT_EQ(back2.ImageCount(), 2);
  EXPECT_EQ(back2.OptionsAt(1), TParticleMapOptions{});
}

TEST(ParticleMapSource, CommaText) {
  struct Case {
    std::vector<std::string> names;
    std::string text;
  };
  const Case cases[] = {
      {{"a", "b"}, "a,b"},
      {{"say \"hi\".png"}, "\"say \"\"hi\"\".png\""},
      {{"x,y"}, "\"x,y\""},
      {{""}, "\"\""},
      // Empty names are always quoted, so one at the end survives the round trip.
      {{"a", ""}, "a,\"\""},
      {{"", "a"}, "\"\",a"},
      {{"tab\there"}, "\"tab\there\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NamesToCommaText(c.names), c.text);
    EXPECT_EQ(CommaTextToNames(c.text), c.names) << c.text;
  }
  using V = std::vector<std::string>;
  EXPECT_EQ(CommaTextToNames("a,,b"), (V{"a", "", "b"}));
  EXPECT_EQ(CommaTextToNames("  a , b  "), (V{"a", "b"}));
  EXPECT_EQ(CommaTextToNames("a b"), (V{"a", "b"}));  // a bare name ends at a space
  EXPECT_EQ(CommaTextToNames(",a"), (V{"", "a"}));
  EXPECT_EQ(CommaTextToNames("a,"), (V{"a"}));
  EXPECT_EQ(CommaTextToNames("\"open"), (V{"open"}));
  EXPECT_EQ(CommaTextToNames("   "), V{});
}

TEST(ParticleMapSource, MalformedStreams) {
  // A name length beyond the stream, a negative one, and a stream that stops inside the options.
  for (int32_t length : {1000, -5}) {
    TMemoryStream s;
    WriteField(s, length);
    s.Write("a,b", 3);
    s.Seek(0);
    TParticleMapSource m;
    m.LoadFromStream(s);
    EXPECT_EQ(m.ImageCount(), length > 0 ? 2 : 0) << length;
    EXPECT_EQ(m.OptionsAt(1), TParticleMapOptions{});
  }
  TMemoryStream s;
  WriteField(s, int32_t{3});
  s.Write("a,b", 3);
  WriteField(s, 0.5f);
  s.Seek(0);
  TParticleMapSource m;
  m.LoadFromStream(s);
  ASSERT_EQ(m.ImageCount(), 2);
  EXPECT_EQ(m.OptionsAt(0).AlphaMaster, 0.5f);
  EXPECT_EQ(m.OptionsAt(0).Flip, FlipNone);

  // No entries: default options, and writes into them are not kept.
  TMemoryStream empty;
  WriteField(empty, int32_t{0});
  empty.Seek(0);
  m.LoadFromStream(empty);
  ASSERT_EQ(m.ImageCount(), 0);
  m.OptionsAt(0).AlphaMaster = 9;
  EXPECT_EQ(m.OptionsAt(0), TParticleMapOptions{});
  // A stream that ends before the length changes nothing.
  TMemoryStream nothing;
  TParticleMapSource kept;
  kept.LoadFromStream(nothing);
  EXPECT_EQ(kept.ImageCount(), 1);
}

TEST(ParticleSystem, OwnsGradientsAndMaps) {
  TParticleSystem s;
  EXPECT_EQ(s.SystemColors.Count(), 1);
  EXPECT_EQ(s.ParticleColors.Count(), 1);
  EXPECT_EQ(s.Maps.ImageCount(), 1);
  s.ParticleColors.AddStop(50, 0);
  EXPECT_EQ(s.SystemColors.Count(), 1);  // two separate gradients
}

TEST(ParticleSystem, ImageIndexOf) {
  TParticleSystem s;
  s.Maps.AddImage("b");
  s.Maps.AddImage("c");
  s.Particles.resize(1);
  TParticle& p = s.Particles[0];
  p.Alive = true;
  p.MapIndex = 2;
  p.Birth = 0;

  auto indexAt = [&](float age) {
    s.Time = age;
    return s.ImageIndexOf(0);
  };
  s.MapMode = MapFixed;
  EXPECT_EQ(indexAt(5), 2);
  s.MapMode = MapRandom;
  EXPECT_EQ(indexAt(5), 2);

  s.MapMode = MapCycle;
  s.MapCycleTime = 1;
  std::vector<int> seen;
  for (float age : {0.f, 1.f, 2.f, 3.f}) seen.push_back(indexAt(age));
  EXPECT_EQ(seen, (std::vector<int>{2, 0, 1, 2}));

  // A cycle of 2 advances by round(age / 2), half to even: 0 0 1 2 2 2 3 4 4 4 5 6.
  s.MapCycleTime = 2;
  s.Maps.AddImage("d"), s.Maps.AddImage("e"), s.Maps.AddImage("f"), s.Maps.AddImage("g");
  p.MapIndex = 0;  // seven entries: the offsets show unreduced
  std::vector<int> offsets;
  for (int age = 0; age < 12; ++age) offsets.push_back(indexAt(static_cast<float>(age)));
  EXPECT_EQ(offsets, (std::vector<int>{0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6}));

  s.MapCycleTime = 0;
  EXPECT_EQ(indexAt(3), 3);
  EXPECT_EQ(s.MapCycleTime, 1);  // the stored setting changes
  s.MapCycleTime = -4;
  indexAt(0);
  EXPECT_EQ(s.MapCycleTime, 1);

  // A huge age neither overflows nor leaves the list.
  s.Time = 3e38f;
  EXPECT_GE(s.ImageIndexOf(0), 0);
  EXPECT_LT(s.ImageIndexOf(0), 7);
}
