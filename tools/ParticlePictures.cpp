// The particle pictures: one shading function each, drawn with sub-samples and a faded border.
#include "tools/ParticlePictures.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/PictureNoise.h"

namespace {

constexpr double Pi = std::numbers::pi;

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double Smoothstep(double edge0, double edge1, double x) {
  const double t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

double Gauss(double d, double sigma) { return std::exp(-0.5 * d * d / (sigma * sigma)); }

double Mix(double a, double b, double t) { return a + (b - a) * t; }

// A picture of light (what Illuminate adds): alpha is the brightest channel, clamped to 1, and
// the colour the light's hue at full brightness, so that colour × alpha gives the light back.
TShade Light(double r, double g, double b) {
  const double peak = std::max({r, g, b});
  if (!(peak > 0)) return {1, 1, 1, 0};
  return {r / peak, g / peak, b / peak, std::min(1.0, peak)};
}

// The distance from p to the segment a–b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// ---- The pictures.

TShade SoftBlob(double x, double y) {
  const double r2 = x * x + y * y;
  const double a = r2 < 1 ? (1 - r2) * (1 - r2) : 0;
  return {1, 1, 1, a};
}

// Soft fractal noise inside a round body whose outline the noise also bends; lit from the top
// left by the difference of the noise and its shifted copy.
TShade SmokePuff(double x, double y) {
  const double wx = x + 0.35 * (FractalNoise(x * 1.4 + 3.1, y * 1.4 + 7.7, 11, 4) - 0.5);
  const double wy = y + 0.35 * (FractalNoise(x * 1.4 + 9.4, y * 1.4 + 1.3, 12, 4) - 0.5);
  const double r = std::hypot(wx, wy) / 0.9;
  const double body = r < 1 ? std::pow(1 - r * r, 1.3) : 0;
  const double billow = FractalNoise(x * 2.2 + 5, y * 2.2 + 2, 13, 5);
  const double shifted = FractalNoise((x + 0.06) * 2.2 + 5, (y - 0.06) * 2.2 + 2, 13, 5);
  const double density = std::pow(body, 0.8) * (0.45 + 0.55 * Smoothstep(0.25, 0.7, billow));
  const double lit = Clamp01(0.55 + 3 * (billow - shifted));
  const double shade = 0.72 + 0.28 * lit;
  return {shade, shade, shade, 0.95 * density};
}

// A tongue of flame: round at its base, narrowing to a ragged tip that the noise bends and
// pinches; vertical streaks; a hot pale core and warm edges.
TShade Flame(double x, double y) {
  const double t = (y + 0.92) / 1.86;  // 0 at the base, 1 at the tip
  if (t <= 0 || t >= 1) return {1, 0.6, 0.25, 0};
  const double bend = 0.9 * (FractalNoise(y * 1.3 + 4, 0.5, 21, 3) - 0.5) * std::pow(t, 1.3);
  const double xs = x - bend;
  const double pinch = 0.8 + 0.4 * FractalNoise(0.5, y * 2.5 + 9, 23, 3);
  // Half width: round at the base, widest a quarter of the way up, a point at the tip.
  const double halfWidth = 0.34 * std::sqrt(t) * std::pow(1 - t, 1.4) / 0.3345 * pinch;
  const double d = std::fabs(xs) / halfWidth;
  if (d >= 1) return {1, 0.6, 0.25, 0};
  const double body = 1 - d * d;
  const double streaks = FractalNoise(xs * 6 + 1, y * 1.5 - 3, 22, 4);
  const double tip = Smoothstep(1.0, 0.65, t + 0.4 * (streaks - 0.5));
  const double a = std::pow(body, 1.1) * (0.55 + 0.45 * streaks) * tip;
  const double heat = Smoothstep(0.25, 0.85, body * (1 - 0.6 * t) + 0.2 * (streaks - 0.5));
  return {1, Mix(0.6, 0.98, heat), Mix(0.25, 0.9, heat), a};
}

// A thin bright line, tapered at both ends, in a faint glow: a spark seen moving.
TShade SparkStreak(double x, double y) {
  const double along = y / 0.86;
  const double taper = std::fabs(along) < 1 ? std::pow(1 - along * along, 1.5) : 0;
  const double l = taper * (Gauss(x, 0.026) + 0.3 * Gauss(x, 0.09)) + 0.3 * Gauss(std::hypot(x, y), 0.12);
  return Light(l, l, l);
}

// Six arms with three pairs of branches each, a hexagonal plate at the centre; sixfold symmetry
// by folding every point into the first half sector.
TShade Snowflake(double x, double y) {
  const double s = 1 / 0.9;
  const double r = std::hypot(x, y) * s;
  double angle = std::fmod(std::atan2(y, x) + 2 * Pi, Pi / 3);
  if (angle > Pi / 6) angle = Pi / 3 - angle;
  const double qx = r * std::cos(angle), qy = r * std::sin(angle);
  double d = SegmentDistance(qx, qy, 0, 0, 0.9, 0);
  const double branchAt[3] = {0.3, 0.5, 0.68}, branchLength[3] = {0.27, 0.2, 0.12};
  for (int k = 0; k < 3; ++k) {
    const double bx = branchAt[k], len = branchLength[k];
    d = std::min(d, SegmentDistance(qx, qy, bx, 0, bx + 0.5 * len, 0.866 * len));
  }
  // The plate's outline: the hexagon whose corners point along the arms.
  const double plate = qx * std::cos(Pi / 6) + qy * std::sin(Pi / 6);
  d = std::min(d, std::fabs(plate - 0.15));
  const double width = 0.028 - 0.012 * Clamp01(r);
  const double line = Smoothstep(width + 0.014, width - 0.004, d);
  const double fill = plate < 0.15 ? 0.35 : 0;
  const double l = std::max(line, fill) + 0.28 * Gauss(d, 0.05);
  return Light(0.93 * l, 0.97 * l, l);
}

// A falling drop drawn out by its motion: a faint tail above a brighter, wider head.
TShade Raindrop(double x, double y) {
  const double t = (y + 0.88) / 1.76;  // 0 at the head (bottom), 1 at the end of the tail
  if (t <= 0 || t >= 1) return {0.88, 0.94, 1, 0};
  const double strength = Smoothstep(0, 0.07, t) * std::pow(1 - t, 1.3);
  const double sigma = 0.02 + 0.035 * std::pow(1 - t, 6);
  return {0.88, 0.94, 1, std::min(1.0, 1.1 * strength * Gauss(x, sigma))};
}

// A soft ring with a faint inside: shock waves, bubbles, ripples.
TShade Ring(double x, double y) {
  const double r = std::hypot(x, y);
  const double a = Gauss(r - 0.68, 0.055) + 0.07 * Smoothstep(0.7, 0.5, r);
  return {1, 1, 1, Clamp01(a)};
}

// A hot core in a halo, four long rays and two short ones, and a faint ring whose red lies
// outside its blue.
TShade LensFlare(double x, double y) {
  const double r = std::hypot(x, y);
  const double core = 1.8 * Gauss(r, 0.07) + 0.5 * std::exp(-r / 0.2);
  // Each ray is a line through the centre: two long ones along the axes, two short diagonals.
  const struct {
    double Angle, Weight;
  } lines[4] = {{0, 0.8}, {Pi / 2, 0.8}, {Pi / 4, 0.3}, {3 * Pi / 4, 0.3}};
  const double reach = std::max(0.0, 1 - r / 0.95);
  double rays = 0;
  for (const auto& line : lines) {
    const double across = std::fabs(x * std::sin(line.Angle) - y * std::cos(line.Angle));
    rays += line.Weight * Gauss(across, 0.012 + 0.03 * r) * reach * reach;
  }
  const double ring = 0.12;
  const double red = core + rays + ring * Gauss(r - 0.64, 0.03);
  const double green = core + rays + ring * Gauss(r - 0.62, 0.03);
  const double blue = core + rays + ring * Gauss(r - 0.6, 0.03);
  return Light(red, green, blue);
}

// A small lumpy speck with a grain of its own and a faint halo.
TShade DustMote(double x, double y) {
  const double r = std::hypot(x, y);
  const double angle = std::atan2(y, x);
  // The outline's noise is read on a circle, so that it closes without a seam.
  const double lumps = FractalNoise(std::cos(angle) * 1.5 + 2, std::sin(angle) * 1.5 + 2, 31, 3);
  const double radius = 0.38 * (0.75 + 0.5 * lumps);
  const double grain = FractalNoise(x * 6 + 8, y * 6 + 8, 32, 3);
  const double a = Smoothstep(radius, radius * 0.55, r) * (0.7 + 0.3 * grain) + 0.12 * Gauss(r, 0.3);
  return {1, 1, 1, Clamp01(a)};
}

// A round glow: a bright middle in a wide halo. Fireflies, magic, lamps.
TShade SoftGlow(double x, double y) {
  const double r = std::hypot(x, y);
  const double l = 0.95 * Gauss(r, 0.12) + 0.4 * Gauss(r, 0.34);
  return Light(l, l, l);
}

// How far a pixel lies from the nearest edge of its picture, in pixels, decides how much of its
// alpha is kept: none on the outermost ring, all from the fourth pixel in.
double BorderFade(int i, int j, int size) {
  const int nearest = std::min({i, j, size - 1 - i, size - 1 - j});
  return Smoothstep(0, 3, nearest);
}

}  // namespace

const std::vector<TPictureRecipe>& ParticlePictures() {
  static const std::vector<TPictureRecipe> pictures = {
      {"soft-blob", "a soft round blob: drops, bubbles, anything round", 128, 2, SoftBlob},
      {"smoke-puff", "a puff of smoke, soft fractal noise lit from the top left", 256, 2, SmokePuff},
      {"flame", "a flame's tongue, pale at its core, pointing up", 256, 2, Flame},
      {"spark", "a spark's streak with a faint glow, vertical", 128, 3, SparkStreak},
      {"snowflake", "a six-armed snowflake with branches", 256, 3, Snowflake},
      {"raindrop", "a raindrop's streak, its head at the bottom", 128, 3, Raindrop},
      {"ring", "a soft ring: shock waves, ripples, bubbles", 128, 3, Ring},
      {"lens-flare", "a lens flare: a hot core, rays and a faint coloured ring", 256, 3, LensFlare},
      {"dust-mote", "a small lumpy dust mote with a faint halo", 128, 2, DustMote},
      {"soft-glow", "a round glow: fireflies, magic, lamps", 128, 2, SoftGlow},
  };
  return pictures;
}

stage::TScreenBuffer DrawPicture(const TPictureRecipe& recipe) {
  const int n = recipe.Size, s = recipe.Samples;
  stage::TScreenBuffer image(n, n);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      // Colours are averaged by alpha where there is any, so that thin lines keep their colour;
      // a clear pixel takes the plain average, the colour its neighbours have.
      double alpha = 0, r = 0, g = 0, b = 0, plainR = 0, plainG = 0, plainB = 0;
      for (int sj = 0; sj < s; ++sj)
        for (int si = 0; si < s; ++si) {
          const double x = (i + (si + 0.5) / s) / n * 2 - 1;
          const double y = 1 - (j + (sj + 0.5) / s) / n * 2;
          const TShade shade = recipe.Shade(x, y);
          alpha += shade.A;
          r += shade.R * shade.A, g += shade.G * shade.A, b += shade.B * shade.A;
          plainR += shade.R, plainG += shade.G, plainB += shade.B;
        }
      stage::TPixel& p = image.At(i, j);
      if (alpha > 0) {
        p.R = static_cast<float>(r / alpha), p.G = static_cast<float>(g / alpha), p.B = static_cast<float>(b / alpha);
      } else {
        const double count = s * s;
        p.R = static_cast<float>(plainR / count), p.G = static_cast<float>(plainG / count);
        p.B = static_cast<float>(plainB / count);
      }
      p.A = static_cast<float>(alpha / (s * s) * BorderFade(i, j, n));
    }
  return image;
}

stage::TScreenBuffer ContactSheet(const std::vector<stage::TScreenBuffer>& pictures) {
  constexpr int Cell = 144, Shown = 128, Columns = 5, Check = 8;
  const int rows = static_cast<int>((pictures.size() + Columns - 1) / Columns);
  stage::TScreenBuffer sheet(Cell * Columns, Cell * std::max(rows, 1));
  sheet.Fill({0.05f, 0.05f, 0.06f, 1});
  for (size_t k = 0; k < pictures.size(); ++k) {
    const stage::TScreenBuffer& picture = pictures[k];
    const int left = static_cast<int>(k % Columns) * Cell + (Cell - Shown) / 2;
    const int top = static_cast<int>(k / Columns) * Cell + (Cell - Shown) / 2;
    const int step = picture.Width() / Shown;  // 1 or 2: a box filter down to the shown size
    for (int j = 0; j < Shown; ++j)
      for (int i = 0; i < Shown; ++i) {
        double a = 0, r = 0, g = 0, b = 0;
        for (int v = 0; v < step; ++v)
          for (int u = 0; u < step; ++u) {
            const stage::TPixel& p = picture.At(i * step + u, j * step + v);
            a += p.A, r += p.R * p.A, g += p.G * p.A, b += p.B * p.A;
          }
        const double count = step * step;
        const float back = ((i / Check + j / Check) % 2) ? 0.16f : 0.1f;
        const double keep = 1 - a / count;
        stage::TPixel& out = sheet.At(left + i, top + j);
        out.R = static_cast<float>(back * keep + r / count);
        out.G = static_cast<float>(back * keep + g / count);
        out.B = static_cast<float>(back * keep + b / count);
        out.A = 1;
      }
  }
  return sheet;
}
