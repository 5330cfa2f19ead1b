// The submission of a particle system's visible particles to the renderer.
#include "render/ParticleSubmit.h"

#include "engine/Particle.h"
#include "render/Projection.h"
#include "render/Render.h"

void SubmitParticles(TParticleSystem& system) {
  if (TParticleRenderer* renderer = Renderer()) SubmitParticles(system, *renderer);
}

void SubmitParticles(TParticleSystem& system, TParticleRenderer& renderer) {
  // The host's matrices are read once per system and frame.
  TVec3f unused;
  WorldToRender(ZeroVec3f, unused, true);

  for (size_t i = 0; i < system.Particles.size(); ++i) {
    TParticle& p = system.Particles[i];
    if (!p.Alive) continue;
    if (system.Visibility.Evaluate(100.0 * static_cast<double>(system.LifeFractionOf(p))) == 0) continue;
    p.System = &system;
    p.Index = static_cast<int32_t>(i);
    WorldToRender(p.RenderPosition, p.ScreenPos, false);
    renderer.AddParticle(p);
  }
}
