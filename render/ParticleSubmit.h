// The submission of a particle system's visible particles to the renderer.
#pragma once

class TParticleSystem;
class TParticleRenderer;

// Queues every live particle of the system whose Visibility is not 0, projected into render
// pixels, with the renderer, refreshing the projection cache once. The first form uses the
// program's renderer and does nothing without one.
void SubmitParticles(TParticleSystem& system);
void SubmitParticles(TParticleSystem& system, TParticleRenderer& renderer);
