// The scene-wide particle budget.
#include "engine/ParticleBudget.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "engine/Particle.h"

size_t TParticleBudget::Take(size_t n) {
  const size_t left = Used < Limit ? Limit - Used : 0;
  const size_t granted = n < left ? n : left;
  if (granted < n) Reached = true;
  Used += granted;
  return granted;
}

size_t ParticleSlotsForMB(size_t megabytes) {
  const size_t bytes = megabytes > SIZE_MAX / (size_t{1} << 20) ? SIZE_MAX : megabytes << 20;
  return bytes / sizeof(TParticle);
}

size_t MegabytesFromEnvironment(const char* variable, size_t fallback, size_t least, std::string* error) {
  const char* text = std::getenv(variable);
  if (!text) return fallback;
  size_t mb = 0;
  const char* end = text + std::strlen(text);
  const auto [at, ec] = std::from_chars(text, end, mb);
  if (ec != std::errc() || at != end || mb < least || mb > (size_t{1} << 30)) {
    if (error)
      *error = std::string(variable) + "=\"" + text + "\" is not a number of megabytes from " + std::to_string(least) +
               " to 1073741824; using " + std::to_string(fallback);
    return fallback;
  }
  return mb;
}

size_t ParticleMemoryMBFromEnvironment(std::string* error) {
  return MegabytesFromEnvironment(ParticleMemoryVariable, DefaultParticleMemoryMB, 1, error);
}
