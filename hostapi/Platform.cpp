// The program-wide platform and the headless clock.
#include "hostapi/Platform.h"

#include <chrono>
#include <thread>

namespace {
std::unique_ptr<TPlatform> Installed;
}  // namespace

TDrawSurface* THeadlessPlatform::ViewSurface(void*) {
  if (RefuseSurface) return nullptr;
  ++SurfacesHeld;
  return &Surface;
}

void THeadlessPlatform::ReleaseViewSurface(void*, TDrawSurface* surface) {
  if (surface == &Surface && SurfacesHeld > 0) --SurfacesHeld;
}

void THeadlessPlatform::Sleep(uint32_t ms) {
  SleptMs += ms;
  if (ManualClock)
    Ticks += ms;
  else
    TPlatform::Sleep(ms);
}

uint32_t THeadlessPlatform::TickCount() {
  if (ManualClock) return Ticks;
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TPlatform& Platform() {
  if (!Installed) Installed = std::make_unique<THeadlessPlatform>();
  return *Installed;
}

std::unique_ptr<TPlatform> InstallPlatform(std::unique_ptr<TPlatform> platform) {
  if (!platform) platform = std::make_unique<THeadlessPlatform>();
  std::swap(Installed, platform);
  return platform;
}
