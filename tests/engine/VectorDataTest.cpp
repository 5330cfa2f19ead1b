// Vector and transform operations: argument order, aliasing, and the rotation/scale split.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/VectorData.h"

namespace {

void ExpectVec(const TVec3f& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

TMx3f Scale(float sx, float sy, float sz) {
  TMx3f m = IdentityMx3f;
  m.m[0][0] = sx;
  m.m[1][1] = sy;
  m.m[2][2] = sz;
  return m;
}

}  // namespace

TEST(VectorData, ArgumentOrderAndAliasing) {
  TVec3f r;
  SubToVec3f({1, 2, 3}, {4, 6, 8}, r);
  ExpectVec(r, 3, 4, 5);
  TVec3f a{1, 2, 3};
  SubVec3f(a, {4, 6, 8});
  ExpectVec(a, -3, -4, -5);

  TVec3f b{1, 1, 1};
  AddToVec3f(b, b, b);
  ExpectVec(b, 2, 2, 2);

  TMx3f t = IdentityMx3f;
  t.m[0][3] = 5;
  TVec3f v{1, 2, 3};
  TransformVect3f(v, v, t);
  ExpectVec(v, 6, 2, 3);
  RotateVect3f(v, v, t);  // translation ignored
  ExpectVec(v, 6, 2, 3);

  TVec3f out;
  Reflect3f(out, {1, -1, 0}, {0, 1, 0});
  ExpectVec(out, 1, 1, 0);
  EXPECT_FLOAT_EQ(Magnitude3f({3, 4, 0}), 5);
  EXPECT_FLOAT_EQ(DProdVec3f({1, 2, 3}, {4, 5, 6}), 32);
}

TEST(VectorData, SnapZeroThreshold) {
  EXPECT_EQ(SnapZero(5e-7), 0.0);
  EXPECT_EQ(SnapZero(1e-6), 1e-6);
  EXPECT_EQ(SnapZero(-5e-7f), 0.0f);
  const TVec3f v = SnapZero(TVec3f{5e-7f, 1, -2e-7f});
  ExpectVec(v, 0, 1, 0, 0);
  TMx3f m = IdentityMx3f;
  m.m[1][3] = 4e-7f;
  EXPECT_EQ(SnapZero(m), IdentityMx3f);
}

TEST(VectorData, SphericalDirection) {
  TVec3f v;
  for (double phi : {0.0, 1.0, 4.0}) {
    SphericalDirection(v, 0, phi);
    ExpectVec(v, 0, 0, 1);
  }
  SphericalDirection(v, std::numbers::pi / 2, 0);
  ExpectVec(v, 1, 0, 0);
}

TEST(VectorData, RotationKeepsPointAndComposes) {
  TMx3f r;
  const TVec3f centre{1, 2, 3};
  MakeRotMx3f(centre, {0, 0, 2}, static_cast<float>(std::numbers::pi / 2), r);
  TVec3f p = centre;
  TransformVect3f(p, p, r);
  ExpectVec(p, 1, 2, 3);
  TVec3f q{2, 2, 3};
  TransformVect3f(q, q, r);
  ExpectVec(q, 1, 3, 3);  // counter-clockwise about +Z

  TMx3f inv, both;
  InvertMx3f(inv, r);
  XProdMx3f(both, r, inv);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(both.m[i][j], IdentityMx3f.m[i][j], 1e-5) << i << j;

  MakeRotMx3f(centre, {0, 0, 0}, 1.0f, r);
  EXPECT_EQ(r, IdentityMx3f);
}

TEST(VectorData, XProdAppliesRightFirst) {
  TMx3f move = IdentityMx3f, scale = Scale(2, 2, 2), m;
  move.m[0][3] = 1;
  XProdMx3f(m, move, scale);  // scale, then move
  TVec3f v{1, 0, 0};
  TransformVect3f(v, v, m);
  ExpectVec(v, 3, 0, 0);
}

TEST(VectorData, UnMatrixSplitsRotationAndScale) {
  struct Case {
    TVec3f axis;
    float angle;
    TVec3f scale;
  };
  const Case cases[] = {
      {{0, 0, 1}, 0.0f, {1, 1, 1}},
      {{0, 0, 1}, 0.7f, {2, 3, 4}},
      {{1, 1, 0}, 2.1f, {0.5f, 7, 0.25f}},
      {{-1, 2, 3}, -1.3f, {1, 1, 9}},
  };
  for (const Case& c : cases) {
    TMx3f rot, m;
    MakeRotMx3f(ZeroVec3f, c.axis, c.angle, rot);
    XProdMx3f(m, rot, Scale(c.scale.x, c.scale.y, c.scale.z));
    m.m[0][3] = 7;  // translation must not leak into R
    TMx3f R;
    TVec3f S;
    UnMatrix3f(m, R, S);
    ExpectVec(S, c.scale.x, c.scale.y, c.scale.z, 1e-4f);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(R.m[i][j], rot.m[i][j], 1e-5) << "angle " << c.angle;
      EXPECT_EQ(R.m[i][3], 0);
    }
  }
}

TEST(VectorData, UnMatrixDegenerateScalesStaySane) {
  const TMx3f cases[] = {Scale(0, 1, 1), Scale(1, 1, 0), Scale(0, 0, 0), Scale(-2, 1, 1),
                         Scale(1, 1, -3), Scale(1, 0, 0)};
  for (const TMx3f& m : cases) {
    TMx3f R;
    TVec3f S;
    UnMatrix3f(m, R, S);
    // R is a proper rotation: orthonormal columns, determinant +1, no NaN.
    TVec3f cols[3];
    for (int c = 0; c < 3; ++c) cols[c] = {R.m[0][c], R.m[1][c], R.m[2][c]};
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(Magnitude3f(cols[c]), 1, 1e-5);
      for (int d = c + 1; d < 3; ++d) EXPECT_NEAR(DProdVec3f(cols[c], cols[d]), 0, 1e-5);
    }
    const TVec3f z = cols[2];
    const TVec3f xy{cols[0].y * cols[1].z - cols[0].z * cols[1].y, cols[0].z * cols[1].x - cols[0].x * cols[1].z,
                    cols[0].x * cols[1].y - cols[0].y * cols[1].x};
    EXPECT_NEAR(DProdVec3f(xy, z), 1, 1e-5);
    EXPECT_TRUE(std::isfinite(S.x) && std::isfinite(S.y) && std::isfinite(S.z));
    // R·diag(S) gives back the linear part.
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(R.m[i][0] * S.x, m.m[i][0], 1e-5);
      EXPECT_NEAR(R.m[i][1] * S.y, m.m[i][1], 1e-5);
      EXPECT_NEAR(R.m[i][2] * S.z, m.m[i][2], 1e-5);
    }
  }
  // A mirror on Z keeps R's Z along the transform's Z (pointing down), the sign going to X.
  TMx3f R;
  TVec3f S;
  UnMatrix3f(Scale(1, 1, -3), R, S);
  EXPECT_NEAR(R.m[2][2], -1, 1e-6);
  EXPECT_NEAR(S.x, -1, 1e-6);
  EXPECT_NEAR(S.z, 3, 1e-6);
}

TEST(VectorData, InvertSingularGivesNoNaN) {
  TMx3f m = Scale(0, 1, 1), inv;
  m.m[2][3] = 4;
  InvertMx3f(inv, m);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(std::isfinite(inv.m[i][j]));
  EXPECT_EQ(inv.m[2][3], -4);
}
