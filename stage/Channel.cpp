// Keyframe interpolation in double precision, stored as floats.
#include "stage/Channel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace stage {

namespace {
bool Finite(const CtsxVector3f& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
}  // namespace

CtsxVector3f TChannel::At(float frame) const {
  if (Keys_.empty()) return Rest;
  if (!(frame > Keys_.front().Frame)) return Keys_.front().Value;
  if (!(frame < Keys_.back().Frame)) return Keys_.back().Value;
  const auto next = std::upper_bound(Keys_.begin(), Keys_.end(), frame,
                                     [](float f, const TKey& k) { return f < k.Frame; });
  const TKey& b = *next;
  const TKey& a = *(next - 1);
  const double t = (static_cast<double>(frame) - a.Frame) / (static_cast<double>(b.Frame) - a.Frame);
  auto lerp = [t](float x, float y) {
    return static_cast<float>(static_cast<double>(x) + (static_cast<double>(y) - x) * t);
  };
  return {lerp(a.Value.x, b.Value.x), lerp(a.Value.y, b.Value.y), lerp(a.Value.z, b.Value.z)};
}

void TChannel::SetKey(float frame, const CtsxVector3f& value) {
  if (!std::isfinite(frame) || !Finite(value))
    throw std::invalid_argument("a key needs a finite frame and value");
  const auto at = std::lower_bound(Keys_.begin(), Keys_.end(), frame,
                                   [](const TKey& k, float f) { return k.Frame < f; });
  if (at != Keys_.end() && at->Frame == frame)
    at->Value = value;
  else
    Keys_.insert(at, TKey{frame, value});
}

void TChannel::SetKeys(std::vector<TKey> keys) {
  for (const TKey& k : keys)
    if (!std::isfinite(k.Frame) || !Finite(k.Value))
      throw std::invalid_argument("a key needs a finite frame and value");
  // Stable, so that of keys at the same frame the last one given stays, as with SetKey.
  std::stable_sort(keys.begin(), keys.end(), [](const TKey& a, const TKey& b) { return a.Frame < b.Frame; });
  std::vector<TKey> unique;
  unique.reserve(keys.size());
  for (const TKey& k : keys) {
    if (!unique.empty() && unique.back().Frame == k.Frame)
      unique.back() = k;
    else
      unique.push_back(k);
  }
  Keys_ = std::move(unique);
}

void TChannel::Set(float frame, const CtsxVector3f& value) {
  if (Animated()) {
    SetKey(frame, value);
  } else {
    if (!Finite(value)) throw std::invalid_argument("a value must be finite");
    Rest = value;
  }
}

}  // namespace stage
