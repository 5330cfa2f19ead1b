// Emitter objects and their slots: frame mapping, auto-scale, freezing, the final-render
// stepping, surface sources and the stored records.
#include "scene/EmitterObj.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/ParticleModifier.h"
#include "engine/Rounding.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "engine/TsxHelper.h"

namespace {

constexpr size_t SlotReservedSize = 112;
constexpr size_t OldSlotReservedSize = 128;
constexpr size_t EmitterReservedSize = 121;
constexpr size_t OldEmitterReservedSize = 126;
// The smallest a slot record can be: its thirty curve records without keys. Bounds a stored
// slot count by the bytes that remain.
constexpr uint64_t MinSlotRecordSize = 30 * 95;

}  // namespace

// ---- TEmitter ---------------------------------------------------------------------------------

TEmitter::TEmitter(TEmitterObject& owner) : Owner(owner) {
  System.Owner = this;
  System.OnEmit = [this](TParticleSystem& system, TParticle& p) { Emitter.InitParticle(system, p); };
  Emitter.SurfaceSources = &Owner.SurfaceSources;
}

TEmitter::~TEmitter() = default;

void TEmitter::UpdateFromHost(TParticleSystem& system) {
  Emitter.PreviousTransform = Emitter.CurrentTransform;
  Emitter.CurrentTransform = Owner.HostTransform();
  TMx3f rotation;
  TVec3f scale;
  UnMatrix3f(Emitter.CurrentTransform, rotation, scale);
  if (FreshStart) Emitter.PreviousTransform = Emitter.CurrentTransform;
  FreshStart = false;

  // A mirrored object carries a negative scale: its size still counts.
  const double w = std::sqrt(std::sqrt(std::fabs(static_cast<double>(scale.x) * scale.y)));
  const double h = std::sqrt(std::fabs(static_cast<double>(scale.z)));
  const float fw = static_cast<float>(w), fh = static_cast<float>(h);
  system.FlowScale = Owner.WidthScaling & WidthMoreParticles ? fw : 1.0f;
  system.SizeScale = Owner.WidthScaling & WidthBiggerParticles ? fw : 1.0f;
  system.SpeedScale = Owner.HeightScaling & HeightFasterParticles ? fh : 1.0f;
  system.LifeScale = Owner.HeightScaling & HeightOlderParticles ? fh : 1.0f;
  system.GravityScale = Owner.HeightScaling & HeightStrongerGravity ? fh : 1.0f;
}

bool TEmitter::StepInterrupted() { return tsxRenderCheckInterrupt() == 1; }

void TEmitter::CollectModifiers(TParticleSystem&, std::vector<TParticleModifier*>& list) {
  ::CollectModifiers(Owner.SceneObject, list);
}

void TEmitter::StepToFrame(double localFrame, bool followObject) {
  const double g = Owner.ToSceneFrame(static_cast<float>(localFrame));
  const int32_t f = Owner.FreezeFrame;
  if (f <= 0 || f > g) {
    System.StepTo(static_cast<float>(localFrame));
    return;
  }
  if (!followObject) return;
  const TMx3f m = Owner.FrozenMotion(static_cast<float>(localFrame));
  for (TParticle& p : System.Particles)
    if (p.Alive) TransformVect3f(p.DisplayPosition, p.RenderPosition, m);
}

void TEmitter::WriteTo(TStream& s, bool finalRecord) const {
  System.WriteVariables(s);
  Emitter.WriteVariables(s);
  System.SystemColors.SaveToStream(s);
  System.ParticleColors.SaveToStream(s);
  System.Maps.SaveToStream(s);
  WriteField(s, System.SystemLifespan);
  WriteField(s, System.SystemLives);
  WriteField(s, System.RenderMode);
  WriteField(s, System.MapMode);
  WriteField(s, System.MapCycleTime);
  WriteField(s, System.MapIndex);
  WriteField(s, static_cast<uint8_t>(Enabled ? 1 : 0));
  WriteText(s, ObjectNameLength, Name);
  WriteField(s, Emitter.EmitterRadius);
  WriteField(s, Emitter.EmitterShape);
  WriteField(s, System.ParticleColorMode);
  WriteField(s, Emitter.FocusShape);
  WriteField(s, System.SystemColorMode);
  WriteField(s, System.MaxParticleSize);
  WriteField(s, System.SpatialDither);
  if (!finalRecord) WriteZeros(s, SlotReservedSize);
}

void TEmitter::ReadFrom(int32_t version, TStream& s) {
  const bool current = version == EmitterRecordVersion;
  System.ReadVariables(s);
  Emitter.ReadVariables(s);
  if (current) System.SystemColors.LoadFromStream(s);
  System.ParticleColors.LoadFromStream(s);
  System.Maps.LoadFromStream(s);

  // The fixed part: each field read keeps its old value when the stream ends before it.
  ReadField(s, System.SystemLifespan);
  ReadField(s, System.SystemLives);
  ReadField(s, System.RenderMode);
  ReadField(s, System.MapMode);
  ReadField(s, System.MapCycleTime);
  ReadField(s, System.MapIndex);
  uint8_t enabled = Enabled ? 1 : 0;
  if (ReadField(s, enabled)) Enabled = enabled != 0;
  ReadText(s, ObjectNameLength, Name);
  ReadField(s, Emitter.EmitterRadius);
  ReadField(s, Emitter.EmitterShape);
  ReadField(s, System.ParticleColorMode);
  if (!current) {
    s.Skip(OldSlotReservedSize);
    return;
  }
  ReadField(s, Emitter.FocusShape);
  ReadField(s, System.SystemColorMode);
  int32_t maxSize = System.MaxParticleSize;
  if (ReadField(s, maxSize)) System.MaxParticleSize = maxSize < 256 ? DefaultMaxParticleSize : maxSize;
  ReadField(s, System.SpatialDither);
  s.Skip(SlotReservedSize);
}

// ---- TEmitterObject -----------------------------------------------------------------------------

TEmitterObject::TEmitterObject() : Visibility(XKindFrames, -0.5, 1.5, ClampBoth) {
  Visibility.ValueStep = 1.0;
  Visibility.AddKey(0, 1.0);
  Visibility.AddKey(FarKeyX, 1.0);
}

TEmitterObject::~TEmitterObject() = default;

TEmitter& TEmitterObject::AddSystem() {
  Systems.push_back(std::make_unique<TEmitter>(*this));
  return *Systems.back();
}

bool TEmitterObject::DeleteSystem(const TEmitter* slot) {
  const auto it = std::find_if(Systems.begin(), Systems.end(),
                               [slot](const std::unique_ptr<TEmitter>& e) { return e.get() == slot; });
  if (it == Systems.end()) return false;
  Systems.erase(it);
  return true;
}

TMx3f TEmitterObject::HostTransform() const {
  return ObjectTransform(SceneObject);
}

void TEmitterObject::SetSceneFrame(float localFrame) {
  if (!SceneObject) return;
  float t = static_cast<float>(FrameOffset) + localFrame;
  if (t < 0) t = 0;
  tsxAnimSetActiveTimeScene(t);
  SceneFrame = t;
}

TMx3f TEmitterObject::FrozenMotion(float localFrame) {
  SetSceneFrame(static_cast<float>(FreezeFrame));
  TMx3f inverse;
  InvertMx3f(inverse, HostTransform());
  SetSceneFrame(localFrame);
  TMx3f result;
  XProdMx3f(result, HostTransform(), inverse);
  return result;
}

void TEmitterObject::ResetForRender() {
  for (auto& slot : Systems) {
    slot->System.Reset();
    slot->FreshStart = true;
  }
}

double TEmitterObject::RenderedLocalFrame(double sceneFrame) const {
  if (!Enabled) return -1;
  const double local = RoundHalfEven(RoundHalfEven(sceneFrame) - FrameOffset);
  if (!(local >= 0)) return -1;
  if (Visibility.Evaluate(local) == 0) return -1;
  return local;
}

void TEmitterObject::StepSlots(double localFrame, const std::function<void(TParticleSystem&)>* submit) {
  // The frame being stepped is the one the tools are posed at: the host's time moves there (it
  // is there already unless the object was just rewound or frozen) and SceneFrame records it.
  if (SceneObject)
    SetSceneFrame(static_cast<float>(localFrame));
  else
    SceneFrame = std::max(0.0f, ToSceneFrame(static_cast<float>(localFrame)));
  CollectSurfaceSources();
  for (auto& slot : Systems) {
    if (!slot->Enabled) continue;
    slot->StepToFrame(localFrame, true);
    if (submit && *submit) (*submit)(slot->System);
  }
}

bool TEmitterObject::StepForRender(double sceneFrame) {
  const double local = RenderedLocalFrame(sceneFrame);
  if (local < 0) return false;
  StepSlots(local, nullptr);
  return true;
}

void TEmitterObject::RewindForRender() {
  TEmitterObject* self = this;
  ::RewindForRender(std::span<TEmitterObject* const>(&self, 1));
}

void TEmitterObject::RenderFrame(const std::function<void(TParticleSystem&)>& submit) {
  const double local = RenderedLocalFrame(tsxAnimGetActiveTime());
  if (local < 0) return;

  TPlatform& platform = Platform();
  struct Restore {
    TPlatform& platform;
    ~Restore() {
      platform.SetBusyCursor(false);
      platform.SetStatusText("");
    }
  } restore{platform};
  platform.SetBusyCursor(true);
  platform.SetStatusText("Preparing animation...");
  StepSlots(local, &submit);
}

int64_t RewindFrameCount() { return std::max<int64_t>(0, RoundToInt64(tsxAnimGetActiveTime())); }

void RewindForRender(std::span<TEmitterObject* const> objects, const std::function<void()>& onFrame) {
  for (TEmitterObject* object : objects) object->ResetForRender();
  if (objects.empty()) return;
  const float hostTime = tsxAnimGetActiveTime();
  const int64_t n = RoundToInt64(hostTime);
  // Frame-major, as a running render steps them: every object reaches a frame before any
  // reaches the next, and the host's time is at each frame as the host would set it.
  // A large negative frame offset or a late first frame asks for every frame since: a catch-up
  // that can take hours stops at the host's interrupt, leaving the systems where it got to.
  for (int64_t frame = 0; frame < n; ++frame) {
    if (tsxRenderCheckInterrupt() == 1) break;
    const float f = static_cast<float>(frame);
    tsxAnimSetActiveTimeScene(f);
    SceneFrame = f;
    for (TEmitterObject* object : objects) object->StepForRender(f);
    if (onFrame) onFrame();
  }
  if (n > 0) tsxAnimSetActiveTimeScene(hostTime);
}

void TEmitterObject::CollectSurfaceSources() {
  SurfaceSources.clear();
  if (!SceneObject) return;
  tsxGNODE* parent = tsxGNodeGetParent(SceneObject);
  if (!parent) return;
  const std::function<void(tsxGNODE*)> visit = [&](tsxGNODE* node) {
    if (tsxSobjGetType(node) < tsxTYPE_GROUP) return;
    for (tsxGNODE* child = tsxGNodeGetFirstChild(node); child; child = tsxGNodeGetNext(child)) {
      if (tsxSobjGetType(child) == tsxTYPE_POLYHEDRON) SurfaceSources.push_back(child);
      visit(child);
    }
  };
  visit(parent);
}

void TEmitterObject::WriteHead(TStream& s) const {
  WriteText(s, ObjectNameLength, Name);
  WriteField(s, FrameOffset);
  Visibility.WriteTo(s);
  WriteField(s, WidthScaling);
  WriteField(s, HeightScaling);
  WriteField(s, Enabled);
  WriteField(s, FreezeFrame);
  WriteZeros(s, EmitterReservedSize);
}

void TEmitterObject::ReadHead(TStream& s) {
  ReadText(s, ObjectNameLength, Name);
  ReadField(s, FrameOffset);
  Visibility.ReadFrom(s);
  ReadField(s, WidthScaling);
  ReadField(s, HeightScaling);
  uint8_t enabled = Enabled;
  if (ReadField(s, enabled)) {
    const int8_t signedValue = static_cast<int8_t>(enabled);
    Enabled = std::abs(signedValue) > 1 ? 1 : enabled;
  }
  ReadField(s, FreezeFrame);
  s.Skip(EmitterReservedSize);
}

void TEmitterObject::WriteTo(TStream& s) const {
  WriteHead(s);
  WriteField(s, static_cast<int32_t>(Systems.size()));
  for (size_t i = 0; i < Systems.size(); ++i) Systems[i]->WriteTo(s, i + 1 == Systems.size());
}

void TEmitterObject::ReadFrom(int32_t version, TStream& s) {
  Systems.clear();
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion) return;
  if (version == EmitterRecordVersion) {
    ReadHead(s);
  } else {
    ReadText(s, ObjectNameLength, Name);
    ReadField(s, FrameOffset);
    Visibility.ReadFrom(s);
    ReadField(s, WidthScaling);
    ReadField(s, HeightScaling);
    s.Skip(OldEmitterReservedSize);
  }
  int32_t count = 0;
  if (!ReadField(s, count) || count <= 0) return;
  // A slot count never creates slots for which not a byte remains.
  const uint64_t bound = (s.Remaining() + MinSlotRecordSize - 1) / MinSlotRecordSize;
  // Slots beyond the most an emitter holds stay unread, and their bytes are reported as left over.
  const uint64_t n = std::min<uint64_t>({static_cast<uint64_t>(count), bound, uint64_t{MaxSystemsPerEmitter}});
  for (uint64_t i = 0; i < n; ++i) AddSystem().ReadFrom(version, s);
}
