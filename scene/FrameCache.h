// A bounded cache of simulated scene frames: the whole run state of the scene's particle systems
// at frames a render or the timeline has stepped (every slot's time, pool, emission carry and
// emitter pose, and the program-wide generator's seed), so that a frame's particles can be shown
// again, or stepping can go on from the nearest frame before it, without simulating from frame 0.
// The size is a number of bytes; when a frame does not fit, the frames used longest ago go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "engine/Particle.h"
#include "engine/VectorData.h"
#include "scene/ObjectId.h"

class TEmitterObject;

// The default size in megabytes, and the environment variable that sets another (0 keeps nothing).
constexpr size_t DefaultFrameCacheMB = 256;
constexpr const char* FrameCacheVariable = "VANTREL_FRAME_CACHE_MB";
// The megabytes VANTREL_FRAME_CACHE_MB asks for; DefaultFrameCacheMB when it is not set, or with
// *error set to a message when it is not a whole number from 0.
size_t FrameCacheMBFromEnvironment(std::string* error);

class TFrameCache {
 public:
  explicit TFrameCache(size_t capacityBytes = DefaultFrameCacheMB << 20) : Capacity_(capacityBytes) {}

  size_t Capacity() const { return Capacity_; }
  // A smaller size drops the frames used longest ago until the rest fits.
  void SetCapacity(size_t bytes);
  size_t Bytes() const { return Bytes_; }
  size_t Count() const { return Frames_.size(); }
  bool Has(int64_t frame) const { return Frames_.count(frame) != 0; }
  // The kept frames in increasing order.
  std::vector<int64_t> Frames() const;
  // The nearest kept frame at or before frame; −1 when there is none.
  int64_t NearestAtOrBefore(int64_t frame) const;

  void Clear();
  // Drops every kept frame from frame on.
  void DropFrom(int64_t frame);

  // Keeps the run state of objects (in their order) at frame, in place of any kept for it, with
  // a summary of the host's poses there (HostPoses). A state larger than the whole cache is not
  // kept; to make room, the frames used longest ago are dropped.
  void Store(int64_t frame, std::span<TEmitterObject* const> objects, uint64_t poses);
  // Puts objects back at a kept frame, the generator's seed and SceneFrame included. False,
  // changing nothing, when the frame is not kept or the objects are not those it was kept of
  // (the same slots in the same order).
  bool Restore(int64_t frame, std::span<TEmitterObject* const> objects);
  // The pose summary kept with frame; 0 when the frame is not kept.
  uint64_t PosesOf(int64_t frame) const;

 private:
  struct TSlotRun {
    TObjectId Slot = NoObject;
    bool FreshStart = false;
    TMx3f PreviousTransform{}, CurrentTransform{};
    float Time = 0, LocalTime = 0, EmitCarry = 0;
    int32_t LiveCount = 0;
    std::vector<TParticle> Particles;
  };
  struct TFrame {
    uint32_t Seed = 0;
    float SceneFrame = 0;
    uint64_t Poses = 0;
    std::vector<TSlotRun> Slots;
    size_t Bytes = 0;
    uint64_t LastUse = 0;
  };
  void Erase(std::map<int64_t, TFrame>::iterator it);
  // Drops the frames used longest ago until `extra` more bytes fit.
  void MakeRoom(size_t extra);

  std::map<int64_t, TFrame> Frames_;
  size_t Capacity_;
  size_t Bytes_ = 0;
  uint64_t UseClock_ = 0;
};

// What the particles are computed from on the plug-in's side: every emitter object's identity,
// scene object and record, and every active tool's scene object, kind, record and life (which
// the record does not hold). Equal bytes give equal particles over the same host scene.
std::vector<uint8_t> SimulationInputs(std::span<TEmitterObject* const> objects);
// A summary of the host's poses the simulation reads at the host's current time: the world
// transforms of the emitter objects, of the active tools and of every polyhedron an emitter
// object's group holds.
uint64_t HostPoses(std::span<TEmitterObject* const> objects);
// The first scene frame whose particles an edit can change, given SimulationInputs before and
// after it, for frames up to lastFrame (a later answer means none of those). A changed curve over
// frames (a system's, its emission's, an emitter's Visibility) changes nothing before the first
// whole frame at which it gives another value, less one for the frames between (the curves are
// read at a system's time, which never runs ahead of the scene's frame less the frame offset).
// That is not the edited key's frame: a curve is a cardinal spline, so a key's change reaches
// back over the segment before the key in front of it; the values tell, not the keys. Then
// every frame after the first changed one may change (each later step follows from it);
// a change of anything else that the particles follow (particle-life curves, gradients,
// settings, tools, the emitters or slots themselves) can change every frame: 0.
int64_t EditFrame(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int64_t lastFrame);
