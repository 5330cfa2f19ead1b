// Property curves: clamping, the editor's key rules, and the curve record.
#include "engine/VarSeries.h"

#include <algorithm>
#include <cmath>

#include "engine/Rounding.h"
#include "engine/Stream.h"

namespace {
constexpr size_t KeyRecordSize = 16;  // double x, double y
constexpr double LargestSnappedValue = 65000;
}  // namespace

TVarSeries::TVarSeries(uint8_t xKind, double minValue, double maxValue, uint8_t clampMode)
    : XKind(xKind), MinValue(minValue), MaxValue(maxValue), ClampMode(clampMode) {}

void TVarSeries::ClampValue(double& v) const {
  switch (ClampMode) {
    case ClampMin: v = std::max(MinValue, v); break;
    case ClampMax: v = std::min(MaxValue, v); break;
    case ClampBoth: v = std::min(MaxValue, std::max(MinValue, v)); break;
    default: break;
  }
}

void TVarSeries::ConstrainKeyX(int index, double& x) const {
  if (index > 0 && index - 1 < KeyCount() && KeyX(index - 1) >= x) x = KeyX(index - 1) + 1;
  if (index >= 0 && index < KeyCount() - 1 && KeyX(index + 1) <= x) x = KeyX(index + 1) - 1;
  if (XKind == XKindLifePercent || XKind == XKindPercent) x = std::min(100.0, x);
}

void TVarSeries::SnapValue(double& y) const {
  y = ValueStep * RoundHalfEven(y / ValueStep);
  ClampValue(y);
  if (y > LargestSnappedValue) y = LargestSnappedValue;
}

bool IsPercentKind(uint8_t xKind) { return xKind == XKindLifePercent || xKind == XKindPercent; }

bool ValueWithinClamp(const TVarSeries& c, double v) {
  const bool low = c.ClampMode == ClampMin || c.ClampMode == ClampBoth;
  const bool high = c.ClampMode == ClampMax || c.ClampMode == ClampBoth;
  return !(low && v < c.MinValue) && !(high && v > c.MaxValue);
}

TKeyFault KeyFault(const TVarSeries& c, const TSplineKey* previous, const TSplineKey& key, bool last) {
  if (!std::isfinite(key.x) || !std::isfinite(key.y)) return TKeyFault::NotFinite;
  if (!previous && key.x != 0) return TKeyFault::FirstNotAtZero;
  if (previous && key.x < previous->x + 1) return TKeyFault::TooClose;
  if (IsPercentKind(c.XKind) && key.x > 100 && !(last && key.x == FarKeyX)) return TKeyFault::BeyondPercent;
  if (!ValueWithinClamp(c, key.y)) return TKeyFault::ValueOutside;
  return TKeyFault::None;
}

bool KeepsCurveRules(const TVarSeries& c) {
  const std::vector<TSplineKey>& keys = c.AllKeys();
  if (keys.size() < 2) return false;
  for (size_t i = 0; i < keys.size(); ++i)
    if (KeyFault(c, i ? &keys[i - 1] : nullptr, keys[i], i + 1 == keys.size()) != TKeyFault::None) return false;
  return true;
}

void TVarSeries::SetRange(double minValue, double maxValue) {
  MinValue = minValue;
  MaxValue = maxValue;
}

void TVarSeries::WriteTo(TStream& s) const {
  WriteText(s, CurveNameLength, Name);
  WriteField(s, XKind);
  WriteField(s, MinValue);
  WriteField(s, MaxValue);
  WriteField(s, ClampMode);
  WriteField(s, Tension);
  WriteField(s, static_cast<int32_t>(KeyCount()));
  for (const TSplineKey& key : AllKeys()) {
    WriteField(s, key.x);
    WriteField(s, key.y);
  }
}

size_t TVarSeries::ReadFrom(TStream& s) {
  if (!ReadText(s, CurveNameLength, Name)) return 0;
  if (!ReadField(s, XKind)) return 0;
  if (!ReadField(s, MinValue)) return 0;
  if (!ReadField(s, MaxValue)) return 0;
  if (!ReadField(s, ClampMode)) return 0;
  if (!ReadField(s, Tension)) return 0;
  int32_t count = 0;
  if (!ReadField(s, count)) return 0;
  Clear();
  size_t dropped = 0;
  // A damaged count never reserves more keys than the stream still holds.
  const uint64_t available = s.Remaining() / KeyRecordSize;
  const uint64_t wanted = count > 0 ? static_cast<uint64_t>(count) : 0;
  for (uint64_t k = 0; k < std::min(wanted, available); ++k) {
    double x = 0, y = 0;
    ReadField(s, x);
    ReadField(s, y);
    // A key at no position has no place in the order: every save would move it. It is damage.
    if (std::isnan(x)) {
      ++dropped;
      continue;
    }
    AddKey(x, y);
  }
  // Bytes of a count that overshot belong to no field that follows.
  if (wanted > available) s.Skip(s.Remaining());
  return dropped;
}

TVarSeries& TVariableSystem::AddVariable(uint8_t clampMode, uint8_t xKind, double value,
                                         double minValue, double maxValue) {
  auto curve = std::make_unique<TVarSeries>(xKind, minValue, maxValue, clampMode);
  curve->AddKey(0, value);
  curve->AddKey(FarKeyX, value);
  Variables.push_back(std::move(curve));
  return *Variables.back();
}

void TVariableSystem::WriteVariables(TStream& s) const {
  for (const auto& curve : Variables) curve->WriteTo(s);
}

size_t TVariableSystem::ReadVariables(TStream& s) {
  size_t dropped = 0;
  for (auto& curve : Variables) dropped += curve->ReadFrom(s);
  return dropped;
}
