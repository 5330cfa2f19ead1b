// Property curves: evaluation, clamping, the editor's key rules, and the curve record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/Stream.h"
#include "engine/VarSeries.h"

namespace {

TVarSeries Curve(std::initializer_list<TSplineKey> keys, double tension = 0.3,
                 uint8_t clamp = ClampNone, double lo = -1e9, double hi = 1e9) {
  TVarSeries c(XKindFrames, lo, hi, clamp);
  c.Tension = tension;
  for (const TSplineKey& k : keys) c.AddKey(k.x, k.y);
  return c;
}

}  // namespace

TEST(VarSeries, NewCurveIsFlatEverywhere) {
  TVariableSystem set;
  TVarSeries& c = set.AddVariable(ClampMin, XKindFrames, 5, 0, 10);
  for (double x : {-100.0, 0.0, 3.7, 8192.0, 1e6}) EXPECT_EQ(c.Evaluate(x), 5) << x;
  ASSERT_EQ(c.KeyCount(), 2);
  EXPECT_EQ(c.KeyX(1), 8192);
  EXPECT_EQ(c.Tension, 0.3);
  EXPECT_EQ(c.ValueStep, 0.01);
  // A flat curve is still clamped.
  TVarSeries& d = set.AddVariable(ClampBoth, XKindFrames, 7, 0, 1);
  EXPECT_EQ(d.Evaluate(2), 1);
}

TEST(VarSeries, CardinalSplineValues) {
  const struct {
    std::initializer_list<TSplineKey> keys;
    double tension, x, expected;
  } cases[] = {
      {{{0, 0}, {10, 10}}, 0.3, 2.5, 1.84375},
      {{{0, 0}, {10, 10}}, 0.0, 2.5, 1.5625},
      {{{0, 0}, {10, 10}}, 0.5, 2.5, 2.03125},
      {{{0, 0}, {10, 10}, {20, 0}}, 0.3, 5, 5.375},
      {{{0, 0}, {10, 10}, {20, 0}}, 0.3, 15, 5.375},
      {{{0, 0}, {10, 10}, {20, 0}}, 0.3, 10, 10},
      {{{0, 2}, {10, 4}}, 0.3, -5, 2},   // before the first key
      {{{0, 2}, {10, 4}}, 0.3, 50, 4},   // after the last key
      {{{4, 9}}, 0.3, -3, 9},            // a single key
      {{{4, 9}}, 0.3, 300, 9},
      {{{0, 0}, {5, 1}, {5, 2}, {10, 0}}, 0.3, 5, 1},  // equal x: the first of them
  };
  for (const auto& c : cases) {
    const TVarSeries curve = Curve(c.keys, c.tension);
    EXPECT_NEAR(curve.Evaluate(c.x), c.expected, 1e-12) << "x = " << c.x << " tension " << c.tension;
  }
}

TEST(VarSeries, StepCurveChangesJustAfterAKey) {
  TVarSeries c = Curve({{0, 1}, {50, 0}, {8192, 0}});
  c.ValueStep = 1.0;
  EXPECT_EQ(c.Evaluate(0), 1);
  EXPECT_EQ(c.Evaluate(50), 1);
  EXPECT_EQ(c.Evaluate(50.001), 0);
  EXPECT_EQ(c.Evaluate(-4), 1);
}

TEST(VarSeries, ClampingFollowsTheMode) {
  // A plateau at the top of the range overshoots between its keys; only a clamped curve is
  // held to its range.
  const std::initializer_list<TSplineKey> keys = {{0, 0}, {30, 180}, {60, 180}, {100, -180}};
  const TVarSeries clamped = Curve(keys, 0.3, ClampBoth, -180, 180);
  const TVarSeries free = Curve(keys, 0.3, ClampNone, -180, 180);
  double most = -1e9;
  for (double x = 0; x <= 100; x += 0.5) {
    const double v = clamped.Evaluate(x);
    EXPECT_GE(v, -180);
    EXPECT_LE(v, 180);
    most = std::max(most, free.Evaluate(x));
  }
  EXPECT_GT(most, 180);

  const struct {
    uint8_t mode;
    double in, out;
  } cases[] = {{ClampMin, -5, 0}, {ClampMin, 50, 50}, {ClampMax, 50, 10},
               {ClampMax, -5, -5}, {ClampBoth, -5, 0}, {ClampBoth, 50, 10}, {7, 50, 50}};
  for (const auto& c : cases) {
    TVarSeries curve(XKindFrames, 0, 10, c.mode);
    double v = c.in;
    curve.ClampValue(v);
    EXPECT_EQ(v, c.out) << "mode " << int(c.mode) << " value " << c.in;
  }
}

TEST(VarSeries, NoKeysEvaluatesToZero) {
  TVarSeries c(XKindFrames, 1, 2, ClampBoth);
  EXPECT_EQ(c.Evaluate(3), 0);
}

TEST(VarSeries, ConstrainKeyX) {
  TVarSeries c(XKindLifePercent, 0, 1, ClampNone);
  for (double x : {0.0, 20.0, 40.0, 60.0}) c.AddKey(x, 0);
  double x = 250;
  c.ConstrainKeyX(3, x);
  EXPECT_EQ(x, 100);
  x = 20;
  c.ConstrainKeyX(2, x);
  EXPECT_EQ(x, 21);
  x = 70;
  c.ConstrainKeyX(2, x);
  EXPECT_EQ(x, 59);
  TVarSeries frames(XKindFrames, 0, 1, ClampNone);
  frames.AddKey(0, 0);
  frames.AddKey(10, 0);
  x = 250;
  frames.ConstrainKeyX(1, x);
  EXPECT_EQ(x, 250);
}

TEST(VarSeries, SnapValue) {
  TVarSeries c(XKindFrames, 0, 1, ClampNone);
  double y = 0.12345;
  c.SnapValue(y);
  EXPECT_NEAR(y, 0.12, 1e-12);
  c.ValueStep = 1.0;
  y = 2.5;
  c.SnapValue(y);
  EXPECT_EQ(y, 2);
  y = 1e5;
  c.SnapValue(y);
  EXPECT_EQ(y, 65000);
  TVarSeries clamped(XKindFrames, 0, 1, ClampBoth);
  y = 3.333;
  clamped.SnapValue(y);
  EXPECT_EQ(y, 1);
}

TEST(VarSeries, RecordRoundTripAndLayout) {
  TVarSeries c(XKindPercent, -2.5, 7.25, ClampMax);
  c.Name = "Wind";
  c.Tension = 0;
  c.AddKey(0, 1);
  c.AddKey(30, -2);
  c.AddKey(100, 4);
  TMemoryStream s;
  c.WriteTo(s);
  ASSERT_EQ(s.Size(), 95u + 16u * 3);
  const std::vector<uint8_t>& b = s.Data();
  EXPECT_EQ(b[0], 4);
  EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 5), "Wind");
  EXPECT_EQ(b[65], XKindPercent);
  EXPECT_EQ(b[82], ClampMax);
  EXPECT_EQ(b[91], 3);

  TVarSeries back(XKindFrames, 0, 0, ClampNone);
  back.AddKey(0, 99);
  s.Seek(0);
  back.ReadFrom(s);
  EXPECT_EQ(back.Name, "Wind");
  EXPECT_EQ(back.XKind, XKindPercent);
  EXPECT_EQ(back.MinValue, -2.5);
  EXPECT_EQ(back.MaxValue, 7.25);
  EXPECT_EQ(back.ClampMode, ClampMax);
  EXPECT_EQ(back.Tension, 0);
  EXPECT_EQ(back.AllKeys(), c.AllKeys());
}

TEST(VarSeries, DamagedRecords) {
  TVarSeries source(XKindFrames, 0, 10, ClampBoth);
  source.AddKey(0, 3);
  source.AddKey(50, 6);
  TMemoryStream full;
  source.WriteTo(full);
  const std::vector<uint8_t> bytes = full.Data();

  // Cut inside the header: fields present are read, the keys stay as they were.
  for (size_t cut : {0u, 10u, 70u, 90u, 94u}) {
    TVarSeries c(XKindLifePercent, -1, 1, ClampNone);
    c.AddKey(0, 1);
    c.AddKey(8192, 1);
    TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
    c.ReadFrom(s);
    EXPECT_EQ(c.KeyCount(), 2) << "cut " << cut;
    EXPECT_EQ(c.Evaluate(10), 1) << "cut " << cut;
  }
  // Cut inside the keys: the complete keys are kept.
  {
    TVarSeries c(XKindFrames, 0, 10, ClampBoth);
    TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 95 + 16 + 8));
    c.ReadFrom(s);
    ASSERT_EQ(c.KeyCount(), 1);
    EXPECT_EQ(c.Evaluate(30), 3);
  }
  // An absurd or negative count reads what is there and reserves nothing more.
  for (int32_t count : {1 << 30, -5}) {
    std::vector<uint8_t> damaged = bytes;
    std::memcpy(damaged.data() + 91, &count, 4);
    TVarSeries c(XKindFrames, 0, 10, ClampBoth);
    TMemoryStream s(damaged);
    c.ReadFrom(s);
    EXPECT_EQ(c.KeyCount(), count > 0 ? 2 : 0);
    // A negative count reads no key: the key bytes are left to whatever follows.
    EXPECT_EQ(s.Remaining(), count > 0 ? 0u : 32u);
    if (count < 0) {
      EXPECT_EQ(c.Evaluate(4), 0);
    }
  }
}

// A key with a NaN position has no place among the others: kept, it would move on every save.
// Read as damage: dropped and counted, so that read, write, read gives the same record.
TEST(VarSeries, NaNPositionsAreDroppedAsDamage) {
  TVarSeries source(XKindFrames, 0, 10, ClampNone);
  source.AddKey(0, 3);
  source.AddKey(20, 4);
  source.AddKey(50, 6);
  TMemoryStream full;
  source.WriteTo(full);
  std::vector<uint8_t> damaged = full.Data();
  const double nan = std::nan("");
  std::memcpy(damaged.data() + 95 + 16, &nan, 8);  // the second key's position
  TVarSeries first(XKindFrames, 0, 10, ClampNone);
  TMemoryStream in(damaged);
  EXPECT_EQ(first.ReadFrom(in), 1u);
  ASSERT_EQ(first.KeyCount(), 2);
  EXPECT_EQ(first.KeyX(1), 50);
  TMemoryStream written;
  first.WriteTo(written);
  TVarSeries second(XKindFrames, 0, 10, ClampNone);
  written.Seek(0);
  EXPECT_EQ(second.ReadFrom(written), 0u);
  EXPECT_EQ(second.AllKeys(), first.AllKeys());
  TMemoryStream again;
  second.WriteTo(again);
  EXPECT_EQ(again.Data(), written.Data());
}

TEST(VarSeries, VariableSetRoundTrip) {
  TVariableSystem a, b;
  a.AddVariable(ClampMin, XKindFrames, 5, 0, 10).AddKey(20, 8);
  a.AddVariable(ClampBoth, XKindLifePercent, 0.5, 0, 1);
  b.AddVariable(ClampMin, XKindFrames, 1, 0, 10);
  b.AddVariable(ClampBoth, XKindLifePercent, 1, 0, 1);
  TMemoryStream s;
  a.WriteVariables(s);
  s.Seek(0);
  b.ReadVariables(s);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(b.Variable(i).AllKeys(), a.Variable(i).AllKeys());
  EXPECT_EQ(s.Remaining(), 0u);
}
