// The host's start-up of a plug-in module on this platform.
#include "stage/cli/PluginLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <system_error>

namespace stage::cli {

namespace {

std::string Field(const char* text, size_t size) {
  return std::string(text, strnlen(text, size));
}

// dlsym answers void*; the exports are functions, which POSIX lets us convert to.
template <typename F>
F Export(void* module, const char* name, const std::filesystem::path& path) {
  dlerror();
  void* symbol = dlsym(module, name);
  if (!symbol)
    throw EPluginError("Plug-in " + path.string() + " does not export " + name +
                       " (is it a Vantrel plug-in?)");
  return reinterpret_cast<F>(symbol);
}

}  // namespace

void ReadPluginRecord(const tsxPLUGINDATA& record, TPluginInfo& info) {
  info.Title = Field(record.title, sizeof record.title);
  info.Author = Field(record.author, sizeof record.author);
  info.BitmapId = record.bitmapId;
  info.StringId = record.stringId;
}

TPluginInfo LoadPlugin(const std::filesystem::path& path, int pluginId, bool click) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
    throw EPluginError("Plug-in not found: " + path.string() +
                       " (build the target vantrel.tsx, or say where it is with --plugin PATH)");

  // Bound at once, so that a missing host function is reported here and not mid-render. The
  // program exports its own symbols (ENABLE_EXPORTS), so the module's references to code both
  // hold, the platform the plug-in reports its status through above all, bind to the program's
  // copy. The handle is kept open for good.
  // A bare file name ("mine.tsx") means the file in the working folder, as for any other file
  // the program is given; the loader itself would look for it only in the library folders.
  const std::filesystem::path file = path.has_parent_path() ? path : std::filesystem::absolute(path, ec);
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    throw EPluginError("Cannot load plug-in " + path.string() + ": " + (why ? why : "unknown error"));
  }

  // Every export is looked up before any is called: a module lacking one is not started at all.
  const auto getVersion = Export<tsxGETVERSIONFUNC>(module, "tsxGetVersion", path);
  const auto getData = Export<tsxGETDATAFUNC>(module, "tsxGetData", path);
  const auto onLeftClick = Export<tsxONLEFTCLICKFUNC>(module, "tsxOnLeftClick", path);
  Export<tsxONRIGHTCLICKFUNC>(module, "tsxOnRightClick", path);
  Export<tsxDEACTIVATEFUNC>(module, "tsxDeactivate", path);

  TPluginInfo info;
  info.Path = path;
  info.Version = getVersion();
  tsxPLUGINDATA record;
  std::memset(&record, 0, sizeof record);
  getData(&record, pluginId);
  ReadPluginRecord(record, info);
  if (click) info.LeftClickResult = onLeftClick();
  return info;
}

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("Cannot find the program's folder (/proc/self/exe): " + ec.message());
  return self.parent_path();
}

std::filesystem::path DefaultPluginPath() { return ExecutableFolder() / "vantrel.tsx"; }

}  // namespace stage::cli
