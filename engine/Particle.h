// A particle system: the particle-level property curves, the flow and the render settings of
// one stream of particles, its pool of particle records, and the frame-by-frame step that ages,
// emits, moves and shows them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <functional>
#include <vector>

#include "engine/VarSeries.h"
#include "engine/VectorData.h"
#include "engine/ColorSeries.h"
#include "engine/ColorSpaces.h"
#include "engine/ParticleBudget.h"
#include "engine/ParticleMapSource.h"
#include "engine/ParticleModifier.h"

class TParticleSystem;
class TWorkerPool;
struct TRenderAttributes;

// One pool slot. The field order is the record's.
struct TParticle {
  float Mass = 0;
  TVec3f Position;
  TVec3f Velocity;       // gathered from gravity and tools, units per frame
  TVec3f GravityVec;     // (0, 0, g) per frame
  TVec3f Reserved0;
  TVec3f BaseVelocity;   // emission velocity, scaled each frame by the Speed curve
  TColorVector Color;    // birth colour
  float Alpha = 0;
  float Size = 0;
  float Lifespan = 0;    // frames
  float VortexAngle = 0; // radians about Axis through Origin
  float VortexSpeed = 0; // a tenth of it is added to VortexAngle per frame
  float Angle = 0;       // degrees, within (−360, 360)
  float Spin = 0;        // degrees per frame
  int32_t Reserved1 = 0;
  int32_t MapIndex = 0;
  TParticleSystem* System = nullptr;  // set when handed to the renderer
  int32_t Index = 0;
  bool Alive = false;
  float Birth = 0;
  TVec3f Origin;
  TVec3f Axis;
  TVec3f Direction;
  TVec3f PrevPosition;
  TVec3f DisplayPosition;
  TVec3f RenderPosition;
  TVec3f ScreenPos;
};

// What a system asks of whoever owns it at the start of every step. With no owner, a step
// changes no scale factor and gathers no tool.
class TParticleSystemOwner {
 public:
  virtual ~TParticleSystemOwner() = default;
  // Refreshes the emitter's transforms and the system's five scale factors.
  virtual void UpdateFromHost(TParticleSystem& system) = 0;
  // Appends the tools that act during this step, updating each one's pose.
  virtual void CollectModifiers(TParticleSystem& system, std::vector<TParticleModifier*>& list) = 0;
  // Asked before every frame after the first of a step over several frames (a catch-up, which a
  // huge frame offset can make last for days): true stops the step where it got to.
  virtual bool StepInterrupted() { return false; }
};

enum TMapMode : int32_t { MapFixed = 0, MapRandom = 1, MapCycle = 2 };
enum TRenderMode : int32_t { RenderPureAlpha = 0, RenderIlluminate = 1, RenderPaint = 2, RenderColorAlpha = 3 };
enum TColorMode : int32_t { ColorModeGradient = 0, ColorModeRandom = 1 };

constexpr int32_t DefaultMaxParticleSize = 2048;
// Upper bound on a pool's slots: a damaged flow can ask for any number, and a host must not be
// brought down by it. Emission beyond it waits for slots to free up.
constexpr size_t MaxPoolSlots = size_t{1} << 22;

class TParticleSystem : public TVariableSystem {
 public:
  TParticleSystem();
  ~TParticleSystem() override;

  // Particle-level curves (x: percent of life), then the system-level ones (x: frames).
  TVarSeries& Size;
  TVarSeries& Speed;
  TVarSeries& Orientation;
  TVarSeries& Gravity;
  TVarSeries& Alpha;
  TVarSeries& Intensity;
  TVarSeries& Visibility;
  TVarSeries& Flow;
  TVarSeries& FlowJitter;

  int32_t SystemLifespan = 0;  // frames; 0 = no limit
  int32_t SystemLives = 0;     // 0 = no limit
  int32_t MapMode = MapFixed;
  int32_t MapCycleTime = 0;
  int32_t MapIndex = 0;
  int32_t RenderMode = RenderPureAlpha;
  int32_t ParticleColorMode = ColorModeGradient;
  int32_t SystemColorMode = ColorModeGradient;
  int32_t MaxParticleSize = DefaultMaxParticleSize;
  float SpatialDither = 0;

  // The base colour of new particles over the system's time (positions in frames), the colour
  // over a particle's life (positions in percent), and the particles' image maps.
  TColorSeries SystemColors;
  TColorSeries ParticleColors;
  TParticleMapSource Maps;

  static constexpr float TimeStep = 1.0f;
  float FlowScale = 1, SpeedScale = 1, GravityScale = 1, LifeScale = 1, SizeScale = 1;

  TParticle Template;  // all zero; copied into each new particle before OnEmit
  std::function<void(TParticleSystem&, TParticle&)> OnEmit;
  TParticleSystemOwner* Owner = nullptr;

  // Run state.
  float Time = 0;
  float LocalTime = 0;
  int32_t LiveCount = 0;
  float EmitCarry = 0;
  std::vector<TParticle> Particles;
  // The scene's budget the pool draws on, set by the emitter manager for a render (not owned; the
  // manager outlives its systems). Without one, only MaxPoolSlots bounds the pool.
  TParticleBudget* Budget = nullptr;
  std::vector<TParticleModifier*> StepModifiers;  // only while a step runs
  // The threads a step may use (not owned; set by whoever steps the system, and outliving it).
  // None, a pool of one thread, or fewer live particles than the pool's ParallelStepMinimum: the
  // whole step on the calling thread. Any count of threads gives the same particles, the same
  // draws and the same generator state afterwards, bit for bit.
  TWorkerPool* Workers = nullptr;

  void Reset();
  // Puts the system back at a moment of a run kept elsewhere (a cache of stepped frames): its
  // time, its emission carry and its pool exactly as they were, so that stepping on from here
  // repeats that run. The pool's slots are counted against the budget in place of the old ones.
  void RestoreRun(float time, float localTime, int32_t liveCount, float emitCarry,
                  const std::vector<TParticle>& particles);
  // Advances whole frames until Time reaches target (rounded half to even). An earlier target
  // changes nothing and sounds the alert beep. Failures outside emission propagate after the
  // step's tools are released.
  void StepTo(float target);

  void UpdateSystemLife();
  void KillExpired();
  void Emit();
  // Adds max(n, 100) dead slots, never beyond MaxPoolSlots nor what the budget grants; throws
  // EVantrelError when no slot can be added or the memory cannot be had (the budget records
  // which, for the manager to report).
  void GrowPool(int64_t n);
  void UpdateParticles();

  // (Time − Birth) / Lifespan; 0 for a lifespan of 0 or less (such a particle lives only the
  // frame it is born in, and is shown there as at the start of its life).
  float LifeFraction(int index) const { return LifeFractionOf(Particles[static_cast<size_t>(index)]); }
  float Age(int index) const { return Time - Particles[static_cast<size_t>(index)].Birth; }
  float LifeFractionOf(const TParticle& p) const {
    return p.Lifespan > 0 ? (Time - p.Birth) / p.Lifespan : 0.0f;
  }

  // The entry of Maps the particle shows this frame: its birth index, advanced in Cycle mode by
  // round(Age / MapCycleTime) (half to even) modulo the number of entries. A MapCycleTime below 1
  // is stored as 1 when a cycling system first needs it. The result may lie outside the list
  // (entries deleted after birth); ImageAt and OptionsAt then use entry 0.
  int32_t ImageIndexOf(int index);
  // What the renderer and the preview need of a particle this frame: colour (its own in
  // "Random Color" mode, else the Particle Color gradient at its age) times Intensity, Size and
  // Alpha curves times its own size and alpha, and the options of its image.
  void ComputeRenderAttributes(int index, TRenderAttributes& attributes);
  // The same in two parts, for passes that compute attributes on several threads: what
  // ComputeRenderAttributes stores in the system (a MapCycleTime below 1 becomes 1), once per
  // frame; then the attributes themselves, which change nothing.
  void PrepareRenderAttributes();
  void RenderAttributesOf(const TParticle& p, TRenderAttributes& attributes) const;
  int32_t ImageIndexAt(const TParticle& p) const;

 private:
  // One particle's move; draws its dither value from seed, and lets the tools work on lanes
  // (one per step modifier). Changes nothing but the particle, seed and the lanes.
  void UpdateParticle(TParticle& p, uint32_t& seed, TToolLane* lanes) const;
  void UpdateRange(size_t begin, size_t end, uint32_t& seed, TToolLane* lanes);
  void UpdateOnCaller();
  // The frame's particles in chunks on the workers; false (nothing done) when the tools make
  // the order of particles matter across chunks in this frame.
  bool UpdateInChunks();
  bool UseWorkers(size_t work) const;
  template <typename F>
  void RunOnEvenSlots(F&& chunkTask);
  template <typename F>
  void RunSplit(F&& chunkTask);
  size_t ChunkCount() const;
  void CountChunks();

  // Per chunk of the pool (StepChunkSlots slots): the live particles, kept exact from
  // KillExpired through Emit to UpdateParticles, so that emission skips full chunks and the
  // update knows where each chunk's draws start without counting again.
  struct TChunk {
    int32_t Live = 0;
    int32_t Killed = 0;
    uint32_t Seed = 0;
  };
  std::vector<TChunk> Chunks_;
  bool ChunksFresh_ = false;
  std::vector<TToolLane> Lanes_;  // chunks × step modifiers, reused frame after frame
  std::vector<size_t> Splits_;    // per thread, the first chunk of its run (and the end)
  std::unique_ptr<std::atomic<size_t>[]> Cursors_;  // per thread, the next chunk of its run
  size_t CursorCount_ = 0;
};

// Pool slots per chunk of a step on several threads.
constexpr size_t StepChunkSlots = 1024;
