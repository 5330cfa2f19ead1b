// The particle memory of a whole scene: one budget of pool slots shared by every system the
// emitter manager steps for a render, so that several systems with an absurd flow cannot take
// the machine's memory between them (each system is also capped at MaxPoolSlots on its own).
// Reaching the budget or failing to allocate is recorded here for the manager to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The default budget in megabytes of particle records: room for two systems at their own cap.
constexpr size_t DefaultParticleMemoryMB = 2048;
// The environment variable that sets the budget, in megabytes (a whole number from 1).
constexpr const char* ParticleMemoryVariable = "VANTREL_PARTICLE_MEMORY";

struct TParticleBudget {
  size_t Limit = 0;  // slots
  size_t Used = 0;   // slots held by the pools of the systems that draw on the budget
  bool Reached = false;
  bool AllocationFailed = false;

  // Takes up to n slots; answers how many were granted. None left marks the budget reached.
  size_t Take(size_t n);
  // Slots a pool let go of (its system reset or destroyed).
  void Give(size_t n) { Used -= n < Used ? n : Used; }
};

// The budget in slots for a number of megabytes of particle records.
size_t ParticleSlotsForMB(size_t megabytes);
// The megabytes VANTREL_PARTICLE_MEMORY asks for, DefaultParticleMemoryMB when it is not set;
// a value that is not a whole number from 1 sets *error to a message and gives the default.
size_t ParticleMemoryMBFromEnvironment(std::string* error);
// The megabytes an environment variable asks for: fallback when it is not set; a value that is
// not a whole number from least to 2^30 sets *error to a message and gives fallback.
size_t MegabytesFromEnvironment(const char* variable, size_t fallback, size_t least, std::string* error);
