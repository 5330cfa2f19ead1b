// The program-wide platform and the headless clock.
#include "hostapi/Platform.h"

#include <chrono>

namespace {
std::unique_ptr<TPlatform> Installed;
}  // namespace

uint32_t THeadlessPlatform::TickCount() {
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
