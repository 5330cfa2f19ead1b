// A keyframed three-component value (position, rotation or scale of a node): a rest value used
// while there are no keys, else linear interpolation between keys, held constant before the
// first key and after the last.
#pragma once

#include <vector>

#include "hostapi/TsxApi5.h"

namespace stage {

struct TKey {
  float Frame = 0;
  CtsxVector3f Value{};
};

class TChannel {
 public:
  TChannel() = default;
  explicit TChannel(CtsxVector3f rest) : Rest(rest) {}

  CtsxVector3f At(float frame) const;
  // Adds a key, replacing one at the same frame; keys stay sorted. A non-finite frame or value
  // throws std::invalid_argument.
  void SetKey(float frame, const CtsxVector3f& value);
  // Replaces every key at once, as many SetKey calls in the given order would (a later key at
  // the same frame wins), in n log n whatever the order. Throws std::invalid_argument for a
  // non-finite frame or value and then leaves the keys unchanged.
  void SetKeys(std::vector<TKey> keys);
  // Sets the value at a frame: the key there when the channel is animated, else the rest value.
  void Set(float frame, const CtsxVector3f& value);
  const std::vector<TKey>& Keys() const { return Keys_; }
  void ClearKeys() { Keys_.clear(); }
  bool Animated() const { return !Keys_.empty(); }

  CtsxVector3f Rest{};

 private:
  std::vector<TKey> Keys_;
};

}  // namespace stage
