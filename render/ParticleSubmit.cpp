// The particle system's side of rendering: the per-frame look of a particle and the
// submission of its visible particles to the renderer.
#include "engine/Particle.h"
#include "render/Projection.h"
#include "render/Render.h"

void TParticleSystem::ComputeRenderAttributes(int index, TRenderAttributes& attributes) {
  const TParticle& p = Particles[static_cast<size_t>(index)];
  const double a = static_cast<double>(LifeFraction(index)) * 100.0;

  if (ParticleColorMode == ColorModeRandom)
    attributes.Color = p.Color;
  else
    ParticleColors.ColorAt(a, attributes.Color);
  const double intensity = Intensity.Evaluate(a);
  attributes.Color.r = static_cast<float>(attributes.Color.r * intensity);
  attributes.Color.g = static_cast<float>(attributes.Color.g * intensity);
  attributes.Color.b = static_cast<float>(attributes.Color.b * intensity);

  attributes.Size = static_cast<float>(Size.Evaluate(a) * p.Size);
  attributes.Options = Maps.OptionsAt(ImageIndexOf(index));
  attributes.Alpha = static_cast<float>(Alpha.Evaluate(a) * p.Alpha);
}

void TParticleSystem::SubmitParticles() {
  if (TParticleRenderer* renderer = Renderer()) SubmitParticles(*renderer);
}

void TParticleSystem::SubmitParticles(TParticleRenderer& renderer) {
  // The host's matrices are read once per system and frame.
  TVec3f unused;
  WorldToRender(ZeroVec3f, unused, true);

  for (size_t i = 0; i < Particles.size(); ++i) {
    TParticle& p = Particles[i];
    if (!p.Alive) continue;
    if (Visibility.Evaluate(100.0 * static_cast<double>(LifeFractionOf(p))) == 0) continue;
    p.System = this;
    p.Index = static_cast<int32_t>(i);
    WorldToRender(p.RenderPosition, p.ScreenPos, false);
    renderer.AddParticle(p);
  }
}
