// Colour conversions and gradients: the numeric examples, hard edges, stop editing, the
// gradient stream and file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "engine/ColorSeries.h"
#include "engine/ColorSpaces.h"

namespace {

TColorVector At(const TColorSeries& g, double x) {
  TColorVector v;
  g.ColorAt(x, v);
  return v;
}

void ExpectGrey(const TColorVector& v, double level, const char* where) {
  EXPECT_NEAR(v.r, level, 1e-6) << where;
  EXPECT_NEAR(v.g, level, 1e-6) << where;
  EXPECT_NEAR(v.b, level, 1e-6) << where;
}

TColorSeries Stops(std::initializer_list<std::pair<double, TColor>> stops) {
  TColorSeries g;
  g.DeleteStop(0);
  for (auto [p, c] : stops) g.AddStop(p, c);
  return g;
}

std::filesystem::path TempDir() {
  auto dir = std::filesystem::temp_directory_path() / ("vantrel-color-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

TEST(ColorSpaces, Conversions) {
  TColor c = 0;
  VectorToColor(MakeColorVector(1, 0.5f, 0, 7), c);
  EXPECT_EQ(c, 0x0080FFu);  // 127.5 rounds to the even 128
  VectorToColor(MakeColorVector(1.5f, -0.5f, 2, 0), c);
  // 382.5 → 382 → 0x7E, −127.5 → −128 → 0x80, 510 → 0xFE: out-of-range channels wrap.
  EXPECT_EQ(c, 0xFE807Eu);
  TColorVector v = MakeColorVector(0, 0, 0, 9);
  ColorToVector(0x33FF00, v);
  EXPECT_FLOAT_EQ(v.r, 0);
  EXPECT_FLOAT_EQ(v.g, 1);
  EXPECT_FLOAT_EQ(v.b, 0x33 / 255.0f);
  EXPECT_FLOAT_EQ(v.a, 9);  // the fourth value is never touched

  TColorVector x = MakeColorVector(2, -1, 0.5f, 3);
  ClampColor(x);
  EXPECT_EQ(x, MakeColorVector(1, 0, 0.5f, 3));
  MulColor(x, MakeColorVector(0.5f, 4, 2, 100));
  EXPECT_EQ(x, MakeColorVector(0.5f, 0, 1, 3));
  ScaleColor(x, 2);
  EXPECT_EQ(x, MakeColorVector(1, 0, 2, 3));
  TColorVector r;
  LerpColor(MakeColorVector(0, 1, 0, 5), MakeColorVector(1, 0, 1, 6), r, 0.25f);
  EXPECT_EQ(r, MakeColorVector(0.25f, 0.75f, 0.25f, 5));
}

TEST(ColorSeries, NewGradientIsWhiteEverywhere) {
  TColorSeries g;
  ASSERT_EQ(g.Count(), 1);
  EXPECT_EQ(g.Stop(0).Position, 1);
  EXPECT_EQ(g.Stop(0).Color, ColorWhite);
  EXPECT_EQ(g.Stop(0).DisplayValue, 1.0);
  for (double x : {-1e9, 0.0, 1.0, 50.0, 1e9}) ExpectGrey(At(g, x), 1, "new gradient");
  TColorSeries one = Stops({{40, 0x102030}});
  TColorVector v = At(one, 3);
  EXPECT_FLOAT_EQ(v.r, 0x30 / 255.0f);
  EXPECT_FLOAT_EQ(v.b, 0x10 / 255.0f);
}

TEST(ColorSeries, ColorAtExamples) {
  struct Case {
    double x, level;
  };
  const TColorSeries ramp = Stops({{1, ColorBlack}, {101, ColorWhite}});
  for (Case c : {Case{0, 0}, {-5, 0}, {50, 0.5}, {100, 1}, {100.5, 1}, {200, 1}})
    ExpectGrey(At(ramp, c.x), c.level, ("ramp x=" + std::to_string(c.x)).c_str());
  // The interpolation uses positions one lower: x = 51.5 is 1.5 of the 50 steps from white
  // (argument 50) towards black (argument 100), i.e. 3 %.
  const TColorSeries peak = Stops({{1, ColorBlack}, {51, ColorWhite}, {101, ColorBlack}});
  for (Case c : {Case{50.5, 1}, {51, 1}, {51.5, 1 - 1.5 / 50}, {25, 0.5}, {101, 0}})
    ExpectGrey(At(peak, c.x), c.level, ("peak x=" + std::to_string(c.x)).c_str());
}

TEST(ColorSeries, EqualPositionsMakeAHardEdge) {
  const TColor A = 0x000010, B = 0x000020, C = 0x000030, D = 0x000040;
  const TColorSeries g = Stops({{1, A}, {50, B}, {50, C}, {100, D}});
  ASSERT_EQ(g.Stop(1).Color, B);
  ASSERT_EQ(g.Stop(2).Color, C);
  EXPECT_FLOAT_EQ(At(g, 50).r, 0x20 / 255.0f);    // B, reached at argument 49 and held
  EXPECT_FLOAT_EQ(At(g, 49.5).r, 0x20 / 255.0f);
  // Just past 50 the colour starts from C (never between B and C): 1.25 of 50 steps to D.
  EXPECT_NEAR(At(g, 50.25).r, (0x30 + (0x40 - 0x30) * 1.25 / 50) / 255.0, 1e-6);
  EXPECT_NEAR(At(g, 74).r, (0x30 + (0x40 - 0x30) * 25.0 / 50) / 255.0, 1e-6);
}

TEST(ColorSeries, StopEditing) {
  TColorSeries g = Stops({{1, 1}, {50, 2}, {100, 3}});
  EXPECT_EQ(g.AddStop(50, 4), 2);  // after the stop already at 50
  EXPECT_EQ(g.SetStopPosition(0, 75), 2);
  EXPECT_EQ(g.Stop(2).Color, 1u);
  EXPECT_EQ(g.Stop(0).Color, 2u);
  // Moving onto an occupied position reports the moved stop, not its neighbour.
  EXPECT_EQ(g.SetStopPosition(3, 50), 2);
  EXPECT_EQ(g.Stop(2).Color, 3u);
  g.SetStopColor(1, 9);
  EXPECT_EQ(g.Stop(1).Color, 9u);
  EXPECT_EQ(g.LargestPosition(), 75);
  g.DeleteStop(3);
  EXPECT_EQ(g.Count(), 3);
  EXPECT_THROW(g.DeleteStop(3), std::out_of_range);
  EXPECT_THROW(g.SetStopColor(-1, 0), std::out_of_range);
  g.ResetGradient();
  ASSERT_EQ(g.Count(), 1);
  EXPECT_EQ(g.Stop(0).Color, ColorWhite);
}

TEST(ColorSeries, StreamLayout) {
  TColorSeries g;
  TMemoryStream s;
  g.SaveToStream(s);
  std::vector<uint8_t> expected(65, 0);
  for (uint8_t b : {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0xFF, 0xFF, 0xFF, 0}) expected.push_back(b);
  EXPECT_EQ(s.Data(), expected);  // 81 bytes

  // The reserved block comes back byte for byte; stops are put in order.
  std::vector<uint8_t> bytes(65);
  for (size_t k = 0; k < 65; ++k) bytes[k] = static_cast<uint8_t>(k * 7 + 1);
  TMemoryStream in(bytes);
  in.Seek(65);
  WriteField(in, int32_t{2});
  WriteField(in, 90.0), WriteField(in, int32_t{0x0000FF});
  WriteField(in, 10.0), WriteField(in, int32_t{0x00FF00});
  in.Seek(0);
  TColorSeries loaded;
  loaded.LoadFromStream(in);
  ASSERT_EQ(loaded.Count(), 2);
  EXPECT_EQ(loaded.Stop(0).Position, 10);
  EXPECT_EQ(loaded.Stop(1).Color, 0x0000FFu);
  TMemoryStream out;
  loaded.SaveToStream(out);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.Data().begin()));
  EXPECT_EQ(out.Size(), 69u + 24u);
}

TEST(ColorSeries, DamagedStreams) {
  auto withCount = [](int32_t count, size_t stops) {
    TMemoryStream s;
    WriteZeros(s, 65);
    WriteField(s, count);
    for (size_t k = 0; k < stops; ++k) WriteField(s, double(k + 1)), WriteField(s, int32_t(k));
    return s.TakeData();
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int stops;
  };
  std::vector<uint8_t> cut = withCount(3, 3);
  cut.resize(cut.size() - 5);
  const Case cases[] = {
      {"count zero", withCount(0, 0), 0},
      {"negative count", withCount(-4, 0), 0},
      {"absurd count", withCount(0x7FFFFFFF, 2), 2},
      {"ends inside the third stop", cut, 2},
      {"ends inside the reserved block", std::vector<uint8_t>(30, 0), 0},
  };
  for (const Case& c : cases) {
    TColorSeries g;
    TMemoryStream s(c.bytes);
    g.LoadFromStream(s);
    EXPECT_EQ(g.Count(), c.stops) << c.what;
  }
  TColorSeries empty;
  TMemoryStream s(withCount(0, 0));
  empty.LoadFromStream(s);
  TColorVector v = MakeColorVector(1, 1, 1, 1);
  empty.ColorAt(50, v);
  EXPECT_EQ(v, MakeColorVector(0, 0, 0, 0));  // no stops: black
  EXPECT_EQ(empty.LargestPosition(), 0);
}

// A stop at a NaN position is damage: dropped and counted, and the gradient then saves the same
// bytes every time.
TEST(ColorSeries, NaNPositionsAreDroppedAsDamage) {
  TMemoryStream s;
  WriteZeros(s, 65);
  WriteField(s, int32_t{3});
  WriteField(s, 10.0), WriteField(s, int32_t{0x0000FF});
  WriteField(s, std::nan("")), WriteField(s, int32_t{0x00FF00});
  WriteField(s, 5.0), WriteField(s, int32_t{0xFF0000});
  s.Seek(0);
  TColorSeries first;
  EXPECT_EQ(first.LoadFromStream(s), 1u);
  ASSERT_EQ(first.Count(), 2);
  EXPECT_EQ(first.Stop(0).Position, 5);
  TMemoryStream written;
  first.SaveToStream(written);
  written.Seek(0);
  TColorSeries second;
  EXPECT_EQ(second.LoadFromStream(written), 0u);
  TMemoryStream again;
  second.SaveToStream(again);
  EXPECT_EQ(again.Data(), written.Data());
}

TEST(ColorSeries, Files) {
  const auto dir = TempDir();
  const std::string file = (dir / "glow.vtg").string();
  TColorSeries g = Stops({{1, 0x0000FF}, {30, 0xFF0000}});
  g.SaveToFile(file);
  EXPECT_EQ(std::filesystem::file_size(file), 69u + 24u);
  TColorSeries back;
  back.LoadFromFile(file);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Stop(1).Position, 30);

  try {
    back.LoadFromFile((dir / "missing.vtg").string());
    FAIL() << "no error";
  } catch (const EVantrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "missing.vtg").string());
  }
  EXPECT_EQ(back.Count(), 2);  // unchanged
  const std::string bad = (dir / "no-such-folder" / "x.vtg").string();
  try {
    g.SaveToFile(bad);
    FAIL() << "no error";
  } catch (const EVantrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + bad);
  }
  std::filesystem::remove_all(dir);
}
