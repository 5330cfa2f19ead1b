// The host's pure vector math. It keeps the engine's semantics exactly (double-precision
// arithmetic, results stored as floats, the same rotation sense and the same choices when a
// transform is split or cannot be inverted), so that the plug-in gets identical answers from
// the host and from its own engine. Inputs are copied first, so results may alias inputs.
#include <cmath>

#include "hostapi/TsxApi5.h"

namespace {

struct D3 {
  double x, y, z;
};

D3 ToD(const CtsxVector3f& v) { return {v.x, v.y, v.z}; }
double Dot(const D3& a, const D3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Len(const D3& a) { return std::sqrt(Dot(a, a)); }
D3 Cross(const D3& a, const D3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 Scaled(const D3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
D3 Minus(const D3& a, const D3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 Column(const CtsxTxmx3f& M, int c) { return {M.m[0][c], M.m[1][c], M.m[2][c]}; }

// Lengths below this are treated as a collapsed axis when splitting a transform.
constexpr double kTinyLength = 1e-12;

D3 AnyPerpendicular(const D3& n) {
  const D3 helper = std::fabs(n.x) < 0.9 ? D3{1, 0, 0} : D3{0, 1, 0};
  const D3 p = Cross(n, helper);
  return Scaled(p, 1.0 / Len(p));
}

CtsxTxmx3f Identity() {
  CtsxTxmx3f m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = 1;
  return m;
}

}  // namespace

extern "C" {

void tsxAddVec3f(CtsxVector3f* a, const CtsxVector3f* b) {
  a->x += b->x;
  a->y += b->y;
  a->z += b->z;
}

void tsxAddToVec3f(const CtsxVector3f* a, const CtsxVector3f* b, CtsxVector3f* r) {
  *r = {a->x + b->x, a->y + b->y, a->z + b->z};
}

void tsxSubVec3f(CtsxVector3f* a, const CtsxVector3f* b) {
  a->x -= b->x;
  a->y -= b->y;
  a->z -= b->z;
}

void tsxSubToVec3f(const CtsxVector3f* a, const CtsxVector3f* b, CtsxVector3f* r) {
  *r = {b->x - a->x, b->y - a->y, b->z - a->z};
}

void tsxMulScalar3f(CtsxVector3f* v, float s) {
  v->x *= s;
  v->y *= s;
  v->z *= s;
}

float tsxMagnitude3f(const CtsxVector3f* v) { return static_cast<float>(Len(ToD(*v))); }

float tsxDProdVec3f(const CtsxVector3f* a, const CtsxVector3f* b) {
  return static_cast<float>(Dot(ToD(*a), ToD(*b)));
}

void tssReflect(CtsxVector3f* out, const CtsxVector3f* v, const CtsxVector3f* n) {
  const D3 dv = ToD(*v), dn = ToD(*n);
  const double k = 2.0 * Dot(dv, dn);
  *out = {static_cast<float>(dv.x - k * dn.x), static_cast<float>(dv.y - k * dn.y),
          static_cast<float>(dv.z - k * dn.z)};
}

void tsxTransformVect3f(const CtsxVector3f* src, CtsxVector3f* dst, const CtsxTxmx3f* M) {
  const double x = src->x, y = src->y, z = src->z;
  float r[3];
  for (int i = 0; i < 3; ++i)
    r[i] = static_cast<float>(M->m[i][0] * x + M->m[i][1] * y + M->m[i][2] * z + M->m[i][3]);
  *dst = {r[0], r[1], r[2]};
}

void tsxRotateVect3f(const CtsxVector3f* src, CtsxVector3f* dst, const CtsxTxmx3f* M) {
  const double x = src->x, y = src->y, z = src->z;
  float r[3];
  for (int i = 0; i < 3; ++i)
    r[i] = static_cast<float>(M->m[i][0] * x + M->m[i][1] * y + M->m[i][2] * z);
  *dst = {r[0], r[1], r[2]};
}

// Right-handed: counter-clockwise looking down the axis; a zero or non-finite axis gives the
// identity.
void tsxMakeRotMx3f(const CtsxVector3f* point, const CtsxVector3f* axis, float angle,
                    CtsxTxmx3f* out, int /*flags*/) {
  const D3 a = ToD(*axis);
  const double len = Len(a);
  if (!(len > 0) || !std::isfinite(len) || !std::isfinite(angle)) {
    *out = Identity();
    return;
  }
  const D3 u = Scaled(a, 1.0 / len);
  const double c = std::cos(static_cast<double>(angle)), s = std::sin(static_cast<double>(angle));
  const double t = 1.0 - c;
  const double r[3][3] = {
      {t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y},
      {t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x},
      {t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c},
  };
  const D3 p = ToD(*point);
  CtsxTxmx3f m;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(r[i][j]);
    m.m[i][3] = static_cast<float>((i == 0 ? p.x : i == 1 ? p.y : p.z) -
                                   (r[i][0] * p.x + r[i][1] * p.y + r[i][2] * p.z));
  }
  *out = m;
}

void tsxXProdMx3f(CtsxTxmx3f* dst, const CtsxTxmx3f* A, const CtsxTxmx3f* B) {
  CtsxTxmx3f r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 4; ++j) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += static_cast<double>(A->m[i][k]) * B->m[k][j];
      if (j == 3) v += A->m[i][3];
      r.m[i][j] = static_cast<float>(v);
    }
  }
  *dst = r;
}

// A collapsed transform has no inverse; the result then undoes its translation only.
void tsxInvertMx3f(CtsxTxmx3f* dst, const CtsxTxmx3f* src) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = src->m[i][j];
  const double t[3] = {src->m[0][3], src->m[1][3], src->m[2][3]};
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
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) inv[i][j] = i == j ? 1.0 : 0.0;
  }
  CtsxTxmx3f r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r.m[i][j] = static_cast<float>(inv[i][j]);
    r.m[i][3] = static_cast<float>(-(inv[i][0] * t[0] + inv[i][1] * t[1] + inv[i][2] * t[2]));
  }
  *dst = r;
}

// R's Z axis is M's Z axis normalised and its Y axis the part of M's Y axis perpendicular to
// it; a mirror is carried in S.x; a collapsed axis gives scale 0 and R completed from the rest.
void tsxUnMatrix3f(const CtsxTxmx3f* M, CtsxTxmx3f* R, CtsxVector3f* S) {
  const D3 cx = Column(*M, 0), cy = Column(*M, 1), cz = Column(*M, 2);
  double sx = Len(cx), sy = Len(cy), sz = Len(cz);
  if (!std::isfinite(sx)) sx = 0;
  if (!std::isfinite(sy)) sy = 0;
  if (!std::isfinite(sz)) sz = 0;

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
  if (Dot(cx, x) < 0) sx = -sx;

  CtsxTxmx3f r{};
  const D3 axes[3] = {x, y, z};
  for (int c = 0; c < 3; ++c) {
    r.m[0][c] = static_cast<float>(axes[c].x);
    r.m[1][c] = static_cast<float>(axes[c].y);
    r.m[2][c] = static_cast<float>(axes[c].z);
  }
  *R = r;
  *S = {static_cast<float>(sx), static_cast<float>(sy), static_cast<float>(sz)};
}

void tsxGetMxTranslation3f(CtsxVector3f* v, const CtsxTxmx3f* M) {
  *v = {M->m[0][3], M->m[1][3], M->m[2][3]};
}

}  // extern "C"
