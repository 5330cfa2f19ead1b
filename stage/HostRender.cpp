// The host's rasterizer: faces are clipped at the near plane in viewport space, fan-split into
// triangles and scan-converted with edge functions over pixel centres (pixel (i, j) sits at
// image coordinates (i, j)); depth is interpolated perspective-correctly.
#include "stage/HostRender.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace stage {

namespace {

constexpr double kNear = 1e-4;

struct TVert {
  double X, Y, Z;  // viewport space
};

struct TScreenVert {
  double X, Y;     // image pixels
  double Z;        // camera depth
};

struct TRaster {
  TScreenBuffer& Buffer;
  bool Perspective;
  double Cx, Cy;
  float M[6];

  TScreenVert ToScreen(const TVert& v) const {
    const double z = Perspective ? v.Z : 1.0;
    const double vx = Cx + v.X / z * Cx, vy = Cy + v.Y / z * Cy;
    return {M[0] * vx + M[1] * vy + M[2], M[3] * vx + M[4] * vy + M[5], v.Z};
  }

  void Triangle(const TScreenVert& a, const TScreenVert& b, const TScreenVert& c, const TPixel& colour) {
    double area = (b.X - a.X) * (c.Y - a.Y) - (b.Y - a.Y) * (c.X - a.X);
    if (!(std::fabs(area) > 0) || !std::isfinite(area)) return;
    const TScreenVert* v[3] = {&a, &b, &c};
    if (area < 0) {
      std::swap(v[1], v[2]);
      area = -area;
    }
    const double left = Buffer.Left(), top = Buffer.Top();
    const double minX = std::max(std::ceil(std::min({a.X, b.X, c.X})), left);
    const double maxX = std::min(std::floor(std::max({a.X, b.X, c.X})), left + Buffer.Width() - 1);
    const double minY = std::max(std::ceil(std::min({a.Y, b.Y, c.Y})), top);
    const double maxY = std::min(std::floor(std::max({a.Y, b.Y, c.Y})), top + Buffer.Height() - 1);
    if (minX > maxX || minY > maxY) return;

    // Edge k is opposite vertex k: w_k(x, y) = A_k·x + B_k·y + C_k, positive inside.
    double A[3], B[3], C[3];
    for (int k = 0; k < 3; ++k) {
      const TScreenVert& p = *v[(k + 1) % 3];
      const TScreenVert& q = *v[(k + 2) % 3];
      A[k] = p.Y - q.Y;
      B[k] = q.X - p.X;
      C[k] = p.X * q.Y - p.Y * q.X;
    }
    const double inv = 1.0 / area;
    double attr[3];
    for (int k = 0; k < 3; ++k) attr[k] = Perspective ? 1.0 / v[k]->Z : v[k]->Z;

    for (double y = minY; y <= maxY; ++y) {
      double w[3];
      for (int k = 0; k < 3; ++k) w[k] = A[k] * minX + B[k] * y + C[k];
      TPixel* row = &Buffer.At(static_cast<int32_t>(minX - left), static_cast<int32_t>(y - top));
      for (double x = minX; x <= maxX; ++x, ++row) {
        if (w[0] >= 0 && w[1] >= 0 && w[2] >= 0) {
          const double s = (w[0] * attr[0] + w[1] * attr[1] + w[2] * attr[2]) * inv;
          const double z = Perspective ? 1.0 / s : s;
          const float depth = static_cast<float>(z * z);
          if (depth < row->Depth) {
            *row = colour;
            row->Depth = depth;
          }
        }
        for (int k = 0; k < 3; ++k) w[k] += A[k];
      }
    }
  }
};

// Keeps the part of a polygon with z ≥ kNear.
void ClipNear(const std::vector<TVert>& in, std::vector<TVert>& out) {
  out.clear();
  for (size_t i = 0; i < in.size(); ++i) {
    const TVert& a = in[i];
    const TVert& b = in[(i + 1) % in.size()];
    const bool ina = a.Z >= kNear, inb = b.Z >= kNear;
    if (ina) out.push_back(a);
    if (ina != inb) {
      const double t = (kNear - a.Z) / (b.Z - a.Z);
      out.push_back({a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t, kNear});
    }
  }
}

}  // namespace

uint64_t FrameMemory(const TRenderSettings& s) {
  const uint64_t pixels = static_cast<uint64_t>(std::max(s.Width, 1)) * static_cast<uint64_t>(std::max(s.Height, 1));
  const uint64_t n = static_cast<uint64_t>(std::clamp(s.Samples, 1, 4));
  // A frame: the render and its shown copy, and the copy a writer converts. With samples, that
  // at the sample size, and the filtered image with its shown copy.
  const uint64_t frame = 2 * sizeof(TPixel) + 8;
  return n > 1 ? pixels * n * n * frame + pixels * 2 * sizeof(TPixel) : pixels * frame;
}

std::string FrameMemoryProblem(const TRenderSettings& s) {
  const uint64_t need = FrameMemory(s);
  if (need <= FrameMemoryLimit) return {};
  const auto gb = [](uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / double(uint64_t{1} << 30));
    return std::string(text);
  };
  std::string frame = std::to_string(s.Width) + " x " + std::to_string(s.Height) + " pixels";
  if (s.Samples > 1) frame += " with " + std::to_string(s.Samples) + " x " + std::to_string(s.Samples) + " samples";
  return "a frame of " + frame + " needs about " + gb(need) + " of memory while it is rendered; frames may take at most " +
         gb(FrameMemoryLimit) + ": render it smaller or with fewer samples";
}

TRect RenderRect(const TRenderSettings& s) {
  TRect r{0, 0, s.Width - 1, s.Height - 1};
  if (s.UseRegion) {
    r.Left = std::clamp<int32_t>(std::min(s.RegionLeft, s.RegionRight), 0, s.Width - 1);
    r.Right = std::clamp<int32_t>(std::max(s.RegionLeft, s.RegionRight), 0, s.Width - 1);
    r.Top = std::clamp<int32_t>(std::min(s.RegionTop, s.RegionBottom), 0, s.Height - 1);
    r.Bottom = std::clamp<int32_t>(std::max(s.RegionTop, s.RegionBottom), 0, s.Height - 1);
  }
  return r;
}

void ClearToBackground(TScreenBuffer& buffer, const TRenderSettings& settings) {
  const float a = settings.BackgroundAlpha;
  const CtsxVector3f& c = settings.Background;
  buffer.Fill(a == 1 ? TPixel{c.x, c.y, c.z, a, std::numeric_limits<float>::infinity()}
                     : TPixel{c.x * a, c.y * a, c.z * a, a, std::numeric_limits<float>::infinity()});
}

TScreenBuffer FilterDown(const TScreenBuffer& big, int32_t n) {
  TScreenBuffer small(big.Width() / n, big.Height() / n, big.Left() / n, big.Top() / n);
  const double scale = 1.0 / (static_cast<double>(n) * n);
  for (int32_t y = 0; y < small.Height(); ++y)
    for (int32_t x = 0; x < small.Width(); ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      float depth = std::numeric_limits<float>::infinity();
      for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < n; ++i) {
          const TPixel& p = big.At(x * n + i, y * n + j);
          r += p.R;
          g += p.G;
          b += p.B;
          a += p.A;
          depth = std::min(depth, p.Depth);
        }
      small.At(x, y) = {static_cast<float>(r * scale), static_cast<float>(g * scale), static_cast<float>(b * scale),
                        static_cast<float>(a * scale), depth};
    }
  return small;
}

void DrawPolyhedra(const TScene& scene, const TView& view, const TRenderSettings& settings,
                   TScreenBuffer& buffer) {
  TRaster raster{buffer, view.Camera.Projection == TProjection::Perspective,
                 (view.Width - 1) / 2.0, (view.Height - 1) / 2.0, {}};
  view.EyeToRender(settings.Width, settings.Height, raster.M);
  const CtsxTxmx3f w2v = view.WorldToViewport();
  const CtsxTxmx3f e2w = view.EyeToWorld();
  const double eye[3] = {e2w.m[0][3], e2w.m[1][3], e2w.m[2][3]};
  const double forward[3] = {e2w.m[0][2], e2w.m[1][2], e2w.m[2][2]};

  std::vector<TVert> poly, clipped;
  std::vector<CtsxVector3f> world;
  scene.ForEach([&](TNode& node) {
    if (!node.Visible || !node.Mesh) return;
    const TPolyhedron& mesh = *node.Mesh;
    const CtsxTxmx3f o2w = scene.WorldTransform(node);
    CtsxTxmx3f o2v;
    tsxXProdMx3f(&o2v, &w2v, &o2w);
    const auto vertices = mesh.Vertices();

    for (int32_t f = 0; f < mesh.FaceCount(); ++f) {
      const tsxFACE& face = mesh.Face(f);
      if (face.nbrCorners < 3) continue;
      poly.clear();
      world.clear();
      for (int16_t k = 0; k < face.nbrCorners; ++k) {
        const CtsxVector3f& p = vertices[static_cast<size_t>(face.corners[k].vxIndex)];
        CtsxVector3f v, w;
        tsxTransformVect3f(&p, &v, &o2v);
        tsxTransformVect3f(&p, &w, &o2w);
        poly.push_back({v.x, v.y, v.z});
        world.push_back(w);
      }

      // Lambert with the light at the eye, lit from either side.
      double n[3] = {0, 0, 0}, centre[3] = {0, 0, 0};
      for (size_t i = 0; i < world.size(); ++i) {
        const CtsxVector3f& a = world[i];
        const CtsxVector3f& b = world[(i + 1) % world.size()];
        n[0] += (static_cast<double>(a.y) - b.y) * (static_cast<double>(a.z) + b.z);
        n[1] += (static_cast<double>(a.z) - b.z) * (static_cast<double>(a.x) + b.x);
        n[2] += (static_cast<double>(a.x) - b.x) * (static_cast<double>(a.y) + b.y);
        centre[0] += a.x;
        centre[1] += a.y;
        centre[2] += a.z;
      }
      const double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (!(nl > 0) || !std::isfinite(nl)) continue;
      double l[3];
      if (raster.Perspective) {
        for (int i = 0; i < 3; ++i) l[i] = eye[i] - centre[i] / static_cast<double>(world.size());
      } else {
        for (int i = 0; i < 3; ++i) l[i] = -forward[i];
      }
      const double ll = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
      const double lambert = ll > 0 ? std::fabs(n[0] * l[0] + n[1] * l[1] + n[2] * l[2]) / (nl * ll) : 1.0;
      const TPixel colour{static_cast<float>(node.Color.x * lambert),
                          static_cast<float>(node.Color.y * lambert),
                          static_cast<float>(node.Color.z * lambert), 1.0f, 0};

      // Nothing behind the eye is drawn, in either projection.
      ClipNear(poly, clipped);
      if (clipped.size() < 3) continue;
      const TScreenVert first = raster.ToScreen(clipped[0]);
      TScreenVert prev = raster.ToScreen(clipped[1]);
      for (size_t i = 2; i < clipped.size(); ++i) {
        const TScreenVert cur = raster.ToScreen(clipped[i]);
        raster.Triangle(first, prev, cur, colour);
        prev = cur;
      }
    }
  });
}

}  // namespace stage
