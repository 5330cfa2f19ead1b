// Polyhedron access over the host interface.
#include "engine/TsxHelper.h"

#include <cmath>
#include <cstring>

#include "engine/RandomTables.h"

TVec3f FromHost(const CtsxVector3f& v) { return {v.x, v.y, v.z}; }

TMx3f FromHost(const CtsxTxmx3f& m) {
  TMx3f r;
  std::memcpy(r.m, m.m, sizeof r.m);
  return r;
}

TMx3f ObjectTransform(tsxGNODE* node) {
  if (!node) return IdentityMx3f;
  CtsxTxmx3f m;
  tsxGNodeGetTransform(node, &m);
  return FromHost(m);
}

namespace polyh_detail {

bool InsidePointSet(std::span<const TVec3f> points, float px, float py) {
  if (points.size() < 3) return false;
  bool inside = false;
  TVec3f prev = points.back();
  for (const TVec3f& cur : points) {
    // The edge's x-span is (smaller x, larger x], so a shared vertex counts once.
    if ((cur.x < px) == (px <= prev.x)) {
      const TVec3f& a = cur.x > prev.x ? prev : cur;
      const TVec3f& b = cur.x > prev.x ? cur : prev;
      const double lhs = (static_cast<double>(b.y) - a.y) * (static_cast<double>(px) - a.x);
      const double rhs = (static_cast<double>(py) - a.y) * (static_cast<double>(b.x) - a.x);
      if (lhs > rhs) inside = !inside;
    }
    prev = cur;
  }
  return inside;
}

bool SampleInside(std::span<const TVec3f> points, TVec3f& out) {
  if (points.empty()) return false;
  float minX = points[0].x, maxX = points[0].x, minY = points[0].y, maxY = points[0].y;
  for (const TVec3f& p : points) {
    minX = std::fmin(minX, p.x);
    maxX = std::fmax(maxX, p.x);
    minY = std::fmin(minY, p.y);
    maxY = std::fmax(maxY, p.y);
  }
  const double dx = static_cast<double>(maxX) - minX, dy = static_cast<double>(maxY) - minY;
  if (!(dx >= 0.001) || !(dy >= 0.001)) return false;
  for (int i = 0; i < 10; ++i) {
    const float x = static_cast<float>(Random() * dx + minX);
    const float y = static_cast<float>(Random() * dy + minY);
    if (InsidePointSet(points, x, y)) {
      out = {x, y, points[0].z};
      return true;
    }
  }
  return false;
}

}  // namespace polyh_detail

TPolyh::TPolyh(tsxPOLYHEDRON* polyh) : TSObj(polyh) {
  VertexCount_ = tsxPolyhGetNbrVxs(polyh);
  Vertices_ = tsxPolyhGetVxArray(polyh);
  UVCount_ = tsxPolyhGetNbrUV(polyh);
  UVs_ = tsxPolyhGetUVArray(polyh);
  FaceCount_ = tsxPolyhGetNbrFaces(polyh);
  Faces_ = tsxPolyhGetFaceptrArray(polyh);
  // A host that answers counts without arrays has nothing to offer.
  if (!Vertices_) VertexCount_ = 0;
  if (!UVs_) UVCount_ = 0;
  if (!Faces_) FaceCount_ = 0;
  ReadVertexTransform(VertexTransform_);
}

TVec3f TPolyh::Vertex(int32_t index) const {
  if (index < 0 || index >= VertexCount_) return ZeroVec3f;
  return FromHost(Vertices_[index]);
}

void TPolyh::ReadVertexTransform(TMx3f& dst) const {
  CtsxTxmx3f m{};
  tsxPolyhGetVxTxmx(Handle_, &m);
  dst = FromHost(m);
}

const tsxFACE* TPolyh::Face(int32_t index) const {
  if (index < 0 || index >= FaceCount_) return nullptr;
  return Faces_[index];
}

void TPolyh::FaceNormal(int32_t index, TVec3f& dst) const { FaceNormal(Face(index), dst); }

void TPolyh::FaceNormal(const tsxFACE* face, TVec3f& dst) const {
  CtsxVector3f n{0, 0, 0};
  if (face) tsxPolyhGetFaceNormal(Handle_, face, &n);
  dst = FromHost(n);
}

int32_t TPolyh::CornerCount(const tsxFACE* face) {
  return face && face->corners && face->nbrCorners > 0 ? face->nbrCorners : 0;
}

TVec3f TPolyh::CornerVertex(const tsxFACE* face, int32_t k) const {
  if (k < 0 || k >= CornerCount(face)) return ZeroVec3f;
  return Vertex(face->corners[k].vxIndex);
}

int32_t TPolyh::RandomFaceIndex() const {
  if (FaceCount_ <= 0) return -1;
  return RandomInt(FaceCount_);
}

// P is the rotation whose rows are ê (the first edge, made perpendicular to the normal), n × ê
// and n (the face normal, turned to face +Z): it maps the normal onto Z, so every corner of a
// planar face lands at the same z, and the first edge onto +X.
bool TPolyh::Align(const tsxFACE* face, TMx3f& p) const {
  TVec3f n;
  FaceNormal(face, n);
  if (DProdVec3f(n, ZAxis3f) < 0) MulScalar3f(n, -1);
  const double nl = Magnitude3f(n);
  if (!(nl > 0) || !std::isfinite(nl)) return false;
  const double nx = n.x / nl, ny = n.y / nl, nz = n.z / nl;

  // ê: the first edge without its part along n; any perpendicular when that vanishes.
  TVec3f e = ZeroVec3f;
  if (CornerCount(face) >= 2) SubToVec3f(CornerVertex(face, 0), CornerVertex(face, 1), e);
  double ex = e.x, ey = e.y, ez = e.z;
  double d = ex * nx + ey * ny + ez * nz;
  ex -= d * nx;
  ey -= d * ny;
  ez -= d * nz;
  double el = std::sqrt(ex * ex + ey * ey + ez * ez);
  if (!(el > 1e-12) || !std::isfinite(el)) {
    const bool useX = std::fabs(nx) < 0.9;
    ex = useX ? 1 : 0;
    ey = useX ? 0 : 1;
    ez = 0;
    d = ex * nx + ey * ny;
    ex -= d * nx;
    ey -= d * ny;
    ez -= d * nz;
    el = std::sqrt(ex * ex + ey * ey + ez * ez);
  }
  ex /= el;
  ey /= el;
  ez /= el;
  const double rows[3][3] = {
      {ex, ey, ez}, {ny * ez - nz * ey, nz * ex - nx * ez, nx * ey - ny * ex}, {nx, ny, nz}};
  p = IdentityMx3f;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) p.m[i][j] = static_cast<float>(rows[i][j]);
  p = SnapZero(p);
  return true;
}

void TPolyh::WeightedAverage(const tsxFACE* face, TVec3f& dst) const {
  const int32_t n = CornerCount(face);
  if (n == 0) {
    dst = ZeroVec3f;
    return;
  }
  double sum[3] = {0, 0, 0}, weight[3] = {0, 0, 0};
  for (int32_t k = 0; k < n; ++k) {
    const TVec3f v = CornerVertex(face, k);
    const double w0 = 1 + Random(), w1 = 1 + Random(), w2 = 1 + Random();
    sum[0] += w0 * v.x;
    sum[1] += w1 * v.y;
    sum[2] += w2 * v.z;
    weight[0] += w0;
    weight[1] += w1;
    weight[2] += w2;
  }
  dst = {static_cast<float>(sum[0] / weight[0]), static_cast<float>(sum[1] / weight[1]),
         static_cast<float>(sum[2] / weight[2])};
}

void TPolyh::RandomPointOnFace(const tsxFACE* face, TVec3f& dst) const {
  if (!face) {
    dst = ZeroVec3f;
    return;
  }
  TMx3f p;
  if (Align(face, p)) {
    const int32_t n = CornerCount(face);
    std::vector<TVec3f> rotated(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) TransformVect3f(CornerVertex(face, k), rotated[static_cast<size_t>(k)], p);
    TVec3f sample;
    if (polyh_detail::SampleInside(rotated, sample)) {
      TMx3f inverse;
      InvertMx3f(inverse, p);
      TransformVect3f(sample, dst, inverse);
      return;
    }
  }
  WeightedAverage(face, dst);
}
