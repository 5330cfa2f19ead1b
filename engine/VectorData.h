// The engine's geometric vocabulary: 3-vectors and 3×4 transforms of 32-bit floats, with the
// operations named after the host's vector math so that the engine runs without a host.
// Every operation accepts a result argument that is also one of its inputs.
#pragma once

#include <cstdint>

struct TVec3f {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const TVec3f&, const TVec3f&) = default;
};

// Three rows of four; the first three columns are the linear part, the fourth the translation.
struct TMx3f {
  float m[3][4] = {};
  friend bool operator==(const TMx3f&, const TMx3f&) = default;
};

extern const TVec3f ZeroVec3f;
extern const TVec3f XAxis3f;
extern const TVec3f YAxis3f;
extern const TVec3f ZAxis3f;
extern const TMx3f IdentityMx3f;

TVec3f MakeVec3(float x, float y, float z);

void AddVec3f(TVec3f& a, const TVec3f& b);                          // a := a + b
void AddToVec3f(const TVec3f& a, const TVec3f& b, TVec3f& r);       // r := a + b
void SubVec3f(TVec3f& a, const TVec3f& b);                          // a := a − b
void SubToVec3f(const TVec3f& a, const TVec3f& b, TVec3f& r);       // r := b − a
void MulScalar3f(TVec3f& v, float s);                               // v := s·v
float Magnitude3f(const TVec3f& v);
float DProdVec3f(const TVec3f& a, const TVec3f& b);
void Reflect3f(TVec3f& out, const TVec3f& v, const TVec3f& n);      // v − 2(v·n)n

// Row i of M's linear part applied to src, in double precision (one component of RotateVect3f).
inline double RotateRow(const TVec3f& src, const TMx3f& M, int i) {
  return M.m[i][0] * static_cast<double>(src.x) + M.m[i][1] * static_cast<double>(src.y) +
         M.m[i][2] * static_cast<double>(src.z);
}
// Inline: both run for every particle in the force tools.
inline void TransformVect3f(const TVec3f& src, TVec3f& dst, const TMx3f& M) {
  const TVec3f r{static_cast<float>(RotateRow(src, M, 0) + M.m[0][3]),
                 static_cast<float>(RotateRow(src, M, 1) + M.m[1][3]),
                 static_cast<float>(RotateRow(src, M, 2) + M.m[2][3])};
  dst = r;
}
inline void RotateVect3f(const TVec3f& src, TVec3f& dst, const TMx3f& M) {
  const TVec3f r{static_cast<float>(RotateRow(src, M, 0)), static_cast<float>(RotateRow(src, M, 1)),
                 static_cast<float>(RotateRow(src, M, 2))};
  dst = r;
}
// Rotation by angle radians (right-handed: counter-clockwise looking down the axis) about the
// line through point with direction axis. A zero or non-finite axis gives the identity.
void MakeRotMx3f(const TVec3f& point, const TVec3f& axis, float angle, TMx3f& out, int flags = 0);
void XProdMx3f(TMx3f& dst, const TMx3f& A, const TMx3f& B);         // dst := A∘B (B first)
// dst := src⁻¹. A singular src (determinant 0 or not finite) gives the inverse of its translation
// alone, so that callers never see NaN.
void InvertMx3f(TMx3f& dst, const TMx3f& src);
// Splits M's linear part into a proper rotation R (no translation) and scale factors S along
// M's own axes, so that R·diag(S) reproduces M for any rotation times positive scales.
// R's Z axis is M's Z axis normalised and its Y axis the part of M's Y axis perpendicular to it.
// A mirroring transform (negative determinant) carries its mirror in S.x, keeping the Y and Z
// directions; a zero scale gives S 0 on that axis and R completed from the remaining axes
// (the identity's axes where none remain).
void UnMatrix3f(const TMx3f& M, TMx3f& R, TVec3f& S);
void GetMxTranslation3f(TVec3f& v, const TMx3f& M);

// 0 for magnitudes strictly below 1e-6 (compared in double precision), else the value.
double SnapZero(double x);
float SnapZero(float x);
TVec3f SnapZero(const TVec3f& v);
TMx3f SnapZero(const TMx3f& M);

// (sin θ cos φ, sin θ sin φ, cos θ): θ from +Z, φ from +X in the XY plane, radians.
void SphericalDirection(TVec3f& v, double theta, double phi);
