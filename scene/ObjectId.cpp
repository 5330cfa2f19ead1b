// The program's one id counter.
#include "scene/ObjectId.h"

#include <atomic>

TObjectId NewObjectId() {
  static std::atomic<TObjectId> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}
