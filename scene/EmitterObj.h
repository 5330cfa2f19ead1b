// Emitters in the scene: a system slot (TEmitter: one particle system with its emission part)
// and the emitter object that binds its slots to a host scene object, maps the scene timeline
// onto the systems' own, freezes them, scales them from its size and gathers emission surfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/Particle.h"
#include "engine/ParticleEmitter.h"
#include "engine/VarSeries.h"
#include "hostapi/TsxApi5.h"
#include "scene/ObjectId.h"

class TEmitterObject;
class TStream;

constexpr int32_t EmitterRecordVersion = 101;
constexpr int32_t OldEmitterRecordVersion = 100;
constexpr int ObjectNameLength = 32;
// The most particle systems one emitter holds: far more than a panel shows, and few enough that a
// small file cannot ask for gigabytes of systems.
constexpr int32_t MaxSystemsPerEmitter = 1024;

// Auto-scale bits.
enum : uint8_t { WidthMoreParticles = 1, WidthBiggerParticles = 2 };
enum : uint8_t { HeightFasterParticles = 1, HeightOlderParticles = 2, HeightStrongerGravity = 4 };

class TEmitter : public TParticleSystemOwner {
 public:
  // Creates the emission part and the system, wires them, and appends itself to the owner.
  explicit TEmitter(TEmitterObject& owner);
  ~TEmitter() override;

  TEmitterObject& Owner;
  // Never reused; restoring an undone slot gives it back its own.
  TObjectId Id = NewObjectId();
  std::string Name = "Particles";
  bool Enabled = true;
  bool FreshStart = false;  // the next step treats the emitter object as not having moved
  TParticleEmitter Emitter;
  TParticleSystem System;

  // Previous and current transform of the emitter object, and the five auto-scale factors.
  void UpdateFromHost(TParticleSystem& system) override;
  void CollectModifiers(TParticleSystem& system, std::vector<TParticleModifier*>& list) override;
  // The host's interrupt (Ctrl+C, a cancelled render) stops a long catch-up.
  bool StepInterrupted() override;

  // Brings the system to a local frame, unless the emitter object is frozen there; frozen
  // particles follow the object's motion since the freeze when followObject is set.
  void StepToFrame(double localFrame, bool followObject);

  // The slot record. A stream's final record omits its trailing reserved block.
  void WriteTo(TStream& s, bool finalRecord) const;
  // Reads a slot record of version 101 or 100 into this slot; fields the stream no longer
  // holds keep their values.
  void ReadFrom(int32_t version, TStream& s);
};

class TEmitterObject {
 public:
  TEmitterObject();
  ~TEmitterObject();
  TEmitterObject(const TEmitterObject&) = delete;
  TEmitterObject& operator=(const TEmitterObject&) = delete;

  tsxSOBJ* SceneObject = nullptr;
  TObjectId Id = NewObjectId();  // never reused
  std::string Name = "Emitter";
  uint8_t Enabled = 1;  // any value but 0 is on
  int32_t FrameOffset = 0;
  int32_t FreezeFrame = 0;  // 0: never freeze
  uint8_t WidthScaling = 0;
  uint8_t HeightScaling = 0;
  TVarSeries Visibility;
  std::vector<std::unique_ptr<TEmitter>> Systems;
  std::vector<tsxGNODE*> SurfaceSources;

  // A new slot "Particles", enabled, appended to Systems; the object owns it.
  TEmitter& AddSystem();
  // Destroys a slot; false when it is not one of this object's.
  bool DeleteSystem(const TEmitter* slot);

  float ToLocalFrame(float sceneFrame) const { return sceneFrame - static_cast<float>(FrameOffset); }
  float ToSceneFrame(float localFrame) const { return static_cast<float>(FrameOffset) + localFrame; }
  // Moves the host's scene time to the local frame (clamped at 0) and records it in SceneFrame.
  void SetSceneFrame(float localFrame);
  // Carries a point from where the object was at the freeze frame to where it is at the local
  // frame. Moves the host's time.
  TMx3f FrozenMotion(float localFrame);

  // Resets every slot, enabled or not, and marks it to start where the object stands.
  void ResetForRender();
  // The local frame a rendered scene frame steps this object to: the scene frame rounded, less
  // the frame offset, rounded; −1 when the object is not stepped there (disabled, before its
  // first local frame, or hidden by Visibility).
  double RenderedLocalFrame(double sceneFrame) const;
  // Steps the object for a scene frame exactly as RenderFrame does, without handing anything
  // over; false when it is not stepped there. Moves the host's time to the frame.
  bool StepForRender(double sceneFrame);
  // Rewinds this object alone (see the free RewindForRender).
  void RewindForRender();
  // For a rendered frame: steps every enabled slot to the host's frame and hands each stepped
  // system to submit (the renderer's hand-over; nothing for a bake). Skipped when the object is
  // disabled, before its first local frame, or hidden by Visibility. The tools act at the
  // stepped frame: the host's time is set to it and SceneFrame records it.
  void RenderFrame(const std::function<void(TParticleSystem&)>& submit);
  // Every polyhedron below the emitter's parent group, depth first.
  void CollectSurfaceSources();

  // The emitter record, version 101: the head (every field but the slots), then the slots.
  void WriteTo(TStream& s) const;
  // The head of the current record alone, and back; reading leaves the slots as they are.
  void WriteHead(TStream& s) const;
  void ReadHead(TStream& s);
  // Destroys every slot, then reads a record of version 101 or 100; any other version reads
  // nothing and leaves the object without slots.
  void ReadFrom(int32_t version, TStream& s);

  // A transform of the scene object at the host's current time; identity without one.
  TMx3f HostTransform() const;

 private:
  // Poses the scene at the local frame, collects the surface sources and steps the enabled
  // slots, handing each to submit when one is given.
  void StepSlots(double localFrame, const std::function<void(TParticleSystem&)>* submit);
};

// At render begin: resets every slot of every object, then re-simulates all objects together
// frame by frame, from scene frame 0 to the frame before the host's current one: at each frame
// the host's time is set to it and every object, in the given order, steps as a rendered frame
// steps it (StepForRender). The state at any frame is thus the same whether a render started
// there or reached it from an earlier start. The host's time is restored at the end.
// onFrame, when given, is called after each re-simulated scene frame, so that a long catch-up
// can show its progress.
void RewindForRender(std::span<TEmitterObject* const> objects, const std::function<void()>& onFrame = {});
// How many scene frames RewindForRender re-simulates at the host's current time.
int64_t RewindFrameCount();
