// View matrices, the projection and line drawings.
#include "stage/View.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace stage {

namespace {

struct D3 {
  double x, y, z;
};
D3 ToD(const CtsxVector3f& v) { return {v.x, v.y, v.z}; }
D3 Sub(const D3& a, const D3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 Cross(const D3& a, const D3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Len(const D3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
D3 Unit(const D3& a) {
  const double l = Len(a);
  return {a.x / l, a.y / l, a.z / l};
}
bool Usable(const D3& a) { return Len(a) > 1e-12 && std::isfinite(Len(a)); }

// Kept short of the eye so that a segment through the eye plane never divides by zero.
constexpr double kNear = 1e-4;

// Bit for bit: a NaN equals itself (the same input gives the same matrices, no need to make them
// again) and −0 differs from +0 (it may give zeros of the other sign in the matrices).
template <typename T>
bool SameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
bool SameCamera(const TCamera& a, const TCamera& b) {
  return SameBits(a.Eye, b.Eye) && SameBits(a.Target, b.Target) && SameBits(a.Up, b.Up) &&
         a.Projection == b.Projection && SameBits(a.FieldOfView, b.FieldOfView) && SameBits(a.Height, b.Height);
}
static_assert(sizeof(CtsxVector3f) == 3 * sizeof(float), "vectors are compared byte for byte");

CtsxTxmx3f MakeEyeToWorld(const TCamera& camera) {
  const D3 eye = ToD(camera.Eye);
  D3 z = Sub(ToD(camera.Target), eye);
  if (!Usable(z)) z = {0, 1, 0};
  z = Unit(z);
  D3 x = Cross(z, ToD(camera.Up));
  if (!Usable(x)) x = Cross(z, std::fabs(z.z) < 0.9 ? D3{0, 0, 1} : D3{0, 1, 0});
  x = Unit(x);
  const D3 y = Cross(z, x);  // downwards on the screen
  CtsxTxmx3f m{};
  const D3 axes[3] = {x, y, z};
  for (int c = 0; c < 3; ++c) {
    m.m[0][c] = static_cast<float>(axes[c].x);
    m.m[1][c] = static_cast<float>(axes[c].y);
    m.m[2][c] = static_cast<float>(axes[c].z);
  }
  m.m[0][3] = camera.Eye.x;
  m.m[1][3] = camera.Eye.y;
  m.m[2][3] = camera.Eye.z;
  return m;
}

CtsxTxmx3f MakeWorldToViewport(const TCamera& camera, const CtsxTxmx3f& e2w, int32_t width, int32_t height) {
  // The eye frame is orthonormal, so its inverse is the transpose.
  double r[3][4];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) r[i][j] = e2w.m[j][i];
    r[i][3] = -(r[i][0] * e2w.m[0][3] + r[i][1] * e2w.m[1][3] + r[i][2] * e2w.m[2][3]);
  }
  const double aspect = static_cast<double>(width > 0 ? width : 1) / (height > 0 ? height : 1);
  double half;  // half the visible height, at depth 1 in perspective
  if (camera.Projection == TProjection::Perspective) {
    double fov = camera.FieldOfView;
    if (!(fov > 0.01) || !(fov < 179.99)) fov = 45;
    half = std::tan(fov * std::numbers::pi / 360.0);
  } else {
    half = camera.Height > 0 && std::isfinite(camera.Height) ? camera.Height / 2.0 : 5.0;
  }
  const double scale[3] = {1.0 / (aspect * half), 1.0 / half, 1.0};
  CtsxTxmx3f m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) m.m[i][j] = static_cast<float>(r[i][j] * scale[i]);
  return m;
}

}  // namespace

const TView::TMatrices& TView::Matrices() const {
  TMatrices& c = Matrices_;
  if (c.Made && c.Width == Width && c.Height == Height && SameCamera(c.Camera, Camera)) return c;
  c.Camera = Camera;
  c.Width = Width;
  c.Height = Height;
  c.EyeToWorld = MakeEyeToWorld(Camera);
  c.WorldToViewport = MakeWorldToViewport(Camera, c.EyeToWorld, Width, Height);
  c.Made = true;
  return c;
}

TProjected TView::Project(const CtsxVector3f& world) const {
  const CtsxTxmx3f w2v = WorldToViewport();
  CtsxVector3f p;
  tsxTransformVect3f(&world, &p, &w2v);
  if (Camera.Projection != TProjection::Perspective) p.z = 1;
  const float cx = (static_cast<float>(Width) - 1) / 2, cy = (static_cast<float>(Height) - 1) / 2;
  return {cx + (p.x / p.z) * cx, cy + (p.y / p.z) * cy, p.z};
}

void EyeToRenderMatrix(int32_t viewWidth, int32_t viewHeight, int32_t renderWidth,
                       int32_t renderHeight, float m[6]) {
  // A one-pixel drawport has its only pixel at 0; any scale keeps it there.
  const double dw = viewWidth > 1 ? viewWidth - 1 : 1, dh = viewHeight > 1 ? viewHeight - 1 : 1;
  m[0] = static_cast<float>((renderWidth > 1 ? renderWidth - 1 : 0) / dw);
  m[1] = 0;
  m[2] = 0;
  m[3] = 0;
  m[4] = static_cast<float>((renderHeight > 1 ? renderHeight - 1 : 0) / dh);
  m[5] = 0;
}

void TView::EyeToRender(int32_t renderWidth, int32_t renderHeight, float m[6]) const {
  EyeToRenderMatrix(Width, Height, renderWidth, renderHeight, m);
}

bool TView::DrawLineList(const CtsxTxmx3f& transform, const CtsxVector3f* points,
                         int32_t nbrPoints, const int32_t* lineList) {
  if (!points || !lineList || nbrPoints <= 0) return false;
  const CtsxTxmx3f w2v = WorldToViewport();
  CtsxTxmx3f m;
  tsxXProdMx3f(&m, &w2v, &transform);
  const bool perspective = Camera.Projection == TProjection::Perspective;
  const double cx = (Width - 1) / 2.0, cy = (Height - 1) / 2.0;
  auto toPixel = [&](const D3& p, float& x, float& y) {
    const double z = perspective ? p.z : 1.0;
    x = static_cast<float>(cx + p.x / z * cx);
    y = static_cast<float>(cy + p.y / z * cy);
  };

  bool drew = false;
  bool havePrev = false;
  D3 prev{};
  // The walk stops at −1 or at an index outside the points; 2^24 entries bound it in any case.
  for (size_t k = 0; k < 1u << 24; ++k) {
    const int32_t index = lineList[k];
    if (index == -1) break;
    if (index == -2) {
      havePrev = false;
      continue;
    }
    if (index < 0 || index >= nbrPoints) break;
    CtsxVector3f v;
    tsxTransformVect3f(&points[index], &v, &m);
    const D3 cur = ToD(v);
    if (havePrev) {
      D3 a = prev, b = cur;
      bool visible = true;
      if (perspective) {
        if (a.z < kNear && b.z < kNear) {
          visible = false;
        } else if (a.z < kNear || b.z < kNear) {
          const double t = (kNear - a.z) / (b.z - a.z);
          const D3 c{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, kNear};
          (a.z < kNear ? a : b) = c;
        }
      }
      if (visible) {
        TLineSegment s{};
        toPixel(a, s.X0, s.Y0);
        toPixel(b, s.X1, s.Y1);
        s.Pen = Pen;
        Lines.push_back(s);
        drew = true;
      }
    }
    prev = cur;
    havePrev = true;
  }
  return drew;
}

}  // namespace stage
