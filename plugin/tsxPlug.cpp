// The plug-in state, TTsx and the five exports. Nothing is thrown across the C boundary.
#include "plugin/tsxPlug.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "hostapi/CheckFpuState.h"

TPlugState& PlugState() {
  static TPlugState state;
  return state;
}

void EnsureStarted() {
  TPlugState& state = PlugState();
  if (state.Started || !state.StartUp) return;
  state.Started = true;
  state.StartUp();
}

void ResetPlugState() { PlugState() = TPlugState{}; }

TTsx::TTsx() { PlugState().OnPlugInit = nullptr; }

void TTsx::SetResBmpId(int32_t id) {
  ResBmpId_ = id;
  PlugState().BitmapId = id;
}

void TTsx::SetResStringId(int32_t id) {
  ResStringId_ = id;
  PlugState().StringId = id;
}

void TTsx::Load() {
  TPlugState& state = PlugState();
  state.Title = Title;
  state.Author = Author;
  state.ApiVersion = ApiVersionNeeded;
  state.OnPlugInit = OnPlugInit;
  state.OnLeftClick = OnLeftClick;
  state.OnRightClick = OnRightClick;
  state.OnDeactivate = OnDeactivate;
}

void* LookUpHostFunction(const char* name) {
  if (void* f = dlsym(RTLD_DEFAULT, name)) return f;
  // A host that loaded its library privately: find it through a function the module imports.
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&tsxSobjGetType), &info) == 0 || !info.dli_fname) return nullptr;
  void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (!library) return nullptr;
  void* f = dlsym(library, name);
  dlclose(library);
  return f;
}

tsxHWND MainViewHwnd() {
  using TFunc = tsxHWND (*)(void);
  // A host without the named function still has the imported one.
  static const TFunc func = [] {
    void* f = LookUpHostFunction("tsxGetMainViewHwnd");
    return f ? reinterpret_cast<TFunc>(f) : &tsxGetMainViewHwnd;
  }();
  return func();
}

TRegisterShaderFunc RegisterShaderFunc() {
  static const TRegisterShaderFunc func =
      reinterpret_cast<TRegisterShaderFunc>(LookUpHostFunction("tsxRegisterExternalShader"));
  return func;
}

std::string HostFolder() {
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  std::string exe(path.data(), static_cast<size_t>(n));
  const size_t slash = exe.find_last_of('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string DataFolderOf(const std::string& hostFolder) {
  return hostFolder.empty() ? std::string() : hostFolder + "Vantrel/";
}

namespace {

// Copies text into a fixed field, cut to leave room for its NUL.
void CopyField(char* field, size_t size, const std::string& text) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, size - n);
}

// Runs an export's work; a failure inside the plug-in stays inside it.
template <typename Work>
auto Contained(Work work, decltype(work()) onFailure) -> decltype(work()) {
  try {
    EnsureStarted();
    auto result = work();
    ClearFpuExceptions();
    return result;
  } catch (...) {
    ClearFpuExceptions();
    return onFailure;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int tsxGetVersion(void) {
  return Contained([] { return PlugState().ApiVersion; }, 430);
}

__attribute__((visibility("default"))) void tsxGetData(tsxPLUGINDATA* data, int pluginId) {
  Contained(
      [&] {
        TPlugState& state = PlugState();
        state.PluginId = pluginId;
        // A failing initialisation still leaves the host a filled record.
        try {
          if (state.OnPlugInit) state.OnPlugInit();
        } catch (...) {
        }
        if (data) {
          CopyField(data->title, sizeof data->title, state.Title);
          CopyField(data->author, sizeof data->author, state.Author);
          data->bitmapId = static_cast<uint16_t>(state.BitmapId);
          data->stringId = static_cast<uint16_t>(state.StringId);
        }
        return 0;
      },
      0);
}

__attribute__((visibility("default"))) int tsxOnLeftClick(void) {
  return Contained([] { return PlugState().OnLeftClick ? PlugState().OnLeftClick() : 0; }, 0);
}

__attribute__((visibility("default"))) void tsxOnRightClick(void) {
  Contained(
      [] {
        if (PlugState().OnRightClick) PlugState().OnRightClick();
        return 0;
      },
      0);
}

__attribute__((visibility("default"))) void tsxDeactivate(void) {
  Contained(
      [] {
        const TPlugState& state = PlugState();
        if (!state.ShuttingDown && state.OnDeactivate) state.OnDeactivate();
        return 0;
      },
      0);
}

}  // extern "C"
