// A keyframed curve: keys in ascending x, evaluated as a cardinal spline with a tension, or as
// a step curve when its value step is exactly 1. The base of every property curve.
#pragma once

#include <cstddef>
#include <vector>

struct TSplineKey {
  double x = 0, y = 0;
  friend bool operator==(const TSplineKey&, const TSplineKey&) = default;
};

class TSplineSeries {
 public:
  virtual ~TSplineSeries() = default;

  double Tension = 0.3;
  double ValueStep = 0.01;

  // Applies the curve's bounds to a value.
  virtual void ClampValue(double& v) const = 0;

  // The curve's value at x; 0 for a curve without keys. Allocates nothing.
  double Evaluate(double x) const;

  // Inserts a key at its place by x, after any keys with the same x; returns its index.
  int AddKey(double x, double y);
  void DeleteKey(int index);
  void Clear();
  int KeyCount() const { return static_cast<int>(Keys.size()); }
  double KeyX(int index) const { return Keys[static_cast<std::size_t>(index)].x; }
  double KeyY(int index) const { return Keys[static_cast<std::size_t>(index)].y; }
  const std::vector<TSplineKey>& AllKeys() const { return Keys; }
  // Moves a key; the caller keeps the order (the editor constrains x first).
  void SetKey(int index, double x, double y);

 private:
  void UpdateFlat();

  std::vector<TSplineKey> Keys;
  // All keys share one value: Evaluate is that value everywhere, so the scan is skipped.
  bool Flat = true;
};
