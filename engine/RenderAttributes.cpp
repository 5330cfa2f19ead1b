// A particle's look in one frame, computed by its system for the renderer and the preview.
#include "engine/RenderAttributes.h"

#include "engine/Particle.h"

void TParticleSystem::ComputeRenderAttributes(int index, TRenderAttributes& attributes) {
  PrepareRenderAttributes();
  RenderAttributesOf(Particles[static_cast<size_t>(index)], attributes);
}

void TParticleSystem::PrepareRenderAttributes() {
  if (MapMode == MapCycle && MapCycleTime < 1) MapCycleTime = 1;
}

void TParticleSystem::RenderAttributesOf(const TParticle& p, TRenderAttributes& attributes) const {
  const double a = static_cast<double>(LifeFractionOf(p)) * 100.0;

  if (ParticleColorMode == ColorModeRandom)
    attributes.Color = p.Color;
  else
    ParticleColors.ColorAt(a, attributes.Color);
  const double intensity = Intensity.Evaluate(a);
  attributes.Color.r = static_cast<float>(attributes.Color.r * intensity);
  attributes.Color.g = static_cast<float>(attributes.Color.g * intensity);
  attributes.Color.b = static_cast<float>(attributes.Color.b * intensity);

  attributes.Size = static_cast<float>(Size.Evaluate(a) * p.Size);
  attributes.Options = Maps.OptionsAt(ImageIndexAt(p));
  attributes.Alpha = static_cast<float>(Alpha.Evaluate(a) * p.Alpha);
}
