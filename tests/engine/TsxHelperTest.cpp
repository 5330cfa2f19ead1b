// Polyhedron access over the stage's polyhedra (face picking, points on faces and their
// fall-backs), the floating-point guard, and the host's vector math against the engine's.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "engine/RandomTables.h"
#include "engine/VectorData.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/TsxApi5.h"
#include "engine/TsxHelper.h"
#include "stage/Stage.h"

namespace {

class PolyhTest : public ::testing::Test {
 protected:
  void SetUp() override { stage::ResetStage(); }
  void TearDown() override { stage::ResetStage(); }

  // A polyhedron node of one face through the given points.
  tsxPOLYHEDRON* OneFace(std::vector<CtsxVector3f> points) {
    stage::TPolyhedron p;
    std::vector<int32_t> corners;
    for (const CtsxVector3f& v : points) corners.push_back(p.AddVertex(v));
    p.AddFace(corners);
    return stage::TScene::Handle(&stage::Stage().Scene.AddPolyhedron("Face", std::move(p)));
  }

  // The weighted average of the points from the generator's current state.
  static TVec3f WeightedAverage(const std::vector<CtsxVector3f>& points) {
    double s[3] = {}, w[3] = {};
    for (const CtsxVector3f& v : points) {
      const double a = 1 + Random(), b = 1 + Random(), c = 1 + Random();
      s[0] += a * v.x, s[1] += b * v.y, s[2] += c * v.z;
      w[0] += a, w[1] += b, w[2] += c;
    }
    return {static_cast<float>(s[0] / w[0]), static_cast<float>(s[1] / w[1]), static_cast<float>(s[2] / w[2])};
  }
};

// Barycentric coordinates of p in triangle abc (p assumed in its plane), and p's distance from
// that plane.
void Barycentric(const TVec3f& p, const CtsxVector3f& a, const CtsxVector3f& b, const CtsxVector3f& c,
                 double out[3], double& offPlane) {
  const double ab[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, ac[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
  const double ap[3] = {p.x - a.x, p.y - a.y, p.z - a.z};
  const double n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2], ab[0] * ac[1] - ab[1] * ac[0]};
  const double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
  offPlane = std::fabs(n[0] * ap[0] + n[1] * ap[1] + n[2] * ap[2]) / std::sqrt(nn);
  auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
  const double d00 = dot(ab, ab), d01 = dot(ab, ac), d11 = dot(ac, ac), d20 = dot(ap, ab), d21 = dot(ap, ac);
  const double den = d00 * d11 - d01 * d01;
  out[1] = (d11 * d20 - d01 * d21) / den;
  out[2] = (d00 * d21 - d01 * d20) / den;
  out[0] = 1 - out[1] - out[2];
}

TEST_F(PolyhTest, TrianglePointsLieInsideTheFace) {
  const std::vector<std::vector<CtsxVector3f>> triangles = {
      {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}},          // in the ground plane
      {{0, 0, 0}, {0, 0, 3}, {0, 2, 0}},          // facing −X
      {{1, 2, 3}, {4, 1, 5}, {2, 5, 1}},          // tilted every way
      {{0, 0, 5}, {0, 2, 5}, {2, 0, 5}},          // facing down
  };
  RandomSeed = 99;
  for (const auto& t : triangles) {
    const TPolyh polyh(OneFace(t));
    ASSERT_EQ(polyh.FaceCount(), 1);
    int fallbacks = 0;
    for (int i = 0; i < 400; ++i) {
      const uint32_t seed = RandomSeed;
      TVec3f p;
      polyh.RandomPointOnFace(0, p);
      double bc[3], off;
      Barycentric(p, t[0], t[1], t[2], bc, off);
      if (off > 1e-4) {
        // Ten candidates may all miss (about one time in a thousand for these triangles): then
        // the point is the weighted average drawn after them.
        const uint32_t after = RandomSeed;
        RandomSeed = seed;
        for (int k = 0; k < 20; ++k) Random();
        EXPECT_EQ(p, WeightedAverage(t)) << "triangle starting " << t[1].x << " sample " << i;
        RandomSeed = after;
        ++fallbacks;
        continue;
      }
      for (double w : bc) EXPECT_GT(w, -1e-4) << "triangle starting " << t[1].x << " sample " << i;
    }
    EXPECT_LT(fallbacks, 4);
  }
}

TEST_F(PolyhTest, NarrowSpanGoesStraightToTheWeightedAverage) {
  // 0.0005 high after alignment: no candidate is drawn.
  const std::vector<CtsxVector3f> sliver = {{0, 0, 0}, {10, 0, 0}, {10, 0.0005f, 0}};
  const TPolyh polyh(OneFace(sliver));
  RandomSeed = 7;
  TVec3f p;
  polyh.RandomPointOnFace(0, p);
  RandomSeed = 7;
  const TVec3f expected = WeightedAverage(sliver);
  EXPECT_EQ(p, expected);
}

TEST_F(PolyhTest, TenMissesGiveTheWeightedAverageNotTheFirstCorner) {
  // A wide bounding box around a thin wedge: the ten candidates all miss.
  const std::vector<CtsxVector3f> wedge = {{0, 0, 0}, {1, 0, 0}, {1000, 1000, 0}};
  const TPolyh polyh(OneFace(wedge));
  RandomSeed = 12345;
  TVec3f p;
  polyh.RandomPointOnFace(0, p);
  RandomSeed = 12345;
  for (int i = 0; i < 20; ++i) Random();  // ten candidates, x then y
  const TVec3f expected = WeightedAverage(wedge);
  EXPECT_FLOAT_EQ(p.x, expected.x);
  EXPECT_FLOAT_EQ(p.y, expected.y);
  EXPECT_NE(p, MakeVec3(0, 0, 0));
}

TEST_F(PolyhTest, WeightedAverageOfOneCornerAndOfNoCorners) {
  const TPolyh one(OneFace({{3, -4, 5}}));
  RandomSeed = 1;
  TVec3f p;
  one.RandomPointOnFace(0, p);
  EXPECT_FLOAT_EQ(p.x, 3);
  EXPECT_FLOAT_EQ(p.y, -4);
  EXPECT_FLOAT_EQ(p.z, 5);
  // A face without corners, and no face at all, give the origin.
  tsxCORNER none[1]{};
  tsxFACE empty{0, 0, none};
  one.RandomPointOnFace(&empty, p);
  EXPECT_EQ(p, MakeVec3(0, 0, 0));
  one.RandomPointOnFace(5, p);
  EXPECT_EQ(p, MakeVec3(0, 0, 0));
}

TEST(InsidePointSet, SharedVertexCountsOnce) {
  using polyh_detail::InsidePointSet;
  const std::vector<TVec3f> apex = {{0, 0, 0}, {2, 0, 0}, {1, 2, 0}};
  EXPECT_TRUE(InsidePointSet(apex, 1, 1));    // straight below the apex, where two edges meet
  EXPECT_FALSE(InsidePointSet(apex, 1, 3));   // straight above it
  EXPECT_FALSE(InsidePointSet(apex, 1, -1));  // below the base
  const std::vector<TVec3f> diamond = {{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}};
  EXPECT_TRUE(InsidePointSet(diamond, 1, 1));
  EXPECT_FALSE(InsidePointSet(diamond, 1, -0.5f));
  EXPECT_FALSE(InsidePointSet(diamond, 1, 2.5f));
  EXPECT_FALSE(InsidePointSet(std::vector<TVec3f>{{0, 0, 0}, {1, 1, 0}}, 0.5f, 0.5f));
}

TEST_F(PolyhTest, FacePickingDrawsFromTheGenerator) {
  const TPolyh one(OneFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
  RandomSeed = 5;
  EXPECT_EQ(one.RandomFaceIndex(), 0);
  const uint32_t after = RandomSeed;
  RandomSeed = 5;
  Random();
  EXPECT_EQ(RandomSeed, after);  // exactly one draw

  stage::TPolyhedron nothing;
  const TPolyh empty(stage::TScene::Handle(&stage::Stage().Scene.AddPolyhedron("Empty", nothing)));
  RandomSeed = 5;
  EXPECT_EQ(empty.RandomFaceIndex(), -1);
  EXPECT_EQ(RandomSeed, 5u);  // no draw

  // A handle that is not a polyhedron reads as empty.
  const TPolyh group(stage::TScene::Handle(&stage::Stage().Scene.AddGroup("G")));
  EXPECT_EQ(group.FaceCount(), 0);
  EXPECT_EQ(group.RandomFaceIndex(), -1);
}

TEST_F(PolyhTest, ReadsTheHostsMeshAndTransform) {
  stage::TMeshSource box;
  box.Kind = stage::TPrimitive::Box;
  box.Size = {2, 4, 6};
  stage::TNode& node = stage::Stage().Scene.AddPrimitive("Box", box);
  node.Position.Rest = {1, 2, 3};
  const TPolyh polyh(stage::TScene::Handle(&node));
  EXPECT_EQ(polyh.VertexCount(), 8);
  EXPECT_EQ(polyh.FaceCount(), 6);
  EXPECT_EQ(polyh.Vertex(6), MakeVec3(1, 2, 3));
  EXPECT_EQ(polyh.Vertex(8), MakeVec3(0, 0, 0));
  EXPECT_EQ(TPolyh::CornerCount(polyh.Face(1)), 4);
  EXPECT_EQ(polyh.CornerVertex(polyh.Face(1), 0), MakeVec3(-1, -2, 3));
  TVec3f n;
  polyh.FaceNormal(1, n);
  EXPECT_EQ(n, MakeVec3(0, 0, 1));
  EXPECT_EQ(polyh.VertexTransform().m[2][3], 3.0f);
  node.Position.Rest = {0, 0, 9};
  TMx3f m;
  polyh.ReadVertexTransform(m);  // the host's current one
  EXPECT_EQ(m.m[2][3], 9.0f);
}

TEST(FloatingPointGuard, TruncatesTowardZeroAndClearsFlags) {
  const std::pair<float, int64_t> cases[] = {
      {-2.7f, -2}, {2.7f, 2}, {-0.5f, 0}, {0.0f, 0}, {1e20f, std::numeric_limits<int64_t>::max()},
      {-1e20f, std::numeric_limits<int64_t>::min()}, {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& [x, expected] : cases) {
    std::feraiseexcept(FE_DIVBYZERO | FE_INVALID);
    EXPECT_EQ(GuardedTrunc(x), expected) << x;
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_INVALID), 0) << x;
  }
  std::feraiseexcept(FE_OVERFLOW | FE_INEXACT | FE_UNDERFLOW);
  ClearFpuExceptions();
  EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0);
}

// The host's vector math gives the engine's results bit for bit.
TEST(HostVectorMath, MatchesTheEngine) {
  RandomSeed = 3;
  auto r = [] { return static_cast<float>(Random() * 8 - 4); };
  for (int i = 0; i < 200; ++i) {
    TMx3f a, b;
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 4; ++col) a.m[row][col] = r(), b.m[row][col] = r();
    if (i % 7 == 0) a.m[0][0] = a.m[1][0] = a.m[2][0] = 0;  // collapsed
    const TVec3f v{r(), r(), r()}, w{r(), r(), r()};
    const float angle = r();
    CtsxTxmx3f ha, hb;
    std::memcpy(&ha, &a, sizeof a);
    std::memcpy(&hb, &b, sizeof b);
    const CtsxVector3f hv{v.x, v.y, v.z}, hw{w.x, w.y, w.z};

    TMx3f e;
    CtsxTxmx3f h;
    MakeRotMx3f(v, w, angle, e, 0);
    tsxMakeRotMx3f(&hv, &hw, angle, &h, 0);
    EXPECT_EQ(std::memcmp(&e, &h, sizeof e), 0) << "MakeRotMx3f " << i;
    XProdMx3f(e, a, b);
    tsxXProdMx3f(&h, &ha, &hb);
    EXPECT_EQ(std::memcmp(&e, &h, sizeof e), 0) << "XProdMx3f " << i;
    InvertMx3f(e, a);
    tsxInvertMx3f(&h, &ha);
    EXPECT_EQ(std::memcmp(&e, &h, sizeof e), 0) << "InvertMx3f " << i;
    TVec3f es;
    CtsxVector3f hs;
    UnMatrix3f(a, e, es);
    tsxUnMatrix3f(&ha, &h, &hs);
    EXPECT_EQ(std::memcmp(&e, &h, sizeof e), 0) << "UnMatrix3f " << i;
    EXPECT_EQ(std::memcmp(&es, &hs, sizeof es), 0) << "UnMatrix3f scale " << i;
    TVec3f ev;
    CtsxVector3f hvv;
    TransformVect3f(v, ev, a);
    tsxTransformVect3f(&hv, &hvv, &ha);
    EXPECT_EQ(std::memcmp(&ev, &hvv, sizeof ev), 0);
    RotateVect3f(v, ev, a);
    tsxRotateVect3f(&hv, &hvv, &ha);
    EXPECT_EQ(std::memcmp(&ev, &hvv, sizeof ev), 0);
    Reflect3f(ev, v, w);
    tssReflect(&hvv, &hv, &hw);
    EXPECT_EQ(std::memcmp(&ev, &hvv, sizeof ev), 0);
    SubToVec3f(v, w, ev);
    tsxSubToVec3f(&hv, &hw, &hvv);
    EXPECT_EQ(std::memcmp(&ev, &hvv, sizeof ev), 0);
    EXPECT_EQ(Magnitude3f(v), tsxMagnitude3f(&hv));
    EXPECT_EQ(DProdVec3f(v, w), tsxDProdVec3f(&hv, &hw));
  }
}

}  // namespace
