// Cardinal spline evaluation. The blend is written as P1 plus weighted differences from P1:
// the four weights sum to one, so this is the cardinal spline itself, and a run of equal keys
// gives exactly their value, which lets flat curves skip the arithmetic without changing a bit.
#include "engine/SplineSeries.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Bitwise-equal finite values: the general path turns infinities into NaN, and 0.0 against
// -0.0 must keep its sign.
bool SameFiniteValue(double a, double b) {
  return std::isfinite(a) && std::memcmp(&a, &b, sizeof(double)) == 0;
}

}  // namespace

double TSplineSeries::Evaluate(double x) const {
  const int count = KeyCount();
  if (count == 0) return 0;
  const TSplineKey* k = Keys.data();
  const bool step = ValueStep == 1.0;

  if (Flat) {
    double v = k[0].y;
    if (!step) ClampValue(v);
    return v;
  }

  // Segment: the one that ends at or after x.
  int i = 0;
  while (i < count - 1 && k[i + 1].x < x) ++i;

  if (step) return k[i].y;

  const int prev = i > 0 ? i - 1 : 0;
  const int cur = i;
  const int next = i < count - 1 ? i + 1 : i;
  const int next2 = i < count - 2 ? i + 2 : next;

  double t = 0;
  if (k[next].x != k[cur].x) t = (x - k[cur].x) / (k[next].x - k[cur].x);
  if (!(t > 0)) t = 0;  // also NaN
  if (t > 1) t = 1;

  const double s = Tension;
  const double t2 = t * t, t3 = t2 * t;
  const double p0 = k[prev].y, p1 = k[cur].y, p2 = k[next].y, p3 = k[next2].y;
  const double w0 = -s * t3 + 2 * s * t2 - s * t;
  const double w2 = (s - 2) * t3 + (3 - 2 * s) * t2 + s * t;
  const double w3 = s * t3 - s * t2;
  double v = p1 + w0 * (p0 - p1) + w2 * (p2 - p1) + w3 * (p3 - p1);
  ClampValue(v);
  return v;
}

int TSplineSeries::AddKey(double x, double y) {
  const auto at = std::upper_bound(Keys.begin(), Keys.end(), x,
                                   [](double value, const TSplineKey& key) { return value < key.x; });
  const auto index = at - Keys.begin();
  // Flat stays true only for another copy of the shared value; checked before inserting.
  Flat = Keys.empty() ? std::isfinite(y) : Flat && SameFiniteValue(y, Keys.front().y);
  Keys.insert(at, TSplineKey{x, y});
  return static_cast<int>(index);
}

void TSplineSeries::DeleteKey(int index) {
  if (index < 0 || index >= KeyCount()) return;
  Keys.erase(Keys.begin() + index);
  UpdateFlat();
}

void TSplineSeries::Clear() {
  Keys.clear();
  UpdateFlat();
}

void TSplineSeries::SetKey(int index, double x, double y) {
  if (index < 0 || index >= KeyCount()) return;
  Keys[static_cast<size_t>(index)] = {x, y};
  UpdateFlat();
}

void TSplineSeries::UpdateFlat() {
  Flat = std::all_of(Keys.begin(), Keys.end(),
                     [&](const TSplineKey& key) { return SameFiniteValue(key.y, Keys.front().y); });
}
