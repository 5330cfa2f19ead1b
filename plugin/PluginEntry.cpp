// What makes vantrel.tsx a loaded module: the start-up hook the exports run at their first call
// (the module's objects are then made after every static object of the module, and go before
// them), and the choice of platform. A host whose windowing system is Qt (tsxHostWindowSystem
// answers "qt") gets the Qt platform from vantrel-qt.so in the data folder beside the module,
// and the main panel's view, which that module makes over the controller handed to it; any other
// host, or a Qt host where that module cannot be loaded, the platform of a host without a
// desktop (messages go to the host or the standard error) and no panel.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"

namespace {

using THostText = void (*)(const char*);

THostText HostFunction(const char* name) {
  return reinterpret_cast<THostText>(dlsym(RTLD_DEFAULT, name));
}

// A host without windows: the status line and the messages go to the host when it takes them
// (the stage's command line shows them with its progress), else messages are printed. Both are
// still recorded.
class TConsolePlatform : public THeadlessPlatform {
 public:
  void ShowMessage(const std::string& text) override {
    THeadlessPlatform::ShowMessage(text);
    if (ShowHostMessage)
      ShowHostMessage(text.c_str());
    else
      std::fprintf(stderr, "Vantrel: %s\n", text.c_str());
  }
  // Nobody can answer a question here: it is answered No, and shown as a message, so that a
  // render that went on without what was asked about (a picture it could not find) is not
  // taken for a good one.
  bool Confirm(const std::string& text) override {
    THeadlessPlatform::Confirm(text);
    ShowMessage(text + " No: there is no one to answer here.");
    return false;
  }
  void SetStatusText(const std::string& text) override {
    THeadlessPlatform::SetStatusText(text);
    if (ShowHostStatus) ShowHostStatus(text.c_str());
  }

 private:
  THostText ShowHostMessage = HostFunction("tsxHostShowMessage");
  THostText ShowHostStatus = HostFunction("tsxHostShowStatus");
};

using TWindowSystemFunc = const char* (*)();
using TCreatePlatformFunc = TPlatform* (*)();
using TCreatePanelFunc = TMainPanelView* (*)(TMainPanelController*);

// The folder this module was loaded from, with a trailing '/'; empty when the loader does not say.
std::string ModuleFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&HostFunction), &info) || !info.dli_fname) return {};
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// What vantrel-qt.so offers: the platform, and the maker of the main panel's view.
struct TQtModule {
  std::unique_ptr<TPlatform> Platform;
  TCreatePanelFunc CreatePanel = nullptr;
};

// The Qt module in a Qt host; without a platform (with the reason in why) where there is none to
// have.
TQtModule QtModule(std::string& why) {
  const auto windowSystem = reinterpret_cast<TWindowSystemFunc>(dlsym(RTLD_DEFAULT, "tsxHostWindowSystem"));
  const char* name = windowSystem ? windowSystem() : nullptr;
  if (!name || std::string(name) != "qt") return {};
  const std::string path = DataFolderOf(ModuleFolder()) + "vantrel-qt.so";
  // Never unloaded: the platform's code lives in it for the rest of the program.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!module) {
    const char* error = dlerror();
    why = "The Qt windowing module cannot be loaded (" + std::string(error ? error : path) + ")";
    return {};
  }
  const auto create = reinterpret_cast<TCreatePlatformFunc>(dlsym(module, "vantrelCreateQtPlatform"));
  TQtModule qt;
  qt.Platform.reset(create ? create() : nullptr);
  if (!qt.Platform) {
    why = "The Qt windowing module " + path + " offers no platform";
    return {};
  }
  qt.CreatePanel = reinterpret_cast<TCreatePanelFunc>(dlsym(module, "vantrelCreateMainPanel"));
  return qt;
}

void StartUp() {
  std::string why;
  TQtModule qt = QtModule(why);
  const TCreatePanelFunc createPanel = qt.CreatePanel;
  if (qt.Platform) {
    InstallPlatform(std::move(qt.Platform));
  } else {
    InstallPlatform(std::make_unique<TConsolePlatform>());
    if (!why.empty()) Platform().ShowMessage(why + "; the plug-in shows no windows of its own.");
  }
  static TVantrelPlugin plugin(DataFolderOf(HostFolder()));
  // The panel is made hidden, as the plug-in starts; the plug-in's button shows it. It belongs
  // to the host's main window and goes with it, detaching itself from the controller.
  if (createPanel && !createPanel(&plugin.Main))
    Platform().ShowMessage("The main panel cannot be made; the plug-in's button shows nothing.");
}

const bool Installed = [] {
  PlugState().StartUp = &StartUp;
  return true;
}();

}  // namespace

// Referenced by the link so that this unit is part of every build of the module.
extern "C" int vantrelPluginEntryInstalled() { return Installed ? 1 : 0; }
