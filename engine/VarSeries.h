// Property curves (TVarSeries: a spline with a name, an x meaning, a value range and a clamp
// mode, stored as a curve record) and ordered sets of them (TVariableSystem), the base of
// particle systems, emitters and force tools.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/SplineSeries.h"

class TStream;

// What a curve's x means.
enum : uint8_t {
  XKindLifePercent = 0,  // percent of a particle's lifespan
  XKindFrames = 1,       // frames of the system's time
  XKindPercent = 2,      // percent, without an axis title
};

// Which bounds ClampValue applies; other values clamp nothing.
enum : uint8_t { ClampNone = 0, ClampMin = 1, ClampMax = 2, ClampBoth = 3 };

constexpr double FarKeyX = 8192;  // x of the far end key of every new curve
constexpr int CurveNameLength = 64;

class TVarSeries : public TSplineSeries {
 public:
  TVarSeries(uint8_t xKind, double minValue, double maxValue, uint8_t clampMode);

  std::string Name;
  uint8_t XKind;
  double MinValue;
  double MaxValue;
  uint8_t ClampMode;

  void ClampValue(double& v) const override;
  // Keeps a key that is added or moved at least 1 from its neighbours, and at most 100 on
  // percent curves.
  void ConstrainKeyX(int index, double& x) const;
  // Rounds a key's value to the value step (half to even), clamps it, and caps it at 65000.
  void SnapValue(double& y) const;
  void SetRange(double minValue, double maxValue);

  // The curve record: name, kind, range, clamp mode, tension, key count and keys.
  void WriteTo(TStream& s) const;
  // Reads a curve record in place. Fields the stream no longer holds keep their values; once
  // the key count is read the keys are replaced by the complete keys the stream holds. A key
  // with a NaN position is damage: it is dropped, and the answer counts the dropped keys so
  // that the caller can report them.
  size_t ReadFrom(TStream& s);
};

// The rules a curve keeps after every edit, shared by the curve editor (which never leaves a curve
// breaking them) and the readable-settings reader (which refuses such a curve): at least two
// keys, the first at x 0, each at least 1 after the one before, keys of percent curves within 100
// except a last key at 8192, and values within the bounds the clamp mode sets.
enum class TKeyFault {
  None,
  NotFinite,       // x or value is not a finite number
  FirstNotAtZero,  // the first key lies elsewhere than x 0
  TooClose,        // less than 1 after the key before it
  BeyondPercent,   // x beyond 100 on a percent curve, and not a last key at 8192
  ValueOutside,    // the value breaks a bound the clamp mode sets
};
bool IsPercentKind(uint8_t xKind);
// Whether the clamp mode's bounds hold v.
bool ValueWithinClamp(const TVarSeries& c, double v);
// What is wrong with key at index (previous: the key before it, or null for the first; last:
// it is the curve's last key).
TKeyFault KeyFault(const TVarSeries& c, const TSplineKey* previous, const TSplineKey& key, bool last);
// The curve as a whole keeps the rules.
bool KeepsCurveRules(const TVarSeries& c);

class TVariableSystem {
 public:
  TVariableSystem() = default;
  virtual ~TVariableSystem() = default;
  TVariableSystem(const TVariableSystem&) = delete;
  TVariableSystem& operator=(const TVariableSystem&) = delete;

  // A flat curve (0, value), (8192, value) appended to the set; the set owns it.
  TVarSeries& AddVariable(uint8_t clampMode, uint8_t xKind, double value, double minValue,
                          double maxValue);

  int VariableCount() const { return static_cast<int>(Variables.size()); }
  TVarSeries& Variable(int index) { return *Variables[static_cast<size_t>(index)]; }
  const TVarSeries& Variable(int index) const { return *Variables[static_cast<size_t>(index)]; }

  // Every curve record in set order; no count is stored.
  void WriteVariables(TStream& s) const;
  // Answers how many damaged keys were dropped across the set (see TVarSeries::ReadFrom).
  size_t ReadVariables(TStream& s);

 private:
  std::vector<std::unique_ptr<TVarSeries>> Variables;
};
