// The cache of simulated scene frames, and the summaries that tell whether what it keeps still
// follows from the scene.
#include "scene/FrameCache.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/ParticleBudget.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "engine/TsxHelper.h"
#include "scene/EmitterObj.h"

size_t FrameCacheMBFromEnvironment(std::string* error) {
  return MegabytesFromEnvironment(FrameCacheVariable, DefaultFrameCacheMB, 0, error);
}

void TFrameCache::SetCapacity(size_t bytes) {
  Capacity_ = bytes;
  MakeRoom(0);
}

std::vector<int64_t> TFrameCache::Frames() const {
  std::vector<int64_t> frames;
  frames.reserve(Frames_.size());
  for (const auto& [frame, kept] : Frames_) frames.push_back(frame);
  return frames;
}

int64_t TFrameCache::NearestAtOrBefore(int64_t frame) const {
  auto it = Frames_.upper_bound(frame);
  if (it == Frames_.begin()) return -1;
  return std::prev(it)->first;
}

void TFrameCache::Clear() {
  Frames_.clear();
  Bytes_ = 0;
}

void TFrameCache::Erase(std::map<int64_t, TFrame>::iterator it) {
  Bytes_ -= it->second.Bytes;
  Frames_.erase(it);
}

void TFrameCache::DropFrom(int64_t frame) {
  for (auto it = Frames_.lower_bound(frame); it != Frames_.end();) Erase(it++);
}

void TFrameCache::MakeRoom(size_t extra) {
  while (!Frames_.empty() && Bytes_ + extra > Capacity_) {
    auto oldest = Frames_.begin();
    for (auto it = Frames_.begin(); it != Frames_.end(); ++it)
      if (it->second.LastUse < oldest->second.LastUse) oldest = it;
    Erase(oldest);
  }
}

void TFrameCache::Store(int64_t frame, std::span<TEmitterObject* const> objects, uint64_t poses) {
  if (auto it = Frames_.find(frame); it != Frames_.end()) Erase(it);
  // The size first, so that nothing is copied for a state that cannot be kept.
  size_t bytes = sizeof(TFrame);
  for (const TEmitterObject* object : objects)
    for (const auto& slot : object->Systems)
      bytes += sizeof(TSlotRun) + slot->System.Particles.size() * sizeof(TParticle);
  if (bytes > Capacity_) return;
  MakeRoom(bytes);

  TFrame kept;
  kept.Seed = RandomSeed;
  kept.SceneFrame = SceneFrame;
  kept.Poses = poses;
  kept.Bytes = bytes;
  kept.LastUse = ++UseClock_;
  for (const TEmitterObject* object : objects)
    for (const auto& slot : object->Systems) {
      const TParticleSystem& s = slot->System;
      kept.Slots.push_back({slot->Id, slot->FreshStart, slot->Emitter.PreviousTransform,
                            slot->Emitter.CurrentTransform, s.Time, s.LocalTime, s.EmitCarry, s.LiveCount,
                            s.Particles});
    }
  Bytes_ += bytes;
  Frames_.emplace(frame, std::move(kept));
}

bool TFrameCache::Restore(int64_t frame, std::span<TEmitterObject* const> objects) {
  auto it = Frames_.find(frame);
  if (it == Frames_.end()) return false;
  TFrame& kept = it->second;
  size_t i = 0;
  for (const TEmitterObject* object : objects)
    for (const auto& slot : object->Systems)
      if (i >= kept.Slots.size() || kept.Slots[i++].Slot != slot->Id) return false;
  if (i != kept.Slots.size()) return false;

  i = 0;
  for (TEmitterObject* object : objects)
    for (auto& slot : object->Systems) {
      const TSlotRun& run = kept.Slots[i++];
      slot->FreshStart = run.FreshStart;
      slot->Emitter.PreviousTransform = run.PreviousTransform;
      slot->Emitter.CurrentTransform = run.CurrentTransform;
      slot->System.RestoreRun(run.Time, run.LocalTime, run.LiveCount, run.EmitCarry, run.Particles);
    }
  RandomSeed = kept.Seed;
  SceneFrame = kept.SceneFrame;
  kept.LastUse = ++UseClock_;
  return true;
}

uint64_t TFrameCache::PosesOf(int64_t frame) const {
  auto it = Frames_.find(frame);
  return it == Frames_.end() ? 0 : it->second.Poses;
}

namespace {

template <typename T>
void Put(TStream& s, const T& value) {
  s.Write(&value, sizeof value);
}

// FNV-1a over bytes, continued from h.
uint64_t Mix(uint64_t h, const void* data, size_t n) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

uint64_t MixPose(uint64_t h, tsxGNODE* node) {
  const TMx3f m = ObjectTransform(node);
  h = Mix(h, &node, sizeof node);
  return Mix(h, &m, sizeof m);
}

}  // namespace

std::vector<uint8_t> SimulationInputs(std::span<TEmitterObject* const> objects) {
  TMemoryStream s;
  Put(s, static_cast<uint64_t>(objects.size()));
  for (const TEmitterObject* object : objects) {
    Put(s, object->Id);
    Put(s, object->SceneObject);
    object->WriteTo(s);
  }
  for (const TParticleModifier* m : ActiveModifiers) {
    Put(s, m);
    Put(s, m->SceneObject);
    Put(s, m->Active);
    Put(s, m->ToolLifespan);
    Put(s, m->ToolLives);
    m->WriteTo(s);
  }
  return s.TakeData();
}

uint64_t HostPoses(std::span<TEmitterObject* const> objects) {
  uint64_t h = 14695981039346656037ull;
  for (TEmitterObject* object : objects) {
    if (!object->SceneObject) continue;
    h = MixPose(h, object->SceneObject);
    object->CollectSurfaceSources();
    for (tsxGNODE* source : object->SurfaceSources) h = MixPose(h, source);
  }
  for (const TParticleModifier* m : ActiveModifiers)
    if (m->SceneObject) h = MixPose(h, m->SceneObject);
  return h;
}

namespace {

template <typename T>
bool Get(TStream& s, T& value) {
  return s.Read(&value, sizeof value) == sizeof value;
}

std::vector<uint8_t> BytesOf(const TVarSeries& curve) {
  TMemoryStream s;
  curve.WriteTo(s);
  return s.TakeData();
}

std::vector<uint8_t> BytesOf(const TEmitterObject& object) {
  TMemoryStream s;
  object.WriteTo(s);
  return s.TakeData();
}

// The first local frame from 0 at which the curve's edit can show, up to limit (limit + 1: none
// of those); afterwards `before` holds `after`'s keys.
int64_t CurveEditFrame(TVarSeries& before, const TVarSeries& after, int64_t limit) {
  std::vector<uint8_t> bytes = BytesOf(after);
  if (BytesOf(before) == bytes) return limit + 1;
  int64_t first = limit + 1;
  for (int64_t x = 0; x <= limit; ++x) {
    const double a = before.Evaluate(static_cast<double>(x)), b = after.Evaluate(static_cast<double>(x));
    if (std::memcmp(&a, &b, sizeof a) != 0) {
      first = std::max<int64_t>(0, x - 1);
      break;
    }
  }
  TMemoryStream keys(std::move(bytes));
  before.ReadFrom(keys);
  return first;
}

// The same over every curve of a set that runs over frames.
int64_t FrameCurvesEditFrame(TVariableSystem& before, TVariableSystem& after, int64_t limit) {
  int64_t first = limit + 1;
  for (int i = 0; i < before.VariableCount() && i < after.VariableCount(); ++i)
    if (before.Variable(i).XKind == XKindFrames && after.Variable(i).XKind == XKindFrames)
      first = std::min(first, CurveEditFrame(before.Variable(i), after.Variable(i), limit));
  return first;
}

}  // namespace

int64_t EditFrame(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int64_t lastFrame) {
  TMemoryStream a(before), b(after);
  uint64_t count = 0, countAfter = 0;
  if (!Get(a, count) || !Get(b, countAfter) || count != countAfter) return 0;
  int64_t first = std::numeric_limits<int64_t>::max();
  for (uint64_t i = 0; i < count; ++i) {
    TObjectId idA = NoObject, idB = NoObject;
    tsxSOBJ *sceneA = nullptr, *sceneB = nullptr;
    if (!Get(a, idA) || !Get(b, idB) || !Get(a, sceneA) || !Get(b, sceneB) || idA != idB || sceneA != sceneB)
      return 0;
    TEmitterObject was, is;
    was.ReadFrom(EmitterRecordVersion, a);
    is.ReadFrom(EmitterRecordVersion, b);
    if (was.Systems.size() != is.Systems.size()) return 0;
    // Local frames up to the last kept scene frame; the curves of `was` become those of `is`, so
    // that whatever still differs is not a curve over frames.
    const int64_t limit = std::max<int64_t>(-1, lastFrame - is.FrameOffset);
    int64_t local = CurveEditFrame(was.Visibility, is.Visibility, limit);
    // Names change nothing the particles follow.
    was.Name = is.Name;
    for (size_t k = 0; k < is.Systems.size(); ++k) {
      TEmitter& slotWas = *was.Systems[k];
      TEmitter& slotIs = *is.Systems[k];
      slotWas.Name = slotIs.Name;
      local = std::min(local, FrameCurvesEditFrame(slotWas.System, slotIs.System, limit));
      local = std::min(local, FrameCurvesEditFrame(slotWas.Emitter, slotIs.Emitter, limit));
    }
    if (BytesOf(was) != BytesOf(is)) return 0;
    if (local <= limit) first = std::min(first, std::max<int64_t>(0, local + is.FrameOffset));
  }
  // The tools, byte for byte.
  if (a.Size() - a.Position() != b.Size() - b.Position() ||
      !std::equal(before.begin() + static_cast<ptrdiff_t>(a.Position()), before.end(),
                  after.begin() + static_cast<ptrdiff_t>(b.Position())))
    return 0;
  return first == std::numeric_limits<int64_t>::max() ? lastFrame + 1 : first;
}
