// The built plug-in module loaded and started as a host starts it: tsxGetVersion, tsxGetData
// and the first left click (which switches final rendering on). One module per process.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "hostapi/TsxApi5.h"

// The module's handle, or null (with the test failed) when it cannot be loaded or lacks an
// entry point.
inline void* StartPluginModule(const char* path) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    ADD_FAILURE() << dlerror();
    return nullptr;
  }
  auto getVersion = reinterpret_cast<tsxGETVERSIONFUNC>(dlsym(module, "tsxGetVersion"));
  auto getData = reinterpret_cast<tsxGETDATAFUNC>(dlsym(module, "tsxGetData"));
  auto leftClick = reinterpret_cast<tsxONLEFTCLICKFUNC>(dlsym(module, "tsxOnLeftClick"));
  if (!getVersion || !getData || !leftClick) {
    ADD_FAILURE() << path << " lacks an entry point";
    return nullptr;
  }
  getVersion();
  tsxPLUGINDATA record;
  std::memset(&record, 0, sizeof record);
  getData(&record, 1);
  leftClick();
  return module;
}
