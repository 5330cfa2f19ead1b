// Vector and transform operations of the engine. Computation happens in double precision and
// every result is stored as 32-bit floats; inputs are copied first so results may alias inputs.
#include "engine/VectorData.h"

#include <cmath>

const TVec3f ZeroVec3f{0, 0, 0};
const TVec3f XAxis3f{1, 0, 0};
const TVec3f YAxis3f{0, 1, 0};
const TVec3f ZAxis3f{0, 0, 1};
const TMx3f IdentityMx3f{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

namespace {

struct D3 {
  double x, y, z;
};

D3 ToD(const TVec3f& v) { return {v.x, v.y, v.z}; }
double Dot(const D3& a, const D3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Len(const D3& a) { return std::sqrt(Dot(a, a)); }
D3 Cross(const D3& a, const D3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 Scaled(const D3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
D3 Minus(const D3& a, const D3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 Column(const TMx3f& M, int c) { return {M.m[0][c], M.m[1][c], M.m[2][c]}; }

// Lengths below this are treated as a collapsed axis when splitting a transform.
constexpr double kTinyLength = 1e-12;

// Any unit vector perpendicular to the unit vector n.
D3 AnyPerpendicular(const D3& n) {
  const D3 helper = std::fabs(n.x) < 0.9 ? D3{1, 0, 0} : D3{0, 1, 0};
  const D3 p = Cross(n, helper);
  return Scaled(p, 1.0 / Len(p));
}

}  // namespace

TVec3f MakeVec3(float x, float y, float z) { return {x, y, z}; }

void AddVec3f(TVec3f& a, const TVec3f& b) {
  a.x += b.x;
  a.y += b.y;
  a.z += b.z;
}

void AddToVec3f(const TVec3f& a, const TVec3f& b, TVec3f& r) {
  r = {a.x + b.x, a.y + b.y, a.z + b.z};
}

void SubVec3f(TVec3f& a, const TVec3f& b) {
  a.x -= b.x;
  a.y -= b.y;
  a.z -= b.z;
}

void SubToVec3f(const TVec3f& a, const TVec3f& b, TVec3f& r) {
  r = {b.x - a.x, b.y - a.y, b.z - a.z};
}

void MulScalar3f(TVec3f& v, float s) {
  v.x *= s;
  v.y *= s;
  v.z *= s;
}

float Magnitude3f(const TVec3f& v) { return static_cast<float>(Len(ToD(v))); }

float DProdVec3f(const TVec3f& a, const TVec3f& b) { return static_cast<float>(Dot(ToD(a), ToD(b))); }

void Reflect3f(TVec3f& out, const TVec3f& v, const TVec3f& n) {
  const D3 dv = ToD(v), dn = ToD(n);
  const double k = 2.0 * Dot(dv, dn);
  out = {static_cast<float>(dv.x - k * dn.x), static_cast<float>(dv.y - k * dn.y),
         static_cast<float>(dv.z - k * dn.z)};
}

void MakeRotMx3f(const TVec3f& point, const TVec3f& axis, float angle, TMx3f& out, int /*flags*/) {
  const D3 a = ToD(axis);
  const double len = Len(a);
  if (!(len > 0) || !std::isfinite(len) || !std::isfinite(angle)) {
    out = IdentityMx3f;
    return;
  }
  const D3 u = Scaled(a, 1.0 / len);
  const double c = std::cos(static_cast<double>(angle)), s = std::sin(static_cast<double>(angle));
  const double t = 1.0 - c;
  // Rodrigues' rotation matrix.
  const double r[3][3] = {
      {t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y},
      {t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x},
      {t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c},
  };
  // The point stays fixed: translation = p − R·p.
  const D3 p = ToD(point);
  TMx3f m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(r[i][j]);
    m.m[i][3] = static_cast<float>((i == 0 ? p.x : i == 1 ? p.y : p.z) -
                                   (r[i][0] * p.x + r[i][1] * p.y + r[i][2] * p.z));
  }
  out = m;
}

void XProdMx3f(TMx3f& dst, const TMx3f& A, const TMx3f& B) {
  TMx3f r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += static_cast<double>(A.m[i][k]) * B.m[k][j];
      if (j == 3) v += A.m[i][3];
      r.m[i][j] = static_cast<float>(v);
    }
  }
  dst = r;
}

void InvertMx3f(TMx3f& dst, const TMx3f& src) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = src.m[i][j];
  const double t[3] = {src.m[0][3], src.m[1][3], src.m[2][3]};
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  double inv[3][3];
  if (det != 0 && std::isfinite(det)) {
    const double k = 1.0 / det;
    inv[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) * k;
    inv[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * k;
    inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * k;
    inv[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) * k;
    inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * k;
    inv[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * k;
    inv[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) * k;
    inv[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * k;
    inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * k;
  } else {
    // A collapsed transform has no inverse; undo its translation only.
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) inv[i][j] = i == j ? 1.0 : 0.0;
  }
  TMx3f r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(inv[i][j]);
    r.m[i][3] = static_cast<float>(-(inv[i][0] * t[0] + inv[i][1] * t[1] + inv[i][2] * t[2]));
  }
  dst = r;
}

void UnMatrix3f(const TMx3f& M, TMx3f& R, TVec3f& S) {
  const D3 cx = Column(M, 0), cy = Column(M, 1), cz = Column(M, 2);
  double sx = Len(cx), sy = Len(cy), sz = Len(cz);
  if (!std::isfinite(sx)) sx = 0;
  if (!std::isfinite(sy)) sy = 0;
  if (!std::isfinite(sz)) sz = 0;

  // Z first: the object's own axis is what emitters and tools read from R.
  D3 z;
  if (sz > kTinyLength) {
    z = Scaled(cz, 1.0 / sz);
  } else {
    const D3 n = Cross(cx, cy);
    const double ln = Len(n);
    z = (ln > kTinyLength && std::isfinite(ln)) ? Scaled(n, 1.0 / ln) : D3{0, 0, 1};
  }
  D3 y = Minus(cy, Scaled(z, Dot(cy, z)));
  double ly = Len(y);
  if (!(ly > kTinyLength) || !std::isfinite(ly)) {
    y = Cross(z, cx);
    ly = Len(y);
    if (!(ly > kTinyLength) || !std::isfinite(ly)) {
      y = AnyPerpendicular(z);
      ly = 1;
    }
  }
  y = Scaled(y, 1.0 / ly);
  const D3 x = Cross(y, z);

  // A mirror shows as the X column pointing against the right-handed X axis.
  if (Dot(cx, x) < 0) sx = -sx;

  TMx3f r;
  const D3 axes[3] = {x, y, z};
  for (int c = 0; c < 3; ++c) {
    r.m[0][c] = static_cast<float>(axes[c].x);
    r.m[1][c] = static_cast<float>(axes[c].y);
    r.m[2][c] = static_cast<float>(axes[c].z);
  }
  R = r;
  S = {static_cast<float>(sx), static_cast<float>(sy), static_cast<float>(sz)};
}

void GetMxTranslation3f(TVec3f& v, const TMx3f& M) { v = {M.m[0][3], M.m[1][3], M.m[2][3]}; }

double SnapZero(double x) { return std::fabs(x) < 1e-6 ? 0.0 : x; }

float SnapZero(float x) { return std::fabs(static_cast<double>(x)) < 1e-6 ? 0.0f : x; }

TVec3f SnapZero(const TVec3f& v) { return {SnapZero(v.x), SnapZero(v.y), SnapZero(v.z)}; }

TMx3f SnapZero(const TMx3f& M) {
  TMx3f r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = SnapZero(M.m[i][j]);
  return r;
}

void SphericalDirection(TVec3f& v, double theta, double phi) {
  const double st = std::sin(theta);
  v = {static_cast<float>(st * std::cos(phi)), static_cast<float>(st * std::sin(phi)),
       static_cast<float>(std::cos(theta))};
}
