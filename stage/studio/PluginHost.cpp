// The studio's start-up of the plug-in.
#include "stage/studio/PluginHost.h"

#include <dlfcn.h>

#include "stage/cli/PluginLoader.h"

namespace stage::studio {

TPluginExports LoadStudioPlugin(const std::filesystem::path& path) {
  const cli::TPluginInfo info = cli::LoadPlugin(path, cli::CliPluginId, /*click=*/false);
  // The loader keeps the module open for good; this only finds it again.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  TPluginExports exports;
  if (!module) return exports;
  exports.OnLeftClick = reinterpret_cast<int (*)()>(dlsym(module, "tsxOnLeftClick"));
  exports.OnRightClick = reinterpret_cast<void (*)()>(dlsym(module, "tsxOnRightClick"));
  exports.OnDeactivate = reinterpret_cast<void (*)()>(dlsym(module, "tsxDeactivate"));
  exports.Title = QString::fromStdString(info.Title);
  dlclose(module);  // drops the reference NOLOAD took; the loader's stays
  return exports;
}

}  // namespace stage::studio
